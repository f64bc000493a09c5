// The output path rule: beside the source, or into a chosen folder.

#include <gtest/gtest.h>

#include <string>

#include <files/output_path.h>

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

}  // namespace
}  // namespace tabrivo
