#include "control_shield.h"

#include <array>
#include <cstdint>
#include <string_view>

#include <engine/utf8.h>

namespace tabrivo::testing {

namespace {

constexpr std::uint32_t kShieldBase = 0x10FF00;

// Position of the first character the parser would replace, or npos.
std::size_t findShieldedControl(std::string_view text, std::size_t from) {
    static const std::array<bool, 256> kCandidate = [] {
        std::array<bool, 256> table{};
        for (int c = 0x01; c < 0x20; ++c) {
            table[c] = c != '\t' && c != '\n' && c != '\f' && c != '\r';
        }
        table[0x7F] = true;
        table[0xC2] = true;  // the lead byte of U+0080..U+00BF
        return table;
    }();
    for (std::size_t i = from; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (!kCandidate[byte]) {
            continue;
        }
        if (byte != 0xC2) {
            return i;
        }
        if (i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            return i;  // a C1 control, U+0080..U+009F
        }
    }
    return std::string_view::npos;
}

}  // namespace

bool shieldControlCharacters(std::string& text) {
    std::size_t found = findShieldedControl(text, 0);
    if (found == std::string::npos) {
        return false;
    }
    // A text that already uses the private range keeps the parser's behaviour,
    // so no character of its own is ever turned into a control character.
    for (const char* used : {"\xF4\x8F\xBC", "\xF4\x8F\xBD", "\xF4\x8F\xBE"}) {
        if (text.find(used) != std::string::npos) {
            return false;
        }
    }
    std::string out;
    out.reserve(text.size() + 64);
    std::size_t copied = 0;
    while (found != std::string::npos) {
        out.append(text, copied, found - copied);
        const auto byte = static_cast<unsigned char>(text[found]);
        const bool c1 = byte == 0xC2;
        const std::uint32_t code =
            c1 ? (static_cast<unsigned char>(text[found + 1]) & 0x3FU) | 0x80U : byte;
        appendUtf8(out, kShieldBase + code);
        copied = found + (c1 ? 2 : 1);
        found = findShieldedControl(text, copied);
    }
    out.append(text, copied, std::string::npos);
    text = std::move(out);
    return true;
}

void unshieldControlCharacters(std::string& text) {
    // U+10FF00..U+10FF9F is F4 8F BC 80 .. F4 8F BE 9F.
    std::size_t found = text.find("\xF4\x8F");
    if (found == std::string::npos) {
        return;
    }
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    while (found != std::string::npos && found + 3 < text.size()) {
        const auto third = static_cast<unsigned char>(text[found + 2]);
        const auto fourth = static_cast<unsigned char>(text[found + 3]);
        const std::uint32_t cp = ((third & 0x3FU) << 6) | (fourth & 0x3FU);
        // cp is the low 12 bits: 0xF00 + code for the shielded range.
        if (cp >= 0xF00 && cp <= 0xF9F) {
            out.append(text, start, found - start);
            appendUtf8(out, cp - 0xF00);
            start = found + 4;
        }
        found = text.find("\xF4\x8F", found + 2);
    }
    out.append(text, start, std::string::npos);
    text = std::move(out);
}

}  // namespace tabrivo::testing
