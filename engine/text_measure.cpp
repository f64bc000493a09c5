#include <engine/text_measure.h>

#include <array>
#include <string>

#include <engine/utf8.h>

namespace tabrivo {

namespace {

// The bytes JSON writes for each byte: two for the escapes \" \\ \n \r \t,
// six for the other control characters (\u00XX).
constexpr std::array<std::uint8_t, 256> kJsonWidth = [] {
    std::array<std::uint8_t, 256> widths{};
    widths.fill(1);
    for (unsigned c = 0; c < 0x20; ++c) {
        widths[c] = 6;
    }
    for (const unsigned char c : {'"', '\\', '\n', '\r', '\t'}) {
        widths[c] = 2;
    }
    return widths;
}();

std::uint64_t jsonBytesOf(std::string_view text) {
    std::uint64_t bytes = 0;
    for (const char c : text) {
        bytes += kJsonWidth[static_cast<unsigned char>(c)];
    }
    return bytes;
}

}  // namespace

TextMeasure TextMeasure::of(std::string_view text) {
    TextMeasure measure;
    measure.bytes = text.size();
    for (const char c : text) {
        if (c == '"') {
            ++measure.quotes;
        }
    }
    measure.csvQuoted = text.find_first_of(",\"\r\n") != std::string_view::npos;
    measure.jsonBytes = isValidUtf8(text) ? jsonBytesOf(text) : jsonBytesOf(repairUtf8(text));
    return measure;
}

}  // namespace tabrivo
