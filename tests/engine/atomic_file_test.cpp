// Output files: WriteTextFile's modes and the atomically replaced output file.

#include <gtest/gtest.h>

#include <string>
#include <system_error>
#include <vector>

#include <engine/atomic_file.h>
#include <engine/output_flush.h>
#include "test_support.h"

namespace tabrivo {
namespace {

using test::folderEntries;
using test::readFileBytes;
using test::TempDir;
using test::writeFileBytes;

// --- WriteTextFile ---

TEST(WriteTextFile, modesBelowTwo_startTheFileAfresh) {
    const TempDir dir;
    const std::string path = dir.file("out.json");
    for (const int mode : {1, 0, -1}) {
        writeFileBytes(path, "a much longer earlier content");
        WriteTextFile("{\r\n", path, mode);
        EXPECT_EQ(readFileBytes(path), "{\r\n") << "mode " << mode;
    }
}

TEST(WriteTextFile, modeTwoAndAbove_append) {
    const TempDir dir;
    const std::string path = dir.file("out.json");
    WriteTextFile("{\r\n", path, 1);
    WriteTextFile("\t{\r\n", path, 2);
    WriteTextFile("}", path, 3);
    EXPECT_EQ(readFileBytes(path), "{\r\n\t{\r\n}");
}

TEST(WriteTextFile, appendToMissingFile_createsIt) {
    const TempDir dir;
    const std::string path = dir.file("new.json");
    WriteTextFile("piece", path, 2);
    EXPECT_EQ(readFileBytes(path), "piece");
}

TEST(WriteTextFile, emptyTextInModeOne_leavesAnEmptyFile) {
    const TempDir dir;
    const std::string path = dir.file("out.json");
    writeFileBytes(path, "earlier");
    WriteTextFile("", path, 1);
    ASSERT_TRUE(test::fs::exists(path));
    EXPECT_EQ(readFileBytes(path), "");

    const std::string fresh = dir.file("fresh.json");
    WriteTextFile("", fresh, 1);
    ASSERT_TRUE(test::fs::exists(fresh));
    EXPECT_EQ(readFileBytes(fresh), "");
}

TEST(WriteTextFile, emptyTextWhenAppending_leavesTheFileUnchanged) {
    const TempDir dir;
    const std::string path = dir.file("out.json");
    writeFileBytes(path, "kept");
    WriteTextFile("", path, 2);
    EXPECT_EQ(readFileBytes(path), "kept");
}

TEST(WriteTextFile, missingFolder_throwsAndCreatesNothing) {
    const TempDir dir;
    for (const int mode : {1, 2}) {
        EXPECT_THROW(WriteTextFile("x", dir.file("missing/out.json"), mode), std::system_error)
            << "mode " << mode;
    }
    EXPECT_TRUE(folderEntries(dir.path()).empty());
}

TEST(WriteTextFile, failure_namesThePath) {
    const TempDir dir;
    const std::string path = dir.file("missing/out.json");
    try {
        WriteTextFile("x", path, 1);
        FAIL() << "no exception";
    } catch (const std::system_error& error) {
        EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
    }
}

TEST(WriteTextFile, startingAfresh_leavesNoTemporaryFiles) {
    const TempDir dir;
    const std::string path = dir.file("out.json");
    WriteTextFile("one", path, 1);
    WriteTextFile("two", path, 1);
    WriteTextFile("three", path, 2);
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"out.json"}));
    EXPECT_EQ(readFileBytes(path), "twothree");
}

// --- AtomicOutputFile ---

TEST(AtomicOutputFile, commit_replacesTheTarget) {
    const TempDir dir;
    const std::string path = dir.file("out.json");
    writeFileBytes(path, "an earlier and longer result");
    {
        AtomicOutputFile file(path);
        file.write("new ");
        file.write("text");
        file.commit();
    }
    EXPECT_EQ(readFileBytes(path), "new text");
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"out.json"}));
}

TEST(AtomicOutputFile, withoutCommit_targetUntouchedAndNothingLeft) {
    const TempDir dir;
    const std::string path = dir.file("out.json");
    writeFileBytes(path, "earlier");
    {
        AtomicOutputFile file(path);
        file.write(std::string(1024 * 1024, 'x'));  // past the buffer, so bytes reach the disk
    }
    EXPECT_EQ(readFileBytes(path), "earlier");
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"out.json"}));
}

TEST(AtomicOutputFile, discard_leavesNoNewFile) {
    const TempDir dir;
    const std::string path = dir.file("out.json");
    AtomicOutputFile file(path);
    file.write("text");
    file.discard();
    EXPECT_TRUE(folderEntries(dir.path()).empty());
}

TEST(AtomicOutputFile, largeContent_isWrittenWhole) {
    const TempDir dir;
    const std::string path = dir.file("out.json");
    std::string expected;
    {
        AtomicOutputFile file(path);
        for (int i = 0; i < 20000; ++i) {
            const std::string piece = "\t\"cell " + std::to_string(i) + "\"\r\n";
            file.write(piece);
            expected += piece;
        }
        file.commit();
    }
    EXPECT_EQ(readFileBytes(path), expected);
}

TEST(AtomicOutputFile, symbolicLink_replacesTheFileItPointsTo) {
    const TempDir dir;
    const std::string real = dir.file("real.json");
    const std::string link = dir.file("link.json");
    writeFileBytes(real, "earlier");
    test::fs::create_symlink(real, link);
    AtomicOutputFile file(link);
    file.write("new");
    file.commit();
    EXPECT_TRUE(test::fs::is_symlink(link));
    EXPECT_EQ(readFileBytes(real), "new");
}

// Told the target is not there, the file skips looking; a file that appears
// there meanwhile is replaced whole, in either way of staging.
TEST(AtomicOutputFile, targetKnownAbsent_replacesOneThatAppearsMeanwhile) {
    for (const auto staging :
         {AtomicOutputFile::Staging::Unnamed, AtomicOutputFile::Staging::Named}) {
        const TempDir dir;
        const std::string path = dir.file("out.json");
        AtomicOutputFile file(path, staging, TargetStatus::KnownAbsent);
        file.write("ours");
        writeFileBytes(path, "another program's");
        file.commit();
        EXPECT_EQ(readFileBytes(path), "ours");
        EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"out.json"});
    }
}

// Both ways of staging the result, with and without an earlier result: no
// name but the target's is left, and while writing the unnamed file has none.
struct StagingCase {
    AtomicOutputFile::Staging staging;
    bool earlier;
    std::vector<std::string> whileWriting;  // the folder's names before commit()
};

class Staging : public ::testing::TestWithParam<StagingCase> {};

TEST_P(Staging, commit_leavesOnlyTheResultAndKeepsThePermissions) {
    const StagingCase& staging = GetParam();
    const TempDir dir;
    const std::string path = dir.file("out.json");
    if (staging.earlier) {
        writeFileBytes(path, "earlier");
        test::fs::permissions(path, test::fs::perms(0640));
    }
    AtomicOutputFile file(path, staging.staging);
    file.write(std::string(300 * 1024, 'x'));
    std::vector<std::string> names = folderEntries(dir.path());
    const bool named = !names.empty() && names.front().rfind(".tabrivo-", 0) == 0;  // sorted first
    if (staging.staging == AtomicOutputFile::Staging::Unnamed && named) {
        GTEST_SKIP() << "the file system of " << dir.path() << " refuses unnamed files";
    }
    if (staging.staging == AtomicOutputFile::Staging::Named) {
        ASSERT_TRUE(named);
        names.erase(names.begin());
    }
    EXPECT_EQ(names, staging.whileWriting);
    file.commit();
    EXPECT_EQ(readFileBytes(path), std::string(300 * 1024, 'x'));
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"out.json"}));
    if (staging.earlier) {
        EXPECT_EQ(test::fs::status(path).permissions(), test::fs::perms(0640));
    }
}

using Kind = AtomicOutputFile::Staging;
INSTANTIATE_TEST_SUITE_P(Kinds, Staging,
                         ::testing::Values(StagingCase{Kind::Unnamed, false, {}},
                                           StagingCase{Kind::Unnamed, true, {"out.json"}},
                                           StagingCase{Kind::Named, false, {}},
                                           StagingCase{Kind::Named, true, {"out.json"}}),
                         [](const ::testing::TestParamInfo<StagingCase>& tested) {
                             return std::string(tested.param.staging == Kind::Unnamed ? "Unnamed"
                                                                                      : "Named") +
                                    (tested.param.earlier ? "OverEarlierResult" : "NewResult");
                         });

// --- OutputFlush ---

TEST(OutputFlush, oneDescriptorPerFileSystem) {
    const TempDir first;
    const TempDir second;
    OutputFlush flush;
    flush.note(first.file("a.json"));
    flush.note(second.file("b.json"));
    flush.note(first.file("missing-folder/c.json"));  // passed over
    EXPECT_EQ(flush.fileSystemCount(), 1U);
    if (test::fs::is_directory("/dev/shm")) {
        flush.note("/dev/shm/d.json");
        EXPECT_EQ(flush.fileSystemCount(), 2U);
    }
    flush.flush();
    EXPECT_EQ(flush.fileSystemCount(), 0U);
}

}  // namespace
}  // namespace tabrivo
