#pragma once
// Small helpers shared by the test programs: a temporary folder that removes
// itself, whole-file reads and writes, and running a program with its output
// captured. Nothing here touches the user's own files or settings.

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

extern char** environ;  // NOLINT(readability-redundant-declaration): POSIX global

namespace tabrivo::test {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "tabrivo-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
        }
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        // A test may have taken write rights away; give them back so removal works.
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return m_path; }
    // The path of `name` inside the folder, as a string.
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    fs::path m_path;
};

inline std::string readFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFileBytes(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

// The names of the entries of a folder, sorted.
inline std::vector<std::string> folderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct ProcessResult {
    int exitCode = -1;  // -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Starts `argv[0]` with the arguments, its standard streams read from and
// written to the given files (files, not pipes, so no pipe can fill up and
// stall the child). `workDir` sets the child's folder. Throws when it cannot start.
inline pid_t spawnWithFileStreams(const std::vector<std::string>& argv, const std::string& inPath,
                                  const std::string& outPath, const std::string& errPath,
                                  const std::optional<fs::path>& workDir = std::nullopt) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (workDir) {
        posix_spawn_file_actions_addchdir_np(&actions, workDir->c_str());
    }
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawnError = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawnError != 0) {
        throw std::system_error(spawnError, std::generic_category(), "posix_spawn " + argv[0]);
    }
    return pid;
}

// Runs `argv[0]` with the arguments, standard input fed from `input`, standard
// output and standard error captured through files in a private folder.
inline ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input = {},
                                const std::optional<fs::path>& workDir = std::nullopt) {
    const TempDir capture;
    const std::string inPath = capture.file("stdin");
    const std::string outPath = capture.file("stdout");
    const std::string errPath = capture.file("stderr");
    writeFileBytes(inPath, input);
    const pid_t pid = spawnWithFileStreams(argv, inPath, outPath, errPath, workDir);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "waitpid");
        }
    }
    ProcessResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFileBytes(outPath);
    result.err = readFileBytes(errPath);
    return result;
}

// Splits text into lines at "\n" (a last line without "\n" counts too).
inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

// Where a program is found on PATH, if it is.
inline std::optional<fs::path> findOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) {
        return std::nullopt;
    }
    std::istringstream folders(path);
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const fs::path candidate = fs::path(folder.empty() ? "." : folder) / program;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

}  // namespace tabrivo::test
