// Path helpers, with the "\" rules and the "/" rules.

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include <files/path_helpers.h>
#include "test_support.h"

namespace tabrivo {
namespace {

struct CollapseCase {
    const char* path;
    const char* expected;
};

// --- File name and folder parts, extensions ---

// A path split at its last separator: the folder part keeps the separator, and
// the two parts make the whole path again. Under the "\" rules a "/" is an
// ordinary character, and the other way round.
struct PathPartsCase {
    char separator;
    const char* path;
    const char* folder;
    const char* name;
};

const PathPartsCase kPathParts[] = {
    {'\\', "C:\\Out\\report.json", "C:\\Out\\", "report.json"},
    {'\\', "C:\\Out\\sub\\report.htm", "C:\\Out\\sub\\", "report.htm"},
    {'\\', "C:\\report.htm", "C:\\", "report.htm"},
    {'\\', "C:\\Out\\", "C:\\Out\\", ""},
    {'\\', "report.json", "", "report.json"},
    {'\\', "", "", ""},
    {'\\', "C:\\a/b.htm", "C:\\", "a/b.htm"},
    {'\\', "\\\\server\\share\\x.htm", "\\\\server\\share\\", "x.htm"},
    {'/', "/home/u/report.htm", "/home/u/", "report.htm"},
    {'/', "/report.htm", "/", "report.htm"},
    {'/', "/home/u/", "/home/u/", ""},
    {'/', "report.htm", "", "report.htm"},
    {'/', "a\\b.htm", "", "a\\b.htm"},
};

TEST(PathParts, folderAndFileNameParts_splitAtTheLastSeparator) {
    for (const PathPartsCase& c : kPathParts) {
        EXPECT_EQ(GetFolderPart(c.path, c.separator), c.folder) << c.path;
        EXPECT_EQ(GetFileNamePart(c.path, c.separator), c.name) << c.path;
        EXPECT_EQ(GetFolderPart(c.path, c.separator) + GetFileNamePart(c.path, c.separator),
                  c.path);
    }
}

TEST(RemoveExtension, dropsTheTextFromTheLastDotButNotALeadingOne) {
    const std::pair<const char*, const char*> cases[] = {
        {"report.html", "report"},
        {"a.b.html", "a.b"},
        {"report.", "report"},
        {".htaccess", ".htaccess"},
        {".htm", ".htm"},
        {"README", "README"},
        {"", ""},
        {".config.html", ".config"},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(RemoveExtension(name), expected) << name;
    }
}

// --- Folders ---

TEST(FolderExists, answersOnlyForExistingFolders) {
    const test::TempDir dir;
    test::writeFileBytes(dir.path() / "file.txt", "x");
    EXPECT_FALSE(FolderExists(""));
    EXPECT_FALSE(FolderExists(dir.file("missing")));
    EXPECT_FALSE(FolderExists(dir.file("file.txt")));
    EXPECT_FALSE(FolderExists(dir.file("file.txt") + "/"));
    EXPECT_TRUE(FolderExists(dir.path().string()));
    EXPECT_TRUE(FolderExists(dir.path().string() + "/"));
}

// --- Doubled separators ---

TEST(CollapseDoubleBackslashes, backslashRules) {
    const CollapseCase cases[] = {
        {"C:\\Out\\\\report.json", "C:\\Out\\report.json"},
        {"\\\\server\\share\\\\x.json", "\\\\server\\share\\x.json"},
        {"\\dir\\x.json", "\\\\dir\\x.json"},
        {"\\\\\\\\server\\x.json", "\\\\server\\x.json"},
        {"", ""},
        {"\\", "\\\\"},
        {"\\\\\\\\\\", "\\\\"},
        {"a\\\\\\b", "a\\\\b"},    // a run of three inside becomes two
        {"a\\\\\\\\b", "a\\\\b"},  // a run of four becomes two
        {"C:\\Out\\report.json", "C:\\Out\\report.json"},
        {"report.json", "report.json"},
        {"a//b", "a//b"},  // "/" is an ordinary character under the "\" rules
    };
    for (const CollapseCase& c : cases) {
        EXPECT_EQ(CollapseDoubleBackslashes(c.path, '\\'), c.expected) << "path: " << c.path;
    }
}

TEST(CollapseDoubleBackslashes, slashRules) {
    const CollapseCase cases[] = {
        {"//a//b", "/a/b"},
        {"///", "/"},
        {"/", "/"},
        {"/home/u//out.json", "/home/u/out.json"},
        {"////srv/x.json", "/srv/x.json"},
        {"a///b", "a//b"},
        {"a////b", "a//b"},
        {"", ""},
        {"rel/x.json", "rel/x.json"},
        {"C:\\\\x", "C:\\\\x"},
    };
    for (const CollapseCase& c : cases) {
        EXPECT_EQ(CollapseDoubleBackslashes(c.path, '/'), c.expected) << "path: " << c.path;
    }
}

TEST(CollapseDoubleBackslashes, defaultSeparator_isTheSlashOnThisPlatform) {
    EXPECT_EQ(kPathSeparator, '/');
    EXPECT_EQ(CollapseDoubleBackslashes("//a//b"), "/a/b");
    EXPECT_EQ(GetFileNamePart("/a/b.htm"), "b.htm");
}

}  // namespace
}  // namespace tabrivo
