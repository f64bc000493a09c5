#include <files/output_path.h>

#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>

namespace tabrivo {
namespace {

std::string joinOutput(std::string_view folder, std::string_view sourcePath, char separator) {
    std::string joined(folder);
    joined.push_back(separator);
    joined += RemoveExtension(GetFileNamePart(sourcePath, separator));
    joined += ".json";
    return CollapseDoubleBackslashes(joined, separator);
}

}  // namespace

std::string outputPathInFolder(std::string_view folder, std::string_view sourcePath,
                               char separator) {
    return joinOutput(folder, sourcePath, separator);
}

std::string outputPathBesideSource(std::string_view sourcePath, char separator) {
    return joinOutput(GetFolderPart(sourcePath, separator), sourcePath, separator);
}

bool resultWouldReplaceSource(const std::string& sourcePath, const std::string& outputPath) {
    struct stat output {};
    struct stat sourceInfo {};
    const bool sourceThere = ::stat(sourcePath.c_str(), &sourceInfo) == 0;
    if (::stat(outputPath.c_str(), &output) == 0) {
        return sourceThere && sourceInfo.st_dev == output.st_dev &&
               sourceInfo.st_ino == output.st_ino;
    }
    if (sourceThere) {
        return false;  // a result not there yet is not a source that is there
    }
    std::error_code sourceError;
    std::error_code outputError;
    const auto source = std::filesystem::weakly_canonical(sourcePath, sourceError);
    const auto result = std::filesystem::weakly_canonical(outputPath, outputError);
    return !sourceError && !outputError && source == result;
}

void refuseResultOverSource(const std::string& sourcePath, const std::string& outputPath) {
    if (resultWouldReplaceSource(sourcePath, outputPath)) {
        throw std::runtime_error("Cannot convert \"" + sourcePath +
                                 "\": " + std::string(kResultReplacesSource));
    }
}

}  // namespace tabrivo
