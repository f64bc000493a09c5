// The command line's tree walk: every name the file system gives, in the
// order the window's scan gives, folders that cannot be listed reported, and
// no depth limit.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <files/tree_walk.h>
#include "deep_folders.h"
#include "read_override.h"
#include "recording_reporter.h"
#include "test_support.h"

namespace tabrivo {
namespace {

using test::RecordingReporter;
using test::TempDir;
namespace fs = std::filesystem;

class TreeWalk : public ::testing::Test {
protected:
    std::vector<std::string> walk(const fs::path& folder, std::string_view pattern = "*.htm*") {
        std::vector<std::string> files;
        walkTreeFiles(
            folder.string(), pattern, [&](std::string path) { files.push_back(std::move(path)); },
            reporter);
        return files;
    }
    void touch(const fs::path& path) { test::writeFileBytes(path, "x"); }
    std::vector<std::string> reports() const {
        std::vector<std::string> lines;
        for (const FailureReport& report : reporter.reports) {
            lines.push_back(report.description);
        }
        return lines;
    }

    TempDir temp;
    RecordingReporter reporter;
    fs::path tree = temp.path() / "tree";
};

TEST_F(TreeWalk, namesAreBytes_everyFileComesLevelByLevel) {
    for (const char* folder : {"a\nb", "c\td",
                               "e\xff"
                               "f/deeper",
                               "sub"}) {
        fs::create_directories(tree / folder);
    }
    for (const char* file : {"top.html", "x\xe9.html", "a\nb/one.html", "c\td/two.htm",
                             "e\xff"
                             "f/three.html",
                             "e\xff"
                             "f/deeper/four.html",
                             "sub/five.HTML", "~temp.html", ".hidden.html", "notes.txt"}) {
        touch(tree / file);
    }
    fs::create_directories(temp.path() / "elsewhere");
    touch(temp.path() / "elsewhere" / "outside.html");
    fs::create_directory_symlink(temp.path() / "elsewhere", tree / "linked");
    fs::create_symlink(tree / "top.html", tree / "link.html");

    const std::string top = tree.string() + "/";
    EXPECT_EQ(walk(tree),
              (std::vector<std::string>{top + "link.html", top + "top.html", top + "x\xe9.html",
                                        top + "a\nb/one.html", top + "c\td/two.htm",
                                        top + "e\xff"
                                              "f/three.html",
                                        top + "sub/five.HTML",
                                        top + "e\xff"
                                              "f/deeper/four.html"}));
    EXPECT_TRUE(reporter.reports.empty());
    EXPECT_EQ(walk(tree.string() + "//", "*.txt"), std::vector<std::string>{top + "notes.txt"});
}

TEST_F(TreeWalk, folderThatCannotBeListed_isReportedAndTheOthersWalked) {
    fs::create_directories(tree / "closed" / "inner");
    fs::create_directories(tree / "open");
    touch(tree / "closed" / "inner" / "hidden-from-us.html");
    touch(tree / "open" / "page.html");
    fs::permissions(tree / "closed", fs::perms::none);
    std::vector<std::string> files;
    std::vector<std::string> rootFiles;
    bool walked = false;
    {
        const test::WithoutReadOverride guard;
        if (guard.active()) {
            walked = true;
            files = walk(tree);
            rootFiles = walk(tree / "closed");
        }
    }
    fs::permissions(tree / "closed", fs::perms::owner_all);
    if (!walked) {
        GTEST_SKIP() << "root's right to list any folder could not be put aside";
    }
    EXPECT_EQ(files, std::vector<std::string>{(tree / "open" / "page.html").string()});
    EXPECT_TRUE(rootFiles.empty());
    const std::string line =
        "Cannot list the folder \"" + (tree / "closed").string() + "\": Permission denied";
    EXPECT_EQ(reports(), (std::vector<std::string>{line, line}));

    reporter.reports.clear();
    EXPECT_TRUE(walk(temp.path() / "gone").empty());
    EXPECT_EQ(reports(), std::vector<std::string>{"Cannot list the folder \"" +
                                                  (temp.path() / "gone").string() +
                                                  "\": No such file or directory"});
}

// 45 levels of 100-byte names: the deepest path is past 4,096 bytes, and the
// walk keeps fewer folders open than there are levels.
TEST_F(TreeWalk, treeDeeperThanThePathLimit_isWalkedWhole) {
    fs::create_directories(tree / "zz");
    const test::DeepFolders deep(tree, 45, 100);
    deep.writeFile(2, "near.html", "x");
    deep.writeFile(45, "bottom.html", "x");
    touch(tree / "zz" / "after.html");
    const std::vector<std::string> files = walk(tree);
    EXPECT_TRUE(reporter.reports.empty());
    ASSERT_EQ(files.size(), 3U);
    EXPECT_EQ(files[0], (tree / "zz" / "after.html").string());
    EXPECT_EQ(files[1], deep.pathAt(2) + "/near.html");
    EXPECT_EQ(files[2], deep.pathAt(45) + "/bottom.html");
    EXPECT_GT(files[2].size(), 4096U);
}

}  // namespace
}  // namespace tabrivo
