#pragma once
// The numbered-step error trap: the one way a failure reaches the user.
//
// A procedure with a trap numbers its steps (100, 102, ...). StepTrap runs each
// step, and when one throws it builds the error box text, hands it to the
// injected FailureReporter and lets the procedure carry on with the next step.

#include <string>
#include <string_view>
#include <utility>

namespace tabrivo {

inline constexpr std::string_view kErrorBoxCaption = "Application Error";

struct FailureReport {
    std::string caption;       // "Application Error" or the application title
    std::string message;       // the whole box text, see errorBoxMessage()
    std::string description;   // what failed, on which path, why
    std::string location;      // e.g. "Velquist2021/08/31.modJSON.ConvertVelquist"
    int line = 0;              // the step number that failed
    bool outOfMemory = false;  // an allocation failed
};

// The reason a file fails when memory runs out.
inline constexpr std::string_view kNotEnoughMemory = "not enough memory";

// The failure line of a file that ran out of memory: the path and the reason.
std::string notEnoughMemoryFor(std::string_view path);

// Shows a failure to the user (a modal box in the window, stderr in the CLI,
// a recording fake in tests).
class FailureReporter {
public:
    virtual ~FailureReporter() = default;
    virtual void showFailure(const FailureReport& report) = 0;
};

// The box text: description, CR LF, "in <location> ", "at line <n>", CR CR,
// "Please email screenshot of this message to <support address>".
std::string errorBoxMessage(std::string_view description, std::string_view location, int line);

// Describes the exception currently being handled (call only inside a catch).
std::string describeCurrentException();

class StepTrap {
public:
    StepTrap(std::string location, FailureReporter& reporter,
             std::string caption = std::string(kErrorBoxCaption))
        : m_location(std::move(location)), m_caption(std::move(caption)), m_reporter(reporter) {}

    // The file the procedure works on, named by a failure that does not name
    // it itself (memory that ran out).
    void setSubject(std::string path) { m_subject = std::move(path); }

    // Runs one numbered step. Returns true when it completed; on a failure the
    // box is shown and false is returned so the caller goes on with the next step.
    template <typename Step>
    bool run(int line, Step&& step) noexcept {
        m_line = line;
        try {
            std::forward<Step>(step)();
            return true;
        } catch (...) {
            reportCurrentException(line);
            return false;
        }
    }

    // Runs the test of a conditional step. A test that fails is reported and
    // counts as passed, so execution goes on into the guarded steps.
    template <typename Test>
    bool test(int line, Test&& condition) noexcept {
        m_line = line;
        try {
            return static_cast<bool>(std::forward<Test>(condition)());
        } catch (...) {
            reportCurrentException(line);
            return true;
        }
    }

    // Reports a failure found without an exception (for example a status code).
    void report(int line, const std::string& description) noexcept;
    // Reports the exception being handled (call only inside a catch).
    void reportCurrentException(int line) noexcept;

    int currentLine() const { return m_line; }
    int failureCount() const { return m_failures; }
    const std::string& location() const { return m_location; }

private:
    void report(int line, const std::string& description, bool outOfMemory) noexcept;

    std::string m_location;
    std::string m_caption;
    std::string m_subject;
    FailureReporter& m_reporter;
    int m_line = 0;
    int m_failures = 0;
};

}  // namespace tabrivo
