#include <engine/utf8.h>

#include <array>
#include <cstring>

namespace tabrivo {

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

namespace {

// Length of the well-formed sequence starting at pos, or 0 when it is
// ill-formed; `consumed` is then the length of its maximal ill-formed prefix.
std::size_t sequenceLength(const unsigned char* p, std::size_t left, std::size_t& consumed) {
    const unsigned char lead = p[0];
    std::size_t needed = 0;
    unsigned char lower = 0x80;
    unsigned char upper = 0xBF;
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        needed = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        needed = 2;
        lower = lead == 0xE0 ? 0xA0 : 0x80;
        upper = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        needed = 3;
        lower = lead == 0xF0 ? 0x90 : 0x80;
        upper = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        consumed = 1;
        return 0;
    }
    std::size_t i = 1;
    for (; i <= needed; ++i) {
        if (i >= left || p[i] < lower || p[i] > upper) {
            consumed = i;
            return 0;
        }
        lower = 0x80;
        upper = 0xBF;
    }
    return needed + 1;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t left = bytes.size();
    while (left > 0) {
        // ASCII runs go eight bytes at a time.
        while (left >= 8) {
            std::uint64_t chunk = 0;
            std::memcpy(&chunk, p, 8);
            if ((chunk & 0x8080808080808080ULL) != 0) {
                break;
            }
            p += 8;
            left -= 8;
        }
        if (left == 0) {
            break;
        }
        std::size_t consumed = 0;
        const std::size_t length = sequenceLength(p, left, consumed);
        if (length == 0) {
            return false;
        }
        p += length;
        left -= length;
    }
    return true;
}

std::optional<std::uint32_t> nextCodePoint(std::string_view bytes, std::size_t& pos) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + pos;
    std::size_t consumed = 0;
    const std::size_t length = sequenceLength(p, bytes.size() - pos, consumed);
    if (length == 0) {
        return std::nullopt;
    }
    constexpr std::array<unsigned char, 5> kLeadBits = {0, 0x7F, 0x1F, 0x0F, 0x07};
    std::uint32_t codePoint = p[0] & kLeadBits[length];
    for (std::size_t i = 1; i < length; ++i) {
        codePoint = (codePoint << 6) | (p[i] & 0x3FU);
    }
    pos += length;
    return codePoint;
}

std::string repairUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes) && bytes.find('\0') == std::string_view::npos) {
        return std::string(bytes);
    }
    std::string out;
    out.reserve(bytes.size() + 16);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t left = bytes.size();
    while (left > 0) {
        std::size_t consumed = 0;
        const std::size_t length = sequenceLength(p, left, consumed);
        if (length == 0) {
            out.append("\xEF\xBF\xBD");
            p += consumed;
            left -= consumed;
            continue;
        }
        if (!(length == 1 && *p == 0)) {
            out.append(reinterpret_cast<const char*>(p), length);
        }
        p += length;
        left -= length;
    }
    return out;
}

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

}  // namespace tabrivo
