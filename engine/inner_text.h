#pragma once
// The rendered text of a table cell, after the browser's innerText getter.

#include <gumbo.h>

#include <string>

#include "element_style.h"

namespace tabrivo::detail {

// innerText of `element` (line breaks as "\n"). An element that is not
// rendered (display:none on it or above) gives its text content instead.
std::string innerText(const GumboNode* element, StyleResolver& styles);

// The concatenated text of every descendant text node (template contents excluded).
std::string textContent(const GumboNode* node);

}  // namespace tabrivo::detail
