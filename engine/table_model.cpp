#include <engine/table_model.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

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

class AllTables : public WholeTableVisitor {
public:
    bool table(Table& table) override {
        m_tables.push_back(std::move(table));
        return true;
    }
    bool restartTables() override {
        m_tables.clear();
        return true;
    }
    std::vector<Table> take() { return std::move(m_tables); }

private:
    std::vector<Table> m_tables;
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
    return document.forEachTable(
        [&](ElementRef table) {
            heading.caption.clear();
            document.appendCellText(document.caption(table), heading.caption, newline);
            heading.attributes = document.attributes(table);
            const bool goOn = visitor.beginTable(heading);
            ++heading.index;
            if (!goOn) {
                return false;
            }
            ElementRef lastGroup;
            std::size_t group = 0;
            const bool finished = document.forEachRow(table, [&](ElementRef row) {
                if (yield && ++rowsSinceCheck == 256) {
                    rowsSinceCheck = 0;
                    pace();
                }
                readRow(document, row, newline, cellRefs, current);
                const ElementRef rowGroup = document.rowGroup(row);
                if (!(rowGroup == lastGroup)) {
                    group += lastGroup.isNull() ? 0 : 1;
                    lastGroup = rowGroup;
                }
                current.group = group;
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
