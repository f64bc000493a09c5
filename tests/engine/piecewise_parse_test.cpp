// Large documents parse the rows of their top-level tables a piece at a time.
// Whatever the pieces, the output must be exactly the whole parse's; markup
// the row scanner cannot follow must make it parse the document whole.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <engine/convert.h>
#include <engine/encoding.h>
#include <engine/html_document.h>

namespace tabrivo {
namespace {

namespace fs = std::filesystem;

// Every document is cut: rows one at a time, and in pieces of a few rows.
constexpr ParseOptions kRowByRow{0, 1};
constexpr ParseOptions kSmallPieces{0, 64};

bool parsesPiecewise(const std::string& html, const ParseOptions& options = kRowByRow) {
    return HtmlDocument::parse(htmlBytesToUtf8(html), options)->isPiecewise();
}

void expectSameOutput(const std::string& html, const std::string& label) {
    const std::string whole = convertHtmlToText(html);
    EXPECT_EQ(convertHtmlToText(html, kRowByRow), whole) << label << " (row by row)";
    EXPECT_EQ(convertHtmlToText(html, kSmallPieces), whole) << label << " (small pieces)";
}

struct Case {
    const char* name;
    const char* html;
    bool piecewise;  // whether the scanner may cut it
};

const Case kCases[] = {
    {"plain rows", "<table><tr><td>a<td>b</tr><tr><td>c</td></tr></table><p>after", true},
    {"sections in table order",
     "<table><tfoot><tr><td>f</tfoot><tbody><tr><td>b1<tr><td>b2</tbody>"
     "<thead><tr><th>h</thead><tr><td>direct</table>",
     true},
    {"caption with a nested table",
     "<table><caption>c<table><tr><td>in caption</table></caption><tr><td>row</table>", true},
    {"nested tables in rows",
     "<table><tr><td>x<table><tr><td>n1<tr><td>n2</table>y<tr><td>z<table><td>m</table>"
     "</table><table><tr><td>second</table>",
     true},
    {"unclosed cells and rows", "<table><tr><td>a<td>b<tr><td>c<p>para<b>bold</table>tail", true},
    {"table opened at row level closes the first", "<table><tr><td>a</tr><table><tr><td>b</table>",
     true},
    {"cells without rows", "<table><td>a<td>b</table>", true},
    {"end tag of the other kind of cell",
     "<table><td>a</th><table>b</table><th>c</td><table><tr><td>d</table></table>", true},
    {"comments and scripts between rows",
     "<table><!-- </table> --><tr><td>a</td><script>var s='</table>';</script></tr>"
     "<!--x--!><tr><td>b</table>",
     true},
    {"raw text in cells",
     "<table><tr><td><textarea></td></table></textarea>t<td><xmp><tr></xmp>"
     "<title>x</td></title><tr><td>last</table>",
     true},
    {"quoted attributes holding markup",
     "<table><tr><td title='</table>' data-x=\"<tr>\">a<td class=a>b=</table>", true},
    {"quirks mode keeps a paragraph around a nested table",
     "<table><tr><td><p>b<table><tr><td>i</table>c</table>", true},
    {"no quirks mode closes the paragraph",
     "<!DOCTYPE html><table><tr><td><p>b<table><tr><td>i</table>c</table>", true},
    {"style sheet before the table",
     "<style>.h{display:none} td td{text-transform:uppercase}</style><table><tr><td>a<span "
     "class=h>hidden</span><table><tr><td>in</table></table>",
     true},
    {"hidden table ancestors",
     "<div style='display:none'><table><tr><td>a<br>b</table></div>"
     "<div style='white-space:pre'><table><tr><td>x   y</table></div>",
     true},
    {"select in a cell",
     "<table><tr><td><select><option>a<xmp><td>b</select>c<td><select><option>d</td>"
     "<td>e</table>",
     true},
    {"formatting before the table", "<b><table><tr><td>a<i>b</table>c<table><tr><td>d</table></b>",
     true},
    {"control characters", "<table><tr><td>a\x01z<td>\x7f</table>", true},
    {"end of text inside the table", "<table><tr><td>a<tr><td>b<td", true},
    // Markup the scanner does not follow: the whole document is parsed.
    {"text between rows", "<table><tr><td>a</td>stray<td>b</table>", false},
    {"form in a row", "<form><table><tr><td><form>x</form>y</table></form>", false},
    {"style sheet in a row", "<table><tr><td><style>td{display:none}</style>a</table>", false},
    {"svg in a row", "<table><tr><td><svg><title><table><tr><td>x</table></svg></table>", false},
    {"template", "<template><table><tr><td>x</table></template><table><tr><td>y</table>", false},
    {"section end tags inside cells",
     "<table><thead><tr><td>a</tbody>b<table><td>c</table><tfoot><tr><td>d</tfoot>e"
     "<tbody><tr><td>f</thead>g</tbody><tr><td>h</table>",
     true},
    {"script with a comment opener",
     "<table><tr><td><script><!--<script></script>--></script>a</table>", false},
    {"table inside a select outside tables",
     "<select><table><tr><td>x</select><table><tr><td>y</table>", false},
    {"section end inside a select", "<table><tr><td><select></tbody><option>x</select></table>",
     false},
    {"body tag in a cell", "<table><tr><td><body hidden>x</table>", false},
};

TEST(PiecewiseParseTest, TrickyMarkupGivesTheWholeParsesOutput) {
    for (const Case& c : kCases) {
        expectSameOutput(c.html, c.name);
        EXPECT_EQ(parsesPiecewise(c.html), c.piecewise) << c.name;
    }
}

TEST(PiecewiseParseTest, SmallDocumentsAndUnsplittableOnesParseWhole) {
    const std::string html = "<table><tr><td>a</table>";
    EXPECT_FALSE(parsesPiecewise(html, ParseOptions{}));
    EXPECT_FALSE(parsesPiecewise("<p>no table at all", kRowByRow));
    // Runs shorter than a piece stay in the document's own parse.
    EXPECT_FALSE(parsesPiecewise(html, ParseOptions{0, 1000}));
}

TEST(PiecewiseParseTest, ManyPiecesKeepEveryRowInOrder) {
    std::string html = "<!DOCTYPE html><table><thead><tr><th>n<th>square</thead>";
    std::string expected = "{\r\n\t{\r\n\t\"n\", \r\n\t\"square\"\r\n\t}\r\n";
    for (int i = 0; i < 500; ++i) {
        html += "<tr><td>" + std::to_string(i) + "<td>" + std::to_string(i * i) + "\n";
        expected += "\t{\r\n\t\"" + std::to_string(i) + "\", \r\n\t\"" + std::to_string(i * i) +
                    "\"\r\n\t}\r\n";
    }
    html += "</table>";
    expected += "}";
    EXPECT_TRUE(parsesPiecewise(html, ParseOptions{0, 100}));
    EXPECT_EQ(convertHtmlToText(html, ParseOptions{0, 100}), expected);
    EXPECT_EQ(convertHtmlToText(html), expected);
}

TEST(PiecewiseParseTest, LargeDocumentsAreCutByDefault) {
    std::string html = "<!DOCTYPE html><style>.x{display:none}</style><table>";
    for (int i = 0; html.size() < ParseOptions{}.piecewiseFrom + 1000; ++i) {
        html += "<tr><td>row " + std::to_string(i) + "<span class=x>hidden</span><td>" +
                (i % 5000 == 0 ? "<table><tr><td>nested</table>" : "<b>bold</b> text") + "\n";
    }
    html += "</table>";
    const ParseOptions whole{static_cast<std::size_t>(-1), 1};
    EXPECT_FALSE(parsesPiecewise(html, whole));
    const std::string expected = convertHtmlToText(html, whole);

    // The pieces are parsed while the tables are written; the caller's event
    // loop keeps running meanwhile.
    const auto document = HtmlDocument::parse(htmlBytesToUtf8(html));
    EXPECT_TRUE(document->isPiecewise());
    StringSink sink;
    struct : FailureReporter {
        void showFailure(const FailureReport&) override { ADD_FAILURE() << "no failure expected"; }
    } reporter;
    StepTrap trap("test", reporter);
    int yields = 0;
    EXPECT_TRUE(writeTables(*document, sink, trap, [&yields] { ++yields; }));
    EXPECT_EQ(sink.take(), expected);
    EXPECT_GT(yields, 0);
}

struct CellTextCase {
    const char* name;
    const char* html;
    const char* expected;
};

const CellTextCase kCellTextCases[] = {
#include "cell_text_cases.inc"
};

TEST(PiecewiseParseTest, CellTextCasesGiveTheWholeParsesOutput) {
    for (const CellTextCase& c : kCellTextCases) {
        expectSameOutput(c.html, c.name);
    }
}

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Inputs on which the piecewise fuzz target once found a difference.
TEST(PiecewiseParseTest, FuzzFindingsGiveTheWholeParsesOutput) {
    const fs::path findings = fs::path(TABRIVO_TEST_DATA_DIR) / "fuzz" / "piecewise";
    int files = 0;
    for (const auto& entry : fs::directory_iterator(findings)) {
        expectSameOutput(readBytes(entry.path()), entry.path().filename().string());
        ++files;
    }
    EXPECT_GT(files, 0);
}

TEST(PiecewiseParseTest, CorpusGivesTheWholeParsesOutput) {
    const fs::path corpus = fs::path(TABRIVO_SHARED_DIR) / "corpus" / "public";
    if (!fs::is_directory(corpus)) {
        GTEST_SKIP() << "no corpus at " << corpus;
    }
    int files = 0;
    int piecewise = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        const std::string bytes = readBytes(entry.path());
        expectSameOutput(bytes, entry.path().filename().string());
        ++files;
        piecewise += parsesPiecewise(bytes) ? 1 : 0;
    }
    // Real pages mostly hold plain tables: the scanner must not give up on them.
    EXPECT_GT(files, 0);
    EXPECT_GE(piecewise * 2, files) << piecewise << " of " << files << " cut into pieces";
}

}  // namespace
}  // namespace tabrivo
