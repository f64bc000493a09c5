#include <engine/table_model.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <unordered_set>

namespace tabrivo {

namespace {

// Fills the reused row from a row of the document.
void readRow(const HtmlDocument& document, ElementRef row, std::string_view newline,
             std::vector<ElementRef>& cells, TableRow& into) {
    document.cells(row, cells);
    // The cells are reused, not cleared, so that their texts keep their buffers.
    into.cells.resize(cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i) {
        TableCell& cell = into.cells[i];
        CellShape shape;
        document.cellShape(cells[i], shape);
        cell.colspan = shape.colspan;
        cell.rowspan = shape.rowspan;
        cell.header = shape.header;
        cell.text.clear();
        document.appendCellText(cells[i], cell.text, newline);
    }
    into.section = document.rowSection(row);
}

std::uint64_t textBytes(const TableMeasure& measured) {
    std::uint64_t bytes = measured.caption.bytes;
    for (const TextMeasure& cell : measured.cells) {
        bytes += cell.bytes;
    }
    return bytes;
}

std::uint64_t textBytes(const Table& table) {
    std::uint64_t bytes = table.caption.size();
    for (const TableRow& row : table.rows) {
        for (const TableCell& cell : row.cells) {
            bytes += cell.text.size();
        }
    }
    return bytes;
}

class AllTables : public WholeTableVisitor {
public:
    bool foresee(const TableMeasure& measured) override {
        m_size.add(textBytes(measured));
        return true;
    }
    bool table(Table& table) override {
        if (!table.foreseen) {
            m_size.add(textBytes(table));
        }
        m_tables.push_back(std::move(table));
        return true;
    }
    bool restartTables() override {
        m_tables.clear();
        m_size.reset();
        return true;
    }
    std::vector<Table> take() { return std::move(m_tables); }

private:
    std::vector<Table> m_tables;
    ResultSize m_size;  // of the texts
};

// Numbers the row groups of a table as its rows come.
class RowGroups {
public:
    std::size_t of(ElementRef rowGroup) {
        if (!(rowGroup == m_last)) {
            m_group += m_last.isNull() ? 0 : 1;
            m_last = rowGroup;
        }
        return m_group;
    }

private:
    ElementRef m_last;
    std::size_t m_group = 0;
};

// Tells the visitor the tables nested in the tables walked, measured, before
// any of them is handed over (see TableVisitor::foresee).
class Foresight {
public:
    Foresight(const HtmlDocument& document, TableVisitor& visitor, std::string_view newline)
        : m_document(document), m_visitor(visitor), m_newline(newline) {}

    // Whether the table was told of; it is handed over now, and forgotten
    // here (its element may go once read).
    bool handOver(ElementRef table) { return m_told.erase(table) > 0; }

    // Tells the tables in `element`, part of a table not told of, when they
    // nest deep; their indexes follow on from `nextIndex`. False when the
    // visitor stopped.
    //
    // A table's text comes again in each cell around it: tables nested d deep
    // give up to d + 1 times their text. Up to kDeepNesting that is a result
    // in proportion to the page, counted as it is written; the texts of
    // tables nested deeper are measured first, which costs a second reading
    // of them.
    bool tellTablesIn(ElementRef element, std::size_t& nextIndex) {
        if (!m_document.tablesNestIn(element, kDeepNesting)) {
            return true;
        }
        return m_document.forEachTableIn(element, [&](ElementRef table) {
            m_told.insert(table);
            measure(table, nextIndex++);
            return m_visitor.foresee(m_measured);
        });
    }

private:
    static constexpr std::size_t kDeepNesting = 8;

    void measure(ElementRef table, std::size_t index) {
        TableMeasure& measured = m_measured;
        measured.table.index = index;
        measured.table.foreseen = true;
        measured.caption = m_document.measureCellText(m_document.caption(table), m_newline);
        measured.table.rows.clear();
        measured.cells.clear();
        RowGroups groups;
        m_document.forEachRow(table, [&](ElementRef row) {
            TableRow& into = measured.table.rows.emplace_back();
            m_document.cells(row, m_cells);
            into.cells.resize(m_cells.size());
            for (std::size_t i = 0; i < m_cells.size(); ++i) {
                CellShape shape;
                m_document.cellShape(m_cells[i], shape);
                into.cells[i].colspan = shape.colspan;
                into.cells[i].rowspan = shape.rowspan;
                into.cells[i].header = shape.header;
                measured.cells.push_back(m_document.measureCellText(m_cells[i], m_newline));
            }
            into.section = m_document.rowSection(row);
            into.group = groups.of(m_document.rowGroup(row));
            return true;
        });
    }

    const HtmlDocument& m_document;
    TableVisitor& m_visitor;
    std::string_view m_newline;
    std::unordered_set<ElementRef> m_told;  // and not handed over yet
    TableMeasure m_measured;
    std::vector<ElementRef> m_cells;
};

// A cell placed in the grid.
struct Placement {
    std::size_t row = 0;
    std::size_t column = 0;
    std::size_t colspan = 1;
    std::size_t rowspan = 1;
};

}  // namespace

namespace {

bool walkTables(const HtmlDocument& document, TableVisitor& visitor, std::string_view newline,
                const YieldCallback& yield) {
    constexpr auto kYieldEvery = std::chrono::milliseconds(15);
    auto lastYield = std::chrono::steady_clock::now();
    unsigned rowsSinceCheck = 0;
    const std::function<void()> pace = [&] {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastYield >= kYieldEvery) {
            yield();
            lastYield = now;
        }
    };
    TableRow current;
    std::vector<ElementRef> cellRefs;
    Table heading;
    heading.index = 0;
    Foresight foresight(document, visitor, newline);
    return document.forEachTable(
        [&](ElementRef table) {
            // The tables nested in one not told of are told before its
            // texts, which may repeat theirs, are made.
            heading.foreseen = foresight.handOver(table);
            std::size_t nestedIndex = heading.index + 1;
            const ElementRef caption = document.caption(table);
            if (!heading.foreseen && !foresight.tellTablesIn(caption, nestedIndex)) {
                return false;
            }
            heading.caption.clear();
            document.appendCellText(caption, heading.caption, newline);
            heading.attributes = document.attributes(table);
            const bool goOn = visitor.beginTable(heading);
            ++heading.index;
            if (!goOn) {
                return false;
            }
            RowGroups groups;
            const bool finished = document.forEachRow(table, [&](ElementRef row) {
                if (yield && ++rowsSinceCheck == 256) {
                    rowsSinceCheck = 0;
                    pace();
                }
                if (!heading.foreseen && !foresight.tellTablesIn(row, nestedIndex)) {
                    return false;
                }
                readRow(document, row, newline, cellRefs, current);
                current.group = groups.of(document.rowGroup(row));
                return visitor.row(current);
            });
            return finished && visitor.endTable();
        },
        yield ? pace : std::function<void()>());
}

}  // namespace

bool readTables(const HtmlDocument& document, TableVisitor& visitor, std::string_view newline,
                const YieldCallback& yield) {
    for (;;) {
        try {
            return walkTables(document, visitor, newline, yield);
        } catch (const WalkRestart&) {
            if (!visitor.restart()) {
                return false;
            }
        }
    }
}

bool WholeTableVisitor::beginTable(const Table& table) {
    m_table.index = table.index;
    m_table.foreseen = table.foreseen;
    m_table.caption = table.caption;
    m_table.attributes = table.attributes;
    m_table.rows.clear();
    return true;
}

bool WholeTableVisitor::row(const TableRow& row) {
    m_table.rows.push_back(row);
    return true;
}

bool WholeTableVisitor::endTable() {
    return table(m_table);
}

bool WholeTableVisitor::restart() {
    m_table = Table{};
    return restartTables();
}

std::vector<TextMeasure> measureCells(const Table& table) {
    std::vector<TextMeasure> cells;
    for (const TableRow& row : table.rows) {
        for (const TableCell& cell : row.cells) {
            cells.push_back(TextMeasure::of(cell.text));
        }
    }
    return cells;
}

void ResultSize::add(std::uint64_t bytes) {
    m_bytes += bytes;
    if (m_bytes > kResultSizeLimit) {
        throw std::length_error(
            "The result would be larger than 4 GiB (tables nested too deeply or too large); "
            "nothing is written");
    }
}

std::vector<Table> readAllTables(const HtmlDocument& document, std::string_view newline,
                                 const YieldCallback& yield) {
    AllTables tables;
    readTables(document, tables, newline, yield);
    return tables.take();
}

std::size_t headerRowCount(const Table& table) {
    std::size_t head = 0;
    while (head < table.rows.size() && table.rows[head].section == RowSection::kHead) {
        ++head;
    }
    if (head > 0) {
        return head;
    }
    // pandas counts a row without cells as all th too.
    while (head < table.rows.size() && table.rows[head].section == RowSection::kBody &&
           std::all_of(table.rows[head].cells.begin(), table.rows[head].cells.end(),
                       [](const TableCell& cell) { return cell.header; })) {
        ++head;
    }
    return head;
}

TableGrid::TableGrid(const Table& table, std::size_t maxSlots) : m_height(table.rows.size()) {
    // Where each row's group ends, since no span reaches past it.
    std::vector<std::size_t> groupEnd(m_height);
    for (std::size_t end = m_height; end > 0;) {
        std::size_t begin = end - 1;
        while (begin > 0 && table.rows[begin - 1].group == table.rows[end - 1].group) {
            --begin;
        }
        std::fill(groupEnd.begin() + static_cast<std::ptrdiff_t>(begin),
                  groupEnd.begin() + static_cast<std::ptrdiff_t>(end), end);
        end = begin;
    }
    // First the places: a column is covered up to the row coveredUntil gives.
    std::vector<std::size_t> coveredUntil;
    std::vector<Placement> placements;
    std::size_t area = 0;
    for (std::size_t y = 0; y < m_height; ++y) {
        std::size_t x = 0;
        for (const TableCell& cell : table.rows[y].cells) {
            while (x < coveredUntil.size() && coveredUntil[x] > y) {
                ++x;
            }
            Placement place{y, x, cell.colspan, 1};
            const std::size_t rowsLeft = groupEnd[y] - y;
            place.rowspan =
                cell.rowspan == 0 ? rowsLeft : std::min<std::size_t>(cell.rowspan, rowsLeft);
            if (coveredUntil.size() < x + place.colspan) {
                coveredUntil.resize(x + place.colspan, 0);
            }
            for (std::size_t c = x; c < x + place.colspan; ++c) {
                coveredUntil[c] = std::max(coveredUntil[c], y + place.rowspan);
            }
            area += place.colspan * place.rowspan;
            if (area > maxSlots) {
                break;  // reported below with the grid's size
            }
            placements.push_back(place);
            m_cells.push_back(&cell);
            x += place.colspan;
        }
        if (area > maxSlots || coveredUntil.size() * m_height > maxSlots) {
            throw std::length_error(
                "The table's spans would make a grid of more than " + std::to_string(maxSlots) +
                " cells (" + std::to_string(coveredUntil.size()) + " columns by " +
                std::to_string(m_height) + " rows or more); it is not expanded");
        }
    }
    m_width = coveredUntil.size();
    m_slots.assign(m_width * m_height, kEmpty);
    for (std::size_t number = 0; number < placements.size(); ++number) {
        const Placement& place = placements[number];
        for (std::size_t y = place.row; y < place.row + place.rowspan; ++y) {
            std::uint32_t* slot = &m_slots[y * m_width + place.column];
            for (std::size_t c = 0; c < place.colspan; ++c) {
                if (slot[c] == kEmpty) {  // where cells overlap, the earlier one stays
                    slot[c] = static_cast<std::uint32_t>(number);
                }
            }
        }
    }
}

}  // namespace tabrivo
