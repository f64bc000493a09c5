// The output format, byte for byte: every data/format/<case>.html is converted
// and compared with <case>.expected (made by the Chromium oracle, CR LF line
// breaks, no final line break).

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <engine/convert.h>
#include "recording_reporter.h"
#include "test_support.h"

namespace tabrivo {
namespace {

using tabrivo::test::RecordingReporter;

using test::readFileBytes;
using test::TempDir;

const test::fs::path kFormatDir = test::fs::path(TABRIVO_TEST_DATA_DIR) / "format";

std::vector<std::string> formatCases() {
    std::vector<std::string> names;
    for (const auto& entry : test::fs::directory_iterator(kFormatDir)) {
        if (entry.path().extension() == ".html") {
            names.push_back(entry.path().stem().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Shows control characters so a difference in line breaks or tabs can be seen.
std::string visible(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += c;
        }
    }
    return out;
}

class OutputFormatTest : public testing::TestWithParam<std::string> {
protected:
    std::string html() const { return readFileBytes(kFormatDir / (GetParam() + ".html")); }
    std::string expected() const { return readFileBytes(kFormatDir / (GetParam() + ".expected")); }
};

TEST_P(OutputFormatTest, convertHtmlToText_matchesExpectedBytes) {
    const std::string produced = convertHtmlToText(html());
    EXPECT_EQ(produced, expected()) << "produced:\n"
                                    << visible(produced) << "\nexpected:\n"
                                    << visible(expected());
}

TEST_P(OutputFormatTest, convertFile_writesExpectedBytes) {
    const TempDir dir;
    const std::string source = (kFormatDir / (GetParam() + ".html")).string();
    const std::string output = dir.file(GetParam() + ".json");
    RecordingReporter reporter;
    ConvertVelquist(source, output, reporter);
    EXPECT_TRUE(reporter.reports.empty());
    const std::string produced = readFileBytes(output);
    EXPECT_EQ(produced, expected()) << "produced:\n"
                                    << visible(produced) << "\nexpected:\n"
                                    << visible(expected());
}

INSTANTIATE_TEST_SUITE_P(Cases, OutputFormatTest, testing::ValuesIn(formatCases()),
                         [](const testing::TestParamInfo<std::string>& param) {
                             return param.param;
                         });

TEST(OutputFormatData, everyCaseHasItsExpectedFile) {
    const std::vector<std::string> cases = formatCases();
    EXPECT_GE(cases.size(), 12U);
    for (const std::string& name : cases) {
        EXPECT_TRUE(test::fs::exists(kFormatDir / (name + ".expected"))) << name;
    }
}

// Cases built in code.
TEST(OutputFormat, convertHtmlToText_emptyInput_writesOnlyBraces) {
    EXPECT_EQ(convertHtmlToText(""), "{\r\n}");
}

TEST(OutputFormat, convertHtmlToText_manyTables_keepDocumentOrder) {
    std::string html;
    std::string expected = "{\r\n";
    for (int i = 0; i < 50; ++i) {
        html += "<table><tr><td>" + std::to_string(i) + "</td></tr></table>";
        expected += "\t{\r\n\t\"" + std::to_string(i) + "\"\r\n\t}\r\n";
    }
    expected += "}";
    EXPECT_EQ(convertHtmlToText(html), expected);
}

}  // namespace
}  // namespace tabrivo
