// Agreement with the browser: the public corpus converted by tabrivo-convert and
// scored against Chromium's outputs by the oracle's compare.py. The test fails
// when the share of agreeing cells drops below the floor kept in
// data/corpus_agreement_floor.txt (raise it as the cell text improves).

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "test_support.h"

namespace tabrivo {
namespace {

namespace fs = test::fs;
using test::ProcessResult;
using test::TempDir;

const fs::path kSharedDir = TABRIVO_SHARED_DIR;
const fs::path kCorpusDir = kSharedDir / "corpus" / "public";
const fs::path kExpectedDir = kSharedDir / "corpus" / "public-expected";
const fs::path kCompareScript = kSharedDir / "tools" / "oracle" / "compare.py";
const fs::path kFloorFile = fs::path(TABRIVO_TEST_DATA_DIR) / "corpus_agreement_floor.txt";

struct Fidelity {
    long exactFiles = 0;
    long files = 0;
    long agreeingCells = 0;
    long cells = 0;
};

// Reads "fidelity: files A/B exact, cells C/D (P%)", the summary line.
std::optional<Fidelity> parseFidelity(const std::string& line) {
    static const std::regex kSummary(
        R"(^fidelity: files (\d+)/(\d+) exact, cells (\d+)/(\d+) \([0-9.]+%\)\s*$)");
    std::smatch match;
    if (!std::regex_match(line, match, kSummary)) {
        return std::nullopt;
    }
    return Fidelity{std::stol(match[1]), std::stol(match[2]), std::stol(match[3]),
                    std::stol(match[4])};
}

TEST(CorpusAgreement, summaryLine_isRead) {
    const auto fidelity = parseFidelity("fidelity: files 37/40 exact, cells 12345/12400 (99.56%)");
    ASSERT_TRUE(fidelity);
    EXPECT_EQ(fidelity->exactFiles, 37);
    EXPECT_EQ(fidelity->files, 40);
    EXPECT_EQ(fidelity->agreeingCells, 12345);
    EXPECT_EQ(fidelity->cells, 12400);
    EXPECT_FALSE(parseFidelity("fidelity: files 1/2 exact"));
}

TEST(CorpusAgreement, publicCorpus_agreesWithTheBrowserAboveTheFloor) {
    if (!fs::is_directory(kCorpusDir) || !fs::is_directory(kExpectedDir) ||
        !fs::exists(kCompareScript)) {
        GTEST_SKIP() << "the shared corpus or the oracle's compare.py is missing under "
                     << kSharedDir;
    }
    const std::optional<fs::path> python = test::findOnPath("python3");
    if (!python) {
        GTEST_SKIP() << "python3 is not on PATH";
    }
    std::ifstream floorFile(kFloorFile);
    double floor = 0;
    ASSERT_TRUE(floorFile >> floor) << "cannot read the floor from " << kFloorFile;
    ASSERT_GT(floor, 0.0);
    ASSERT_LE(floor, 1.0);

    const TempDir produced;
    std::vector<std::string> args = {TABRIVO_CONVERT_PATH, "-q", "-o", produced.path().string()};
    std::vector<std::string> expectedOutputs;
    for (const auto& entry : fs::directory_iterator(kCorpusDir)) {
        args.push_back(entry.path().string());
        expectedOutputs.push_back(entry.path().stem().string() + ".json");
    }
    ASSERT_FALSE(expectedOutputs.empty());
    const ProcessResult convert = test::runProcess(args);
    EXPECT_EQ(convert.exitCode, 0) << convert.err;

    // Every source gave an output: nothing crashed or failed on the way.
    for (const std::string& name : expectedOutputs) {
        EXPECT_TRUE(fs::exists(produced.path() / name)) << "no output " << name;
    }

    const ProcessResult compare =
        test::runProcess({python->string(), kCompareScript.string(), "--quiet",
                          kExpectedDir.string(), produced.path().string()});
    ASSERT_EQ(compare.exitCode, 0) << compare.err;
    const std::vector<std::string> lines = test::splitLines(compare.out);
    ASSERT_FALSE(lines.empty()) << compare.err;
    const std::optional<Fidelity> fidelity = parseFidelity(lines.back());
    ASSERT_TRUE(fidelity) << "unexpected summary: " << lines.back();
    ASSERT_GT(fidelity->cells, 0);

    const double share =
        static_cast<double>(fidelity->agreeingCells) / static_cast<double>(fidelity->cells);
    RecordProperty("agreeing_cells", std::to_string(fidelity->agreeingCells));
    RecordProperty("cells", std::to_string(fidelity->cells));
    std::printf("%s\n", lines.back().c_str());
    EXPECT_GE(share, floor) << "cells agreeing " << fidelity->agreeingCells << "/"
                            << fidelity->cells << ", below the floor " << floor
                            << "\nfiles that differ:\n"
                            << compare.out;
}

}  // namespace
}  // namespace tabrivo
