#pragma once
// White space as CSS and HTML attribute values count it, shared by the style code.

#include <string_view>

namespace tabrivo::detail {

inline bool isCssSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

inline std::string_view trimCssSpace(std::string_view text) {
    while (!text.empty() && isCssSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isCssSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace tabrivo::detail
