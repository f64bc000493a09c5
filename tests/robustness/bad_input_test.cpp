// tabrivo-convert fed hostile and broken input, run as a child process so a
// crash shows as the signal that ended it and a hang as a child killed by the
// watchdog. Every case checks the exit status, the message on standard error
// (naming the path and the reason), the output bytes, that an earlier result
// of a failing file is left as it was, and that a later file of the same run
// still converts.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "test_support.h"

namespace tabrivo {
namespace {

namespace fs = test::fs;
using test::ChildProcess;
using test::ChildResult;
using test::readFileBytes;
using test::TempDir;
using test::TmpfsMount;
using test::treeEntries;
using test::writeFileBytes;

constexpr std::string_view kPrevious = "previous result";
constexpr std::string_view kGoodHtml = "<table><tr><td>A</td><td>B</td></tr></table>";
constexpr std::string_view kGoodOutput = "{\r\n\t{\r\n\t\"A\", \r\n\t\"B\"\r\n\t}\r\n}";
constexpr std::string_view kEmptyOutput = "{\r\n}";

// Runs tabrivo-convert quietly, one file at a time (so "later" means later).
ChildResult convert(const std::vector<std::string>& args,
                    const std::optional<fs::path>& workDir = std::nullopt) {
    std::vector<std::string> argv = {TABRIVO_CONVERT_PATH, "-q", "-j", "1"};
    argv.insert(argv.end(), args.begin(), args.end());
    return test::runWithWatchdog(argv, workDir);
}

// One output row of single-cell rows.
std::string singleCellRow(std::string_view text) {
    return "\t{\r\n\t\"" + std::string(text) + "\"\r\n\t}\r\n";
}

std::string oneCellOutput(std::string_view text) {
    return "{\r\n" + singleCellRow(text) + "}";
}

bool contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

// The names in `folder` that look like a left-behind temporary output.
std::vector<std::string> temporaryFiles(const fs::path& folder) {
    std::vector<std::string> found;
    for (const std::string& name : test::folderEntries(folder)) {
        if (name.rfind(".tabrivo-", 0) == 0) {
            found.push_back(name);
        }
    }
    return found;
}

// A folder of sources with a good file to convert after the bad one.
class BadInput : public ::testing::Test {
protected:
    std::string good() {
        const std::string path = dir.file("later.html");
        writeFileBytes(path, kGoodHtml);
        return path;
    }
    void expectLaterConverted(const fs::path& folder) const {
        ASSERT_TRUE(fs::exists(folder / "later.json")) << "the later file was not converted";
        EXPECT_EQ(readFileBytes(folder / "later.json"), kGoodOutput);
    }
    void expectLaterConverted() const { expectLaterConverted(dir.path()); }

    // A successful run: exit 0, nothing on stderr, the output replaced.
    void expectConverted(const ChildResult& run, const fs::path& output,
                         std::string_view expected) const {
        ASSERT_FALSE(run.timedOut || run.termSignal != 0) << run.describe();
        EXPECT_EQ(run.exitCode, 0) << run.describe();
        EXPECT_EQ(run.err, "");
        ASSERT_TRUE(fs::exists(output)) << output;
        EXPECT_EQ(readFileBytes(output), expected);
    }

    // A failed file: exit 1, one stderr line naming `path` and `reason`, the
    // earlier result at `previous` untouched, no temporary file left.
    void expectFailed(const ChildResult& run, const std::string& path, std::string_view reason,
                      const fs::path& previous) const {
        ASSERT_FALSE(run.timedOut || run.termSignal != 0) << run.describe();
        EXPECT_EQ(run.exitCode, 1) << run.describe();
        EXPECT_EQ(test::splitLines(run.err).size(), 1U) << run.err;
        EXPECT_TRUE(contains(run.err, "\"" + path + "\"")) << run.err;
        EXPECT_TRUE(contains(run.err, reason)) << run.err;
        if (!previous.empty()) {
            EXPECT_EQ(readFileBytes(previous), kPrevious) << "the earlier result was damaged";
            EXPECT_EQ(temporaryFiles(previous.parent_path()), std::vector<std::string>{});
        }
    }

    TempDir dir;
};

// --- Content that is not what a page should be ---

TEST_F(BadInput, content_emptyFile_givesAnEmptyResult) {
    writeFileBytes(dir.file("empty.html"), "");
    writeFileBytes(dir.file("empty.json"), kPrevious);
    const ChildResult run = convert({dir.file("empty.html"), good()});
    expectConverted(run, dir.path() / "empty.json", kEmptyOutput);
    expectLaterConverted();
}

// A tiny valid PNG (2x2 pixels, stored deflate block), built here.
std::string smallPng() {
    auto crc32 = [](std::string_view bytes) {
        std::uint32_t crc = 0xFFFFFFFFU;
        for (const char c : bytes) {
            crc ^= static_cast<unsigned char>(c);
            for (int bit = 0; bit < 8; ++bit) {
                crc = (crc & 1U) != 0 ? (crc >> 1U) ^ 0xEDB88320U : crc >> 1U;
            }
        }
        return ~crc;
    };
    auto be32 = [](std::uint32_t value) {
        std::string bytes(4, '\0');
        for (int i = 0; i < 4; ++i) {
            bytes[static_cast<std::size_t>(i)] = static_cast<char>((value >> (24 - 8 * i)) & 0xFFU);
        }
        return bytes;
    };
    auto chunk = [&](std::string_view type, const std::string& data) {
        const std::string body = std::string(type) + data;
        return be32(static_cast<std::uint32_t>(data.size())) + body + be32(crc32(body));
    };
    std::string raw;  // two rows: filter byte 0, then two RGB pixels
    for (int row = 0; row < 2; ++row) {
        raw += std::string("\0\xff\x00\x00\x00\x00\xff", 7);
    }
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (const char c : raw) {
        a = (a + static_cast<unsigned char>(c)) % 65521U;
        b = (b + a) % 65521U;
    }
    const auto length = static_cast<std::uint16_t>(raw.size());
    std::string zlib = "\x78\x01\x01";
    zlib += static_cast<char>(length & 0xFFU);
    zlib += static_cast<char>(length >> 8U);
    zlib += static_cast<char>(~length & 0xFFU);
    zlib += static_cast<char>((~length >> 8U) & 0xFFU);
    zlib += raw + be32((b << 16U) | a);
    const std::string header = be32(2) + be32(2) + std::string("\x08\x02\x00\x00\x00", 5);
    return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", zlib) +
           chunk("IEND", "");
}

TEST_F(BadInput, content_binaryFiles_giveAnEmptyResultAndNoCrash) {
    fs::copy_file("/bin/true", dir.path() / "program.html");
    writeFileBytes(dir.file("picture.html"), smallPng());
    writeFileBytes(dir.file("program.json"), kPrevious);
    writeFileBytes(dir.file("picture.json"), kPrevious);
    const ChildResult run = convert({dir.file("program.html"), dir.file("picture.html"), good()});
    expectConverted(run, dir.path() / "program.json", kEmptyOutput);
    expectConverted(run, dir.path() / "picture.json", kEmptyOutput);
    expectLaterConverted();
}

TEST_F(BadInput, content_brokenEncodings_giveReplacementCharactersOrDetectedText) {
    const std::string fffd = "\xef\xbf\xbd";
    struct Case {
        std::string name;
        std::string bytes;
        std::string expected;  // empty: only checked to be well-formed UTF-8
    };
    const std::vector<Case> cases = {
        // Declared UTF-8, bytes that are not: each bad sequence becomes U+FFFD.
        {"declared_utf8",
         "<meta charset=\"utf-8\"><table><tr><td>a\xff\xfe"
         "b\xc3</td></tr></table>",
         oneCellOutput("a" + fffd + fffd + "b" + fffd)},
        // A UTF-8 byte-order mark, then a stray byte.
        {"bom_utf8",
         "\xef\xbb\xbf<table><tr><td>a\xff"
         "b</td></tr></table>",
         oneCellOutput("a" + fffd + "b")},
        // A page that says UTF-8 but holds windows-1252 bytes.
        {"lying_meta", "<meta charset=\"utf-8\"><table><tr><td>caf\xe9 \x93q\x94</td></tr></table>",
         oneCellOutput("caf" + fffd + " " + fffd + "q" + fffd)},
        // Undeclared bytes that are not UTF-8: detection picks some encoding.
        {"undeclared",
         "<table><tr><td>a\xff\xfe"
         "b\xc3</td><td>ok</td></tr></table>",
         ""},
        // UTF-16LE without a byte-order mark: as in the browser, its NULs
        // keep any tag from opening, so there is no table.
        {"utf16le", "", "{\r\n}"},
        // A NUL byte inside a cell is dropped, as a browser drops it.
        {"nul_byte", std::string("<table><tr><td>a\0b</td></tr></table>", 35), oneCellOutput("ab")},
    };
    std::vector<std::string> args;
    for (const Case& c : cases) {
        std::string bytes = c.bytes;
        if (c.name == "utf16le") {
            const std::u16string text =
                u"<table><tr><td>Gr\u00fc\u00dfe</td><td>x</td></tr></table>";
            for (const char16_t unit : text) {
                bytes += static_cast<char>(unit & 0xFFU);
                bytes += static_cast<char>(unit >> 8U);
            }
        }
        writeFileBytes(dir.file(c.name + ".html"), bytes);
        writeFileBytes(dir.file(c.name + ".json"), kPrevious);
        args.push_back(dir.file(c.name + ".html"));
    }
    args.push_back(good());
    const ChildResult run = convert(args);
    ASSERT_FALSE(run.timedOut || run.termSignal != 0) << run.describe();
    EXPECT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(run.err, "");
    for (const Case& c : cases) {
        const std::string output = readFileBytes(dir.path() / (c.name + ".json"));
        EXPECT_TRUE(test::isValidUtf8(output)) << c.name;
        if (!c.expected.empty()) {
            EXPECT_EQ(output, c.expected) << c.name;
        } else {
            EXPECT_TRUE(contains(output, "\t\"ok\"\r\n")) << c.name << ": " << output;
            EXPECT_EQ(output.rfind("{\r\n\t{\r\n\t\"a", 0), 0U) << c.name << ": " << output;
        }
    }
    expectLaterConverted();
}

// --- Size and depth ---

TEST_F(BadInput, size_halfAGigabyteOfPlainText_givesAnEmptyResult) {
    constexpr std::uint64_t kSize = std::uint64_t{500} * 1024 * 1024;
    constexpr std::uint64_t kNeeded = std::uint64_t{3} * 1024 * 1024 * 1024;
    // In memory (/dev/shm) when it has room: half a gigabyte written to disk
    // would stall every other test that syncs a file while it drains.
    fs::path base = "/dev/shm";
    if (!fs::is_directory(base) || test::freeBytes(base) < kNeeded) {
        base = fs::temp_directory_path();
        if (test::freeBytes(base) < kNeeded) {
            GTEST_SKIP() << "less than 3 GB free in " << base << " and in /dev/shm";
        }
    }
    const test::ScratchDir big(base);
    const fs::path source = big.path() / "plain.html";
    {
        const std::string line =
            "Plain words and numbers 0123456789 with no markup at all, line after line.\n";
        std::string block;
        while (block.size() < 1024 * 1024) {
            block += line;
        }
        std::ofstream out(source, std::ios::binary);
        std::uint64_t written = 0;
        while (written + block.size() <= kSize) {
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
            written += block.size();
        }
        out.write(block.data(), static_cast<std::streamsize>(kSize - written));
        ASSERT_TRUE(out.good()) << "cannot write " << source;
    }
    writeFileBytes(big.path() / "plain.json", kPrevious);
    writeFileBytes(big.path() / "later.html", kGoodHtml);
    const ChildResult run = convert({source.string(), (big.path() / "later.html").string()});
    expectConverted(run, big.path() / "plain.json", kEmptyOutput);
    expectLaterConverted(big.path());
}

std::string nestedTables(int depth) {
    std::string html;
    html.reserve(static_cast<std::size_t>(depth) * 15 + 1);
    for (int i = 0; i < depth; ++i) {
        html += "<table><tr><td>";
    }
    return html + "x";
}

std::string nestedTablesOutput(int depth) {
    std::string expected = "{\r\n";
    for (int i = 0; i < depth; ++i) {
        expected += singleCellRow("x");
    }
    return expected + "}";
}

TEST_F(BadInput, size_twoThousandNestedTables_giveOneRowEach) {
    writeFileBytes(dir.file("nested.html"), nestedTables(2000));
    writeFileBytes(dir.file("nested.json"), kPrevious);
    const ChildResult run = convert({dir.file("nested.html"), good()});
    expectConverted(run, dir.path() / "nested.json", nestedTablesOutput(2000));
    expectLaterConverted();
}

TEST_F(BadInput, size_hundredThousandNestedTables_convertWithoutHanging) {
    writeFileBytes(dir.file("nested.html"), nestedTables(100000));
    writeFileBytes(dir.file("nested.json"), kPrevious);
    const ChildResult run = convert({dir.file("nested.html"), good()});
    expectConverted(run, dir.path() / "nested.json", nestedTablesOutput(100000));
    expectLaterConverted();
}

TEST_F(BadInput, size_hundredThousandNestedSpansInOneCell_giveTheCellText) {
    std::string html = "<table><tr><td>";
    for (int i = 0; i < 100000; ++i) {
        html += "<span>";
    }
    html += "deep</td></tr></table>";
    writeFileBytes(dir.file("spans.html"), html);
    writeFileBytes(dir.file("spans.json"), kPrevious);
    const ChildResult run = convert({dir.file("spans.html"), good()});
    expectConverted(run, dir.path() / "spans.json", oneCellOutput("deep"));
    expectLaterConverted();
}

// A hundred thousand attributes on one tag take moments, not minutes (repeated
// names are found by hash), and every one is kept, as in the browser: the
// `hidden` after them hides.
TEST_F(BadInput, size_hundredThousandAttributesOnOneTag_allKept) {
    std::string many;
    for (int i = 0; i < 100000; ++i) {
        many += " a" + std::to_string(i) + "='>'";
    }
    const std::string html = "<table><tr><td><span hidden" + many + ">gone</span>kept" +
                             "<tr><td><span" + many + " hidden>shown</span>too</table>";
    writeFileBytes(dir.file("attributes.html"), html);
    writeFileBytes(dir.file("attributes.json"), kPrevious);
    const ChildResult run = convert({dir.file("attributes.html"), good()});
    expectConverted(run, dir.path() / "attributes.json",
                    "{\r\n" + singleCellRow("kept") + singleCellRow("too") + "}");
    expectLaterConverted();
}

// Unclosed elements make the parser walk ever longer stacks and lists; the
// nesting beyond what a browser builds is left out, and no text with it.
TEST_F(BadInput, size_hundredThousandUnclosedElements_keepAllTheirText) {
    std::string html = "<table><tr><td>";
    for (int i = 0; i < 100000; ++i) {
        html += "<b class=c" + std::to_string(i) + ">1<div>2<a>3";
    }
    html += "</table>";
    writeFileBytes(dir.file("unclosed.html"), html);
    writeFileBytes(dir.file("unclosed.json"), kPrevious);
    const ChildResult run = convert({dir.file("unclosed.html"), good()});
    ASSERT_FALSE(run.timedOut || run.termSignal != 0) << run.describe();
    EXPECT_EQ(run.exitCode, 0) << run.describe();
    const std::string output = readFileBytes(dir.path() / "unclosed.json");
    for (const char digit : {'1', '2', '3'}) {
        EXPECT_EQ(std::count(output.begin(), output.end(), digit), 100000) << digit;
    }
    expectLaterConverted();
}

TEST_F(BadInput, size_millionCells_giveEveryCellInOrder) {
    constexpr int kRows = 1000;
    constexpr int kColumns = 1000;
    std::string html = "<table>";
    std::string expected = "{\r\n";
    for (int row = 0; row < kRows; ++row) {
        html += "<tr>";
        expected += "\t{\r\n";
        for (int column = 0; column < kColumns; ++column) {
            const std::string text = std::to_string(row * kColumns + column);
            html += "<td>" + text;
            expected += "\t\"" + text + (column + 1 < kColumns ? "\", \r\n" : "\"\r\n");
        }
        expected += "\t}\r\n";
    }
    html += "</table>";
    expected += "}";
    writeFileBytes(dir.file("million.html"), html);
    writeFileBytes(dir.file("million.json"), kPrevious);
    const ChildResult run = convert({dir.file("million.html"), good()});
    expectConverted(run, dir.path() / "million.json", expected);
    const std::string output = readFileBytes(dir.path() / "million.json");
    std::size_t cellLines = 0;
    for (std::size_t at = output.find("\r\n\t\""); at != std::string::npos;
         at = output.find("\r\n\t\"", at + 1)) {
        ++cellLines;
    }
    EXPECT_EQ(cellLines, 1000000U);
    expectLaterConverted();
}

// --- Sources that are not readable files ---

TEST_F(BadInput, source_vanishedBetweenListingAndConverting_failsAndOthersConvert) {
    const std::string gone = dir.file("gone.html");
    writeFileBytes(gone, kGoodHtml);
    writeFileBytes(dir.file("gone.json"), kPrevious);
    const std::string later = good();
    writeFileBytes(dir.file("list.txt"), gone + "\n" + later + "\n");
    fs::remove(gone);
    const ChildResult run = convert({"--files-from", dir.file("list.txt")});
    expectFailed(run, gone, "No such file or directory", dir.path() / "gone.json");
    expectLaterConverted();
}

TEST_F(BadInput, source_folderFifoAndDevice_failWithoutHanging) {
    fs::create_directory(dir.path() / "folder.html");
    ASSERT_EQ(::mkfifo(dir.file("pipe.html").c_str(), 0600), 0) << std::strerror(errno);
    const TempDir results;
    for (const std::string name : {"folder", "pipe", "zero"}) {
        writeFileBytes(results.path() / (name + ".json"), kPrevious);
    }
    writeFileBytes(dir.file("folder.json"), kPrevious);
    writeFileBytes(dir.file("pipe.json"), kPrevious);
    struct Case {
        std::string source;
        std::string reason;
        std::string previous;
    };
    const std::vector<Case> cases = {
        {dir.file("folder.html"), "it is a folder", "folder.json"},
        {dir.file("pipe.html"), "it is not a regular file", "pipe.json"},
        {"/dev/zero", "it is not a regular file", "zero.json"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        // Beside the source (not for /dev/zero: nothing may go into /dev) ...
        if (c.source.rfind("/dev/", 0) != 0) {
            const ChildResult beside = convert({c.source, good()});
            expectFailed(beside, c.source, c.reason, dir.path() / c.previous);
            expectLaterConverted();
        }
        // ... and into an output folder.
        const ChildResult into = convert({"-o", results.path().string(), c.source, good()});
        expectFailed(into, c.source, c.reason, results.path() / c.previous);
        expectLaterConverted(results.path());
    }
    EXPECT_FALSE(fs::exists("/dev/zero.json"));
}

TEST_F(BadInput, source_pathThroughARegularFile_failsNotADirectory) {
    writeFileBytes(dir.file("plain"), "x");
    const std::string source = dir.file("plain") + "/page.html";
    const ChildResult run = convert({source, good()});
    expectFailed(run, source, "Not a directory", {});
    expectLaterConverted();
}

TEST_F(BadInput, source_unreadableFile_failsPermissionDenied) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "running as root, which reads every file whatever its permissions";
    }
    writeFileBytes(dir.file("secret.html"), kGoodHtml);
    writeFileBytes(dir.file("secret.json"), kPrevious);
    fs::permissions(dir.path() / "secret.html", fs::perms::none);
    const ChildResult run = convert({dir.file("secret.html"), good()});
    expectFailed(run, dir.file("secret.html"), "Permission denied", dir.path() / "secret.json");
    expectLaterConverted();
}

// --- Outputs that cannot be written ---

TEST_F(BadInput, output_readOnlyFileSystem_failsAndKeepsTheEarlierResult) {
    fs::create_directory(dir.path() / "ro");
    TmpfsMount mount(dir.path() / "ro", "size=1m");
    if (!mount.mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here (" << mount.error()
                     << "); the unwritable output folder is covered by "
                        "output_folderThroughARegularFile_isAUsageError";
    }
    const fs::path source = dir.path() / "ro" / "page.html";
    writeFileBytes(source, kGoodHtml);
    writeFileBytes(dir.path() / "ro" / "page.json", kPrevious);
    if (!mount.makeReadOnly()) {
        GTEST_SKIP() << mount.error();
    }
    const ChildResult run = convert({source.string(), good()});
    expectFailed(run, (dir.path() / "ro" / "page.json").string(), "Read-only file system",
                 dir.path() / "ro" / "page.json");
    EXPECT_EQ(test::folderEntries(dir.path() / "ro"),
              (std::vector<std::string>{"page.html", "page.json"}));
    expectLaterConverted();
}

TEST_F(BadInput, output_folderThroughARegularFile_isAUsageError) {
    writeFileBytes(dir.file("plain"), "x");
    const std::string source = good();
    const std::string outputDir = dir.file("plain") + "/results";
    const ChildResult run = convert({"-o", outputDir, source});
    ASSERT_FALSE(run.timedOut || run.termSignal != 0) << run.describe();
    EXPECT_EQ(run.exitCode, 2) << run.describe();
    EXPECT_TRUE(contains(run.err, "\"" + outputDir + "\"")) << run.err;
    EXPECT_EQ(test::folderEntries(dir.path()), (std::vector<std::string>{"later.html", "plain"}));
}

TEST_F(BadInput, output_nameTakenByAFolder_failsAndOthersConvert) {
    writeFileBytes(dir.file("page.html"), kGoodHtml);
    fs::create_directory(dir.path() / "page.json");
    writeFileBytes(dir.path() / "page.json" / "inside.txt", kPrevious);
    const ChildResult run = convert({dir.file("page.html"), good()});
    expectFailed(run, dir.file("page.json"), "a folder has its name",
                 dir.path() / "page.json" / "inside.txt");
    expectLaterConverted();
}

TEST_F(BadInput, output_fullDisk_failsAndKeepsTheEarlierResult) {
    fs::create_directory(dir.path() / "full");
    const TmpfsMount mount(dir.path() / "full", "size=64k");
    if (!mount.mounted()) {
        GTEST_SKIP() << "cannot mount a 64 KiB tmpfs to fill up (" << mount.error() << ")";
    }
    std::string html = "<table>";
    for (int row = 0; row < 10000; ++row) {
        html += "<tr><td>cell text in row " + std::to_string(row);
    }
    writeFileBytes(dir.file("large.html"), html + "</table>");
    const fs::path full = dir.path() / "full";
    writeFileBytes(full / "large.json", kPrevious);
    const ChildResult run = convert({"-o", full.string(), dir.file("large.html"), good()});
    expectFailed(run, (full / "large.json").string(), "No space left on device",
                 full / "large.json");
    EXPECT_EQ(test::folderEntries(full), (std::vector<std::string>{"large.json", "later.json"}));
    expectLaterConverted(full);
}

TEST_F(BadInput, output_linkToDevFull_failsAndLeavesTheLink) {
    writeFileBytes(dir.file("page.html"), kGoodHtml);
    fs::create_symlink("/dev/full", dir.path() / "page.json");
    const ChildResult run = convert({dir.file("page.html"), good()});
    expectFailed(run, dir.file("page.json"), "not a regular file", {});
    EXPECT_TRUE(fs::is_symlink(dir.path() / "page.json"));
    EXPECT_EQ(fs::read_symlink(dir.path() / "page.json"), "/dev/full");
    EXPECT_EQ(temporaryFiles(dir.path()), std::vector<std::string>{});
    expectLaterConverted();
}

// --- Hostile source names: every result lands in the -o folder, nothing elsewhere ---

class HostileName : public BadInput {
protected:
    void SetUp() override {
        fs::create_directory(src);
        fs::create_directory(out);
        writeFileBytes(src / "later.html", kGoodHtml);
    }
    ChildResult run(const std::vector<std::string>& names, bool endOfOptions = false) const {
        std::vector<std::string> args = {"-o", out.string()};
        if (endOfOptions) {
            args.emplace_back("--");
        }
        args.insert(args.end(), names.begin(), names.end());
        args.emplace_back("later.html");
        return convert(args, src);
    }
    void add(const std::string& name) const { writeFileBytes(src / name, kGoodHtml); }

    const fs::path src = dir.path() / "src";
    const fs::path out = dir.path() / "out";
};

TEST_F(HostileName, parentFolderName_failsAsAFolder) {
    const std::vector<std::string> before = treeEntries(dir.path());
    const ChildResult result = run({".."});
    ASSERT_FALSE(result.timedOut || result.termSignal != 0) << result.describe();
    EXPECT_EQ(result.exitCode, 1) << result.describe();
    EXPECT_TRUE(contains(result.err, "\"" + dir.path().string() + "/\"")) << result.err;
    EXPECT_TRUE(contains(result.err, "it is a folder")) << result.err;
    std::vector<std::string> after = before;
    after.emplace_back("out/later.json");
    std::sort(after.begin(), after.end());
    EXPECT_EQ(treeEntries(dir.path()), after);
    expectLaterConverted(out);
}

TEST_F(HostileName, namesStartingWithDashOrDots_landInTheOutputFolder) {
    for (const std::string name : {"-x.html", "..html", "...html", ".html"}) {
        add(name);
    }
    const std::vector<std::string> before = treeEntries(dir.path());
    const ChildResult afterDashes = run({"-x.html", "..html", "...html", ".html"}, true);
    EXPECT_EQ(afterDashes.exitCode, 0) << afterDashes.describe();
    const ChildResult dotSlash = run({"./-x.html"});
    EXPECT_EQ(dotSlash.exitCode, 0) << dotSlash.describe();
    std::vector<std::string> after = before;
    // ".html" is a name without an extension: its result is ".html.json".
    for (const std::string name : {"-x.json", "..json", "...json", ".html.json", "later.json"}) {
        after.push_back("out/" + name);
        EXPECT_EQ(readFileBytes(out / name), kGoodOutput) << name;
    }
    std::sort(after.begin(), after.end());
    EXPECT_EQ(treeEntries(dir.path()), after);

    // Without "--" a leading dash is an option: a usage error, nothing written.
    fs::remove(out / "-x.json");
    const ChildResult asOption = run({"-x.html"});
    EXPECT_EQ(asOption.exitCode, 2) << asOption.describe();
    EXPECT_TRUE(contains(asOption.err, "unknown option -x")) << asOption.err;
    EXPECT_FALSE(fs::exists(out / "-x.json"));
}

TEST_F(HostileName, nameWithANewline_landsInTheOutputFolder) {
    add("two\nlines.html");
    const std::vector<std::string> before = treeEntries(dir.path());
    const ChildResult result = run({"two\nlines.html"});
    EXPECT_EQ(result.exitCode, 0) << result.describe();
    EXPECT_EQ(readFileBytes(out / "two\nlines.json"), kGoodOutput);
    std::vector<std::string> after = before;
    after.emplace_back("out/two\nlines.json");
    after.emplace_back("out/later.json");
    std::sort(after.begin(), after.end());
    EXPECT_EQ(treeEntries(dir.path()), after);
}

TEST_F(HostileName, nameOf255Bytes_convertsOrFailsClearlyWithNothingElsewhere) {
    // 250 + ".html": the result's name (250 + ".json") is 255 bytes and fits.
    const std::string fits = std::string(250, 'a') + ".html";
    // 251 + ".htm" and 255 without extension: the result's name is too long.
    const std::string longer = std::string(251, 'b') + ".htm";
    const std::string bare = std::string(255, 'c');
    for (const std::string& name : {fits, longer, bare}) {
        add(name);
    }
    const std::vector<std::string> before = treeEntries(dir.path());
    const ChildResult result = run({fits, longer, bare});
    ASSERT_FALSE(result.timedOut || result.termSignal != 0) << result.describe();
    EXPECT_EQ(result.exitCode, 1) << result.describe();
    const std::vector<std::string> lines = test::splitLines(result.err);
    ASSERT_EQ(lines.size(), 2U) << result.err;
    EXPECT_TRUE(
        contains(lines[0], "\"" + (out / (std::string(251, 'b') + ".json")).string() + "\""))
        << lines[0];
    EXPECT_TRUE(contains(lines[1], "\"" + (out / (bare + ".json")).string() + "\"")) << lines[1];
    for (const std::string& line : lines) {
        EXPECT_TRUE(contains(line, "File name too long")) << line;
    }
    EXPECT_EQ(readFileBytes(out / (std::string(250, 'a') + ".json")), kGoodOutput);
    std::vector<std::string> after = before;
    after.push_back("out/" + std::string(250, 'a') + ".json");
    after.emplace_back("out/later.json");
    std::sort(after.begin(), after.end());
    EXPECT_EQ(treeEntries(dir.path()), after);
    expectLaterConverted(out);
}

// --- Flushing to disk ---

// tabrivo-convert run on `jobs` workers under strace with `straceOptions`,
// converting `pages` good pages (page0.html...) into `results`; the system
// calls of the trace named in `calls`, in order. Empty with a reason to skip
// where strace is missing or cannot trace here.
struct Trace {
    std::vector<std::string> calls;
    std::vector<std::string> lines;
    std::string skipReason;
};
Trace traceConvert(const TempDir& dir, const fs::path& results, int pages, const char* jobs,
                   const std::vector<std::string>& straceOptions,
                   const std::vector<std::string_view>& calls) {
    const auto strace = test::findOnPath("strace");
    if (!strace) {
        return {{}, {}, "strace is not installed (Debian package strace)"};
    }
    std::vector<std::string> argv = {"/usr/bin/env", "ASAN_OPTIONS=detect_leaks=0",
                                     strace->string()};
    argv.insert(argv.end(), {"-f", "-qq", "-o", dir.file("trace.log")});
    argv.insert(argv.end(), straceOptions.begin(), straceOptions.end());
    argv.insert(argv.end(), {TABRIVO_CONVERT_PATH, "-q", "-j", jobs, "-o", results.string()});
    for (int i = 0; i < pages; ++i) {
        argv.push_back(dir.file("page" + std::to_string(i) + ".html"));
        writeFileBytes(argv.back(), kGoodHtml);
    }
    const ChildResult run = test::runWithWatchdog(argv);
    if (run.exitCode != 0 && contains(run.err, "PTRACE")) {
        return {{}, {}, "strace cannot trace here: " + run.err};
    }
    EXPECT_EQ(run.exitCode, 0) << run.describe();
    Trace trace;
    trace.lines = test::splitLines(readFileBytes(dir.file("trace.log")));
    for (const std::string& line : trace.lines) {
        for (const std::string_view call : calls) {
            if (contains(line, call)) {
                trace.calls.emplace_back(call);
            }
        }
    }
    return trace;
}

// The results reach the disk once per run: one syncfs of the results' file
// system, after the last result took its place, and no fsync per file.
TEST_F(BadInput, flush_oneSyncfsAfterTheLastResult) {
    const TempDir results;
    writeFileBytes(results.path() / "page0.json", kPrevious);  // one result replaces another
    const Trace trace = traceConvert(dir, results.path(), 4, "2",
                                     {"-e", "trace=syncfs,fsync,fdatasync,linkat,rename"},
                                     {"syncfs(", "fsync(", "fdatasync(", "linkat(", "rename("});
    if (!trace.skipReason.empty()) {
        GTEST_SKIP() << trace.skipReason;
    }
    const std::vector<std::string>& calls = trace.calls;
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "syncfs("), 1)
        << ::testing::PrintToString(calls);
    EXPECT_EQ(calls.back(), "syncfs(") << ::testing::PrintToString(calls);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "fsync("), 0);
}

// Where the system will not link a new result by its descriptor, the result
// is linked by its /proc path, and the descriptor is not offered again.
TEST_F(BadInput, flush_descriptorLinkRefused_resultsLinkedByPath) {
    const TempDir results;
    const Trace trace =
        traceConvert(dir, results.path(), 3, "1",
                     {"-e", "trace=linkat", "-e", "inject=linkat:error=ENOENT:when=1"},
                     {"AT_EMPTY_PATH", "/proc/self/fd/"});
    if (!trace.skipReason.empty()) {
        GTEST_SKIP() << trace.skipReason;
    }
    EXPECT_EQ(trace.calls, (std::vector<std::string>{"AT_EMPTY_PATH", "/proc/self/fd/",
                                                     "/proc/self/fd/", "/proc/self/fd/"}))
        << ::testing::PrintToString(trace.lines);
    EXPECT_EQ(test::folderEntries(results.path()),
              (std::vector<std::string>{"page0.json", "page1.json", "page2.json"}));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(readFileBytes(results.path() / ("page" + std::to_string(i) + ".json")),
                  kGoodOutput);
    }
}

// --- Interruption ---

// True while process `pid` holds a file open in `folder` (its result being
// written, named or not).
bool writingInto(pid_t pid, const fs::path& folder) {
    std::error_code error;
    for (const auto& entry :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        const fs::path target = fs::read_symlink(entry.path(), error);
        if (!error && target.parent_path() == folder) {
            return true;
        }
    }
    return false;
}

// A page whose result takes long enough to write that the writer can be caught.
void writeBigPage(const std::string& path) {
    std::string html = "<table>";
    for (int row = 0; row < 1000; ++row) {
        html += "<tr>";
        for (int column = 0; column < 1000; ++column) {
            html += "<td>x";
        }
    }
    writeFileBytes(path, html);
}

// Interrupted (TERM) or killed (KILL) while writing, with or without an
// earlier result: the earlier result stays and nothing else is left.
struct Interruption {
    int signal;
    bool earlierResult;
};

class Interrupted : public BadInput, public ::testing::WithParamInterface<Interruption> {};

TEST_P(Interrupted, whileWriting_leavesNothingBehind) {
    const Interruption interruption = GetParam();
    writeBigPage(dir.file("big.html"));
    const TempDir results;
    if (interruption.earlierResult) {
        writeFileBytes(results.path() / "big.json", kPrevious);
    }
    ChildProcess child(
        {TABRIVO_CONVERT_PATH, "-q", "-o", results.path().string(), dir.file("big.html")});
    // Wait (without a time limit of our own) until the result is being written.
    while (child.running() && !writingInto(child.pid(), results.path())) {
        ::usleep(1000);
    }
    if (!child.running()) {
        GTEST_SKIP() << "the conversion ended before it could be interrupted";
    }
    child.signal(interruption.signal);
    const ChildResult run = child.wait();
    EXPECT_FALSE(run.timedOut) << run.describe();
    EXPECT_EQ(run.termSignal, interruption.signal) << run.describe();
    if (interruption.earlierResult) {
        EXPECT_EQ(readFileBytes(results.path() / "big.json"), kPrevious);
        EXPECT_EQ(test::folderEntries(results.path()), std::vector<std::string>{"big.json"});
    } else {
        EXPECT_EQ(test::folderEntries(results.path()), std::vector<std::string>{});
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, Interrupted,
                         ::testing::Values(Interruption{SIGTERM, true}, Interruption{SIGKILL, true},
                                           Interruption{SIGKILL, false}),
                         [](const ::testing::TestParamInfo<Interruption>& tested) {
                             return std::string(tested.param.signal == SIGKILL ? "Kill" : "Term") +
                                    (tested.param.earlierResult ? "OverEarlierResult"
                                                                : "NewResult");
                         });

}  // namespace
}  // namespace tabrivo
