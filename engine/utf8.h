#pragma once
// Small UTF-8 helpers shared by the decoder and the cell text.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tabrivo {

void appendUtf8(std::string& out, std::uint32_t codePoint);

// True when the bytes are well-formed UTF-8 (no surrogates, no overlongs).
bool isValidUtf8(std::string_view bytes);

// The code point of the well-formed sequence at `pos`, with `pos` moved past
// it; nothing, with `pos` unchanged, where the bytes there are ill-formed.
std::optional<std::uint32_t> nextCodePoint(std::string_view bytes, std::size_t& pos);

// Decodes as the browser's UTF-8 decoder does: each maximal ill-formed
// subsequence becomes U+FFFD.
std::string repairUtf8(std::string_view bytes);

}  // namespace tabrivo
