#include <engine/output_writer.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>

namespace tabrivo {

using namespace convert_step;

namespace {

// Nested tables repeat their text in every cell around them, so a small
// hostile file could ask for an endless result.
constexpr std::uint64_t kOutputLimit = std::uint64_t{4} * 1024 * 1024 * 1024;

}  // namespace

bool writeTables(const HtmlDocument& document, PieceSink& sink, StepTrap& trap,
                 const YieldCallback& yield) {
    constexpr auto kYieldEvery = std::chrono::milliseconds(15);
    auto lastYield = std::chrono::steady_clock::now();
    unsigned rowsSinceCheck = 0;
    if (!trap.run(kWriteOpening, [&] { sink.start("{\r\n"); })) {
        return false;
    }
    std::string rowText;
    std::uint64_t written = 0;
    const bool finished = document.forEachTable([&](ElementRef table) {
        // The cells of the first row before its last one are followed by ", ";
        // a table without rows has no first row and adds nothing.
        long lastSeparated = -1;
        bool firstRow = true;
        return document.forEachRow(table, [&](ElementRef row) {
            if (yield && ++rowsSinceCheck == 256) {
                rowsSinceCheck = 0;
                const auto now = std::chrono::steady_clock::now();
                if (now - lastYield >= kYieldEvery) {
                    yield();
                    lastYield = now;
                }
            }
            const std::vector<ElementRef> cells = document.cells(row);
            if (firstRow) {
                lastSeparated = static_cast<long>(cells.size()) - 1;
                firstRow = false;
            }
            if (!trap.run(kWriteRowOpening, [&] { sink.append("\t{\r\n"); })) {
                return false;
            }
            rowText.clear();
            long cellIndex = 0;
            for (const ElementRef& cell : cells) {
                rowText.append("\t\"");
                document.appendCellText(cell, rowText, "\r\n");
                rowText.append(cellIndex < lastSeparated ? "\", \r\n" : "\"\r\n");
                ++cellIndex;
            }
            written += rowText.size();
            return trap.run(kWriteRowText, [&] {
                if (written > kOutputLimit) {
                    throw std::length_error(
                        "The result would be larger than 4 GiB (tables nested "
                        "too deeply or too large); nothing is written");
                }
                sink.append(rowText);
            }) && trap.run(kWriteRowClosing, [&] { sink.append("\t}\r\n"); });
        });
    });
    if (!finished) {
        return false;
    }
    return trap.run(kWriteClosing, [&] { sink.append("}"); });
}

}  // namespace tabrivo
