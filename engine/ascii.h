#pragma once
// ASCII character helpers for markup, style sheets, encoding labels and file
// names: HTML's white space, case folding of ASCII letters only (never by
// locale), trimming.

#include <cstdint>
#include <string>
#include <string_view>

namespace tabrivo::ascii {

// HTML's ASCII white space: TAB, LF, FF, CR and SPACE, tested as bits of one
// mask (one comparison and a shift, where the plain chain of five compiles to
// as many branches).
constexpr bool isSpace(char c) {
    constexpr std::uint64_t kSpaces =
        (1ULL << '\t') | (1ULL << '\n') | (1ULL << '\f') | (1ULL << '\r') | (1ULL << ' ');
    const auto byte = static_cast<unsigned char>(c);
    return byte <= ' ' && ((kSpaces >> byte) & 1U) != 0;
}

constexpr bool isAlpha(char c) {
    const char folded = static_cast<char>(c | 0x20);
    return folded >= 'a' && folded <= 'z';
}

constexpr char toLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

inline std::string toLower(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        c = toLower(c);
    }
    return lowered;
}

// The text without white space at either end.
constexpr std::string_view trim(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Whether two texts are equal when their ASCII letters are folded to lower case.
constexpr bool equalsIgnoringCase(std::string_view one, std::string_view other) {
    if (one.size() != other.size()) {
        return false;
    }
    for (std::size_t i = 0; i < one.size(); ++i) {
        if (toLower(one[i]) != toLower(other[i])) {
            return false;
        }
    }
    return true;
}

// Whether `text` equals `lowered` (given in lower case) when its ASCII letters
// are folded to lower case.
constexpr bool equalsLowered(std::string_view text, std::string_view lowered) {
    if (text.size() != lowered.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (toLower(text[i]) != lowered[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace tabrivo::ascii
