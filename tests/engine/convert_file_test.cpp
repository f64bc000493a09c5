// Converting files: where the result goes by the output path rule, replacing
// an earlier result, loading on another thread while the caller yields, and a
// large source mapped while it is read.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <engine/convert.h>
#include <engine/data_export.h>
#include <engine/document_loader.h>
#include <engine/encoding.h>
#include <engine/source_text.h>
#include <engine/unique_fd.h>
#include <files/output_path.h>
#include "allocation_limit.h"
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

TEST(ExportFile, csvRerun_replacesThePagesFilesAsOneSet) {
    const TempDir dir;
    const std::string source = dir.file("page.html");
    auto convert = [&](const std::string& html) {
        writeFileBytes(source, html);
        RecordingReporter reporter;
        exportFile(source, dir.file("page.csv"), ExportOptions{DataFormat::kCsv, true}, reporter);
        return reporter.reports.size();
    };
    auto entries = [](std::size_t count, const char* beyondGap) {
        std::vector<std::string> names;
        for (std::size_t i = 0; i < count; ++i) {
            names.push_back("page." + std::to_string(i) + ".csv");
        }
        names.push_back(beyondGap);
        names.push_back("page.html");
        std::sort(names.begin(), names.end());
        return names;
    };
    std::string twenty;
    for (int i = 0; i < 20; ++i) {
        twenty += "<table><tr><td>" + std::to_string(i) + "</table>";
    }
    ASSERT_EQ(convert(twenty), 0U);
    writeFileBytes(dir.file("page.21.csv"), "not of this set\r\n");

    // The second table's grid is too large: nothing of the new set is put in place.
    std::string spans = "<table>";
    for (int i = 0; i < 70; ++i) {
        spans += "<tr><td colspan=1000 rowspan=0>x";
    }
    for (int i = 0; i < 1000; ++i) {
        spans += "<tr><td>y";
    }
    EXPECT_EQ(convert("<table><tr><td>new</table>" + spans + "</table>"), 1U);
    EXPECT_EQ(folderEntries(dir.path()), entries(20, "page.21.csv"));
    EXPECT_EQ(readFileBytes(dir.path() / "page.0.csv"), "0\r\n");

    // One table now: the other nineteen files go, up to the first number without one.
    ASSERT_EQ(convert("<table><tr><td>new</table>"), 0U);
    EXPECT_EQ(folderEntries(dir.path()), entries(1, "page.21.csv"));
    EXPECT_EQ(readFileBytes(dir.path() / "page.0.csv"), "new\r\n");
}

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

TEST(ConvertFile, memoryRunningOutWhileCellsAreRead_failsTheFileAndKeepsTheEarlierResult) {
    const TempDir dir;
    const std::string source = dir.file("long.html");
    const std::string output = dir.file("long.json");
    writeFileBytes(source, "<table><tr><td>" + std::string(std::size_t{3} << 20, 'x'));
    writeFileBytes(output, "earlier");
    RecordingReporter reporter;
    {
        // The cell's text needs a buffer larger than this; the page itself does not.
        const test::FailLargeAllocations limit(std::size_t{2} << 20);
        ConvertVelquist(source, output, reporter);
    }
    ASSERT_EQ(reporter.reports.size(), 1U);
    EXPECT_EQ(reporter.reports[0].line, convert_step::kReadCellText);
    EXPECT_EQ(reporter.reports[0].description, notEnoughMemoryFor(source));
    EXPECT_EQ(readFileBytes(output), "earlier");
}

TEST(ConvertFile, tablesNestedTooDeep_areRefusedBeforeAnythingIsWritten) {
    // Each cell holds the text of every table in it: some 7 GB from 1 MB.
    std::string html;
    for (int level = 0; level < 70000; ++level) {
        html += "<table><tr><td>x";
    }
    const TempDir dir;
    const std::string source = dir.file("deep.html");
    writeFileBytes(source, html);
    const std::string refusal =
        "The result would be larger than 4 GiB (tables nested too deeply or too large); "
        "nothing is written, in \"" +
        source + "\"";

    RecordingReporter reporter;
    ConvertVelquist(source, dir.file("deep.json"), reporter);
    ASSERT_EQ(reporter.reports.size(), 1U);
    EXPECT_EQ(reporter.reports[0].description, refusal);
    EXPECT_EQ(reporter.reports[0].line, convert_step::kWriteRowText);
    for (const DataFormat format : {DataFormat::kJson, DataFormat::kJsonLines}) {
        RecordingReporter exportReporter;
        exportFile(source, dir.file("deep.out"), ExportOptions{format, false}, exportReporter);
        ASSERT_EQ(exportReporter.reports.size(), 1U);
        EXPECT_EQ(exportReporter.reports[0].description, refusal);
    }
    EXPECT_THROW(readAllTables(*loadHtmlDocument(source)), std::length_error);
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"deep.html"});
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

// --- A large source, mapped while it is read ---

// Opens `path` and maps it whole, as the conversion does with a large file.
SourceText mapWhole(const std::string& path) {
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    EXPECT_EQ(::fstat(file.get(), &info), 0);
    std::optional<SourceText> text = SourceText::mapFile(file.get(), info, path);
    EXPECT_TRUE(text.has_value() && text->isMapped());
    return text ? std::move(*text) : SourceText();
}

std::string fileChangeMessage(const SourceText& text) {
    try {
        text.fileCheck().throwIfChanged();
    } catch (const SourceChangedError& changed) {
        return changed.what();
    }
    return "";
}

TEST(MappedSource, fileCutShortOrRewritten_readsWithoutFaultAndIsReported) {
    constexpr std::size_t kSize = std::size_t{3} << 20;
    struct Case {
        const char* change;
        std::function<void(const std::string&)> apply;
        bool reported;
    };
    const std::vector<Case> cases = {
        {"untouched", [](const std::string&) {}, false},
        {"cut short", [](const std::string& path) { ASSERT_EQ(::truncate(path.c_str(), 5000), 0); },
         true},
        {"rewritten in place",
         [](const std::string& path) {
             // What a write leaves: the same size, a later time (a second later, as the
             // file system's clock may step more coarsely than this test runs).
             struct stat info {};
             ASSERT_EQ(::stat(path.c_str(), &info), 0);
             const timespec times[2] = {info.st_atim,
                                        {info.st_mtim.tv_sec + 1, info.st_mtim.tv_nsec}};
             ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.change);
        const TempDir dir;
        const std::string path = dir.file("large.html");
        writeFileBytes(path, std::string(kSize, 'a'));
        SourceText text = mapWhole(path);
        c.apply(path);
        // Every byte read: the pages cut off read as zeros instead of faulting.
        std::size_t zeros = 0;
        for (const char byte : text.view()) {
            zeros += byte == '\0' ? 1 : 0;
        }
        EXPECT_EQ(text.view()[0], 'a');
        EXPECT_EQ(zeros > 0, c.change == std::string("cut short"));
        const std::string message = fileChangeMessage(text);
        // In plain words, with no system error's text after the path.
        EXPECT_EQ(message, c.reported ? "Cannot read the source file, another program changed it "
                                        "while it was read: \"" +
                                            path + "\""
                                      : "");
    }
}

TEST(MappedSource, textDecodedFromAMappedFile_answersForThatFile) {
    const TempDir dir;
    const std::string path = dir.file("latin1.html");
    writeFileBytes(path, "<table><tr><td>caf\xE9" + std::string(std::size_t{3} << 20, 'a'));
    const SourceText text = htmlFileBytesToUtf8(mapWhole(path));
    ASSERT_FALSE(text.isMapped());  // decoded from windows-1252 into a text of its own
    EXPECT_EQ(text.view().substr(15, 5), "caf\xC3\xA9");
    EXPECT_EQ(fileChangeMessage(text), "");
    ASSERT_EQ(::truncate(path.c_str(), 10), 0);
    EXPECT_NE(fileChangeMessage(text).find(path), std::string::npos);
}

TEST(MappedSourceDeathTest, faultOutsideTheSources_endsTheProcessAsBefore) {
    const TempDir dir;
    const std::string path = dir.file("other.bin");
    writeFileBytes(path, std::string(std::size_t{3} << 20, 'a'));
    const SourceText source = mapWhole(path);  // the fault handler is in place
    EXPECT_DEATH(
        {
            const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
            void* other = ::mmap(nullptr, 8192, PROT_READ, MAP_SHARED, file.get(), 0);
            ASSERT_EQ(::truncate(path.c_str(), 0), 0);
            std::printf("%d", static_cast<volatile char*>(other)[4096]);
        },
        "");
}

TEST(MappedSource, lineBreaksNormalised_leaveTheFileAsItWas) {
    const TempDir dir;
    const std::string source = dir.file("crlf.html");
    std::string html = "<table>";
    while (html.size() < (std::size_t{3} << 20)) {
        html += "<tr><td>a\r\nb</td><td>c\rd</td></tr>\r\n";
    }
    html += "</table>";
    writeFileBytes(source, html);
    RecordingReporter reporter;
    ConvertVelquist(source, dir.file("crlf.json"), reporter);
    EXPECT_TRUE(reporter.reports.empty());
    EXPECT_EQ(readFileBytes(source), html);
    EXPECT_EQ(readFileBytes(dir.path() / "crlf.json"), convertHtmlToText(html));
}

TEST(ConvertFile, sourceCutShortWhileConverted_isReportedAndNoResultIsWritten) {
    const TempDir dir;
    const std::string source = dir.file("big.html");
    std::string html = bigDocument();
    while (html.size() < ParseOptions{}.parseWhileWalkingFrom + (std::size_t{1} << 20)) {
        html += html.substr(html.find("<tr>"), 1 << 20);
    }
    writeFileBytes(source, html);
    RecordingReporter reporter;
    DocumentLoader loader;
    bool cut = false;
    // Cut once the file is loaded (mapped), while its tables are read.
    ConvertVelquist(
        source, dir.file("big.json"), reporter,
        [&] {
            if (!cut && loader.readyState() != "loading") {
                cut = ::truncate(source.c_str(), 4096) == 0;
            }
        },
        &loader);
    ASSERT_TRUE(cut);
    ASSERT_EQ(reporter.reports.size(), 1U);
    EXPECT_NE(reporter.reports[0].description.find("changed it while it was read"),
              std::string::npos)
        << reporter.reports[0].description;
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"big.html"}));
}

}  // namespace
}  // namespace tabrivo
