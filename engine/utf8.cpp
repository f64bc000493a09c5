#include <engine/utf8.h>

#include <array>
#include <bit>
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
        // ASCII runs go eight bytes at a time, up to the first byte that is not.
        while (left >= 8) {
            std::uint64_t chunk = 0;
            std::memcpy(&chunk, p, 8);
            const std::uint64_t high = chunk & 0x8080808080808080ULL;
            if (high != 0) {
                const auto ascii =
                    static_cast<std::size_t>(std::endian::native == std::endian::little
                                                 ? std::countr_zero(high)
                                                 : std::countl_zero(high)) /
                    8;
                p += ascii;
                left -= ascii;
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
    if (isValidUtf8(bytes)) {
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
        out.append(reinterpret_cast<const char*>(p), length);
        p += length;
        left -= length;
    }
    return out;
}

}  // namespace tabrivo
