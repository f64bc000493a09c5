#pragma once
// Gathering files from folder trees, for the commands that add many files at
// once. Qt-free, so the command-line converter can use it too.

#include <climits>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <engine/error_trap.h>

namespace tabrivo {

#ifdef _WIN32
inline constexpr std::size_t kPathLimit = 260;
#else
inline constexpr std::size_t kPathLimit = PATH_MAX;
#endif

inline constexpr char kFolderScanLocation[] = "Morvath2021/08/31.AddFolder.GetSubDirectories2016";

// Attribute bits, computed on POSIX: folder 16 for a directory, hidden 2 for a
// name that begins with ".", read-only 1 when the user may not write it,
// archive 32 for a regular file, alias 1024 for a symbolic link; system 4 never.
namespace Attribute {
inline constexpr int ReadOnly = 1;
inline constexpr int Hidden = 2;
inline constexpr int System = 4;
inline constexpr int Folder = 16;
inline constexpr int Archive = 32;
inline constexpr int Alias = 1024;
}  // namespace Attribute

// Folder paths, each ending with a separator; the scan widens the list in place.
using FolderList = std::vector<std::string>;
// Lets the user interface handle pending input; may be empty.
using ScanYield = std::function<void()>;

// The attribute word of a path (the link itself for a symbolic link). Throws
// std::system_error naming the path when it cannot be read.
int attributeWord(const std::string& path);

// True when a folder name holds a control character (U+0000-U+001F,
// U+007F-U+009F) or bytes that are not UTF-8.
bool HasUnsafeNameChars(std::string_view name);

// Case-insensitive wildcard match: "*" any run, "?" one character, "*.*" every name.
bool wildcardMatch(std::string_view pattern, std::string_view name);

// Widens `folders` with every sub-folder at every depth (with `descend`),
// level by level after the given folders. Folders with unsafe names and
// symbolic links to folders are neither returned nor looked into; a folder
// whose listing is refused or missing is dropped without a message. Other
// failures are shown through `errorBox` and the scan goes on.
// NOLINTNEXTLINE(readability-identifier-naming): the scan's established name
void GetSubDirectories2016(FolderList& folders, bool descend, FailureReporter& errorBox,
                           const std::string& caption, const ScanYield& yield = {});

// The names of the files (not folders) in `folder` matching `pattern`, hidden
// ones included, in name order; empty when none matches. Throws
// std::system_error when the folder cannot be listed.
std::vector<std::string> ListFilesInFolder(std::string folder, std::string_view pattern);

// True when the path names an existing file that can be opened; false for
// folders, missing paths and paths with wildcard characters. Never fails.
bool FileIsPresent(const std::string& path);

// The file pattern of an extension as "Add All" takes it: "*." and the
// extension ("html" gives "*.html", "htm*" gives "*.htm*").
std::string extensionPattern(std::string_view extension);

// Every file of a folder tree as a dropped folder or "Add All" gives them:
// the folder's own files, then its sub-folders' level by level, skipping
// names that begin with "~" and hidden archive files (attribute word 34).
// Each path goes to `append` as soon as it is found.
void addFilesOfTree(const std::string& folder, std::string_view pattern,
                    const std::function<void(const std::string&)>& append,
                    FailureReporter& errorBox, const std::string& caption,
                    const ScanYield& yield = {});

}  // namespace tabrivo

namespace tabrivo {

// Dropped paths become rows: a file (any extension) as it is; a folder as
// every file of its tree (see addFilesOfTree), in drop order. A dropped
// hidden folder is searched as any other, and so is the folder a dropped link
// points to (through the link's path); hidden entries inside keep the tree's
// rules. A path that is no folder (missing, or a loop of links) is one row.
void addDroppedPaths(const std::vector<std::string>& paths,
                     const std::function<void(const std::string&)>& append,
                     FailureReporter& errorBox, const std::string& caption,
                     const ScanYield& yield = {});

}  // namespace tabrivo
