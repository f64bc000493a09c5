#include <engine/error_trap.h>

#include <exception>
#include <new>
#include <stdexcept>
#include <system_error>

#include <engine/product.h>

namespace tabrivo {

std::string errorBoxMessage(std::string_view description, std::string_view location, int line) {
    std::string message;
    message.reserve(description.size() + location.size() + 96);
    message.append(description);
    message.append("\r\n");
    message.append("in ").append(location).append(" ");
    message.append("at line ").append(std::to_string(line));
    message.append("\r\r");
    message.append("Please email screenshot of this message to ").append(kSupportEmail);
    return message;
}

std::string describeCurrentException() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return std::string(kNotEnoughMemory);
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "Unknown failure";
    }
}

std::string notEnoughMemoryFor(std::string_view path) {
    std::string line = "Cannot convert \"";
    line.append(path).append("\": ").append(kNotEnoughMemory);
    return line;
}

void StepTrap::report(int line, const std::string& description) noexcept {
    report(line, description, false);
}

void StepTrap::reportCurrentException(int line) noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        // What failed is gone with the unwinding: the report's few bytes are there again.
        try {
            report(
                line,
                m_subject.empty() ? std::string(kNotEnoughMemory) : notEnoughMemoryFor(m_subject),
                true);
        } catch (...) {
            report(line, std::string(), true);
        }
    } catch (const std::length_error& tooLarge) {
        // A result refused for its size says which source gave it.
        try {
            std::string description = tooLarge.what();
            if (!m_subject.empty()) {
                description.append(", in \"").append(m_subject).append("\"");
            }
            report(line, description, false);
        } catch (...) {
            report(line, std::string(), false);
        }
    } catch (...) {
        try {
            report(line, describeCurrentException(), false);
        } catch (...) {
            report(line, std::string(), false);
        }
    }
}

void StepTrap::report(int line, const std::string& description, bool outOfMemory) noexcept {
    m_line = line;
    ++m_failures;
    try {
        FailureReport box;
        box.caption = m_caption;
        box.description = description;
        box.location = m_location;
        box.line = line;
        box.outOfMemory = outOfMemory;
        box.message = errorBoxMessage(description, m_location, line);
        m_reporter.showFailure(box);
    } catch (...) {
        // A reporter that fails must not take the procedure down with it.
    }
}

}  // namespace tabrivo
