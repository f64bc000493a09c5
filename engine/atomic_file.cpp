#include <engine/atomic_file.h>
#include <engine/file_error.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <optional>
#include <system_error>
#include <utility>

namespace tabrivo {
namespace {

constexpr std::size_t kBufferSize = std::size_t{256} * 1024;

// The temporary files being written, so that a program ended by a signal can
// remove them. Fixed slots of atomics: registering allocates nothing and a
// signal handler may read them at any time.
constexpr std::size_t kUnfinishedSlots = 256;
std::array<std::atomic<const char*>, kUnfinishedSlots> g_unfinished{};

void registerUnfinished(const char* path) {
    for (auto& slot : g_unfinished) {
        const char* empty = nullptr;
        if (slot.compare_exchange_strong(empty, path)) {
            return;
        }
    }
}

void unregisterUnfinished(const char* path) {
    for (auto& slot : g_unfinished) {
        const char* expected = path;
        if (slot.compare_exchange_strong(expected, nullptr)) {
            return;
        }
    }
}

// Resolves a symbolic link so the result replaces the file it points to rather
// than the link itself; refuses targets that are not plain files. `existing`
// gets the file's status when there is one to replace.
std::string resolveTarget(const std::string& path, std::optional<struct stat>& existing) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return path;  // a new file
    }
    std::string resolved = path;
    if (S_ISLNK(info.st_mode)) {
        char* real = ::realpath(path.c_str(), nullptr);
        if (real == nullptr) {
            throwFileError(errno, "Cannot resolve the output link", path);
        }
        resolved = real;
        std::free(real);  // NOLINT(cppcoreguidelines-no-malloc): realpath's contract
        if (::stat(resolved.c_str(), &info) != 0) {
            throwFileError(errno, "Cannot read the output file", resolved);
        }
    }
    if (S_ISDIR(info.st_mode)) {
        throwFileError(EISDIR, "Cannot write the output file, a folder has its name:", path);
    }
    if (!S_ISREG(info.st_mode)) {
        throwFileError(EINVAL, "Cannot write the output file, it is not a regular file:", path);
    }
    existing = info;
    return resolved;
}

std::string uniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    const auto ticks = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    return std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) + "-" +
           std::to_string(ticks % 1000000007ULL);
}

void writeAll(int fd, std::string_view data, const std::string& pathForErrors) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            throwFileError(errno, "Cannot write the output file", pathForErrors);
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
}

}  // namespace

std::string_view folderOfFileView(std::string_view path) {
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string folderOfFile(const std::string& path) {
    return std::string(folderOfFileView(path));
}

AtomicOutputFile::AtomicOutputFile(std::string targetPath, Staging staging, TargetStatus status)
    : m_target(std::move(targetPath)) {
    if (m_target.empty()) {
        throwFileError(ENOENT, "Cannot create the output file, its path is empty:", m_target);
    }
    const std::string requested = m_target;
    std::optional<struct stat> existing;
    if (status == TargetStatus::Unknown) {
        m_target = resolveTarget(m_target, existing);
    }
    const std::string folder = folderOfFile(m_target);
    const std::string name = m_target.substr(m_target.rfind('/') + 1);
    if (name.size() > NAME_MAX) {
        throwFileError(ENAMETOOLONG, "Cannot create the output file", requested);
    }

    if (!(staging == Staging::Unnamed && openUnnamed(folder, requested))) {
        openNamed(folder, requested);
    }
    if (existing) {
        (void)::fchmod(m_fd, existing->st_mode & 07777);  // best effort: keep the permissions
    }
    m_buffer.reserve(kBufferSize);
}

bool AtomicOutputFile::openUnnamed(const std::string& folder, const std::string& requested) {
    m_fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (m_fd >= 0) {
        m_unnamed = true;
        return true;
    }
    // Refused by the file system (or a kernel without O_TMPFILE): use a name.
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
        return false;
    }
    throwFileError(errno, "Cannot create the output file", requested);
}

void AtomicOutputFile::openNamed(const std::string& folder, const std::string& requested) {
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        // The temporary name stays short so a long target name still fits.
        m_tempPath = folder + "/.tabrivo-" + uniqueSuffix() + ".tmp";
        m_fd = ::open(m_tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0 && errno != EEXIST) {
            const int error = errno;
            m_tempPath.clear();
            throwFileError(error, "Cannot create the output file", requested);
        }
    }
    if (m_fd < 0) {
        m_tempPath.clear();
        throwFileError(EEXIST, "Cannot create the output file", requested);
    }
    registerUnfinished(m_tempPath.c_str());
}

AtomicOutputFile::~AtomicOutputFile() {
    discard();
}

void AtomicOutputFile::write(std::string_view text) {
    if (m_fd < 0) {
        throwFileError(EBADF, "Cannot write the output file, it is already closed:", m_target);
    }
    if (m_buffer.size() + text.size() > kBufferSize) {
        flushBuffer();
        if (text.size() >= kBufferSize) {
            writeAll(m_fd, text, m_target);
            return;
        }
    }
    m_buffer.append(text);
}

void AtomicOutputFile::flushBuffer() {
    writeAll(m_fd, m_buffer, m_target);
    m_buffer.clear();
}

// Gives the unnamed file a name: the target's when there is no target yet (no
// name but the result's ever exists), else a temporary one that commit()
// renames over the target.
void AtomicOutputFile::linkUnnamed(bool targetNameFirst) {
    // Linking the descriptor itself spares the look-up of its /proc path, a
    // good part of the cost of a small result; the system allows it to a
    // program with CAP_DAC_READ_SEARCH, and from Linux 6.10 to the one that
    // opened the file. Once refused it is not asked again.
    static std::atomic<bool> descriptorLinkRefused{false};
    const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
    auto linkAs = [&](const std::string& name) {
        if (!descriptorLinkRefused.load(std::memory_order_relaxed)) {
            if (::linkat(m_fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) {
                return 0;
            }
            if (errno != ENOENT && errno != EPERM && errno != EINVAL) {
                return errno;
            }
            descriptorLinkRefused.store(true, std::memory_order_relaxed);
        }
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            return 0;
        }
        return errno;
    };
    if (targetNameFirst) {
        const int error = linkAs(m_target);
        if (error == 0) {
            m_unnamed = false;
            return;
        }
        if (error != EEXIST) {
            throwFileError(error, "Cannot write the output file", m_target);
        }
    }
    const std::string folder = folderOfFile(m_target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_tempPath = folder + "/.tabrivo-" + uniqueSuffix() + ".tmp";
        registerUnfinished(m_tempPath.c_str());
        const int error = linkAs(m_tempPath);
        if (error == 0) {
            m_unnamed = false;
            return;
        }
        unregisterUnfinished(m_tempPath.c_str());
        m_tempPath.clear();
        if (error != EEXIST) {
            throwFileError(error, "Cannot write the output file", m_target);
        }
    }
    throwFileError(EEXIST, "Cannot write the output file", m_target);
}

void AtomicOutputFile::renameTempOverTarget() {
    if (::rename(m_tempPath.c_str(), m_target.c_str()) != 0) {
        const int error = errno;
        discard();
        throwFileError(error, "Cannot replace the output file", m_target);
    }
    unregisterUnfinished(m_tempPath.c_str());
    m_tempPath.clear();
}

void AtomicOutputFile::commit() {
    if (m_parked) {
        m_parked = false;
        renameTempOverTarget();
        return;
    }
    if (m_fd < 0) {
        throwFileError(EBADF, "Cannot finish the output file, it is already closed:", m_target);
    }
    const bool wasUnnamed = m_unnamed;
    try {
        flushBuffer();
        if (m_unnamed) {
            linkUnnamed(true);
        }
    } catch (...) {
        discard();
        throw;
    }
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0) {
        const int error = errno;
        if (wasUnnamed && m_tempPath.empty()) {
            ::unlink(m_target.c_str());  // linked in as a new result just now
        }
        discard();
        throwFileError(error, "Cannot write the output file", m_target);
    }
    if (!m_tempPath.empty()) {
        renameTempOverTarget();
    }
}

void AtomicOutputFile::park() {
    if (m_fd < 0) {
        throwFileError(EBADF, "Cannot finish the output file, it is already closed:", m_target);
    }
    try {
        flushBuffer();
        if (m_unnamed) {
            linkUnnamed(false);
        }
    } catch (...) {
        discard();
        throw;
    }
    if (::close(std::exchange(m_fd, -1)) != 0) {
        const int error = errno;
        discard();
        throwFileError(error, "Cannot write the output file", m_target);
    }
    m_buffer = std::string();
    m_parked = true;
}

void AtomicOutputFile::discard() noexcept {
    if (m_fd >= 0) {
        ::close(m_fd);  // an unnamed file vanishes with its last descriptor
        m_fd = -1;
    }
    m_unnamed = false;
    m_parked = false;
    if (!m_tempPath.empty()) {
        unregisterUnfinished(m_tempPath.c_str());
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
    m_buffer.clear();
}

void removeUnfinishedOutputs() noexcept {
    for (auto& slot : g_unfinished) {
        if (const char* path = slot.load()) {
            ::unlink(path);
        }
    }
}

void WriteTextFile(std::string_view text, const std::string& path, const int& mode) {
    if (mode < 2) {
        AtomicOutputFile file(path);
        file.write(text);
        file.commit();
        return;
    }
    std::optional<struct stat> existing;
    const std::string target = resolveTarget(path, existing);
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) {
        throwFileError(errno, "Cannot open the output file", path);
    }
    try {
        writeAll(fd, text, path);
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (::close(fd) != 0) {
        throwFileError(errno, "Cannot write the output file", path);
    }
}

}  // namespace tabrivo
