#include <files/output_path.h>

#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>

namespace tabrivo {
namespace {

std::string joinOutput(std::string_view folder, std::string_view sourcePath, char separator) {
    constexpr std::string_view kExtension = ".json";
    const std::string_view stem = stemView(fileNameView(sourcePath, separator));
    std::string joined;
    joined.reserve(folder.size() + 1 + stem.size() + kExtension.size());
    joined.append(folder).append(1, separator).append(stem).append(kExtension);
    collapseDoubleSeparators(joined, separator);
    return joined;
}

}  // namespace

std::string outputPathInFolder(std::string_view folder, std::string_view sourcePath,
                               char separator) {
    return joinOutput(folder, sourcePath, separator);
}

std::string outputPathBesideSource(std::string_view sourcePath, char separator) {
    return joinOutput(GetFolderPart(sourcePath, separator), sourcePath, separator);
}

bool resultWouldReplaceSource(const std::string& sourcePath, const std::string& outputPath,
                              TargetStatus outputStatus) {
    struct stat output {};
    struct stat sourceInfo {};
    if (outputStatus == TargetStatus::Unknown && ::stat(outputPath.c_str(), &output) == 0) {
        return ::stat(sourcePath.c_str(), &sourceInfo) == 0 && sourceInfo.st_dev == output.st_dev &&
               sourceInfo.st_ino == output.st_ino;
    }
    // A result not there yet can only be a source that is not there either,
    // by the same path, which then ends in the same name (a plain name stays
    // last whatever is made of the folders before it): most results of a
    // batch are told apart here without looking at their sources.
#ifndef _WIN32  // where '/' is the one separator
    const std::string sourceName = GetFileNamePart(sourcePath);
    if (!sourceName.empty() && sourceName != "." && sourceName != ".." &&
        sourceName != GetFileNamePart(outputPath)) {
        return false;
    }
#endif
    if (::stat(sourcePath.c_str(), &sourceInfo) == 0) {
        return false;  // a result not there yet is not a source that is there
    }
    std::error_code sourceError;
    std::error_code outputError;
    const auto source = std::filesystem::weakly_canonical(sourcePath, sourceError);
    const auto result = std::filesystem::weakly_canonical(outputPath, outputError);
    return !sourceError && !outputError && source == result;
}

void refuseResultOverSource(const std::string& sourcePath, const std::string& outputPath,
                            TargetStatus outputStatus) {
    if (resultWouldReplaceSource(sourcePath, outputPath, outputStatus)) {
        throw std::runtime_error("Cannot convert \"" + sourcePath +
                                 "\": " + std::string(kResultReplacesSource));
    }
}

}  // namespace tabrivo
