// The numbered-step error trap: the error box text, carrying on after a failed
// step, and the failures ConvertVelquist reports.

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <engine/convert.h>
#include <engine/error_trap.h>
#include <engine/product.h>
#include "recording_reporter.h"
#include "test_support.h"

namespace tabrivo {
namespace {

using tabrivo::test::RecordingReporter;

using test::readFileBytes;
using test::TempDir;
using test::writeFileBytes;

constexpr const char* kLocation = "Velquist2021/08/31.modJSON.ConvertVelquist";

class ThrowingReporter : public FailureReporter {
public:
    void showFailure(const FailureReport&) override {
        ++calls;
        throw std::runtime_error("the reporter failed");
    }
    int calls = 0;
};

// --- The box text ---

TEST(ErrorBoxMessage, joinsDescriptionLocationLineAndSupportAddress) {
    EXPECT_EQ(errorBoxMessage("Cannot open the source file", "Mod.Proc", 102),
              "Cannot open the source file\r\nin Mod.Proc at line 102\r\r"
              "Please email screenshot of this message to " +
                  std::string(kSupportEmail));
}

TEST(ErrorBoxMessage, emptyDescription_keepsTheLayout) {
    EXPECT_EQ(errorBoxMessage("", "X", 7),
              "\r\nin X at line 7\r\rPlease email screenshot of this message to " +
                  std::string(kSupportEmail));
}

// --- StepTrap ---

TEST(StepTrap, failedStep_isReportedAndTheNextStepRuns) {
    RecordingReporter reporter;
    StepTrap trap("Mod.Proc", reporter);
    std::vector<int> ran;
    EXPECT_TRUE(trap.run(100, [&] { ran.push_back(100); }));
    EXPECT_FALSE(trap.run(102, [&] { throw std::runtime_error("disk on fire"); }));
    EXPECT_TRUE(trap.run(104, [&] { ran.push_back(104); }));

    EXPECT_EQ(ran, (std::vector<int>{100, 104}));
    ASSERT_EQ(reporter.reports.size(), 1U);
    const FailureReport& report = reporter.reports[0];
    EXPECT_EQ(report.caption, "Application Error");
    EXPECT_EQ(report.description, "disk on fire");
    EXPECT_EQ(report.location, "Mod.Proc");
    EXPECT_EQ(report.line, 102);
    EXPECT_EQ(report.message, errorBoxMessage("disk on fire", "Mod.Proc", 102));
    EXPECT_EQ(trap.failureCount(), 1);
}

TEST(StepTrap, memoryRunningOut_isNotEnoughMemoryForTheSubject) {
    RecordingReporter reporter;
    StepTrap trap("Mod.Proc", reporter);
    trap.run(100, [] { throw std::bad_alloc(); });
    trap.setSubject("/pages/a.html");
    EXPECT_FALSE(trap.run(102, [] { throw std::bad_alloc(); }));
    trap.run(104, [] { throw std::runtime_error("disk on fire"); });

    ASSERT_EQ(reporter.reports.size(), 3U);
    EXPECT_EQ(reporter.reports[0].description, "not enough memory");
    EXPECT_EQ(reporter.reports[1].description,
              "Cannot convert \"/pages/a.html\": not enough memory");
    EXPECT_TRUE(reporter.reports[1].outOfMemory);
    EXPECT_EQ(reporter.reports[2].description, "disk on fire");
    EXPECT_FALSE(reporter.reports[2].outOfMemory);
}

TEST(StepTrap, twoFailures_giveTwoReportsWithTheirLines) {
    RecordingReporter reporter;
    StepTrap trap("Mod.Proc", reporter);
    trap.run(110, [] { throw std::runtime_error("first"); });
    trap.run(112, [] {});
    trap.run(114, [] { throw std::runtime_error("second"); });

    ASSERT_EQ(reporter.reports.size(), 2U);
    EXPECT_EQ(reporter.reports[0].line, 110);
    EXPECT_EQ(reporter.reports[0].description, "first");
    EXPECT_EQ(reporter.reports[1].line, 114);
    EXPECT_EQ(reporter.reports[1].description, "second");
    EXPECT_NE(reporter.reports[1].message.find("at line 114"), std::string::npos);
    EXPECT_EQ(trap.failureCount(), 2);
}

TEST(StepTrap, failingConditionalTest_isReportedAndItsBlockRuns) {
    RecordingReporter reporter;
    StepTrap trap("Mod.Proc", reporter);
    bool blockRan = false;
    if (trap.test(120, []() -> bool { throw std::runtime_error("cannot tell"); })) {
        blockRan = trap.run(122, [] {});
    }
    EXPECT_TRUE(blockRan);
    ASSERT_EQ(reporter.reports.size(), 1U);
    EXPECT_EQ(reporter.reports[0].line, 120);
    EXPECT_EQ(reporter.reports[0].description, "cannot tell");
}

TEST(StepTrap, conditionalTest_givesTheConditionWhenItDoesNotFail) {
    RecordingReporter reporter;
    StepTrap trap("Mod.Proc", reporter);
    EXPECT_FALSE(trap.test(130, [] { return false; }));
    EXPECT_TRUE(trap.test(132, [] { return true; }));
    EXPECT_TRUE(reporter.reports.empty());
    EXPECT_EQ(trap.currentLine(), 132);
}

TEST(StepTrap, systemError_descriptionNamesTheReason) {
    RecordingReporter reporter;
    StepTrap trap("Mod.Proc", reporter);
    trap.run(140, [] {
        throw std::system_error(ENOENT, std::generic_category(), "Cannot open \"/x/y\"");
    });
    ASSERT_EQ(reporter.reports.size(), 1U);
    EXPECT_NE(reporter.reports[0].description.find("/x/y"), std::string::npos);
    EXPECT_NE(reporter.reports[0].description.find("No such file or directory"), std::string::npos);
}

TEST(StepTrap, unknownException_isDescribedAndReported) {
    RecordingReporter reporter;
    StepTrap trap("Mod.Proc", reporter);
    EXPECT_FALSE(trap.run(150, [] { throw 42; }));
    ASSERT_EQ(reporter.reports.size(), 1U);
    EXPECT_FALSE(reporter.reports[0].description.empty());
}

TEST(StepTrap, givenCaption_isUsedInTheReport) {
    RecordingReporter reporter;
    StepTrap trap("Mod.Proc", reporter, "Tabrivo");
    trap.report(160, "status 5");
    ASSERT_EQ(reporter.reports.size(), 1U);
    EXPECT_EQ(reporter.reports[0].caption, "Tabrivo");
    EXPECT_EQ(reporter.reports[0].line, 160);
    EXPECT_EQ(reporter.reports[0].message, errorBoxMessage("status 5", "Mod.Proc", 160));
}

TEST(StepTrap, reporterThatFails_doesNotStopTheProcedure) {
    ThrowingReporter reporter;
    StepTrap trap("Mod.Proc", reporter);
    EXPECT_FALSE(trap.run(170, [] { throw std::runtime_error("x"); }));
    EXPECT_TRUE(trap.run(172, [] {}));
    EXPECT_EQ(reporter.calls, 1);
}

// --- ConvertVelquist's failures ---

TEST(ConvertFailure, missingSource_reportedOnceAtLine102AndNothingWritten) {
    const TempDir dir;
    const std::string source = dir.file("missing.html");
    const std::string output = dir.file("missing.json");
    RecordingReporter reporter;
    ConvertVelquist(source, output, reporter);

    ASSERT_EQ(reporter.reports.size(), 1U);
    const FailureReport& report = reporter.reports[0];
    EXPECT_EQ(report.line, 102);
    EXPECT_EQ(report.location, kLocation);
    EXPECT_EQ(report.caption, "Application Error");
    EXPECT_NE(report.description.find(source), std::string::npos) << report.description;
    EXPECT_EQ(report.message, errorBoxMessage(report.description, kLocation, 102));
    EXPECT_TRUE(test::folderEntries(dir.path()).empty());
}

TEST(ConvertFailure, missingSource_leavesExistingOutputUntouched) {
    const TempDir dir;
    const std::string output = dir.file("report.json");
    writeFileBytes(output, "earlier result");
    RecordingReporter reporter;
    ConvertVelquist(dir.file("report.html"), output, reporter);
    EXPECT_EQ(reporter.reports.size(), 1U);
    EXPECT_EQ(readFileBytes(output), "earlier result");
    EXPECT_EQ(test::folderEntries(dir.path()), (std::vector<std::string>{"report.json"}));
}

TEST(ConvertFailure, missingSourceWithYield_reportedOnceAtLine102) {
    const TempDir dir;
    const std::string output = dir.file("report.json");
    writeFileBytes(output, "earlier result");
    RecordingReporter reporter;
    ConvertVelquist(dir.file("report.html"), output, reporter, [] {});
    ASSERT_EQ(reporter.reports.size(), 1U);
    EXPECT_EQ(reporter.reports[0].line, 102);
    EXPECT_EQ(reporter.reports[0].location, kLocation);
    EXPECT_EQ(readFileBytes(output), "earlier result");
}

TEST(ConvertFailure, sourceIsAFolder_reportedAtLine102) {
    const TempDir dir;
    test::fs::create_directory(dir.path() / "folder.html");
    RecordingReporter reporter;
    ConvertVelquist(dir.file("folder.html"), dir.file("folder.json"), reporter);
    ASSERT_EQ(reporter.reports.size(), 1U);
    EXPECT_EQ(reporter.reports[0].line, 102);
    EXPECT_FALSE(test::fs::exists(dir.path() / "folder.json"));
}

TEST(ConvertFailure, outputParentIsAFile_reportedOnceAtLine108AndNoFile) {
    const TempDir dir;
    const std::string source = dir.file("report.html");
    writeFileBytes(source, "<table><tr><td>a</td></tr></table>");
    writeFileBytes(dir.file("plain"), "a file, not a folder");
    const std::string output = dir.file("plain") + "/report.json";
    RecordingReporter reporter;
    ConvertVelquist(source, output, reporter);

    ASSERT_EQ(reporter.reports.size(), 1U);
    EXPECT_EQ(reporter.reports[0].line, 108);
    EXPECT_EQ(reporter.reports[0].location, kLocation);
    EXPECT_NE(reporter.reports[0].description.find(output), std::string::npos)
        << reporter.reports[0].description;
    EXPECT_EQ(test::folderEntries(dir.path()), (std::vector<std::string>{"plain", "report.html"}));
}

TEST(ConvertFailure, outputFolderMissing_reportedOnceAtLine108AndNoFile) {
    const TempDir dir;
    const std::string source = dir.file("report.html");
    writeFileBytes(source, "<table><tr><td>a</td></tr></table>");
    RecordingReporter reporter;
    ConvertVelquist(source, dir.file("missing/report.json"), reporter);

    ASSERT_EQ(reporter.reports.size(), 1U);
    EXPECT_EQ(reporter.reports[0].line, 108);
    EXPECT_FALSE(test::fs::exists(dir.path() / "missing"));
}

TEST(ConvertFailure, outputNameTakenByAFolder_reportedAtLine108AndFolderKept) {
    const TempDir dir;
    const std::string source = dir.file("report.html");
    writeFileBytes(source, "<table><tr><td>a</td></tr></table>");
    test::fs::create_directory(dir.path() / "report.json");
    RecordingReporter reporter;
    ConvertVelquist(source, dir.file("report.json"), reporter);

    ASSERT_EQ(reporter.reports.size(), 1U);
    EXPECT_EQ(reporter.reports[0].line, 108);
    EXPECT_TRUE(test::fs::is_directory(dir.path() / "report.json"));
    EXPECT_EQ(test::folderEntries(dir.path()),
              (std::vector<std::string>{"report.html", "report.json"}));
}

}  // namespace
}  // namespace tabrivo
