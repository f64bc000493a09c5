#pragma once
// A chain of nested folders whose deepest path is longer than the system's
// path limit. Neither std::filesystem nor a path can reach its bottom, so it
// is made, written to and removed through folders opened one inside another.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

#include <engine/unique_fd.h>
#include "test_support.h"

namespace tabrivo::test {

class DeepFolders {
public:
    // `levels` folders, each named `nameLength` times "d", in `top`.
    DeepFolders(fs::path top, std::size_t levels, std::size_t nameLength)
        : m_top(std::move(top)), m_name(nameLength, 'd') {
        UniqueFd folder = openFolder(AT_FDCWD, m_top.c_str());
        for (std::size_t level = 1; level <= levels; ++level) {
            if (::mkdirat(folder.get(), m_name.c_str(), 0700) != 0) {
                throw std::system_error(errno, std::generic_category(), "mkdirat");
            }
            folder = openFolder(folder.get(), m_name.c_str());
        }
    }
    ~DeepFolders() {
        const UniqueFd top(::open(m_top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (top.valid()) {
            removeTree(top.get(), m_name.c_str());
        }
    }
    DeepFolders(const DeepFolders&) = delete;
    DeepFolders& operator=(const DeepFolders&) = delete;

    // The path of the folder `level` deep (0 is `top`).
    std::string pathAt(std::size_t level) const {
        std::string path = m_top.string();
        for (std::size_t i = 0; i < level; ++i) {
            path.append("/").append(m_name);
        }
        return path;
    }

    // Writes `bytes` to the file `name` of the folder `level` deep.
    void writeFile(std::size_t level, const std::string& name, std::string_view bytes) const {
        UniqueFd folder = openFolder(AT_FDCWD, m_top.c_str());
        for (std::size_t i = 0; i < level; ++i) {
            folder = openFolder(folder.get(), m_name.c_str());
        }
        const UniqueFd file(
            ::openat(folder.get(), name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        if (!file.valid() ||
            ::write(file.get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            throw std::runtime_error("cannot write " + name + " in the deep folders");
        }
    }

private:
    static UniqueFd openFolder(int parent, const char* name) {
        UniqueFd folder(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!folder.valid()) {
            throw std::system_error(errno, std::generic_category(), "open a deep folder");
        }
        return folder;
    }

    // Removes `name` in the folder `parent` with everything in it (a few
    // dozen levels deep at most, so recursion is fine).
    static void removeTree(int parent, const char* name) {
        const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            if (DIR* dir = ::fdopendir(fd)) {
                while (const dirent* entry = ::readdir(dir)) {
                    const std::string_view entryName(entry->d_name);
                    if (entryName == "." || entryName == "..") {
                        continue;
                    }
                    if (entry->d_type == DT_DIR) {
                        removeTree(fd, entry->d_name);
                    } else {
                        ::unlinkat(fd, entry->d_name, 0);
                    }
                }
                ::closedir(dir);
            } else {
                ::close(fd);
            }
        }
        ::unlinkat(parent, name, AT_REMOVEDIR);
    }

    fs::path m_top;
    std::string m_name;
};

}  // namespace tabrivo::test
