// The output path rule: beside the source, or into a chosen folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <files/output_path.h>

#include "test_support.h"

namespace tabrivo {
namespace {

TEST(OutputPathBesideSource, replacesTheExtensionWithJson) {
    EXPECT_EQ(outputPathBesideSource("/d/report.htm"), "/d/report.json");
    EXPECT_EQ(outputPathBesideSource("/d/report.html"), "/d/report.json");
    EXPECT_EQ(outputPathBesideSource("/d/a.b.html"), "/d/a.b.json");
}

TEST(OutputPathBesideSource, nameWithoutExtension_getsJsonAdded) {
    EXPECT_EQ(outputPathBesideSource("/d/README"), "/d/README.json");
    EXPECT_EQ(outputPathBesideSource("/d/.htm"), "/d/.htm.json");
}

TEST(OutputPathBesideSource, dotInFolderName_isNotAnExtension) {
    EXPECT_EQ(outputPathBesideSource("/d/v1.2/README"), "/d/v1.2/README.json");
}

TEST(OutputPathBesideSource, backslashRules) {
    EXPECT_EQ(outputPathBesideSource("C:\\In\\report.htm", '\\'), "C:\\In\\report.json");
    EXPECT_EQ(outputPathBesideSource("C:\\report.htm", '\\'), "C:\\report.json");
    EXPECT_EQ(outputPathBesideSource("\\\\server\\share\\a.b.html", '\\'),
              "\\\\server\\share\\a.b.json");
}

TEST(OutputPathInFolder, trailingSeparatorOrNot_giveTheSamePath) {
    EXPECT_EQ(outputPathInFolder("/out", "/in/report.htm"), "/out/report.json");
    EXPECT_EQ(outputPathInFolder("/out/", "/in/report.htm"), "/out/report.json");
    EXPECT_EQ(outputPathInFolder("C:\\Out", "C:\\In\\report.htm", '\\'), "C:\\Out\\report.json");
    EXPECT_EQ(outputPathInFolder("C:\\Out\\", "C:\\In\\report.htm", '\\'), "C:\\Out\\report.json");
}

TEST(OutputPathInFolder, usesOnlyTheSourceFileName) {
    EXPECT_EQ(outputPathInFolder("/out", "/in/deep/a.b.html"), "/out/a.b.json");
    EXPECT_EQ(outputPathInFolder("/out", "/in/.htm"), "/out/.htm.json");
    EXPECT_EQ(outputPathInFolder("/out", "/in/README"), "/out/README.json");
}

TEST(OutputPathInFolder, rootFolder_givesOneSeparator) {
    EXPECT_EQ(outputPathInFolder("/", "/in/report.htm"), "/report.json");
    EXPECT_EQ(outputPathInFolder("\\\\server\\share", "C:\\In\\x.htm", '\\'),
              "\\\\server\\share\\x.json");
}

// Whether a result would replace its source, whichever of the two is there:
// the same file under two names, the same path spelled two ways, or not.
TEST(ResultWouldReplaceSource, decidesByWhatIsThere) {
    const test::TempDir dir;
    namespace fs = std::filesystem;
    test::writeFileBytes(dir.path() / "page.json", "<table></table>");
    test::writeFileBytes(dir.path() / "other.json", "{}");
    fs::create_directory(dir.path() / "sub");
    fs::create_hard_link(dir.path() / "page.json", dir.path() / "hard.json");
    const std::string d = dir.path().string();
    struct Case {
        std::string source;
        std::string output;
        bool replaces;
    };
    const Case cases[] = {
        {d + "/page.json", d + "/page.json", true},         // the result is the source
        {d + "/page.json", d + "/sub/../page.json", true},  // spelled another way
        {d + "/page.json", d + "/hard.json", true},         // another name of the same file
        {d + "/page.json", d + "/other.json", false},       // another file
        {d + "/page.json", d + "/sub/page.json", false},    // a result not there yet
        {d + "/gone.json", d + "/sub/../gone.json", true},  // neither there, one path
        {d + "/gone.json", d + "/sub/gone.json", false},    // neither there, two paths
        {d + "/gone.html", d + "/gone.json", false},        // neither there, two names
    };
    for (const Case& c : cases) {
        EXPECT_EQ(resultWouldReplaceSource(c.source, c.output), c.replaces)
            << c.source << " -> " << c.output;
    }
}

}  // namespace
}  // namespace tabrivo
