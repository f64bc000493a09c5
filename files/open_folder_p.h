#pragma once
// An open folder listing, closed when it goes out of scope.

#include <dirent.h>

#include <memory>
#include <string>

namespace tabrivo::detail {

struct FolderCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using OpenFolder = std::unique_ptr<DIR, FolderCloser>;

// The folder opened for listing; empty where it cannot be (errno tells why).
inline OpenFolder openFolder(const std::string& path) {
    return OpenFolder(::opendir(path.c_str()));
}

}  // namespace tabrivo::detail
