#include <engine/output_writer.h>

#include <cstdint>
#include <stdexcept>

#include <engine/table_model.h>

namespace tabrivo {

using namespace convert_step;

namespace {

// What the pieces around the rows add: "{" CR LF and "}" for the file,
// TAB "{" CR LF and TAB "}" CR LF for each row.
constexpr std::uint64_t kFileFrame = 4;
constexpr std::uint64_t kRowFrame = 8;

}  // namespace

std::uint64_t textFormatRowsBytes(const TableMeasure& measured) {
    const std::vector<TableRow>& rows = measured.table.rows;
    const long lastSeparated = rows.empty() ? -1 : static_cast<long>(rows[0].cells.size()) - 1;
    std::uint64_t bytes = 0;
    std::size_t cell = 0;
    for (const TableRow& row : rows) {
        bytes += kRowFrame;
        for (long index = 0; index < static_cast<long>(row.cells.size()); ++index) {
            bytes += 2 + measured.cells[cell++].bytes + (index < lastSeparated ? 5 : 3);
        }
    }
    return bytes;
}

namespace {

class TextFormatWriter : public TableVisitor {
public:
    TextFormatWriter(PieceSink& sink, StepTrap& trap) : m_sink(sink), m_trap(trap) {
        m_size.reset(kFileFrame);
    }

    bool foresee(const TableMeasure& measured) override {
        return m_trap.run(kWriteRowText, [&] { m_size.add(textFormatRowsBytes(measured)); });
    }

    bool beginTable(const Table& table) override {
        // The cells of the first row before its last one are followed by ", ";
        // a table without rows has no first row and adds nothing.
        m_lastSeparated = -1;
        m_firstRow = true;
        m_counted = !table.foreseen;
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
        return m_trap.run(kWriteRowText, [&] {
            if (m_counted) {
                m_size.add(kRowFrame + m_rowText.size());
            }
            m_sink.append(m_rowText);
        }) && m_trap.run(kWriteRowClosing, [&] { m_sink.append("\t}\r\n"); });
    }

    bool endTable() override { return true; }

    bool restart() override {
        m_size.reset(kFileFrame);
        return m_trap.run(kWriteOpening, [&] { m_sink.start("{\r\n"); });
    }

private:
    PieceSink& m_sink;
    StepTrap& m_trap;
    std::string m_rowText;
    // The whole result's bytes, the tables told of before they come included.
    ResultSize m_size;
    bool m_counted = true;  // the current table's rows count: it was not told of
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
