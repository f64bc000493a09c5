#pragma once
// Folders the user may not list, for tests that run as root too: root lists
// and enters any folder whatever its rights say, through two capabilities
// (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH). A test takes them away from this
// thread for a while, or starts a program without them.

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "test_support.h"

namespace tabrivo::test {

// While it lives, this thread's rights are the folders' own (nothing to do
// for a user other than root). active() is false where the capabilities could
// not be put aside; the test should then skip.
class WithoutReadOverride {
public:
    WithoutReadOverride() {
        if (::geteuid() != 0) {
            m_active = true;
            return;
        }
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        m_header.pid = 0;
        if (::syscall(SYS_capget, &m_header, m_saved) != 0) {
            return;
        }
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~(std::uint32_t{1} << CAP_DAC_OVERRIDE);
        reduced[0].effective &= ~(std::uint32_t{1} << CAP_DAC_READ_SEARCH);
        m_active = ::syscall(SYS_capset, &m_header, reduced) == 0;
        m_restore = m_active;
    }
    ~WithoutReadOverride() {
        if (m_restore) {
            ::syscall(SYS_capset, &m_header, m_saved);
        }
    }
    WithoutReadOverride(const WithoutReadOverride&) = delete;
    WithoutReadOverride& operator=(const WithoutReadOverride&) = delete;

    bool active() const { return m_active; }

private:
    __user_cap_header_struct m_header{};
    __user_cap_data_struct m_saved[2]{};
    bool m_active = false;
    bool m_restore = false;
};

// The words that start `program` without those capabilities: as root through
// setpriv (util-linux), which drops them from the bounding set, so the program
// cannot take them back; for another user the program alone. Empty when root
// has no setpriv or may not drop capabilities.
inline std::optional<std::vector<std::string>> withoutReadOverride(const std::string& program) {
    if (::geteuid() != 0) {
        return std::vector<std::string>{program};
    }
    const std::optional<fs::path> setpriv = findOnPath("setpriv");
    const std::optional<fs::path> trueProgram = findOnPath("true");
    if (!setpriv || !trueProgram) {
        return std::nullopt;
    }
    std::vector<std::string> words = {setpriv->string(),
                                      "--bounding-set=-dac_override,-dac_read_search"};
    words.push_back(trueProgram->string());
    if (runProcess(words).exitCode != 0) {
        return std::nullopt;
    }
    words.back() = program;
    return words;
}

}  // namespace tabrivo::test
