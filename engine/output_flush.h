#pragma once
// One flush to disk per run: the file systems that received results are synced
// once at the end (syncfs), instead of one fsync per file, which would cost
// more than converting a small file.

#include <sys/types.h>

#include <string>
#include <vector>

#include <engine/unique_fd.h>

namespace tabrivo {

class OutputFlush {
public:
    // Notes the file system of the folder that holds `outputPath`; a folder
    // that cannot be opened is passed over (writing there failed already).
    // The folder of the previous call is not looked at again.
    void note(const std::string& outputPath);

    // Flushes every noted file system to disk and forgets them. Throws
    // std::system_error naming the folder and the reason when one could not
    // be flushed; the others are flushed all the same.
    void flush();

    std::size_t fileSystemCount() const { return m_fileSystems.size(); }

private:
    struct FileSystem {
        dev_t device = 0;
        std::string folder;
        UniqueFd fd;
    };
    std::vector<FileSystem> m_fileSystems;
    std::string m_lastFolder;
};

}  // namespace tabrivo
