// Path helpers, with the "\" rules and the "/" rules.

#include <gtest/gtest.h>

#include <string>

#include <files/path_helpers.h>
#include "test_support.h"

namespace tabrivo {
namespace {

struct CollapseCase {
    const char* path;
    const char* expected;
};

// --- File name and folder parts ---

TEST(GetFileNamePart, backslash_givesTextAfterTheLastSeparator) {
    EXPECT_EQ(GetFileNamePart("C:\\Out\\report.json", '\\'), "report.json");
    EXPECT_EQ(GetFileNamePart("report.json", '\\'), "report.json");
    EXPECT_EQ(GetFileNamePart("C:\\Out\\", '\\'), "");
    EXPECT_EQ(GetFileNamePart("", '\\'), "");
    // A "/" is an ordinary character under the "\" rules.
    EXPECT_EQ(GetFileNamePart("C:\\a/b.htm", '\\'), "a/b.htm");
}

TEST(GetFileNamePart, slash_givesTextAfterTheLastSeparator) {
    EXPECT_EQ(GetFileNamePart("/home/u/report.htm", '/'), "report.htm");
    EXPECT_EQ(GetFileNamePart("/home/u/", '/'), "");
    EXPECT_EQ(GetFileNamePart("a\\b.htm", '/'), "a\\b.htm");
}

TEST(GetFolderPart, backslash_keepsTheLastSeparator) {
    EXPECT_EQ(GetFolderPart("C:\\report.htm", '\\'), "C:\\");
    EXPECT_EQ(GetFolderPart("C:\\Out\\sub\\report.htm", '\\'), "C:\\Out\\sub\\");
    EXPECT_EQ(GetFolderPart("report.htm", '\\'), "");
    EXPECT_EQ(GetFolderPart("\\\\server\\share\\x.htm", '\\'), "\\\\server\\share\\");
}

TEST(GetFolderPart, slash_keepsTheLastSeparator) {
    EXPECT_EQ(GetFolderPart("/report.htm", '/'), "/");
    EXPECT_EQ(GetFolderPart("/home/u/report.htm", '/'), "/home/u/");
    EXPECT_EQ(GetFolderPart("report.htm", '/'), "");
}

TEST(PathParts, folderPartAndFileNamePart_makeTheWholePath) {
    for (const char* path : {"C:\\Out\\report.json", "C:\\", "report", "\\\\s\\x.json"}) {
        EXPECT_EQ(GetFolderPart(path, '\\') + GetFileNamePart(path, '\\'), path);
    }
    for (const char* path : {"/a/b/c.htm", "/", "c.htm", "a/"}) {
        EXPECT_EQ(GetFolderPart(path, '/') + GetFileNamePart(path, '/'), path);
    }
}

// --- Extensions ---

TEST(RemoveExtension, dropsTheTextFromTheLastDot) {
    EXPECT_EQ(RemoveExtension("report.html"), "report");
    EXPECT_EQ(RemoveExtension("a.b.html"), "a.b");
    EXPECT_EQ(RemoveExtension("report."), "report");
}

TEST(RemoveExtension, leadingDotOrNoDot_keepsTheName) {
    EXPECT_EQ(RemoveExtension(".htaccess"), ".htaccess");
    EXPECT_EQ(RemoveExtension(".htm"), ".htm");
    EXPECT_EQ(RemoveExtension("README"), "README");
    EXPECT_EQ(RemoveExtension(""), "");
}

TEST(RemoveExtension, dotFileWithExtension_dropsOnlyTheExtension) {
    EXPECT_EQ(RemoveExtension(".config.html"), ".config");
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
