// The Qt-free folder scan: which folders a tree gives and in what order, which
// files a folder lists, the file probe, wildcard patterns, unsafe names and
// attribute words.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include <engine/error_trap.h>
#include <files/folder_scan.h>
#include "recording_reporter.h"
#include "test_support.h"

namespace tabrivo {
namespace {

using tabrivo::test::RecordingReporter;

using test::TempDir;
using test::writeFileBytes;
namespace fs = std::filesystem;

// Writes down every failure the scan would show in a box.
// A folder path as the scan gives it: ending with one separator.
std::string folderOf(const fs::path& path) {
    return path.string() + "/";
}

void touch(const fs::path& path) {
    writeFileBytes(path, "x");
}

std::vector<std::string> scan(FolderList folders, RecordingReporter& reporter,
                              const ScanYield& yield = {}) {
    GetSubDirectories2016(folders, true, reporter, "Tabrivo", yield);
    return folders;
}

bool runningAsRoot() {
    return ::geteuid() == 0;
}

// --- GetSubDirectories2016 ---

class FolderScan : public ::testing::Test {
protected:
    TempDir temp;
    RecordingReporter reporter;
    fs::path a() const { return temp.path() / "A"; }
};

TEST_F(FolderScan, tree_isGivenLevelByLevelWithNamesSorted) {
    fs::create_directories(a() / "C");
    fs::create_directories(a() / "B" / "D");
    touch(a() / "B" / "file.html");  // files are never folders
    EXPECT_EQ(scan({folderOf(a())}, reporter),
              (std::vector<std::string>{folderOf(a()), folderOf(a() / "B"), folderOf(a() / "C"),
                                        folderOf(a() / "B" / "D")}));
    EXPECT_TRUE(reporter.reports.empty());
}

TEST_F(FolderScan, deeperTree_keepsEveryLevelBeforeTheNext) {
    // A/B/D/F sits deeper than A/C/E, so it comes after it whatever the names.
    fs::create_directories(a() / "B" / "D" / "F");
    fs::create_directories(a() / "C" / "E");
    EXPECT_EQ(scan({folderOf(a())}, reporter),
              (std::vector<std::string>{folderOf(a()), folderOf(a() / "B"), folderOf(a() / "C"),
                                        folderOf(a() / "B" / "D"), folderOf(a() / "C" / "E"),
                                        folderOf(a() / "B" / "D" / "F")}));
}

TEST_F(FolderScan, withoutDescending_onlyTheFirstLevelIsAdded) {
    fs::create_directories(a() / "B" / "D");
    FolderList folders{folderOf(a())};
    GetSubDirectories2016(folders, false, reporter, "Tabrivo");
    EXPECT_EQ(folders, (std::vector<std::string>{folderOf(a()), folderOf(a() / "B")}));
}

TEST_F(FolderScan, dotFolder_isReturnedAndLookedInto) {
    fs::create_directories(a() / ".hidden" / "inner");
    EXPECT_EQ(scan({folderOf(a())}, reporter),
              (std::vector<std::string>{folderOf(a()), folderOf(a() / ".hidden"),
                                        folderOf(a() / ".hidden" / "inner")}));
    EXPECT_TRUE(reporter.reports.empty());
}

TEST_F(FolderScan, unsafeFolderNames_areSkippedWithEverythingBelow) {
    fs::create_directories(a() / "bad\x01name" / "below");
    fs::create_directories(a() / "tab\tname" / "below");
    fs::create_directories(a() / "del\x7fname");
    fs::create_directories(a() / "c1\xc2\x85name");
    fs::create_directories(a() / "latin1-\xe9t\xe9" / "below");  // not UTF-8
    fs::create_directories(a() / "ok");
    EXPECT_EQ(scan({folderOf(a())}, reporter),
              (std::vector<std::string>{folderOf(a()), folderOf(a() / "ok")}));
    EXPECT_TRUE(reporter.reports.empty());
}

TEST_F(FolderScan, cyrillicAndCjkFolders_areLookedInto) {
    fs::create_directories(a() / "Папка" / "内");
    fs::create_directories(a() / "名前");
    const std::vector<std::string> found = scan({folderOf(a())}, reporter);
    EXPECT_EQ(found,
              (std::vector<std::string>{folderOf(a()), folderOf(a() / "Папка"),
                                        folderOf(a() / "名前"), folderOf(a() / "Папка" / "内")}));
    EXPECT_TRUE(reporter.reports.empty());
}

TEST_F(FolderScan, symlinkToFolder_isNeitherReturnedNorLookedInto) {
    fs::create_directories(a() / "real" / "inside");
    fs::create_directories(temp.path() / "elsewhere" / "deep");
    fs::create_directory_symlink(temp.path() / "elsewhere", a() / "link");
    EXPECT_EQ(scan({folderOf(a())}, reporter),
              (std::vector<std::string>{folderOf(a()), folderOf(a() / "real"),
                                        folderOf(a() / "real" / "inside")}));
}

TEST_F(FolderScan, symlinkLoop_ends) {
    fs::create_directories(a() / "B");
    fs::create_directory_symlink(a(), a() / "B" / "up");
    fs::create_directory_symlink(a() / "B", a() / "B" / "self");
    EXPECT_EQ(scan({folderOf(a())}, reporter),
              (std::vector<std::string>{folderOf(a()), folderOf(a() / "B")}));
    EXPECT_TRUE(reporter.reports.empty());
}

TEST_F(FolderScan, refusedListing_dropsThatFolderSilently) {
    if (runningAsRoot()) {
        GTEST_SKIP() << "root may list a folder without read rights, so nothing is refused";
    }
    fs::create_directories(a() / "closed" / "inner");
    fs::create_directories(a() / "open");
    fs::permissions(a() / "closed", fs::perms::none);
    const std::vector<std::string> found = scan({folderOf(a())}, reporter);
    fs::permissions(a() / "closed", fs::perms::owner_all);
    EXPECT_EQ(found, (std::vector<std::string>{folderOf(a()), folderOf(a() / "open")}));
    EXPECT_TRUE(reporter.reports.empty());
}

TEST_F(FolderScan, vanishedTopFolder_isDroppedWithoutAReport) {
    fs::create_directories(a() / "B");
    const std::vector<std::string> found =
        scan({folderOf(temp.path() / "gone"), folderOf(a())}, reporter);
    EXPECT_EQ(found, (std::vector<std::string>{folderOf(a()), folderOf(a() / "B")}));
    EXPECT_TRUE(reporter.reports.empty());
}

// The tree A/B/inner/x.html, A/C/c.html, with B removed at the `removeAt`-th
// time the scan lets the window handle input (0: never). Returns how many
// times it yielded.
int scanWhileBVanishes(const fs::path& top, int removeAt, RecordingReporter& reporter,
                       std::vector<std::string>* folders, std::vector<std::string>* files) {
    std::error_code ignored;
    fs::remove_all(top, ignored);
    fs::create_directories(top / "B" / "inner");
    fs::create_directories(top / "C");
    touch(top / "B" / "inner" / "x.html");
    touch(top / "C" / "c.html");
    int yields = 0;
    const ScanYield yield = [&] {
        if (++yields == removeAt) {
            fs::remove_all(top / "B");
        }
    };
    if (folders != nullptr) {
        *folders = scan({folderOf(top)}, reporter, yield);
    } else {
        addFilesOfTree(
            top.string(), "*.*", [&](const std::string& path) { files->push_back(path); }, reporter,
            "Tabrivo", yield);
    }
    return yields;
}

TEST_F(FolderScan, folderVanishingAtAnyPointOfTheScan_isNeverReported) {
    std::vector<std::string> folders;
    const int yields = scanWhileBVanishes(a(), 0, reporter, &folders, nullptr);
    ASSERT_GT(yields, 2);
    for (int at = 1; at <= yields; ++at) {
        SCOPED_TRACE("B removed at yield " + std::to_string(at));
        RecordingReporter quiet;
        scanWhileBVanishes(a(), at, quiet, &folders, nullptr);
        EXPECT_EQ(std::count(folders.begin(), folders.end(), folderOf(a())), 1);
        EXPECT_EQ(std::count(folders.begin(), folders.end(), folderOf(a() / "C")), 1);
        EXPECT_TRUE(quiet.reports.empty());
    }
}

TEST_F(FolderScan, filesOfTree_folderVanishingAtAnyPointOfTheScan_othersStillCome) {
    std::vector<std::string> files;
    const int yields = scanWhileBVanishes(a(), 0, reporter, nullptr, &files);
    ASSERT_GT(yields, 2);
    for (int at = 1; at <= yields; ++at) {
        SCOPED_TRACE("B removed at yield " + std::to_string(at));
        RecordingReporter quiet;
        files.clear();
        EXPECT_NO_THROW(scanWhileBVanishes(a(), at, quiet, nullptr, &files));
        EXPECT_EQ(std::count(files.begin(), files.end(), (a() / "C" / "c.html").string()), 1);
        EXPECT_TRUE(quiet.reports.empty());
    }
}

TEST_F(FolderScan, overlappingInputs_giveDuplicates) {
    fs::create_directories(a() / "B" / "D");
    const std::vector<std::string> found = scan({folderOf(a()), folderOf(a() / "B")}, reporter);
    EXPECT_EQ(std::count(found.begin(), found.end(), folderOf(a() / "B")), 2);
    EXPECT_EQ(std::count(found.begin(), found.end(), folderOf(a() / "B" / "D")), 2);
    EXPECT_TRUE(reporter.reports.empty());
}

// --- ListFilesInFolder ---

class ListFiles : public ::testing::Test {
protected:
    TempDir temp;
    std::string folder() const { return temp.path().string(); }
};

TEST_F(ListFiles, countOfMatches_noneOneAndMany) {
    touch(temp.path() / "notes.txt");
    EXPECT_TRUE(ListFilesInFolder(folder(), "*.html").empty());

    touch(temp.path() / "one.html");
    EXPECT_EQ(ListFilesInFolder(folder(), "*.html"), std::vector<std::string>{"one.html"});

    for (int i = 0; i < 149; ++i) {
        touch(temp.path() / ("page" + std::to_string(1000 + i) + ".html"));
    }
    const std::vector<std::string> many = ListFilesInFolder(folder(), "*.html");
    EXPECT_EQ(many.size(), 150U);
    EXPECT_TRUE(std::is_sorted(many.begin(), many.end()));
    EXPECT_EQ(ListFilesInFolder(folder() + "/", "*.html").size(), 150U);
}

TEST_F(ListFiles, patterns_ignoreLetterCase) {
    touch(temp.path() / "a.html");
    touch(temp.path() / "B.HTML");
    EXPECT_EQ(ListFilesInFolder(folder(), "*.HTML"),
              (std::vector<std::string>{"B.HTML", "a.html"}));
    EXPECT_EQ(ListFilesInFolder(folder(), "*.html"),
              (std::vector<std::string>{"B.HTML", "a.html"}));
}

TEST_F(ListFiles, starAndStarDotStar_matchEveryFileButNoFolder) {
    touch(temp.path() / "a.html");
    touch(temp.path() / "noextension");
    touch(temp.path() / ".hidden");
    touch(temp.path() / "~temp.htm");
    fs::create_directory(temp.path() / "sub.html");
    const std::vector<std::string> all{".hidden", "a.html", "noextension", "~temp.htm"};
    EXPECT_EQ(ListFilesInFolder(folder(), "*"), all);
    EXPECT_EQ(ListFilesInFolder(folder(), "*.*"), all);
}

TEST_F(ListFiles, missingFolder_throws) {
    EXPECT_THROW(ListFilesInFolder((temp.path() / "gone").string(), "*"), std::system_error);
}

// --- FileIsPresent ---

TEST(FileIsPresent, onlyAnExistingFileCounts) {
    const TempDir temp;
    const std::string file = temp.file("a.html");
    touch(file);
    EXPECT_TRUE(FileIsPresent(file));
    EXPECT_FALSE(FileIsPresent(temp.path().string()));
    EXPECT_FALSE(FileIsPresent(temp.file("missing.html")));
    EXPECT_FALSE(FileIsPresent(file + "/"));
    EXPECT_FALSE(FileIsPresent(temp.file("*.html")));
    EXPECT_FALSE(FileIsPresent(temp.file("a.htm?")));
    EXPECT_FALSE(FileIsPresent(""));
}

TEST(FileIsPresent, fileWithoutReadRights_counts) {
    const TempDir temp;
    const std::string file = temp.file("closed.html");
    touch(file);
    fs::permissions(file, fs::perms::none);
    EXPECT_TRUE(FileIsPresent(file));
}

// --- wildcardMatch ---

struct MatchCase {
    const char* pattern;
    const char* name;
    bool matches;
};

TEST(WildcardMatch, table) {
    const MatchCase cases[] = {
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"a?c", "abbc", false},
        {"A?C", "abc", true},
        {"*.htm", "x.htm", true},
        {"*.htm", "x.html", false},
        {"*.html", "x.htm", false},
        {"*.html", "report.final.html", true},
        {"*..html", "a.html", false},
        {"*..html", "a..html", true},
        {"*", "", true},
        {"*.*", "noextension", true},
        {"*.txt", ".txt", true},
        {"x*y*z", "xAAyBBz", true},
        {"x*y*z", "xAAyBB", false},
        {"", "", true},
        {"", "a", false},
        {"*.HTML", "a.html", true},
    };
    for (const MatchCase& c : cases) {
        EXPECT_EQ(wildcardMatch(c.pattern, c.name), c.matches)
            << "pattern \"" << c.pattern << "\" name \"" << c.name << "\"";
    }
}

// --- HasUnsafeNameChars ---

TEST(HasUnsafeNameChars, safeNames) {
    for (const char* name : {"", "plain", "€uro", "Привет", "名前", "emoji 😀", "a b-c_d.e"}) {
        EXPECT_FALSE(HasUnsafeNameChars(name)) << name;
    }
}

TEST(HasUnsafeNameChars, controlCharactersAndBadBytes) {
    using namespace std::string_view_literals;
    for (const std::string_view name :
         {"\x01"sv, "a\x7f"sv, "\xc2\x85"sv, "a\x1f"sv, "\xc2\x9f"sv, "nul\0inside"sv, "\xff"sv,
          "\xe9t\xe9"sv, "\xc0\xaf"sv, "\xe0\x80\xaf"sv, "\xed\xa0\x80"sv, "\xe2\x82"sv, "\x80"sv,
          "\xf4\x90\x80\x80"sv}) {
        EXPECT_TRUE(HasUnsafeNameChars(name)) << testing::PrintToString(std::string(name));
    }
}

// --- attributeWord ---

TEST(AttributeWord, foldersFilesDotNamesAndLinks) {
    const TempDir temp;
    fs::create_directory(temp.path() / "folder");
    fs::create_directory(temp.path() / ".dotfolder");
    touch(temp.path() / "file.html");
    touch(temp.path() / ".dotfile");
    fs::create_symlink(temp.path() / "file.html", temp.path() / "link");
    fs::create_directory_symlink(temp.path() / "folder", temp.path() / "folderlink");
    EXPECT_EQ(attributeWord(temp.file("folder")), Attribute::Folder);
    EXPECT_EQ(attributeWord(temp.file("folder") + "/"), Attribute::Folder);
    EXPECT_EQ(attributeWord(temp.file(".dotfolder")), Attribute::Folder | Attribute::Hidden);
    EXPECT_EQ(attributeWord(temp.file("file.html")), Attribute::Archive);
    EXPECT_EQ(attributeWord(temp.file(".dotfile")), 34);
    EXPECT_NE(attributeWord(temp.file("link")) & Attribute::Alias, 0);
    EXPECT_NE(attributeWord(temp.file("folderlink")) & Attribute::Alias, 0);
    EXPECT_THROW(attributeWord(temp.file("missing")), std::system_error);
}

TEST(AttributeWord, fileTheUserMayNotWrite_isReadOnly) {
    if (runningAsRoot()) {
        GTEST_SKIP() << "root may write any file, so the read-only bit never shows";
    }
    const TempDir temp;
    touch(temp.path() / ".locked");
    fs::permissions(temp.path() / ".locked", fs::perms::owner_read);
    EXPECT_EQ(attributeWord(temp.file(".locked")), 35);
}

}  // namespace
}  // namespace tabrivo
