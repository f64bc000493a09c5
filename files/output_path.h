#pragma once
// The output path rule: where the result of one source file goes.

#include <string>
#include <string_view>

#include <engine/atomic_file.h>
#include <files/path_helpers.h>

namespace tabrivo {

// Into `folder` ("Save results to this folder:"): the folder, a separator, the
// source's file name without its extension, ".json", doubled separators collapsed.
std::string outputPathInFolder(std::string_view folder, std::string_view sourcePath,
                               char separator = kPathSeparator);

// Beside the source ("Save results in folder of original file").
std::string outputPathBesideSource(std::string_view sourcePath, char separator = kPathSeparator);

inline constexpr std::string_view kResultReplacesSource = "the result would replace the source";

// True when writing the result to `outputPath` would replace the source file
// itself: the same file (device and inode) where the result exists, else the
// same path once symbolic links are resolved. Never fails. With `outputStatus`
// KnownAbsent the result is taken not to exist without looking.
bool resultWouldReplaceSource(const std::string& sourcePath, const std::string& outputPath,
                              TargetStatus outputStatus = TargetStatus::Unknown);

// Throws std::runtime_error naming the source and the reason when its result
// would replace it, so that the source is reported and not converted.
void refuseResultOverSource(const std::string& sourcePath, const std::string& outputPath,
                            TargetStatus outputStatus = TargetStatus::Unknown);

}  // namespace tabrivo
