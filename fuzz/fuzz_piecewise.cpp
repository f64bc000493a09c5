// A document parsed a piece at a time gives exactly the whole parse's output.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include <engine/convert.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view html(reinterpret_cast<const char*>(data), size);
    const std::string whole = tabrivo::convertHtmlToText(html);
    // Row by row, and in pieces of a few rows.
    if (tabrivo::convertHtmlToText(html, tabrivo::ParseOptions{0, 1}) != whole ||
        tabrivo::convertHtmlToText(html, tabrivo::ParseOptions{0, 200}) != whole) {
        __builtin_trap();
    }
    return 0;
}
