// The table model: cells, spans, sections and captions read from a page, the
// grid its spans form, and the strict JSON and CSV written from it.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include <engine/data_export.h>
#include <engine/table_model.h>

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
