// The encoding sniffer and the decoders.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <engine/encoding.h>
#include <engine/utf8.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const tabrivo::SniffedEncoding encoding = tabrivo::sniffEncoding(bytes);
    const std::string decoded = tabrivo::decodeToUtf8(bytes, encoding);
    // Whatever came in, well-formed UTF-8 comes out.
    if (!tabrivo::isValidUtf8(decoded)) {
        __builtin_trap();
    }
    if (tabrivo::htmlFileBytesToUtf8(std::string(bytes)) != tabrivo::htmlBytesToUtf8(bytes)) {
        __builtin_trap();
    }
    (void)tabrivo::prescanMetaCharset(bytes);
    (void)tabrivo::encodingForLabel(bytes.substr(0, 64));
    return 0;
}
