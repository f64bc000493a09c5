#pragma once
// The output path rule: where the result of one source file goes.

#include <string>
#include <string_view>

#include <files/path_helpers.h>

namespace tabrivo {

// Into `folder` ("Save results to this folder:"): the folder, a separator, the
// source's file name without its extension, ".json", doubled separators collapsed.
std::string outputPathInFolder(std::string_view folder, std::string_view sourcePath,
                               char separator = kPathSeparator);

// Beside the source ("Save results in folder of original file").
std::string outputPathBesideSource(std::string_view sourcePath, char separator = kPathSeparator);

}  // namespace tabrivo
