// tabrivo-convert run as a program: exit status, where results go, messages on
// standard error, file lists and parallel conversion.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include <cli/batch.h>

#include "deep_folders.h"
#include "read_override.h"
#include "test_support.h"

namespace tabrivo {
namespace {

namespace fs = test::fs;
using test::folderEntries;
using test::ProcessResult;
using test::readFileBytes;
using test::splitLines;
using test::TempDir;
using test::writeFileBytes;

const fs::path kFormatDir = fs::path(TABRIVO_TEST_DATA_DIR) / "format";
const fs::path kCorpusDir = fs::path(TABRIVO_SHARED_DIR) / "corpus" / "public";

ProcessResult runConvert(std::vector<std::string> args, const std::string& input = {},
                         const std::optional<fs::path>& workDir = std::nullopt) {
    args.insert(args.begin(), TABRIVO_CONVERT_PATH);
    return test::runProcess(args, input, workDir);
}

// Copies data/format/<name>.html into `folder`; returns the copy's path.
std::string copyFormatCase(const std::string& name, const fs::path& folder) {
    const fs::path target = folder / (name + ".html");
    fs::copy_file(kFormatDir / (name + ".html"), target);
    return target.string();
}

std::string expectedFor(const std::string& name) {
    return readFileBytes(kFormatDir / (name + ".expected"));
}

// --- Success ---

TEST(ConvertCommand, success_exitsZeroAndWritesBesideSources) {
    const TempDir dir;
    const std::string first = copyFormatCase("two_tables", dir.path());
    const std::string second = copyFormatCase("nested_tables", dir.path());
    const ProcessResult result = runConvert({"-q", first, second});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(readFileBytes(dir.path() / "two_tables.json"), expectedFor("two_tables"));
    EXPECT_EQ(readFileBytes(dir.path() / "nested_tables.json"), expectedFor("nested_tables"));
}

TEST(ConvertCommand, relativePaths_areTakenFromTheWorkingFolder) {
    const TempDir dir;
    fs::create_directory(dir.path() / "in");
    copyFormatCase("br_in_cell", dir.path() / "in");
    const ProcessResult result = runConvert({"-q", "in/br_in_cell.html"}, {}, dir.path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(readFileBytes(dir.path() / "in" / "br_in_cell.json"), expectedFor("br_in_cell"));
}

TEST(ConvertCommand, outputDirOption_writesIntoThatFolderOnly) {
    const TempDir sources;
    const TempDir results;
    const std::string source = copyFormatCase("section_order", sources.path());
    for (const std::string& option : {std::string("-o"), std::string("--output-dir")}) {
        const ProcessResult result = runConvert({"-q", option, results.path().string(), source});
        EXPECT_EQ(result.exitCode, 0) << result.err;
    }
    const ProcessResult trailing = runConvert({"-q", "-o", results.path().string() + "/", source});
    EXPECT_EQ(trailing.exitCode, 0) << trailing.err;
    EXPECT_EQ(folderEntries(sources.path()), (std::vector<std::string>{"section_order.html"}));
    EXPECT_EQ(folderEntries(results.path()), (std::vector<std::string>{"section_order.json"}));
    EXPECT_EQ(readFileBytes(results.path() / "section_order.json"), expectedFor("section_order"));
}

TEST(ConvertCommand, existingOutput_isReplaced) {
    const TempDir dir;
    const std::string source = copyFormatCase("one_row_three_cells", dir.path());
    writeFileBytes(dir.path() / "one_row_three_cells.json", std::string(10000, 'q'));
    const ProcessResult result = runConvert({"-q", source});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(readFileBytes(dir.path() / "one_row_three_cells.json"),
              expectedFor("one_row_three_cells"));
}

// --- Failures of single files ---

TEST(ConvertCommand, missingFile_exitsOneWithOneLineAndOthersStillConvert) {
    const TempDir dir;
    const std::string before = copyFormatCase("two_tables", dir.path());
    const std::string missing = dir.file("no-such-file.html");
    const std::string after = copyFormatCase("empty_cell", dir.path());
    const ProcessResult result = runConvert({"-q", "-j", "1", before, missing, after});

    EXPECT_EQ(result.exitCode, 1);
    const std::vector<std::string> lines = splitLines(result.err);
    ASSERT_EQ(lines.size(), 1U) << result.err;
    EXPECT_NE(lines[0].find(missing), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("No such file or directory"), std::string::npos) << lines[0];
    EXPECT_EQ(readFileBytes(dir.path() / "two_tables.json"), expectedFor("two_tables"));
    EXPECT_EQ(readFileBytes(dir.path() / "empty_cell.json"), expectedFor("empty_cell"));
    EXPECT_FALSE(fs::exists(dir.path() / "no-such-file.json"));
}

TEST(ConvertCommand, memoryRunningOutForOneFile_failsItAndTheRunGoesOn) {
    cli::BatchPlan plan =
        cli::planBatch({"/pages/a.html", "/pages/b.html", "/pages/c.html"}, std::nullopt, ".json");
    plan.writesResults = false;  // nothing is written here
    std::vector<std::string> converted;
    std::vector<std::string> errors;
    const cli::BatchResult result = cli::runBatch(
        plan, 2, [&](const std::string& line) { errors.push_back(line); }, {},
        [&](const cli::BatchItem& item, FailureReporter&) {
            if (item.source == "/pages/b.html") {
                throw std::bad_alloc();  // on a worker thread of its own
            }
            static std::mutex mutex;
            const std::lock_guard lock(mutex);
            converted.push_back(item.source);
        });
    EXPECT_EQ(result.converted, 2U);
    EXPECT_EQ(result.failed, 1U);
    EXPECT_EQ(errors,
              std::vector<std::string>{"Cannot convert \"/pages/b.html\": not enough memory"});
    std::sort(converted.begin(), converted.end());
    EXPECT_EQ(converted, (std::vector<std::string>{"/pages/a.html", "/pages/c.html"}));
}

TEST(ConvertCommand, folderGivenAsSource_exitsOne) {
    const TempDir dir;
    fs::create_directory(dir.path() / "folder.html");
    const ProcessResult result = runConvert({"-q", dir.file("folder.html")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(splitLines(result.err).size(), 1U) << result.err;
    EXPECT_FALSE(fs::exists(dir.path() / "folder.json"));
}

// --- Usage errors ---

TEST(ConvertCommand, usageErrors_exitTwoAndWriteNothing) {
    const TempDir dir;
    const std::string source = copyFormatCase("two_tables", dir.path());
    const std::vector<std::vector<std::string>> cases = {
        {"--no-such-option", source},
        {"-x", source},
        {},
        {"-q"},
        {"-j", "0", source},
        {"-j", "abc", source},
        {"-j", "2x", source},
        {"-j", "-1", source},
        {"-j"},
        {"-o", dir.file("missing-folder"), source},
        {"-o", source, source},  // a file, not a folder
        {"--files-from", dir.file("missing-list.txt")},
        {"-r", dir.file("missing-folder")},
        {"-r", source},  // a file, not a folder
        {source, "--recursive"},
        {source, "--files-from"},
        {"-f", "xml", source},
        {"--grid", source},   // the text format has no grid
        {"-o", "-", source},  // only JSON Lines go to standard output
        {"-f", "csv", "-o", "-", source},
        {source, "-f"},
        {"-f", "csv", "-"},  // one file per table: no place for standard input's
        {"--files-from", "-", "-"},
        {"--warc", "-"},
    };
    for (const std::vector<std::string>& args : cases) {
        std::string shown;
        for (const std::string& arg : args) {
            shown += arg + " ";
        }
        const ProcessResult result = runConvert(args);
        EXPECT_EQ(result.exitCode, 2) << shown;
        EXPECT_NE(result.err.find("tabrivo-convert: "), std::string::npos) << shown;
        EXPECT_EQ(result.out, "") << shown;
    }
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"two_tables.html"}));
}

TEST(ConvertCommand, usageErrorMessage_namesTheProblem) {
    const TempDir dir;
    EXPECT_NE(runConvert({"--bogus", "x.html"}).err.find("--bogus"), std::string::npos);
    EXPECT_NE(runConvert({}).err.find("no input files"), std::string::npos);
    EXPECT_NE(runConvert({"-j", "zero", "x.html"}).err.find("zero"), std::string::npos);
    const std::string missing = dir.file("missing-folder");
    EXPECT_NE(runConvert({"-o", missing, "x.html"}).err.find(missing), std::string::npos);
    const std::string file = dir.file("page.html");
    writeFileBytes(file, "");
    EXPECT_NE(runConvert({"-o", file, "x.html"})
                  .err.find("the output path \"" + file + "\" is not a folder"),
              std::string::npos);
    EXPECT_NE(
        runConvert({"-r", file}).err.find("the path \"" + file + "\" to search is not a folder"),
        std::string::npos);
}

TEST(ConvertCommand, dataFormats_nameTheirResultsAfterTheSource) {
    const TempDir dir;
    const std::string source = copyFormatCase("two_tables", dir.path());
    EXPECT_EQ(runConvert({"-q", "-f", "json", source}).exitCode, 0);
    EXPECT_EQ(runConvert({"-q", "--format=csv", "--grid", source}).exitCode, 0);
    EXPECT_EQ(runConvert({"-q", "-f", "jsonl", source}).exitCode, 0);
    EXPECT_EQ(folderEntries(dir.path()),
              (std::vector<std::string>{"two_tables.0.csv", "two_tables.1.csv", "two_tables.html",
                                        "two_tables.json", "two_tables.jsonl"}));
    EXPECT_EQ(readFileBytes(dir.path() / "two_tables.json").rfind("[\n{\"index\":0,", 0), 0U);
}

TEST(ConvertCommand, jsonLinesToStandardOutput_oneLinePerTableAndFailuresOnStderr) {
    const TempDir dir;
    const std::string source = copyFormatCase("two_tables", dir.path());
    const std::string missing = dir.file("missing.html");
    const ProcessResult result = runConvert({"-q", "-f", "jsonl", "-o", "-", source, missing});
    EXPECT_EQ(result.exitCode, 1);
    const std::vector<std::string> lines = splitLines(result.out);
    ASSERT_EQ(lines.size(), 2U) << result.out;
    EXPECT_EQ(lines[1].rfind("{\"source\":\"" + source + "\",\"index\":1,", 0), 0U) << lines[1];
    EXPECT_NE(result.err.find(missing), std::string::npos) << result.err;
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"two_tables.html"}));
}

TEST(ConvertCommand, help_exitsZeroAndPrintsUsage) {
    for (const char* option : {"--help", "-h"}) {
        const ProcessResult result = runConvert({option});
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out.rfind("Usage: tabrivo-convert", 0), 0U) << result.out;
        EXPECT_NE(result.out.find("--files-from"), std::string::npos);
        EXPECT_NE(result.out.find("not strict JSON"), std::string::npos);
        EXPECT_EQ(result.err, "");
    }
}

TEST(ConvertCommand, version_printsNameAndVersion) {
    for (const char* option : {"--version", "-V"}) {
        const ProcessResult result = runConvert({option});
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out, "tabrivo-convert " TABRIVO_VERSION "\n");
    }
}

// --- Standard input ---

TEST(ConvertCommand, dashAsSource_readsStandardInputAndWritesToStandardOutput) {
    const TempDir dir;
    const std::string html = readFileBytes(kFormatDir / "two_tables.html");
    const ProcessResult text = runConvert({"-q", "-"}, html);
    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(text.out, expectedFor("two_tables"));

    const ProcessResult json = runConvert({"-q", "-f", "json", "-"}, html);
    EXPECT_EQ(json.out.rfind("[\n{\"index\":0,", 0), 0U) << json.out;

    // Standard input's lines come first, then the files'.
    const std::string source = copyFormatCase("empty_cell", dir.path());
    const ProcessResult lines = runConvert({"-q", "-f", "jsonl", "-o", "-", source, "-"}, html);
    EXPECT_EQ(lines.exitCode, 0) << lines.err;
    const std::vector<std::string> split = splitLines(lines.out);
    ASSERT_GE(split.size(), 3U) << lines.out;
    EXPECT_EQ(split[0].rfind("{\"source\":\"-\",\"index\":0,", 0), 0U) << split[0];
    EXPECT_EQ(split[2].rfind("{\"source\":\"" + source + "\",", 0), 0U) << split[2];
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"empty_cell.html"});
}

// --- File lists ---

TEST(ConvertCommand, filesFromStandardInput_convertsTheListedFiles) {
    const TempDir dir;
    const std::string first = copyFormatCase("ragged_rows", dir.path());
    const std::string second = copyFormatCase("non_ascii", dir.path());
    const ProcessResult result =
        runConvert({"-q", "--files-from", "-"}, first + "\n" + second + "\n");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(readFileBytes(dir.path() / "ragged_rows.json"), expectedFor("ragged_rows"));
    EXPECT_EQ(readFileBytes(dir.path() / "non_ascii.json"), expectedFor("non_ascii"));
}

TEST(ConvertCommand, filesFromFile_acceptsCrLfAndBlankLinesAndAddsToArguments) {
    const TempDir dir;
    const std::string listed = copyFormatCase("ragged_rows", dir.path());
    const std::string argument = copyFormatCase("no_table", dir.path());
    const std::string listPath = dir.file("list.txt");
    writeFileBytes(listPath, "\r\n" + listed + "\r\n\r\n");
    const ProcessResult result = runConvert({"-q", "--files-from", listPath, argument});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(readFileBytes(dir.path() / "ragged_rows.json"), expectedFor("ragged_rows"));
    EXPECT_EQ(readFileBytes(dir.path() / "no_table.json"), expectedFor("no_table"));
}

// find ... | tabrivo-convert --files-from - must not fail when nothing matched.
TEST(ConvertCommand, emptyFileList_convertsNothingAndExitsZero) {
    for (const char* list : {"", "\n\n"}) {
        const ProcessResult result = runConvert({"--files-from", "-"}, list);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.err, "");
    }
}

TEST(ConvertCommand, nullSeparatedList_takesNamesWithLineBreaks) {
    const TempDir dir;
    const std::string odd = dir.file("two\nlines.html");
    writeFileBytes(odd, "<table><tr><td>x</td></tr></table>");
    const std::string plain = copyFormatCase("empty_cell", dir.path());
    for (const char* option : {"-0", "--null"}) {
        const ProcessResult result =
            runConvert({"-q", option, "--files-from", "-"}, odd + '\0' + plain + '\0');
        EXPECT_EQ(result.exitCode, 0) << result.err;
    }
    EXPECT_EQ(readFileBytes(dir.path() / "two\nlines.json"), "{\r\n\t{\r\n\t\"x\"\r\n\t}\r\n}");
    EXPECT_EQ(readFileBytes(dir.path() / "empty_cell.json"), expectedFor("empty_cell"));
}

TEST(ConvertCommand, missingFileList_saysWhy) {
    const TempDir dir;
    const ProcessResult result = runConvert({"--files-from", dir.file("missing.txt")});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find(dir.file("missing.txt") + "\": No such file or directory"),
              std::string::npos)
        << result.err;
}

// --- Where options may stand ---

TEST(ConvertCommand, optionsAfterNames_andDoubleDashEndsThem) {
    const TempDir dir;
    fs::create_directory(dir.path() / "out");
    writeFileBytes(dir.path() / "-o.html", "<table><tr><td>dash</td></tr></table>");
    copyFormatCase("two_tables", dir.path());
    const ProcessResult result =
        runConvert({"two_tables.html", "-o", "out", "-q", "--", "-o.html"}, {}, dir.path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(folderEntries(dir.path() / "out"),
              (std::vector<std::string>{"-o.json", "two_tables.json"}));
}

// --- Folder trees ---

TEST(ConvertCommand, recursive_convertsTheTreesPagesInTheScansOrder) {
    const TempDir dir;
    const fs::path tree = dir.path() / "tree";
    fs::create_directories(tree / "sub" / "deeper");
    const std::string page = "<table><tr><td>x</td></tr></table>";
    for (const char* name : {"top.html", "sub/deeper/top.htm", "sub/page.HTM", "~skipped.html",
                             ".hidden.html", "notes.txt", "sub/page.xhtml"}) {
        writeFileBytes(tree / name, page);
    }
    fs::create_directory(dir.path() / "out");
    const ProcessResult result =
        runConvert({"-q", "-j", "2", "-r", tree.string(), "-o", dir.file("out")});
    // The scan gives tree/top.html before tree/sub/deeper/top.htm: the later is kept.
    EXPECT_EQ(result.exitCode, 1) << result.err;
    const std::vector<std::string> lines = splitLines(result.err);
    ASSERT_EQ(lines.size(), 1U) << result.err;
    EXPECT_NE(
        lines[0].find("the result of \"" + (tree / "sub/deeper/top.htm").string() + "\" is kept"),
        std::string::npos)
        << lines[0];
    EXPECT_EQ(folderEntries(dir.path() / "out"),
              (std::vector<std::string>{"page.json", "top.json"}));

    const ProcessResult other = runConvert(
        {"-q", "--recursive", tree.string(), "--extension", "txt", "-o", dir.file("out")});
    EXPECT_EQ(other.exitCode, 0) << other.err;
    EXPECT_TRUE(fs::exists(dir.path() / "out" / "notes.json"));
}

TEST(ConvertCommand, recursive_namesAreBytes_andTheResultsKeepThem) {
    const TempDir dir;
    const fs::path tree = dir.path() / "tree";
    for (const char* folder : {"a\nb", "c\td",
                               "e\xff"
                               "f"}) {
        fs::create_directories(tree / folder);
    }
    for (const char* page : {"x\xe9.html", "a\nb/one.html", "c\td/two.html",
                             "e\xff"
                             "f/three.html"}) {
        writeFileBytes(tree / page, "<table><tr><td>x</td></tr></table>");
    }
    fs::create_directory(dir.path() / "out");
    const ProcessResult result = runConvert({"-q", "-r", tree.string(), "-o", dir.file("out")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(folderEntries(dir.path() / "out"),
              (std::vector<std::string>{"one.json", "three.json", "two.json", "x\xe9.json"}));
}

// Root lists any folder, so the program runs without that right.
TEST(ConvertCommand, recursive_folderThatCannotBeListed_isReportedAndTheRestConverts) {
    const std::optional<std::vector<std::string>> command =
        test::withoutReadOverride(TABRIVO_CONVERT_PATH);
    if (!command) {
        GTEST_SKIP() << "running as root without setpriv, which puts root's right to list aside";
    }
    const TempDir dir;
    const fs::path tree = dir.path() / "tree";
    const fs::path locked = dir.path() / "locked";
    fs::create_directories(tree / "closed");
    fs::create_directories(tree / "open");
    fs::create_directories(locked);
    fs::create_directories(dir.path() / "out");
    const std::string page = "<table><tr><td>x</td></tr></table>";
    writeFileBytes(tree / "closed" / "inside.html", page);
    writeFileBytes(tree / "open" / "page.html", page);
    writeFileBytes(locked / "locked.html", page);
    const std::string loose = copyFormatCase("two_tables", dir.path());
    fs::permissions(tree / "closed", fs::perms::none);
    fs::permissions(locked, fs::perms::none);
    std::vector<std::string> args = *command;
    args.insert(args.end(),
                {"-q", "-r", tree.string(), "-r", locked.string(), "-o", dir.file("out"), loose});
    const ProcessResult result = test::runProcess(args);
    fs::permissions(tree / "closed", fs::perms::owner_all);
    fs::permissions(locked, fs::perms::owner_all);

    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_EQ(splitLines(result.err),
              (std::vector<std::string>{"tabrivo-convert: Cannot list the folder \"" +
                                            (tree / "closed").string() + "\": Permission denied",
                                        "tabrivo-convert: Cannot list the folder \"" +
                                            locked.string() + "\": Permission denied"}));
    EXPECT_EQ(folderEntries(dir.path() / "out"),
              (std::vector<std::string>{"page.json", "two_tables.json"}));
}

// 45 levels of 100-byte names: the page at the bottom has a path longer than
// the system takes, which is reported; the others convert.
TEST(ConvertCommand, recursive_treeDeeperThanThePathLimit_reportsThatOnePathAndGoesOn) {
    const TempDir dir;
    const fs::path tree = dir.path() / "tree";
    fs::create_directories(tree);
    fs::create_directories(dir.path() / "out");
    const test::DeepFolders deep(tree, 45, 100);
    const std::string page = "<table><tr><td>x</td></tr></table>";
    deep.writeFile(3, "near.html", page);
    deep.writeFile(45, "bottom.html", page);
    writeFileBytes(tree / "top.html", page);
    const ProcessResult result = runConvert({"-q", "-r", tree.string(), "-o", dir.file("out")});
    EXPECT_EQ(result.exitCode, 1) << result.err.substr(0, 300);
    const std::vector<std::string> lines = splitLines(result.err);
    ASSERT_EQ(lines.size(), 1U) << result.err.substr(0, 300);
    EXPECT_NE(lines[0].find(deep.pathAt(45) + "/bottom.html\": File name too long"),
              std::string::npos);
    EXPECT_EQ(folderEntries(dir.path() / "out"),
              (std::vector<std::string>{"near.json", "top.json"}));
}

// --- A result that would replace its own source ---

TEST(ConvertCommand, resultWouldReplaceSource_failsAndKeepsTheSource) {
    const TempDir dir;
    const std::string data = dir.file("data.json");
    writeFileBytes(data, "<table><tr><td>mine</td></tr></table>");
    const std::string other = copyFormatCase("two_tables", dir.path());
    fs::create_directory_symlink(dir.path(), dir.path() / "linked");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{data, other}, {"-o", dir.file("linked"), data, other}}) {
        std::vector<std::string> all = {"-q"};
        all.insert(all.end(), args.begin(), args.end());
        const ProcessResult result = runConvert(all);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "tabrivo-convert: Cannot convert \"" + data +
                                  "\": the result would replace the source\n");
        EXPECT_EQ(readFileBytes(data), "<table><tr><td>mine</td></tr></table>");
        EXPECT_EQ(readFileBytes(dir.path() / "two_tables.json"), expectedFor("two_tables"));
    }
}

// Many results into one folder, which is then listed rather than each result
// looked up: the results already there are still followed, kept or refused.
TEST(ConvertCommand, manyResultsInOneFolder_thoseThereAreStillLookedAt) {
    const TempDir dir;
    fs::create_directories(dir.path() / "in");
    std::vector<std::string> args = {"-q", "-j", "2", "-o", dir.file("in")};
    for (const char* name : {"a", "b", "c", "d", "e"}) {
        args.push_back(copyFormatCase("two_tables", dir.path()));
        fs::rename(args.back(), dir.path() / "in" / (std::string(name) + ".html"));
        args.back() = (dir.path() / "in" / (std::string(name) + ".html")).string();
    }
    const std::string source = (dir.path() / "in" / "f.json").string();
    writeFileBytes(source, "<table><tr><td>mine</td></tr></table>");
    args.push_back(source);
    writeFileBytes(dir.path() / "elsewhere.json", "earlier");
    fs::create_symlink(dir.path() / "elsewhere.json", dir.path() / "in" / "b.json");

    const ProcessResult result = runConvert(args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "tabrivo-convert: Cannot convert \"" + source +
                              "\": the result would replace the source\n");
    EXPECT_EQ(readFileBytes(source), "<table><tr><td>mine</td></tr></table>");
    EXPECT_TRUE(fs::is_symlink(dir.path() / "in" / "b.json"));
    EXPECT_EQ(readFileBytes(dir.path() / "elsewhere.json"), expectedFor("two_tables"));
    for (const char* name : {"a.json", "c.json", "d.json", "e.json"}) {
        EXPECT_EQ(readFileBytes(dir.path() / "in" / name), expectedFor("two_tables")) << name;
    }
}

// --- Two sources, one output ---

TEST(ConvertCommand, twoSourcesForOneOutput_exitOneAndKeepTheLaterResult) {
    const TempDir dir;
    fs::create_directories(dir.path() / "a");
    fs::create_directories(dir.path() / "b");
    fs::create_directories(dir.path() / "out");
    const std::string first = (dir.path() / "a" / "report.html").string();
    const std::string second = (dir.path() / "b" / "report.htm").string();
    writeFileBytes(first, "<table><tr><td>from a</td></tr></table>");
    writeFileBytes(second, "<table><tr><td>from b</td></tr></table>");

    for (const char* jobs : {"1", "2"}) {
        const ProcessResult result =
            runConvert({"-q", "-j", jobs, "-o", dir.file("out"), first, second});
        EXPECT_EQ(result.exitCode, 1) << result.err;
        EXPECT_EQ(result.err, "tabrivo-convert: \"" + first + "\" and \"" + second +
                                  "\" give the same result \"" + dir.file("out") +
                                  "/report.json\"; the result of \"" + second + "\" is kept\n");
        EXPECT_EQ(readFileBytes(dir.path() / "out" / "report.json"),
                  "{\r\n\t{\r\n\t\"from b\"\r\n\t}\r\n}")
            << "jobs " << jobs;
    }
}

// --- Parallel conversion ---

TEST(ConvertCommand, twoJobs_giveTheSameBytesAsOne) {
    if (!fs::is_directory(kCorpusDir)) {
        GTEST_SKIP() << "no corpus at " << kCorpusDir;
    }
    const TempDir dir;
    fs::create_directories(dir.path() / "in");
    std::vector<std::string> args = {"-q"};
    for (const auto& entry : fs::directory_iterator(kCorpusDir)) {
        const fs::path copy = dir.path() / "in" / entry.path().filename();
        fs::copy_file(entry.path(), copy);
        args.push_back(copy.string());
    }
    // The format cases too, so there are many small files beside the big ones.
    for (const auto& entry : fs::directory_iterator(kFormatDir)) {
        if (entry.path().extension() == ".html") {
            const fs::path copy =
                dir.path() / "in" / ("format_" + entry.path().filename().string());
            fs::copy_file(entry.path(), copy);
            args.push_back(copy.string());
        }
    }
    const std::size_t sourceCount = args.size() - 1;

    fs::create_directories(dir.path() / "one");
    fs::create_directories(dir.path() / "two");
    std::vector<std::string> one = args;
    one.insert(one.end(), {"-j", "1", "-o", dir.file("one")});
    std::vector<std::string> two = args;
    two.insert(two.end(), {"-j", "2", "-o", dir.file("two")});

    const ProcessResult resultOne = runConvert(one);
    const ProcessResult resultTwo = runConvert(two);
    EXPECT_EQ(resultOne.exitCode, 0) << resultOne.err;
    EXPECT_EQ(resultTwo.exitCode, 0) << resultTwo.err;

    const std::vector<std::string> names = folderEntries(dir.path() / "one");
    EXPECT_EQ(names.size(), sourceCount);
    EXPECT_EQ(folderEntries(dir.path() / "two"), names);
    for (const std::string& name : names) {
        EXPECT_EQ(readFileBytes(dir.path() / "two" / name),
                  readFileBytes(dir.path() / "one" / name))
            << name;
    }
}

// --- Terminal and pipe ---

// Starts tabrivo-convert with standard input from /dev/null and standard
// output and error on the given descriptors. SIGPIPE is ignored in the child,
// as callers that ignore it (Python, many services) leave it.
pid_t startConvertOn(const std::vector<std::string>& args, int outFd, int errFd) {
    std::vector<std::string> argv = {TABRIVO_CONVERT_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv) {
        pointers.push_back(arg.data());
    }
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);  // an ignored signal stays ignored in the child
    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
    ::sigaction(SIGPIPE, &previous, nullptr);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        throw std::system_error(error, std::generic_category(), "posix_spawn");
    }
    return pid;
}

int exitCodeOf(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What a new terminal shows of a run whose standard error goes to it, and its
// standard output too with `outputToTerminal` (else to /dev/null). Empty
// optional where no terminal can be made.
std::optional<std::string> runOnTerminal(const std::vector<std::string>& args,
                                         bool outputToTerminal) {
    const UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master.valid() || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0) {
        return std::nullopt;
    }
    UniqueFd terminal(::open(::ptsname(master.get()), O_RDWR | O_NOCTTY | O_CLOEXEC));
    const UniqueFd nowhere(::open("/dev/null", O_WRONLY | O_CLOEXEC));
    if (!terminal.valid() || !nowhere.valid()) {
        return std::nullopt;
    }
    const pid_t pid =
        startConvertOn(args, outputToTerminal ? terminal.get() : nowhere.get(), terminal.get());
    terminal.reset();  // the child holds the terminal now; its end ends the reading
    std::string shown;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(master.get(), buffer, sizeof buffer);
        if (got > 0) {
            shown.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            break;  // EIO: the child has closed the terminal
        }
    }
    exitCodeOf(pid);
    return shown;
}

TEST(ConvertCommand, resultsToStandardOutputOnTheTerminal_getNoProgressLine) {
    const TempDir dir;
    const std::string source = copyFormatCase("two_tables", dir.path());
    const std::vector<std::string> args = {"-f", "jsonl", "-o", "-", source};
    const std::optional<std::string> shown = runOnTerminal(args, true);
    if (!shown) {
        GTEST_SKIP() << "no pseudo-terminal could be opened";
    }
    std::string lines;  // as the terminal shows them, each line break a CR LF
    for (const std::string& line :
         splitLines(runConvert({"-q", "-f", "jsonl", "-o", "-", source}).out)) {
        lines += line + "\r\n";
    }
    EXPECT_EQ(*shown, lines);
    // Standard error alone on the terminal still shows the progress and the summary.
    EXPECT_NE(runOnTerminal(args, false).value_or("").find("1 converted, 0 failed"),
              std::string::npos);
}

// A run whose standard output fails stops at that write: a reader that went
// away (| head) ends it without a word, any other failure with one line.
TEST(ConvertCommand, failedWriteToStandardOutput_stopsTheRun) {
    const TempDir dir;
    fs::create_directories(dir.path() / "tree");
    for (int i = 0; i < 30; ++i) {
        fs::copy_file(kFormatDir / "two_tables.html",
                      dir.path() / "tree" / ("page" + std::to_string(i) + ".html"));
    }
    // Converted last with one job: reported only if the run went on.
    const std::vector<std::string> args = {"-q",
                                           "-j",
                                           "1",
                                           "-f",
                                           "jsonl",
                                           "-o",
                                           "-",
                                           "-r",
                                           dir.file("tree"),
                                           dir.file("missing.html")};
    const std::string errPath = dir.file("stderr");
    auto run = [&](int outFd) {
        const UniqueFd err(::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        const int exitCode = exitCodeOf(startConvertOn(args, outFd, err.get()));
        return std::make_pair(exitCode, readFileBytes(errPath));
    };

    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    ::close(ends[0]);  // the reader is gone before the first write
    const auto [closedPipeExit, closedPipeErr] = run(ends[1]);
    ::close(ends[1]);
    EXPECT_EQ(closedPipeExit, 0);
    EXPECT_EQ(closedPipeErr, "");

    const UniqueFd full(::open("/dev/full", O_WRONLY | O_CLOEXEC));
    if (!full.valid()) {
        GTEST_SKIP() << "no /dev/full";
    }
    const auto [fullExit, fullErr] = run(full.get());
    EXPECT_EQ(fullExit, 1);
    EXPECT_EQ(fullErr,
              "tabrivo-convert: Cannot write to standard output: No space left on device; the run "
              "stopped there\n");
}

}  // namespace
}  // namespace tabrivo
