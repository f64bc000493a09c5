#include <files/folder_scan.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <system_error>

#include <engine/ascii.h>
#include <engine/file_error.h>
#include <engine/utf8.h>
#include <files/open_folder_p.h>
#include <files/path_helpers.h>

namespace tabrivo {
namespace {

constexpr int kHiddenArchiveWord = Attribute::Archive | Attribute::Hidden;  // 34

// A folder whose listing failed in a way that drops it from the scan.
struct ListingRefused {
    int error;
};

std::string withSeparator(std::string folder) {
    if (folder.empty() || folder.back() != kPathSeparator) {
        folder.push_back(kPathSeparator);
    }
    return folder;
}

std::string lastName(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == kPathSeparator) {
        trimmed.pop_back();
    }
    return GetFileNamePart(trimmed);
}

// One entry of a folder listing, with its type when the listing tells it.
struct Entry {
    std::string name;
    unsigned char type = DT_UNKNOWN;
    bool operator<(const Entry& other) const { return name < other.name; }
};

// The entries of a folder in name order ("." and ".." left out).
std::vector<Entry> listEntries(const std::string& folder) {
    const detail::OpenFolder dir = detail::openFolder(folder);
    if (!dir) {
        const int error = errno;
        if (error == EACCES || error == ENOENT || error == ENOTDIR || error == EPERM) {
            throw ListingRefused{error};
        }
        throw std::system_error(error, std::generic_category(),
                                "Cannot list the folder \"" + folder + "\"");
    }
    std::vector<Entry> entries;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name(entry->d_name);
        if (name != "." && name != "..") {
            entries.push_back({std::string(name), entry->d_type});
        }
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

bool isPlainFolder(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A folder entry that is a real folder (a link to one is not).
bool isPlainFolder(const std::string& folder, const Entry& entry) {
    if (entry.type == DT_DIR) {
        return true;
    }
    return entry.type == DT_UNKNOWN && isPlainFolder(folder + entry.name);
}

// A folder entry that names a file that can be opened; the listing's type
// answers for plain files without asking the file system again.
bool isPresentFile(const std::string& folder, const Entry& entry) {
    if (entry.type == DT_REG) {
        return true;
    }
    return entry.type != DT_DIR && FileIsPresent(folder + entry.name);
}

// Hidden system folders (word 22) and links to them (1046) are neither
// returned nor looked into. POSIX has no system attribute, so no folder here
// carries either word; the scan keeps the step where the test belongs.
bool skippedBySystemAttributes(const std::string& /*folder*/) {
    return false;
}

void yieldOnce(const ScanYield& yield) {
    if (yield) {
        yield();
    }
}

}  // namespace

int attributeWord(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == kPathSeparator) {
        trimmed.pop_back();
    }
    struct stat info {};
    if (::lstat(trimmed.c_str(), &info) != 0) {
        throwFileError(errno, "Cannot read the attributes of", path);
    }
    int word = 0;
    if (S_ISLNK(info.st_mode)) {
        word |= Attribute::Alias;
        struct stat target {};
        if (::stat(trimmed.c_str(), &target) == 0) {
            info = target;
        }
    }
    if (S_ISDIR(info.st_mode)) {
        word |= Attribute::Folder;
    } else if (S_ISREG(info.st_mode)) {
        word |= Attribute::Archive;
    }
    const std::string name = lastName(trimmed);
    if (!name.empty() && name.front() == '.' && name != "." && name != "..") {
        word |= Attribute::Hidden;
    }
    if (::access(trimmed.c_str(), W_OK) != 0) {
        word |= Attribute::ReadOnly;
    }
    return word;
}

bool HasUnsafeNameChars(std::string_view name) {
    for (std::size_t i = 0; i < name.size();) {
        const std::optional<std::uint32_t> codePoint = nextCodePoint(name, i);
        // Ill-formed bytes, and the C0 and C1 control characters.
        if (!codePoint || *codePoint < 0x20 || (*codePoint >= 0x7F && *codePoint <= 0x9F)) {
            return true;
        }
    }
    return false;
}

bool wildcardMatch(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*" || pattern == "*") {
        return true;
    }
    const auto lower = [](char c) { return ascii::toLower(c); };
    // Iterative matching with one backtrack point for the last "*".
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starP = std::string_view::npos;
    std::size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || lower(pattern[p]) == lower(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

void GetSubDirectories2016(FolderList& folders, bool descend, FailureReporter& errorBox,
                           const std::string& caption, const ScanYield& yield) {
    StepTrap trap(kFolderScanLocation, errorBox, caption);
    FolderList found;
    const FolderList inputs = folders;  // the folders looked into by this call
    for (const std::string& folder : inputs) {
        if (folder.size() >= kPathLimit) {
            continue;  // stays in the list, not looked into
        }
        trap.run(112, [&] { yieldOnce(yield); });
        bool lookInto = true;
        trap.run(114, [&] { lookInto = !skippedBySystemAttributes(folder); });
        if (!lookInto) {
            continue;
        }
        // From here a failure only ends this folder's listing.
        try {
            for (const Entry& entry : listEntries(folder)) {
                // Symbolic links to folders are never followed, so a scan cannot loop.
                if (!isPlainFolder(folder, entry)) {
                    continue;
                }
                yieldOnce(yield);
                if (entry.name.size() >= kPathLimit || HasUnsafeNameChars(entry.name)) {
                    continue;
                }
                found.push_back(folder + entry.name + kPathSeparator);
            }
        } catch (const ListingRefused&) {
            const auto drop = std::find(folders.begin(), folders.end(), folder);
            if (drop != folders.end()) {
                folders.erase(drop);
            }
        } catch (...) {
            // Any other failure leaves the folder in the list, silently.
        }
    }
    if (descend && !found.empty()) {
        GetSubDirectories2016(found, true, errorBox, caption, yield);
    }
    for (const std::string& folder : found) {
        trap.run(152, [&] { yieldOnce(yield); });
        bool keep = true;
        trap.run(154, [&] { keep = !skippedBySystemAttributes(folder); });
        if (keep) {
            folders.push_back(folder);
        }
    }
}

std::vector<std::string> ListFilesInFolder(std::string folder, std::string_view pattern) {
    folder = withSeparator(std::move(folder));
    std::vector<std::string> names;
    std::vector<Entry> entries;
    try {
        entries = listEntries(folder);
    } catch (const ListingRefused& refused) {
        throw std::system_error(refused.error, std::generic_category(),
                                "Cannot list the folder \"" + folder + "\"");
    }
    for (Entry& entry : entries) {
        if (wildcardMatch(pattern, entry.name) && isPresentFile(folder, entry)) {
            names.push_back(std::move(entry.name));
        }
    }
    return names;
}

bool FileIsPresent(const std::string& path) {
    if (path.empty() || path.find_first_of("*?") != std::string::npos) {
        return false;
    }
    // O_PATH opens without asking for any access right, as a probe should.
    const int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    const bool isFile = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return isFile;
}

std::string extensionPattern(std::string_view extension) {
    return "*." + std::string(extension);
}

void addFilesOfTree(const std::string& folder, std::string_view pattern,
                    const std::function<void(const std::string&)>& append,
                    FailureReporter& errorBox, const std::string& caption, const ScanYield& yield) {
    FolderList folders{withSeparator(folder)};
    GetSubDirectories2016(folders, true, errorBox, caption, yield);
    for (const std::string& listed : folders) {
        const std::string bare = listed.size() > 1 ? listed.substr(0, listed.size() - 1) : listed;
        std::vector<std::string> names;
        try {
            names = ListFilesInFolder(bare, pattern);
        } catch (const std::system_error& error) {
            // A folder removed or closed since the scan found it adds nothing.
            const int code = error.code().value();
            if (code == ENOENT || code == EACCES || code == ENOTDIR || code == EPERM) {
                continue;
            }
            throw;
        }
        for (const std::string& name : names) {
            // A name that is not UTF-8 could not be shown or found again.
            if (name.front() == '~' || !isValidUtf8(name)) {
                continue;
            }
            std::string path = bare;
            path += kPathSeparator;
            path += name;
            // The listing has just found the file; only a dot-file can be a
            // hidden archive file (word 34), so only such names are asked about.
            if (name.front() == '.' && attributeWord(path) == kHiddenArchiveWord) {
                continue;
            }
            append(CollapseDoubleBackslashes(path));
        }
    }
}

}  // namespace tabrivo

namespace tabrivo {

void addDroppedPaths(const std::vector<std::string>& paths,
                     const std::function<void(const std::string&)>& append,
                     FailureReporter& errorBox, const std::string& caption,
                     const ScanYield& yield) {
    for (const std::string& path : paths) {
        // The user named this folder: it is searched even when hidden, and a
        // link to a folder is followed here, once (the scan below follows no
        // link, and a loop of links is no folder at all).
        struct stat target {};
        if (::stat(path.c_str(), &target) != 0 || !S_ISDIR(target.st_mode)) {
            append(path);
            continue;
        }
        addFilesOfTree(path, "*.*", append, errorBox, caption, yield);
    }
}

}  // namespace tabrivo
