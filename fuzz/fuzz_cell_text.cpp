// Cell text over arbitrary trees: the input is a style sheet and a document,
// split at the first NUL byte; every cell's text is computed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <engine/html_document.h>
#include <engine/utf8.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    std::string html;
    if (split != std::string_view::npos) {
        html = "<style>" + std::string(input.substr(0, split)) + "</style><table><tr><td>" +
               std::string(input.substr(split + 1));
    } else {
        html = std::string(input);
    }
    const auto document = tabrivo::HtmlDocument::parse(tabrivo::repairUtf8(html));
    document->forEachTable([&](tabrivo::ElementRef table) {
        return document->forEachRow(table, [&](tabrivo::ElementRef row) {
            for (const tabrivo::ElementRef& cell : document->cells(row)) {
                const std::string text = document->cellText(cell);
                std::string crlf;
                document->appendCellText(cell, crlf, "\r\n");
                if (!tabrivo::isValidUtf8(text) || crlf.size() < text.size()) {
                    __builtin_trap();
                }
            }
            return true;
        });
    });
    return 0;
}
