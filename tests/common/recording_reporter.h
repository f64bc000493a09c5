#pragma once
// A failure reporter that writes down every report instead of showing a box.

#include <vector>

#include <engine/error_trap.h>

namespace tabrivo::test {

class RecordingReporter : public FailureReporter {
public:
    void showFailure(const FailureReport& report) override { reports.push_back(report); }
    std::vector<FailureReport> reports;
};

}  // namespace tabrivo::test
