#include <files/output_path.h>

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

}  // namespace tabrivo
