// The table model: cells, spans, sections and captions read from a page, the
// grid its spans form, and the strict JSON and CSV written from it.

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <engine/data_export.h>
#include <engine/table_model.h>
#include "recording_reporter.h"

namespace tabrivo {
namespace {

std::vector<Table> tablesOf(const std::string& html) {
    const std::unique_ptr<HtmlDocument> document = HtmlDocument::parse(html);
    return readAllTables(*document);
}

// The grid as text: slots joined by ",", rows by "/", an empty slot as "".
std::string gridText(const Table& table) {
    const TableGrid grid(table);
    std::string text;
    for (std::size_t y = 0; y < grid.height(); ++y) {
        text += y > 0 ? "/" : "";
        for (std::size_t x = 0; x < grid.width(); ++x) {
            text += x > 0 ? "," : "";
            text += grid.textAt(y, x);
        }
    }
    return text;
}

struct GridCase {
    const char* name;
    const char* html;
    const char* grid;
};

const GridCase kGridCases[] = {
    {"plain", "<table><tr><td>a<td>b<tr><td>c<td>d</table>", "a,b/c,d"},
    {"colspanRepeatsText", "<table><tr><td colspan=2>a<td>b<tr><td>c<td>d<td>e</table>",
     "a,a,b/c,d,e"},
    {"rowspanRepeatsText", "<table><tr><td rowspan=2>a<td>b<tr><td>c</table>", "a,b/a,c"},
    {"bothSpans", "<table><tr><td rowspan=2 colspan=2>a<td>b<tr><td>c<tr><td>d</table>",
     "a,a,b/a,a,c/d,,"},
    {"raggedRowsArePadded", "<table><tr><td>a<tr><td>b<td>c<td>d</table>", "a,,/b,c,d"},
    {"rowspanZeroReachesGroupEnd",
     "<table><tr><td rowspan=0>a<td>b<tr><td>c<tr><td>d<tbody><tr><td>e</table>", "a,b/a,c/a,d/e,"},
    {"rowspanStopsAtGroupEnd", "<table><tbody><tr><td rowspan=5>a<td>b<tbody><tr><td>c</table>",
     "a,b/c,"},
    {"overlapKeepsEarlierCell", "<table><tr><td>a<td rowspan=2>b<tr><td colspan=2>c<td>d</table>",
     "a,b,/c,b,d"},
    {"colspanZeroIsOne", "<table><tr><td colspan=0>a<td>b</table>", "a,b"},
    {"badRowspanIsOne", "<table><tr><td rowspan=x>a<td rowspan=-2>b<tr><td>c<td>d</table>",
     "a,b/c,d"},
    {"spanValueParsedLikeBrowsers", "<table><tr><td colspan=' +2px'>a<td>b</table>", "a,a,b"},
    {"headBodyFootInTableRowsOrder",
     "<table><tfoot><tr><td>f</tfoot><tbody><tr><td>b</tbody><thead><tr><th>h</thead></table>",
     "h/b/f"},
    {"emptyCellsStayEmpty", "<table><tr><td><td>b</table>", ",b"},
};

class Grid : public testing::TestWithParam<GridCase> {};

TEST_P(Grid, expandsAsBrowsersPlaceCells) {
    const std::vector<Table> tables = tablesOf(GetParam().html);
    ASSERT_EQ(tables.size(), 1U);
    EXPECT_EQ(gridText(tables[0]), GetParam().grid);
}

INSTANTIATE_TEST_SUITE_P(TableModel, Grid, testing::ValuesIn(kGridCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(TableModel, spansAreClampedToTheirLimits) {
    const std::vector<Table> tables =
        tablesOf("<table><tr><td colspan=5000 rowspan=99999>a</table>");
    EXPECT_EQ(tables[0].rows[0].cells[0].colspan, 1000U);
    EXPECT_EQ(tables[0].rows[0].cells[0].rowspan, 65534U);
    EXPECT_EQ(TableGrid(tables[0]).width(), 1000U);
}

TEST(TableModel, cellsKeepTheirSpansKindAndSection) {
    const std::vector<Table> tables = tablesOf(
        "<table><caption>The <b>cap</b></caption><thead><tr><th colspan=2 rowspan=3>h</thead>"
        "<tr><td>b<br>c</table>");
    ASSERT_EQ(tables.size(), 1U);
    const Table& table = tables[0];
    EXPECT_EQ(table.caption, "The cap");
    ASSERT_EQ(table.rows.size(), 2U);
    EXPECT_EQ(table.rows[0].section, RowSection::kHead);
    EXPECT_TRUE(table.rows[0].cells[0].header);
    EXPECT_EQ(table.rows[0].cells[0].colspan, 2U);
    EXPECT_EQ(table.rows[0].cells[0].rowspan, 3U);
    EXPECT_EQ(table.rows[1].section, RowSection::kBody);
    EXPECT_FALSE(table.rows[1].cells[0].header);
    EXPECT_EQ(table.rows[1].cells[0].text, "b\nc");
    EXPECT_NE(table.rows[0].group, table.rows[1].group);
}

TEST(TableModel, nestedTablesFollowTheirOuterTable) {
    const std::vector<Table> tables =
        tablesOf("<table id=o><tr><td>a<table id=i><tr><td>b</table></table><table></table>");
    ASSERT_EQ(tables.size(), 3U);
    EXPECT_EQ(tables[1].index, 1U);
    EXPECT_EQ(tables[1].rows[0].cells[0].text, "b");
    ASSERT_EQ(tables[1].attributes.size(), 1U);
    EXPECT_EQ(tables[1].attributes[0].second, "i");
    EXPECT_TRUE(tables[2].rows.empty());
}

TEST(TableModel, headerRowsAreTheHeadElseLeadingRowsOfTh) {
    const std::pair<const char*, std::size_t> cases[] = {
        {"<table><thead><tr><td>a<tr><td>b</thead><tr><th>c</table>", 2},
        {"<table><tr><th>a<th>b<tr><th>c<tr><td>d<tr><th>e</table>", 2},
        {"<table><tr><th>a<td>b<tr><th>c</table>", 0},
        {"<table></table>", 0},
    };
    for (const auto& [html, count] : cases) {
        EXPECT_EQ(headerRowCount(tablesOf(html).at(0)), count) << html;
    }
}

TEST(TableModel, aGridTooLargeIsRefused) {
    const std::vector<Table> tables =
        tablesOf("<table><tr><td colspan=1000 rowspan=0>a<tr><td>b<tr><td>c</table>");
    EXPECT_THROW(TableGrid(tables[0], 2000), std::length_error);
    EXPECT_EQ(TableGrid(tables[0], 3003).width(), 1001U);
}

TEST(TableModel, aPageParsedWhileWalkedGivesTheSameTablesAndGrids) {
    std::string html = "<table><caption>c</caption><thead><tr><th colspan=2>h</thead><tbody>";
    for (int i = 0; i < 40; ++i) {
        html += "<tr><td rowspan=" + std::to_string(i % 3) + ">" + std::to_string(i) + "<td>x";
    }
    html += "</tbody><tfoot><tr><td>f</tfoot></table>";
    const std::unique_ptr<HtmlDocument> whole = HtmlDocument::parse(html);
    const std::unique_ptr<HtmlDocument> parted = HtmlDocument::parse(html, ParseOptions{0});
    const std::vector<Table> expected = readAllTables(*whole);
    const std::vector<Table> tables = readAllTables(*parted);
    EXPECT_TRUE(parted->isParsedWhileWalked());
    ASSERT_EQ(tables.size(), expected.size());
    std::string wholeJson;
    std::string partedJson;
    appendJsonTable(wholeJson, expected[0], true);
    appendJsonTable(partedJson, tables[0], true);
    EXPECT_EQ(partedJson, wholeJson);
}

// Pages whose tables nest deep, in every way a cell's text takes in the text
// of the tables in it: the conversion's fuzz seeds named for nested tables.
std::vector<std::pair<std::string, std::string>> deeplyNestedPages() {
    namespace fs = std::filesystem;
    std::vector<std::pair<std::string, std::string>> pages;
    for (const auto& entry :
         fs::directory_iterator(fs::path(TABRIVO_TEST_DATA_DIR) / "fuzz" / "convert")) {
        if (entry.path().filename().string().find("nested") == std::string::npos) {
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        pages.emplace_back(entry.path().filename().string(),
                           std::string(std::istreambuf_iterator<char>(in), {}));
    }
    return pages;
}

// Checks the tables told beforehand against the same tables when they come.
class ForesightCheck : public WholeTableVisitor {
public:
    explicit ForesightCheck(std::string label) : m_label(std::move(label)) {}

    bool foresee(const TableMeasure& measured) override {
        m_told.push_back(measured);
        return true;
    }
    bool table(Table& table) override {
        if (!table.foreseen) {
            return true;
        }
        const std::string where = m_label + ", table " + std::to_string(table.index);
        if (m_told.empty()) {
            ADD_FAILURE() << where << " was not told of";
            return false;
        }
        const TableMeasure told = std::move(m_told.front());
        m_told.pop_front();
        EXPECT_EQ(told.caption, TextMeasure::of(table.caption)) << where;
        EXPECT_EQ(told.cells, measureCells(table)) << where;
        EXPECT_EQ(headerRowCount(told.table), headerRowCount(table)) << where;
        EXPECT_EQ(gridShape(told.table), gridShape(table)) << where;
        ++m_checked;
        return true;
    }
    bool restartTables() override {
        m_told.clear();
        m_checked = 0;
        return true;
    }

    int checked() const { return m_checked; }
    bool allCame() const { return m_told.empty(); }

private:
    // Which cell covers each slot of the grid.
    static std::vector<std::uint32_t> gridShape(const Table& table) {
        const TableGrid grid(table);
        std::vector<std::uint32_t> slots;
        for (std::size_t y = 0; y < grid.height(); ++y) {
            for (std::size_t x = 0; x < grid.width(); ++x) {
                slots.push_back(grid.cellNumberAt(y, x));
            }
        }
        return slots;
    }

    std::string m_label;
    std::deque<TableMeasure> m_told;
    int m_checked = 0;
};

TEST(TableModel, tablesNestedDeep_areToldBeforehandWithTheMeasuresOfTheirTexts) {
    for (const auto& [name, html] : deeplyNestedPages()) {
        for (const std::size_t parseWhileWalkingFrom :
             {ParseOptions{}.parseWhileWalkingFrom, std::size_t{0}}) {
            for (const std::string_view newline : {"\n", "\r\n"}) {
                const std::unique_ptr<HtmlDocument> document =
                    HtmlDocument::parse(html, ParseOptions{parseWhileWalkingFrom});
                ForesightCheck check(name);
                readTables(*document, check, newline);
                EXPECT_GT(check.checked(), 0) << name;
                EXPECT_TRUE(check.allCame()) << name;
            }
        }
    }
}

TEST(DataExport, sizesFromMeasuresAreTheSizesWritten) {
    std::vector<std::pair<std::string, std::string>> pages = deeplyNestedPages();
    pages.emplace_back("plain",
                       "<table><caption>\"c\"</caption><tr><th>a,b<th>\x01\\<tr><td>"
                       "x<br>y<td rowspan=2 colspan=2>\xff\xfe é<tr><td></table>");
    const JsonOrigin origin = {{"source", "/p/\"q\".html"}, {"uri", "\t"}};
    for (const auto& [name, html] : pages) {
        std::uint64_t textFormatBytes = 4;  // "{" CR LF, "}"
        for (const Table& table : readAllTables(*HtmlDocument::parse(html), "\r\n")) {
            const TableMeasure measured{table, TextMeasure::of(table.caption), measureCells(table)};
            textFormatBytes += textFormatRowsBytes(measured);
        }
        test::RecordingReporter reporter;
        StepTrap trap("Test", reporter);
        StringSink written;
        writeTables(*HtmlDocument::parse(html), written, trap);
        EXPECT_EQ(textFormatBytes, written.take().size()) << name;
        for (const Table& table : tablesOf(html)) {
            const TextMeasure caption = TextMeasure::of(table.caption);
            const std::vector<TextMeasure> cells = measureCells(table);
            for (const bool grid : {false, true}) {
                std::string json;
                appendJsonTable(json, table, grid, origin);
                EXPECT_EQ(jsonTableBytes(table, caption, cells, grid, origin), json.size()) << name;
                std::string csv;
                appendCsvTable(csv, table, grid);
                EXPECT_EQ(csvTableBytes(table, cells, grid), csv.size()) << name;
            }
        }
    }
}

TEST(DataExport, jsonStringsAreEscapedAndRepaired) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain é", "\"plain é\""},
        {"q\"b\\", "\"q\\\"b\\\\\""},
        {"a\nb\r\tc", "\"a\\nb\\r\\tc\""},
        {std::string("\x01\x1f", 2), "\"\\u0001\\u001f\""},
        {"bad \xff byte", "\"bad \xEF\xBF\xBD byte\""},
    };
    for (const auto& [text, json] : cases) {
        std::string out;
        appendJsonString(out, text);
        EXPECT_EQ(out, json);
    }
}

TEST(DataExport, jsonTableHoldsIndexCaptionHeaderRowsAndRows) {
    const std::vector<Table> tables =
        tablesOf("<table><caption>c</caption><tr><th colspan=2>h<tr><td>a<td>b</table>");
    std::string plain;
    appendJsonTable(plain, tables[0], false, "p.html");
    EXPECT_EQ(
        plain,
        R"({"source":"p.html","index":0,"caption":"c","header_rows":1,"rows":[["h"],["a","b"]]})");
    std::string grid;
    appendJsonTable(grid, tables[0], true);
    EXPECT_EQ(grid, R"({"index":0,"caption":"c","header_rows":1,"rows":[["h","h"],["a","b"]]})");
}

TEST(DataExport, csvQuotesWhatNeedsItAndPadsRows) {
    const std::vector<Table> tables =
        tablesOf("<table><tr><td>a,b<td>say \"hi\"<td>x<tr><td>line<br>break</table>");
    std::string csv;
    appendCsvTable(csv, tables[0], false);
    EXPECT_EQ(csv, "\"a,b\",\"say \"\"hi\"\"\",x\r\n\"line\nbreak\",,\r\n");
    std::string oneEmptyField;
    appendCsvTable(oneEmptyField, tablesOf("<table><tr><td></table>").at(0), false);
    EXPECT_EQ(oneEmptyField, "\"\"\r\n");
}

TEST(DataExport, csvTablePathReplacesTheExtension) {
    EXPECT_EQ(csvTablePath("/o/page.csv", 3), "/o/page.3.csv");
    EXPECT_EQ(csvTablePath("/o.d/page", 0), "/o.d/page.0.csv");
}

}  // namespace
}  // namespace tabrivo
