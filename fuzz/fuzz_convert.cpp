// The whole conversion of a byte string to the output text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include <engine/convert.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text =
        tabrivo::convertHtmlToText(std::string_view(reinterpret_cast<const char*>(data), size));
    // The output always opens with "{" and a line break and ends with "}".
    if (text.size() < 4 || text.compare(0, 3, "{\r\n") != 0 || text.back() != '}') {
        __builtin_trap();
    }
    return 0;
}
