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
    {"sel_list_with_invalid_member",
     "the style engine keeps the valid selectors of a list; the browser drops the whole rule"},
    {"comb_next_sibling", "the style engine does not read the + combinator"},
    {"comb_later_siblings", "the style engine does not read the ~ combinator"},
    {"comb_child_then_sibling", "the style engine does not read the + combinator"},
    {"pseudo_first_child", "the style engine does not read :first-child"},
    {"pseudo_nth_child_odd", "the style engine does not read :nth-child"},
    {"pseudo_nth_child_formula", "the style engine does not read :nth-child"},
    {"pseudo_nth_of_type", "the style engine does not read :nth-of-type"},
    {"pseudo_not", "the style engine does not read :not()"},
    {"pseudo_is", "the style engine does not read :is()"},
    {"pseudo_empty", "the style engine does not read :empty"},
    {"pseudo_has", "the style engine does not read :has()"},
    {"pseudo_link", "the style engine does not read :link"},
    {"media_unknown_type", "the style engine applies @media rules for an unknown media type"},
    {"media_height", "the style engine does not judge height in @media"},
    {"media_orientation", "the style engine does not judge orientation in @media"},
    {"media_range_syntax", "the style engine does not read (width < 1000px) in @media"},
    {"cascade_inherit_keyword", "the style engine does not resolve display:inherit"},
    {"cascade_initial_keyword", "the style engine does not resolve display:initial"},
    {"cascade_layer_loses_to_unlayered",
     "the style engine gives rules in @layer the same weight as rules outside it"},
    {"prop_white_space_collapse_preserve", "the style engine does not read white-space-collapse"},
    {"syntax_invalid_value_ignored",
     "the style engine lets an unknown display value replace an earlier valid one"},
    {"syntax_stray_brace",
     "the style engine skips a stray }; the browser drops the rule that follows it"},
    {"syntax_supports", "the style engine applies @supports blocks without testing them"},
    {"syntax_nesting", "the style engine does not read nested rules"},
    {"syntax_html_comment_markers", "the style engine does not skip <!-- and --> in a sheet"},
    {"syntax_escape_digit_class", "the style engine does not read escapes in selectors"},
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
