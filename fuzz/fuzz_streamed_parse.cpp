// A document parsed while its tables are walked, its rows freed once read,
// gives exactly the whole parse's output, its rows read on this thread or
// on a second one.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <engine/convert.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view html(reinterpret_cast<const char*>(data), size);
    const std::string whole = tabrivo::convertHtmlToText(html);
    tabrivo::ParseOptions streamed;
    streamed.parseWhileWalkingFrom = 0;
    if (tabrivo::convertHtmlToText(html, streamed) != whole) {
        __builtin_trap();
    }
    // The same with the rows read on a second thread.
    streamed.readRowsBehindFromRow = 0;
    if (tabrivo::convertHtmlToText(html, streamed) != whole) {
        __builtin_trap();
    }
    return 0;
}
