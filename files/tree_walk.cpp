#include <files/tree_walk.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <engine/unique_fd.h>
#include <files/folder_scan.h>
#include <files/open_folder_p.h>
#include <files/path_helpers.h>

namespace tabrivo {
namespace {

// Folders of the branch being walked that stay open; those further up are
// closed and opened again from below ("..") when the walk comes back to them,
// so a deep tree never runs out of file descriptors.
constexpr std::size_t kOpenFolderLimit = 32;

// A file found, with the depth of its folder (the tree's own folder is 0).
struct FoundFile {
    std::size_t depth;
    std::string path;
};

// One folder of the branch being walked.
struct Level {
    UniqueFd fd;  // closed while the walk is far below
    dev_t device = 0;
    ino_t inode = 0;
    std::vector<std::string> subfolders;  // in byte order
    std::size_t next = 0;                 // the next sub-folder to walk
    std::size_t pathLength = 0;           // of its path, separator included
};

// Whether an open failure means the entry is no longer a folder (removed,
// replaced by a file or a link) rather than a folder that cannot be listed.
bool noLongerAFolder(int error) {
    return error == ENOENT || error == ENOTDIR || error == ELOOP;
}

std::string withoutSeparator(const std::string& folderPath) {
    return folderPath.size() > 1 && folderPath.back() == kPathSeparator
               ? folderPath.substr(0, folderPath.size() - 1)
               : folderPath;
}

void reportFolder(FailureReporter& reporter, const std::string& folderPath,
                  const std::string& reason) {
    FailureReport failure;
    failure.description =
        "Cannot list the folder \"" + withoutSeparator(folderPath) + "\": " + reason;
    reporter.showFailure(failure);
}

// A name the tree's files may have: the pattern's, and neither hidden nor a
// temporary file's ("~" first).
bool wantedFileName(std::string_view name, std::string_view pattern) {
    return name.front() != '~' && name.front() != '.' && wildcardMatch(pattern, name);
}

class TreeWalk {
public:
    TreeWalk(std::string_view pattern, FailureReporter& reporter)
        : m_pattern(pattern), m_reporter(reporter) {}

    void walk(const std::string& folder) {
        m_path = withSeparator(folder);
        collapseDoubleSeparators(m_path);
        Level root;
        root.fd = UniqueFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        const int error = root.fd.valid() ? enter(root) : errno;
        if (error != 0) {
            reportFolder(m_reporter, m_path, std::strerror(error));
            return;
        }
        m_branch.push_back(std::move(root));
        while (!m_branch.empty()) {
            if (m_branch.back().next == m_branch.back().subfolders.size()) {
                if (!leave()) {
                    return;
                }
                continue;
            }
            descend();
        }
    }

    // The files found, the tree's own first, then level by level.
    std::vector<FoundFile> takeFiles() {
        // The walk goes depth first, each folder's names in byte order, so
        // within one depth the folders come in the order a walk level by
        // level gives; a stable sort by depth makes it that walk.
        std::stable_sort(m_files.begin(), m_files.end(),
                         [](const FoundFile& a, const FoundFile& b) { return a.depth < b.depth; });
        return std::move(m_files);
    }

private:
    static std::string withSeparator(std::string folder) {
        if (folder.empty() || folder.back() != kPathSeparator) {
            folder.push_back(kPathSeparator);
        }
        return folder;
    }

    // Lists the open folder of `level`, whose path is m_path: its files go to
    // the list, its sub-folders into the level. Returns 0, or the error that
    // kept it from being listed.
    int enter(Level& level) {
        struct stat info {};
        if (::fstat(level.fd.get(), &info) != 0) {
            return errno;
        }
        level.device = info.st_dev;
        level.inode = info.st_ino;
        level.pathLength = m_path.size();
        // The listing reads through a copy, so the level's own descriptor
        // stays free for opening what it holds.
        const int copy = ::fcntl(level.fd.get(), F_DUPFD_CLOEXEC, 0);
        if (copy < 0) {
            return errno;
        }
        const detail::OpenFolder dir(::fdopendir(copy));
        if (!dir) {
            const int error = errno;
            ::close(copy);
            return error;
        }
        std::vector<std::string> files;
        for (;;) {
            errno = 0;
            const dirent* entry = ::readdir(dir.get());
            if (entry == nullptr) {
                if (errno != 0) {
                    return errno;
                }
                break;
            }
            const std::string_view name(entry->d_name);
            if (name == "." || name == "..") {
                continue;
            }
            unsigned char type = entry->d_type;
            const bool wanted = wantedFileName(name, m_pattern);
            struct stat entryInfo {};
            if (type == DT_UNKNOWN) {
                if (::fstatat(level.fd.get(), entry->d_name, &entryInfo, AT_SYMLINK_NOFOLLOW) !=
                    0) {
                    continue;  // gone since the listing named it
                }
                type = S_ISDIR(entryInfo.st_mode)   ? DT_DIR
                       : S_ISREG(entryInfo.st_mode) ? DT_REG
                       : S_ISLNK(entryInfo.st_mode) ? DT_LNK
                                                    : DT_UNKNOWN;
            }
            if (type == DT_DIR) {
                level.subfolders.emplace_back(name);
            } else if (wanted && type == DT_REG) {
                files.emplace_back(name);
            } else if (wanted && type == DT_LNK &&
                       ::fstatat(level.fd.get(), entry->d_name, &entryInfo, 0) == 0 &&
                       S_ISREG(entryInfo.st_mode)) {
                files.emplace_back(name);  // a link to a file is that file
            }
        }
        std::sort(level.subfolders.begin(), level.subfolders.end());
        std::sort(files.begin(), files.end());
        for (const std::string& name : files) {
            m_files.push_back({m_branch.size(), m_path + name});
        }
        return 0;
    }

    // Opens and lists the next sub-folder of the deepest level.
    void descend() {
        Level& parent = m_branch.back();
        const std::string& name = parent.subfolders[parent.next++];
        m_path.resize(parent.pathLength);
        m_path.append(name).push_back(kPathSeparator);
        Level level;
        level.fd = UniqueFd(::openat(parent.fd.get(), name.c_str(),
                                     O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!level.fd.valid() && noLongerAFolder(errno)) {
            return;
        }
        const int error = level.fd.valid() ? enter(level) : errno;
        if (error != 0) {
            reportFolder(m_reporter, m_path, std::strerror(error));
            return;
        }
        m_branch.push_back(std::move(level));
        if (m_branch.size() > kOpenFolderLimit) {
            m_branch[m_branch.size() - 1 - kOpenFolderLimit].fd.reset();
        }
    }

    // Goes back up from the deepest level, opening its parent again when it
    // was closed. False when the parent is no longer where it was (moved
    // while the walk was below it): the rest of the tree is then not walked.
    bool leave() {
        Level& level = m_branch.back();
        if (m_branch.size() >= 2) {
            Level& parent = m_branch[m_branch.size() - 2];
            if (!parent.fd.valid()) {
                parent.fd =
                    UniqueFd(::openat(level.fd.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
                struct stat info {};
                if (!parent.fd.valid() || ::fstat(parent.fd.get(), &info) != 0 ||
                    info.st_dev != parent.device || info.st_ino != parent.inode) {
                    m_path.resize(parent.pathLength);
                    reportFolder(m_reporter, m_path,
                                 "it was moved while it was searched, so the rest of it was not");
                    m_branch.clear();
                    return false;
                }
            }
        }
        m_branch.pop_back();
        return true;
    }

    std::string_view m_pattern;
    FailureReporter& m_reporter;
    std::string m_path;  // of the deepest folder walked, ending with a separator
    std::vector<Level> m_branch;
    std::vector<FoundFile> m_files;
};

}  // namespace

void walkTreeFiles(const std::string& folder, std::string_view pattern,
                   const std::function<void(std::string)>& onFile, FailureReporter& reporter) {
    TreeWalk walk(pattern, reporter);
    walk.walk(folder);
    for (FoundFile& file : walk.takeFiles()) {
        onFile(std::move(file.path));
    }
}

}  // namespace tabrivo
