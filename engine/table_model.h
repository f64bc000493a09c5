#pragma once
// The table model: each table's caption and rows, each cell's text, spans and
// kind, and the grid a table forms once its spans are expanded.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <engine/html_document.h>
#include <engine/output_writer.h>
#include <engine/text_measure.h>

namespace tabrivo {

struct TableCell {
    std::string text;  // the browser's innerText, line breaks as the reader was asked
    unsigned colspan = 1;
    unsigned rowspan = 1;  // 0: to the end of the row group
    bool header = false;   // a th
};

struct TableRow {
    std::vector<TableCell> cells;
    RowSection section = RowSection::kBody;
    std::size_t group = 0;  // rows of one thead, tbody or tfoot share a number
};

struct Table {
    std::size_t index = 0;  // in document order, nested tables included
    std::string caption;
    std::vector<std::pair<std::string, std::string>> attributes;  // the table element's
    std::vector<TableRow> rows;  // in the order of the DOM's table.rows
    // Told to the visitor before it came, measured (see TableVisitor::foresee).
    bool foreseen = false;
};

// A table measured rather than read: its rows and cells with their spans
// and kinds but without their texts, and the measure of each text.
struct TableMeasure {
    Table table;  // the texts left empty; no attributes
    TextMeasure caption;
    std::vector<TextMeasure> cells;  // row by row, as TableGrid numbers the cells
};

// The measures of the table's cell texts, row by row.
std::vector<TextMeasure> measureCells(const Table& table);

// The most a result may hold: nested tables repeat their text in every cell
// around them, so a small hostile page could ask for an endless result.
inline constexpr std::uint64_t kResultSizeLimit = std::uint64_t{4} * 1024 * 1024 * 1024;

// Counts what a result will hold.
class ResultSize {
public:
    // Throws std::length_error once the count passes kResultSizeLimit.
    void add(std::uint64_t bytes);
    void reset(std::uint64_t bytes = 0) { m_bytes = bytes; }

private:
    std::uint64_t m_bytes = 0;
};

// Receives the tables of a document, one row at a time.
class TableVisitor {
public:
    virtual ~TableVisitor() = default;
    // Each returns false to stop the walk.
    // `table` has no rows yet.
    virtual bool beginTable(const Table& table) = 0;
    // `row` is reused for the next row: copy what must outlive the call.
    virtual bool row(const TableRow& row) = 0;
    virtual bool endTable() = 0;
    // The walk starts again from the first table, on the document's whole
    // tree (see WalkRestart): what was received is void. Returns false to stop.
    virtual bool restart() = 0;
    // Tells, before any of them is handed over, each table nested in a table
    // being walked, measured: a result's size is known before the texts that
    // nested tables repeat are made. Each comes later all the same, marked
    // `foreseen`; a table not foreseen is not told. Returns false to stop.
    virtual bool foresee(const TableMeasure& table) {
        (void)table;
        return true;
    }
};

// Walks the document's tables in document order with `newline` for each line
// break of a text. A large document is parsed while it is walked, so that only
// the current row is held, unless it turns out to need its whole tree: then
// the visitor is told to restart. `yield`, when given, runs a few times a
// second. Returns false when the visitor stopped the walk.
bool readTables(const HtmlDocument& document, TableVisitor& visitor, std::string_view newline,
                const YieldCallback& yield = {});

// Every table of the document, whole. `yield` as for readTables; what it
// throws ends the reading. Throws std::length_error when their texts would
// hold more than kResultSizeLimit bytes, before it reads them.
std::vector<Table> readAllTables(const HtmlDocument& document, std::string_view newline = "\n",
                                 const YieldCallback& yield = {});

// Collects each table whole and hands it on (for formats that need a table
// entire, such as the expanded grid).
class WholeTableVisitor : public TableVisitor {
public:
    bool beginTable(const Table& table) override;
    bool row(const TableRow& row) override;
    bool endTable() override;
    bool restart() override;
    virtual bool table(Table& table) = 0;
    // Forgets the tables handed to table() (see TableVisitor::restart).
    virtual bool restartTables() = 0;

private:
    Table m_table;
};

// The leading rows that head the table, as pandas counts them: the thead's
// rows, else the first rows whose cells are all th.
std::size_t headerRowCount(const Table& table);

// The table as a rectangle of slots following the HTML standard's algorithm
// for forming a table: a cell takes the first free slot of its row and covers
// colspan x rowspan slots; rowspan 0 reaches to the end of the row group and
// no span reaches past it (as browsers draw it); where cells overlap the
// earlier one keeps the slot. One grid row per table row, all as wide as the
// widest; a slot no cell covers is empty.
class TableGrid {
public:
    static constexpr std::uint32_t kEmpty = UINT32_MAX;
    // Throws std::length_error naming the sizes when the grid would have
    // more slots than `maxSlots` (a few cells with large spans can ask for
    // billions).
    explicit TableGrid(const Table& table, std::size_t maxSlots = kDefaultMaxSlots);

    std::size_t width() const { return m_width; }
    std::size_t height() const { return m_height; }
    // The cell covering the slot, or null.
    const TableCell* cellAt(std::size_t row, std::size_t column) const {
        const std::uint32_t cell = m_slots[row * m_width + column];
        return cell == kEmpty ? nullptr : m_cells[cell];
    }
    // The slot's text, empty where no cell covers it.
    std::string_view textAt(std::size_t row, std::size_t column) const {
        const TableCell* cell = cellAt(row, column);
        return cell == nullptr ? std::string_view() : std::string_view(cell->text);
    }
    // The number of the cell covering the slot (cells numbered row by row), or kEmpty.
    std::uint32_t cellNumberAt(std::size_t row, std::size_t column) const {
        return m_slots[row * m_width + column];
    }

    static constexpr std::size_t kDefaultMaxSlots = std::size_t{64} * 1024 * 1024;

private:
    std::size_t m_width = 0;
    std::size_t m_height = 0;
    std::vector<std::uint32_t> m_slots;  // row by row
    std::vector<const TableCell*> m_cells;
};

}  // namespace tabrivo
