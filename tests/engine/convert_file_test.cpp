// Converting files: where the result goes by the output path rule, replacing
// an earlier result, and loading on another thread while the caller yields.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include <engine/convert.h>
#include <files/output_path.h>
#include "recording_reporter.h"
#include "test_support.h"

namespace tabrivo {
namespace {

using tabrivo::test::RecordingReporter;

using test::folderEntries;
using test::readFileBytes;
using test::TempDir;
using test::writeFileBytes;

constexpr const char* kOneCellHtml = "<table><tr><td>only</td></tr></table>";
constexpr const char* kOneCellText = "{\r\n\t{\r\n\t\"only\"\r\n\t}\r\n}";

// Converts `name` (written with kOneCellHtml) beside itself; returns the folder's entries.
std::vector<std::string> convertBesideSource(const TempDir& dir, const std::string& name) {
    const std::string source = dir.file(name);
    writeFileBytes(source, kOneCellHtml);
    RecordingReporter reporter;
    ConvertVelquist(source, outputPathBesideSource(source), reporter);
    EXPECT_TRUE(reporter.reports.empty());
    return folderEntries(dir.path());
}

// --- Naming and replacement ---

TEST(ConvertFile, existingOutput_isReplacedNotAppended) {
    const TempDir dir;
    const std::string source = dir.file("report.html");
    const std::string output = outputPathBesideSource(source);
    writeFileBytes(source, kOneCellHtml);
    writeFileBytes(output, std::string(5000, 'z'));
    RecordingReporter reporter;
    ConvertVelquist(source, output, reporter);
    ConvertVelquist(source, output, reporter);
    EXPECT_TRUE(reporter.reports.empty());
    EXPECT_EQ(readFileBytes(output), kOneCellText);
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"report.html", "report.json"}));
}

TEST(ConvertFile, nameWithTwoDots_dropsOnlyTheLastExtension) {
    const TempDir dir;
    EXPECT_EQ(convertBesideSource(dir, "a.b.html"),
              (std::vector<std::string>{"a.b.html", "a.b.json"}));
    EXPECT_EQ(readFileBytes(dir.path() / "a.b.json"), kOneCellText);
}

TEST(ConvertFile, nameThatIsOnlyAnExtension_keepsIt) {
    const TempDir dir;
    EXPECT_EQ(convertBesideSource(dir, ".htm"), (std::vector<std::string>{".htm", ".htm.json"}));
    EXPECT_EQ(readFileBytes(dir.path() / ".htm.json"), kOneCellText);
}

TEST(ConvertFile, nameWithoutExtension_getsJsonAdded) {
    const TempDir dir;
    EXPECT_EQ(convertBesideSource(dir, "README"),
              (std::vector<std::string>{"README", "README.json"}));
    EXPECT_EQ(readFileBytes(dir.path() / "README.json"), kOneCellText);
}

TEST(ConvertFile, outputInAnotherFolder_leavesTheSourceFolderAlone) {
    const TempDir sources;
    const TempDir results;
    const std::string source = sources.file("page.htm");
    writeFileBytes(source, kOneCellHtml);
    RecordingReporter reporter;
    ConvertVelquist(source, outputPathInFolder(results.path().string(), source), reporter);
    EXPECT_TRUE(reporter.reports.empty());
    EXPECT_EQ(folderEntries(sources.path()), (std::vector<std::string>{"page.htm"}));
    EXPECT_EQ(readFileBytes(results.path() / "page.json"), kOneCellText);
}

TEST(ConvertFile, emptySource_writesOnlyBraces) {
    const TempDir dir;
    const std::string source = dir.file("empty.html");
    writeFileBytes(source, "");
    RecordingReporter reporter;
    ConvertVelquist(source, dir.file("empty.json"), reporter);
    EXPECT_TRUE(reporter.reports.empty());
    EXPECT_EQ(readFileBytes(dir.path() / "empty.json"), "{\r\n}");
}

// --- Loading while the caller yields ---

// A document big enough that loading it takes a while: many rows of several cells.
std::string bigDocument() {
    std::string html = "<!doctype html><meta charset=\"utf-8\"><table>";
    for (int row = 0; row < 40000; ++row) {
        html += "<tr><td>r" + std::to_string(row) +
                "</td><td><b>bold</b> text</td><td>x<br>y</td></tr>";
    }
    html += "</table>";
    return html;
}

TEST(ConvertFile, withYield_callsTheCallbackAndWritesTheSameResult) {
    const TempDir dir;
    const std::string source = dir.file("big.html");
    writeFileBytes(source, bigDocument());

    RecordingReporter reporter;
    ConvertVelquist(source, dir.file("plain.json"), reporter);

    int calls = 0;
    bool onCallerThread = true;
    const std::thread::id caller = std::this_thread::get_id();
    ConvertVelquist(source, dir.file("yielding.json"), reporter, [&] {
        ++calls;
        onCallerThread = onCallerThread && std::this_thread::get_id() == caller;
    });

    EXPECT_TRUE(reporter.reports.empty());
    EXPECT_GT(calls, 0);
    EXPECT_TRUE(onCallerThread);
    const std::string plain = readFileBytes(dir.path() / "plain.json");
    EXPECT_EQ(readFileBytes(dir.path() / "yielding.json"), plain);
    EXPECT_EQ(plain.substr(0, 20), "{\r\n\t{\r\n\t\"r0\", \r\n\t\"bo");
}

TEST(ConvertFile, yieldThatThrows_isReportedAndTheConversionFinishes) {
    const TempDir dir;
    const std::string source = dir.file("big.html");
    writeFileBytes(source, bigDocument());
    RecordingReporter reporter;
    bool thrown = false;
    ConvertVelquist(source, dir.file("big.json"), reporter, [&] {
        if (!thrown) {
            thrown = true;
            throw std::runtime_error("the event loop failed");
        }
    });
    ASSERT_TRUE(thrown);
    ASSERT_EQ(reporter.reports.size(), 1U);
    EXPECT_EQ(reporter.reports[0].line, 106);
    EXPECT_EQ(readFileBytes(dir.path() / "big.json"), convertHtmlToText(bigDocument()));
}

}  // namespace
}  // namespace tabrivo
