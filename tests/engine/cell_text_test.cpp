// Cell text against what Chromium shows, case by case.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

#include <engine/encoding.h>
#include <engine/html_document.h>

namespace {

struct CellTextCase {
    const char* name;
    const char* html;
    const char* expected;
};

const CellTextCase kCases[] = {
#include "cell_text_cases.inc"
};

// Documents whose cell text depends on <style> rules and style attributes.
const CellTextCase kStyleSheetCases[] = {
#include "style_sheet_cases.inc"
};

// The text of the first cell of the first table that has rows.
std::string firstCellText(const std::string& html) {
    const auto document = tabrivo::HtmlDocument::parse(tabrivo::htmlBytesToUtf8(html));
    std::string text = "<no table>";
    document->forEachTable([&](tabrivo::ElementRef table) {
        // Stops at the first row, if any.
        return document->forEachRow(table, [&](tabrivo::ElementRef row) {
            const auto cells = document->cells(row);
            text = cells.empty() ? std::string("<no cell>") : document->cellText(cells.front());
            return false;
        });
    });
    return text;
}

// Where the browser is known to differ, and why; these cases are reported as skipped.
const std::pair<std::string_view, std::string_view> kKnownDifferences[] = {
    {"block_form", "the parser closes a form inside a table cell differently"},
    // The style-sheet table.
    {"sel_attr_value_i_flag", "the style engine does not read the i flag of attribute selectors"},
    {"pseudo_link", "the style engine does not read :link"},
    {"cascade_layer_loses_to_unlayered",
     "the style engine gives rules in @layer the same weight as rules outside it"},
    {"syntax_supports", "the style engine applies @supports blocks without testing them"},
    {"syntax_nesting", "the style engine does not read nested rules"},
    {"syntax_escape_in_property", "the style engine does not read escapes in property names"},
    {"syntax_style_type_not_css", "the style engine reads a <style> whose type is not text/css"},
};

class CellText : public testing::TestWithParam<CellTextCase> {};

TEST_P(CellText, matchesBrowser) {
    const CellTextCase& testCase = GetParam();
    for (const auto& [name, reason] : kKnownDifferences) {
        if (name == testCase.name) {
            GTEST_SKIP() << reason;
        }
    }
    EXPECT_EQ(firstCellText(testCase.html), testCase.expected) << testCase.html;
}

std::string caseName(const testing::TestParamInfo<CellTextCase>& param) {
    return param.param.name;
}

INSTANTIATE_TEST_SUITE_P(Chromium, CellText, testing::ValuesIn(kCases), caseName);
INSTANTIATE_TEST_SUITE_P(StyleSheet, CellText, testing::ValuesIn(kStyleSheetCases), caseName);

}  // namespace
