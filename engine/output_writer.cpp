#include <engine/output_writer.h>

#include <cstdint>
#include <stdexcept>

#include <engine/table_model.h>

namespace tabrivo {

using namespace convert_step;

namespace {

// Nested tables repeat their text in every cell around them, so a small
// hostile file could ask for an endless result.
constexpr std::uint64_t kOutputLimit = std::uint64_t{4} * 1024 * 1024 * 1024;

class TextFormatWriter : public TableVisitor {
public:
    TextFormatWriter(PieceSink& sink, StepTrap& trap) : m_sink(sink), m_trap(trap) {}

    bool beginTable(const Table&) override {
        // The cells of the first row before its last one are followed by ", ";
        // a table without rows has no first row and adds nothing.
        m_lastSeparated = -1;
        m_firstRow = true;
        return true;
    }

    bool row(const TableRow& row) override {
        if (m_firstRow) {
            m_lastSeparated = static_cast<long>(row.cells.size()) - 1;
            m_firstRow = false;
        }
        if (!m_trap.run(kWriteRowOpening, [&] { m_sink.append("\t{\r\n"); })) {
            return false;
        }
        m_rowText.clear();
        long cellIndex = 0;
        for (const TableCell& cell : row.cells) {
            m_rowText.append("\t\"");
            m_rowText.append(cell.text);
            m_rowText.append(cellIndex < m_lastSeparated ? "\", \r\n" : "\"\r\n");
            ++cellIndex;
        }
        m_written += m_rowText.size();
        return m_trap.run(kWriteRowText, [&] {
            if (m_written > kOutputLimit) {
                throw std::length_error(
                    "The result would be larger than 4 GiB (tables nested "
                    "too deeply or too large); nothing is written");
            }
            m_sink.append(m_rowText);
        }) && m_trap.run(kWriteRowClosing, [&] { m_sink.append("\t}\r\n"); });
    }

    bool endTable() override { return true; }

    bool restart() override {
        m_written = 0;
        return m_trap.run(kWriteOpening, [&] { m_sink.start("{\r\n"); });
    }

private:
    PieceSink& m_sink;
    StepTrap& m_trap;
    std::string m_rowText;
    std::uint64_t m_written = 0;
    long m_lastSeparated = -1;
    bool m_firstRow = true;
};

}  // namespace

bool writeTables(const HtmlDocument& document, PieceSink& sink, StepTrap& trap,
                 const YieldCallback& yield) {
    if (!trap.run(kWriteOpening, [&] { sink.start("{\r\n"); })) {
        return false;
    }
    TextFormatWriter writer(sink, trap);
    bool walked = false;
    if (!trap.run(kReadCellText, [&] { walked = readTables(document, writer, "\r\n", yield); }) ||
        !walked) {
        return false;
    }
    return trap.run(kWriteClosing, [&] { sink.append("}"); });
}

}  // namespace tabrivo
