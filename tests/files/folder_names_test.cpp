// The listing that tells which results will be new files.

#include <gtest/gtest.h>

#include <string>

#include <files/folder_names.h>
#include "test_support.h"

namespace tabrivo {
namespace {

using test::TempDir;
using test::writeFileBytes;

// Only a name surely not there may skip its look-up: any spelling that a
// folder ignoring case could take for it counts as there.
TEST(FolderNames, onlyAPlainNameInAPlainFolderIsSurelyMissing) {
    const TempDir dir;
    for (const char* name : {"page.json", "UPPER.JSON", "notes.txt"}) {
        writeFileBytes(dir.path() / name, "");
    }
    const auto names = FolderNames::read(dir.path().string(), ".json", 100);
    ASSERT_TRUE(names);
    const struct {
        const char* name;
        bool lacks;
    } cases[] = {
        {"new.json", true},    {"page.json", false},        {"PAGE.json", false},
        {"upper.json", false}, {"caf\xc3\xa9.json", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(names->surelyLacks(c.name), c.lacks) << c.name;
    }

    writeFileBytes(dir.path() / "\xe2\x84\xaa.json", "");  // U+212A, a "k" where case is folded
    EXPECT_FALSE(FolderNames::read(dir.path().string(), ".json", 100)->surelyLacks("k.json"));
    EXPECT_FALSE(FolderNames::read(dir.path().string(), ".json", 3));  // too many entries
    EXPECT_FALSE(FolderNames::read(dir.file("missing"), ".json", 100));
}

}  // namespace
}  // namespace tabrivo
