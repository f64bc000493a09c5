#pragma once
// The rendered text of a table cell, after the browser's innerText getter.

#include <gumbo.h>

#include <string>
#include <string_view>

#include "element_style.h"

namespace tabrivo::detail {

// Appends innerText of `element` to `text`, with `newline` for each line
// break. An element that is not rendered (display:none on it or above) gives
// its text content instead.
void appendInnerText(const GumboNode* element, StyleResolver& styles, std::string& text,
                     std::string_view newline);

// Appends the text of every descendant text node (template contents excluded).
void appendTextContent(const GumboNode* node, std::string& text, std::string_view newline);

}  // namespace tabrivo::detail
