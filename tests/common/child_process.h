#pragma once
// Running a program as a child process under a watchdog: a crash shows as the
// signal that ended it, a hang as a child killed after a generous limit (a hang
// detector, not a speed test). Also scratch folders on a chosen file system,
// free space, and private tmpfs mounts for full or read-only file systems.

#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "test_support.h"

namespace tabrivo::test {

struct ChildResult {
    int exitCode = -1;      // -1 when the child did not exit normally
    int termSignal = 0;     // the signal that ended it, 0 when it exited
    bool timedOut = false;  // killed by the watchdog
    std::string out;
    std::string err;

    // A short account for assertion messages.
    std::string describe() const {
        std::string text = timedOut     ? std::string("killed by the watchdog")
                           : termSignal ? "ended by signal " + std::to_string(termSignal) + " (" +
                                              ::strsignal(termSignal) + ")"
                                        : "exit " + std::to_string(exitCode);
        return text + "; stderr: " + err;
    }
};

// A started child whose standard streams go to files in a private folder.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv,
                 const std::optional<fs::path>& workDir = std::nullopt,
                 const std::string& input = {})
        : m_in(m_capture.file("stdin")),
          m_out(m_capture.file("stdout")),
          m_err(m_capture.file("stderr")) {
        writeFileBytes(m_in, input);
        m_pid = spawnWithFileStreams(argv, m_in, m_out, m_err, workDir);
    }
    ~ChildProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return m_pid; }

    // True while the child has not ended (it is not reaped here).
    bool running() const {
        siginfo_t info{};
        return m_pid > 0 &&
               ::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == 0;
    }

    // What the child has written to standard output so far.
    std::string outputSoFar() const { return readFileBytes(m_out); }

    void signal(int number) const {
        if (m_pid > 0) {
            ::kill(m_pid, number);
        }
    }

    // Waits for the end; past `limit` the child is killed and counts as hung.
    ChildResult wait(std::chrono::seconds limit = std::chrono::seconds(60)) {
        ChildResult result;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        int status = 0;
        for (;;) {
            const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
            if (done == m_pid) {
                break;
            }
            if (done < 0 && errno != EINTR) {
                throw std::system_error(errno, std::generic_category(), "waitpid");
            }
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                result.timedOut = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        m_pid = -1;
        if (!result.timedOut) {
            result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            result.termSignal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        }
        result.out = readFileBytes(m_out);
        result.err = readFileBytes(m_err);
        return result;
    }

private:
    TempDir m_capture;
    std::string m_in;
    std::string m_out;
    std::string m_err;
    pid_t m_pid = -1;
};

inline ChildResult runWithWatchdog(const std::vector<std::string>& argv,
                                   const std::optional<fs::path>& workDir = std::nullopt,
                                   std::chrono::seconds limit = std::chrono::seconds(60)) {
    ChildProcess child(argv, workDir);
    return child.wait(limit);
}

// Bytes free for an ordinary user on the file system holding `path`.
inline std::uint64_t freeBytes(const fs::path& path) {
    struct statvfs info {};
    if (::statvfs(path.c_str(), &info) != 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

// A fresh folder under `base`, removed with its contents when the object goes.
class ScratchDir {
public:
    explicit ScratchDir(const fs::path& base) {
        std::string pattern = (base / "tabrivo-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
        }
        m_path = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

// A private tmpfs mounted on an existing folder, unmounted when the object
// goes. mounted() is false (with the reason in error()) where mounting is not
// permitted, for example without root or inside a restricted container.
class TmpfsMount {
public:
    TmpfsMount(const fs::path& folder, const std::string& options) : m_folder(folder) {
        if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
            m_error = std::string("mount -t tmpfs -o ") + options + ": " + std::strerror(errno);
            return;
        }
        m_mounted = true;
    }
    ~TmpfsMount() {
        if (m_mounted) {
            ::umount2(m_folder.c_str(), MNT_DETACH);
        }
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool mounted() const { return m_mounted; }
    const std::string& error() const { return m_error; }

    // Makes the file system read-only, for root too; false with error() set.
    bool makeReadOnly() {
        if (::mount("tmpfs", m_folder.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
            m_error = std::string("mount -o remount,ro: ") + std::strerror(errno);
            return false;
        }
        return true;
    }

private:
    fs::path m_folder;
    bool m_mounted = false;
    std::string m_error;
};

// Every path under `root` (relative, folders marked with a trailing "/"), sorted.
inline std::vector<std::string> treeEntries(const fs::path& root) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string name = fs::relative(entry.path(), root).string();
        if (entry.is_directory() && !entry.is_symlink()) {
            name += "/";
        }
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// True when the bytes are well-formed UTF-8.
inline bool isValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1FU;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0FU;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07U;
        } else {
            return false;
        }
        if (i + length > bytes.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0U) != 0x80U) {
                return false;
            }
            code = (code << 6U) | (next & 0x3FU);
        }
        const std::uint32_t least = length == 2 ? 0x80U : length == 3 ? 0x800U : 0x10000U;
        if (code < least || code > 0x10FFFFU || (code >= 0xD800U && code <= 0xDFFFU)) {
            return false;
        }
        i += length;
    }
    return true;
}

}  // namespace tabrivo::test
