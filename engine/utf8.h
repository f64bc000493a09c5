#pragma once
// Small UTF-8 helpers shared by the decoder and the cell text.

#include <cstdint>
#include <string>
#include <string_view>

namespace tabrivo {

void appendUtf8(std::string& out, std::uint32_t codePoint);

// True when the bytes are well-formed UTF-8 (no surrogates, no overlongs).
bool isValidUtf8(std::string_view bytes);

// Decodes as the browser's UTF-8 decoder does: each maximal ill-formed
// subsequence becomes U+FFFD. NUL characters are dropped.
std::string repairUtf8(std::string_view bytes);

}  // namespace tabrivo
