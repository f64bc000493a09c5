// Large documents are parsed while their tables are walked, each row freed
// once read. Whatever the markup, the output must be exactly the whole
// parse's: where the walk cannot be sure of that (a style sheet after rows
// were read, text put before a table...), the document is parsed whole, at
// once or by starting the walk again.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include <engine/background_rows_p.h>
#include <engine/convert.h>
#include <engine/data_export.h>
#include <engine/encoding.h>
#include <engine/html_document.h>
#include <engine/table_model.h>

namespace tabrivo {
namespace {

namespace fs = std::filesystem;

// Every document is parsed while it is walked.
constexpr ParseOptions kWhileWalked{0};
// The same, its rows read on a second thread while the next are parsed.
const ParseOptions kReadBehind = [] {
    ParseOptions options;
    options.parseWhileWalkingFrom = 0;
    options.readRowsBehindFromRow = 0;
    return options;
}();

// Whether the document was still parsed while walked once its tables were written.
bool staysStreamed(const std::string& html) {
    const auto document = HtmlDocument::parse(htmlBytesToUtf8(html), kWhileWalked);
    StringSink sink;
    struct : FailureReporter {
        void showFailure(const FailureReport&) override {}
    } reporter;
    StepTrap trap("test", reporter);
    writeTables(*document, sink, trap);
    return document->isParsedWhileWalked();
}

// Every output an export writes, by the index it was opened with.
class TextTarget : public ExportTarget {
public:
    PieceSink& open(std::size_t index) override {
        m_index = index;
        return m_sink;
    }
    void close() override { outputs[m_index] = m_sink.take(); }
    std::map<std::size_t, std::string> outputs;

private:
    std::size_t m_index = 0;
    StringSink m_sink;
};

std::map<std::size_t, std::string> exported(const std::string& html, DataFormat format,
                                            const ParseOptions& options) {
    TextTarget target;
    exportTables(*HtmlDocument::parse(html, options), ExportOptions{format, true}, "page.html",
                 target);
    return target.outputs;
}

void expectSameOutput(const std::string& html, const std::string& label) {
    const std::string whole = convertHtmlToText(html);
    EXPECT_EQ(convertHtmlToText(html, kWhileWalked), whole) << label;
    EXPECT_EQ(convertHtmlToText(html, kReadBehind), whole) << label << " (read behind)";
}

struct Case {
    const char* name;
    const char* html;
    bool streams;  // whether the walk goes on without the whole tree
};

const Case kCases[] = {
    {"plain rows", "<table><tr><td>a<td>b</tr><tr><td>c</td></tr></table><p>after", true},
    {"sections in table order",
     "<table><tfoot><tr><td>f</tfoot><tbody><tr><td>b1<tr><td>b2</tbody>"
     "<thead><tr><th>h</thead><tr><td>direct</table>",
     false},
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
    {"text between rows", "<table><tr><td>a</td>stray<td>b</table>", false},
    {"form in a row", "<form><table><tr><td><form>x</form>y</table></form>", true},
    {"style sheet in a row", "<table><tr><td><style>td{display:none}</style>a</table>", true},
    {"svg in a row", "<table><tr><td><svg><title><table><tr><td>x</table></svg></table>", true},
    {"template", "<template><table><tr><td>x</table></template><table><tr><td>y</table>", false},
    {"section end tags inside cells",
     "<table><thead><tr><td>a</tbody>b<table><td>c</table><tfoot><tr><td>d</tfoot>e"
     "<tbody><tr><td>f</thead>g</tbody><tr><td>h</table>",
     false},
    {"script with a comment opener",
     "<table><tr><td><script><!--<script></script>--></script>a</table>", true},
    {"table inside a select outside tables",
     "<select><table><tr><td>x</select><table><tr><td>y</table>", true},
    {"section end inside a select", "<table><tr><td><select></tbody><option>x</select></table>",
     false},
    {"body tag in a cell", "<table><tr><td><body hidden>x</table>", true},
    // Tables one after another in the body: what lies up to each table the
    // walk is done with is freed, unless something still points into it.
    {"tables one after another",
     "<p>a<table><tr><td>1</table>\n<p>b</p><table><tr><td>2</table>c<table><tr><td>3</table>"
     "<!--x--><table><tr><td>4</table>d",
     true},
    {"formatting left open across tables",
     "<table><tr><td>1</table><p><b class=k>x</p><table><tr><td>2</table>y<table><tr><td>3"
     "</table>z<i>w</b><table><tr><td>4</table>",
     true},
    {"form and style sheet between tables",
     "<table><tr><td>1</table><form id=f><table><tr><td>2</table></form><table><tr><td>3"
     "</table><style>td{text-transform:uppercase}</style><table><tr><td>4</table>",
     true},
    {"text put before later tables",
     "<table><tr><td>1</table><table>x<tr><td>2</table><table><tr><td>3</td>y</tr></table>"
     "<table><tr><td>4</table>",
     false},
    {"later tables with nested tables and feet",
     "<table><tr><td>1</table><table><tr><td>2<table><tr><td>n</table></table><table><tfoot>"
     "<tr><td>f</tfoot><tr><td>3</table><table><tr><td>4</table>",
     true},
    {"a table closed by the next one",
     "<table><tr><td>1</table><table><tr><td>2</tr><table><tr><td>3</tr><table><tr><td>4"
     "</table><table><tr><td>5</table>",
     true},
    {"tables inside blocks and after the body",
     "<table><tr><td>1</table><div><table><tr><td>2</table></div><table><tr><td>3</table>"
     "</body><table><tr><td>4</table></html><!--end--><table><tr><td>5</table>",
     true},
};

TEST(StreamedParseTest, TrickyMarkupGivesTheWholeParsesOutput) {
    for (const Case& c : kCases) {
        expectSameOutput(c.html, c.name);
        EXPECT_EQ(staysStreamed(c.html), c.streams) << c.name;
    }
}

TEST(StreamedParseTest, SmallDocumentsParseWhole) {
    EXPECT_FALSE(HtmlDocument::parse("<table><tr><td>a</table>")->isParsedWhileWalked());
    EXPECT_FALSE(HtmlDocument::parse("<p>no table at all", kWhileWalked)->isParsedWhileWalked());
}

// Markup found after rows were handed out: the walk starts again on the
// whole tree, and every output format gives what the whole parse gives.
// A style sheet found late makes a second parse with every sheet known.
TEST(StreamedParseTest, LateMarkupRestartsTheWalkInEveryFormat) {
    const char* const kLate[] = {
        "<table><tr><td>a<tr><td>b<caption>late caption</caption></table>",
        "<table><tbody><tr><td>body</tbody><thead><tr><th>head</thead></table>",
        "<table><tr><td>a</table><body hidden><table><tr><td>b</table>",
        "<table><tr><td>a</table><table><tr><td>b</td></tr><div>put before</div><tr><td>c</table>",
        "<table><tr><td>a<span class=h>b</span></table><style>.h{display:none}</style>",
        "<table><tr><td>x</table><style>td+td{display:none}</style><table><tr><td>a<td>b</table>",
    };
    for (const char* html : kLate) {
        expectSameOutput(html, html);
        const bool sheetOfNoSiblings =
            std::string_view(html).find("<style>.h") != std::string_view::npos;
        EXPECT_EQ(staysStreamed(html), sheetOfNoSiblings) << html;
        for (const DataFormat format :
             {DataFormat::kJson, DataFormat::kJsonLines, DataFormat::kCsv}) {
            EXPECT_EQ(exported(html, format, kWhileWalked), exported(html, format, {})) << html;
            EXPECT_EQ(exported(html, format, kReadBehind), exported(html, format, {})) << html;
        }
        EXPECT_EQ(readAllTables(*HtmlDocument::parse(html, kWhileWalked)).size(),
                  readAllTables(*HtmlDocument::parse(html)).size())
            << html;
    }
}

TEST(StreamedParseTest, ASecondWalkGivesTheSameTables) {
    const std::string html = "<table><tr><td>a<tr><td>b</table><table><tr><td>c</table>";
    const auto document = HtmlDocument::parse(html, kWhileWalked);
    std::string first;
    std::string second;
    appendJsonTable(first, readAllTables(*document).at(1), false);
    appendJsonTable(second, readAllTables(*document).at(1), false);
    EXPECT_EQ(second, first);
    EXPECT_EQ(readAllTables(*document).at(0).rows.size(), 2U);
}

// Pages joined into one file repeat their <html> and <body> tags: where they
// give those elements nothing new, the walk goes on.
TEST(StreamedParseTest, RepeatedBodyTagsWithNothingNewKeepTheWalkGoing) {
    const std::string page = "<html><body class=p><table><tr><td>a<tr><td>b</table></body></html>";
    EXPECT_TRUE(staysStreamed(page + page + page));
    expectSameOutput(page + page + page, "joined pages");
}

TEST(StreamedParseTest, ManyRowsKeepEveryRowInOrder) {
    std::string html = "<!DOCTYPE html><table><thead><tr><th>n<th>square</thead>";
    std::string expected = "{\r\n\t{\r\n\t\"n\", \r\n\t\"square\"\r\n\t}\r\n";
    for (int i = 0; i < 500; ++i) {
        html += "<tr><td>" + std::to_string(i) + "<td>" + std::to_string(i * i) + "\n";
        expected += "\t{\r\n\t\"" + std::to_string(i) + "\", \r\n\t\"" + std::to_string(i * i) +
                    "\"\r\n\t}\r\n";
    }
    html += "</table>";
    expected += "}";
    EXPECT_TRUE(staysStreamed(html));
    EXPECT_EQ(convertHtmlToText(html, kWhileWalked), expected);
    EXPECT_EQ(convertHtmlToText(html), expected);
}

// Rules asking for a row's class or its siblings, over more rows than style
// matching counts one by one: the rows are freed as they are read (or, with
// sibling rules, kept), and each cell meets only the rules filed under its
// ancestors' keys.
TEST(StreamedParseTest, SelectorsOverManyRowsGiveTheWholeParsesOutput) {
    const std::string_view kSheets[] = {
        ".c3 td{text-transform:uppercase} #t .c5 > td{display:none} table.k tr.c1 td b"
        "{white-space:pre} .c2 .c4 td{display:none} tr td.c6{display:block}",
        "tr.c3 ~ tr td{text-transform:uppercase} tr + tr.c5 td{display:none} tr:nth-child(7n) "
        "td{white-space:pre} tr:nth-last-of-type(3n) td b{display:none} .c6 ~ .c2 td{float:left}",
    };
    for (const std::string_view sheet : kSheets) {
        std::string html = "<style>" + std::string(sheet) + "</style><table id=t class=k>";
        for (int i = 0; i < 120; ++i) {
            const std::string row = std::to_string(i);
            html += "<tr class='c" + std::to_string(i % 7) + "'><td class=c" +
                    std::to_string(i % 11) + ">a  <b>" + row + "  b</b><td>" + row + "\n";
        }
        html += "</table>";
        expectSameOutput(html, std::string(sheet));
    }
}

// Enough rows for the reading to change threads on the way (see
// ReadingChoice), with foot rows kept for the end and nested tables: every
// row once, in order; a visitor's stop or failure ends the walk there.
TEST(StreamedParseTest, RowsReadBehindComeInOrderAndStopWhereTheVisitorStops) {
    std::string html = "<table><thead><tr><th>n</thead>";
    for (int i = 0; i < 7000; ++i) {
        html += "<tr class=r><td>" + std::to_string(i) +
                (i % 1500 == 0 ? "<td><table><tr><td>nested " + std::to_string(i) + "</table>"
                               : std::string()) +
                (i == 3000 ? "<tfoot><tr><td>foot</tfoot>" : "") + "\n";
    }
    html += "</table>";
    EXPECT_TRUE(staysStreamed(html));
    expectSameOutput(html, "7000 rows");
    // A late <body> tag changes what every row inherits, while rows are read.
    std::string late = "<style>.late td{text-transform:uppercase}</style>" + html;
    late.insert(late.find("<td>4000"), "<td>x<body class=late>");
    expectSameOutput(late, "7000 rows, a late body class");

    class Counting : public TableVisitor {
    public:
        explicit Counting(int stopAt, bool throws) : m_stopAt(stopAt), m_throws(throws) {}
        bool beginTable(const Table& table) override {
            m_outer = table.index == 0;
            return true;
        }
        bool row(const TableRow& row) override {
            if (!m_outer) {
                return true;  // a nested table's, after the outer one's
            }
            const std::string& first = row.cells.front().text;
            const bool inOrder =
                rows == 0 ? first == "n"
                          : first == std::to_string(rows - 1) || (rows == 7001 && first == "foot");
            outOfOrder = outOfOrder || !inOrder;
            if (++rows == m_stopAt && m_throws) {
                throw std::runtime_error("visitor failed");
            }
            return rows != m_stopAt;
        }
        bool endTable() override { return true; }
        bool restart() override { return false; }
        int rows = 0;
        bool outOfOrder = false;

    private:
        int m_stopAt;
        bool m_throws;
        bool m_outer = false;
    };
    struct Run {
        int stopAt;
        bool throws;
        int rowsSeen;
        bool finished;
    };
    const Run kRuns[] = {
        {-1, false, 7002, true}, {5000, false, 5000, false}, {100, true, 100, false}};
    for (const Run& run : kRuns) {
        const auto document = HtmlDocument::parse(html, kReadBehind);
        Counting visitor(run.stopAt, run.throws);
        bool finished = false;
        if (run.throws) {
            EXPECT_THROW(readTables(*document, visitor, "\n"), std::runtime_error);
        } else {
            finished = readTables(*document, visitor, "\n");
        }
        EXPECT_EQ(finished, run.finished) << run.stopAt;
        EXPECT_EQ(visitor.rows, run.rowsSeen) << run.stopAt;
        EXPECT_FALSE(visitor.outOfOrder) << run.stopAt;
    }
}

// Where the rows are read, given how fast the text was parsed each way.
TEST(ReadingChoiceTest, ReadsWhereParsingWasFasterAndTriesTheOtherWayNowAndThen) {
    struct Machine {
        double behindRate;  // bytes a second with the rows read on the other thread
        double aloneRate;
        long leastAlone;  // stretches of the 64 read on the parsing thread
        long mostAlone;
    };
    const Machine kMachines[] = {{150e6, 100e6, 2, 4}, {80e6, 100e6, 56, 62}};
    for (const Machine& machine : kMachines) {
        detail::ReadingChoice choice;
        std::string ways;  // B: behind, A: alone, a stretch each
        for (int stretch = 0; stretch < 64; ++stretch) {
            const bool behind = choice.behind();
            ways += behind ? 'B' : 'A';
            choice.endStretch(behind ? machine.behindRate : machine.aloneRate, 1.0);
        }
        EXPECT_EQ(ways.substr(0, 3), "BBA") << "the first behind is not measured";
        const long alone = std::count(ways.begin(), ways.end(), 'A');
        EXPECT_GE(alone, machine.leastAlone) << ways;
        EXPECT_LE(alone, machine.mostAlone) << ways;
        EXPECT_NE(ways.find('B', 3), std::string::npos) << ways;
        EXPECT_NE(ways.find('A', 3), std::string::npos) << ways;
    }
}

// Long markup before a table is parsed in the walk too: the caller's event
// loop runs meanwhile, not only between rows.
TEST(StreamedParseTest, TheParseBeforeTheFirstTableLetsTheCallerRun) {
    std::string html;
    for (int i = 0; i < 20000; ++i) {
        html += "<p>paragraph " + std::to_string(i);
    }
    html += "<table><tr><td>a</table>";
    const auto document = HtmlDocument::parse(html, kWhileWalked);
    int calls = 0;
    int callsBeforeTheTable = -1;
    document->forEachTable(
        [&](ElementRef) {
            callsBeforeTheTable = calls;
            return true;
        },
        [&calls] { ++calls; });
    EXPECT_GT(callsBeforeTheTable, 0);
}

TEST(StreamedParseTest, LargeDocumentsAreParsedWhileWalkedByDefault) {
    std::string html = "<!DOCTYPE html><style>.x{display:none}</style><table>";
    for (int i = 0; html.size() < ParseOptions{}.parseWhileWalkingFrom + 1000; ++i) {
        html += "<tr><td>row " + std::to_string(i) + "<span class=x>hidden</span><td>" +
                (i % 5000 == 0 ? "<table><tr><td>nested</table>" : "<b>bold</b> text") + "\n";
    }
    html += "</table>";
    const ParseOptions whole{static_cast<std::size_t>(-1)};
    EXPECT_FALSE(HtmlDocument::parse(html, whole)->isParsedWhileWalked());
    const std::string expected = convertHtmlToText(html, whole);

    // The rows are parsed while the tables are written; the caller's event
    // loop keeps running meanwhile.
    const auto document = HtmlDocument::parse(htmlBytesToUtf8(html));
    StringSink sink;
    struct : FailureReporter {
        void showFailure(const FailureReport&) override { ADD_FAILURE() << "no failure expected"; }
    } reporter;
    StepTrap trap("test", reporter);
    int yields = 0;
    EXPECT_TRUE(writeTables(*document, sink, trap, [&yields] { ++yields; }));
    EXPECT_TRUE(document->isParsedWhileWalked());
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

TEST(StreamedParseTest, CellTextCasesGiveTheWholeParsesOutput) {
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

// Inputs on which the fuzz target that compares with the whole parse once
// found a difference (when large documents were parsed a piece at a time).
TEST(StreamedParseTest, FuzzFindingsGiveTheWholeParsesOutput) {
    const fs::path findings = fs::path(TABRIVO_TEST_DATA_DIR) / "fuzz" / "streamed_parse";
    int files = 0;
    for (const auto& entry : fs::directory_iterator(findings)) {
        expectSameOutput(readBytes(entry.path()), entry.path().filename().string());
        ++files;
    }
    EXPECT_GT(files, 0);
}

TEST(StreamedParseTest, CorpusGivesTheWholeParsesOutput) {
    const fs::path corpus = fs::path(TABRIVO_SHARED_DIR) / "corpus" / "public";
    if (!fs::is_directory(corpus)) {
        GTEST_SKIP() << "no corpus at " << corpus;
    }
    int files = 0;
    int streamed = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        const std::string bytes = readBytes(entry.path());
        expectSameOutput(bytes, entry.path().filename().string());
        ++files;
        streamed += staysStreamed(bytes) ? 1 : 0;
    }
    // Real pages mostly hold plain tables: the walk must not give up on them.
    EXPECT_GT(files, 0);
    EXPECT_GE(streamed * 2, files) << streamed << " of " << files << " parsed while walked";
}

}  // namespace
}  // namespace tabrivo
