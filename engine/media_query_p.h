#pragma once
// Media queries, judged for the screen the browser reference renders on: a
// 1280x800 viewport at one device pixel per CSS pixel, a fine pointer that
// can hover, light colours, and scripts off.

#include <string_view>

namespace tabrivo::detail {

// Whether a media query list (the prelude of @media, lower-cased or not)
// applies. An empty list applies; a query the browser cannot read does not.
bool mediaApplies(std::string_view queryList);

}  // namespace tabrivo::detail
