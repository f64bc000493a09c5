#include <engine/output_flush.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include <engine/atomic_file.h>
#include <engine/file_error.h>

namespace tabrivo {

void OutputFlush::note(const std::string& outputPath) {
    // Called for every result, and the results mostly share one folder.
    const std::string_view folder = folderOfFileView(outputPath);
    if (folder == m_lastFolder) {
        return;
    }
    m_lastFolder = folder;
    struct stat info {};
    if (::stat(m_lastFolder.c_str(), &info) != 0) {
        return;
    }
    const auto known = std::find_if(m_fileSystems.begin(), m_fileSystems.end(),
                                    [&](const FileSystem& f) { return f.device == info.st_dev; });
    if (known != m_fileSystems.end()) {
        return;
    }
    UniqueFd fd(::open(m_lastFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) {
        m_fileSystems.push_back({info.st_dev, m_lastFolder, std::move(fd)});
    }
}

void OutputFlush::flush() {
    std::vector<FileSystem> fileSystems = std::move(m_fileSystems);
    m_fileSystems.clear();
    m_lastFolder.clear();
    int firstError = 0;
    std::string failedFolder;
    for (const FileSystem& fileSystem : fileSystems) {
        if (::syncfs(fileSystem.fd.get()) != 0 && firstError == 0) {
            firstError = errno;
            failedFolder = fileSystem.folder;
        }
    }
    if (firstError != 0) {
        throwFileError(firstError, "Cannot flush the results to disk in", failedFolder);
    }
}

}  // namespace tabrivo
