#pragma once
// Taking paths apart and putting them together, for the platform's separator.
// Each helper also has a form that takes the separator, so both the "/" and
// the "\" rules can be exercised on any platform.

#include <string>
#include <string_view>

namespace tabrivo {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The text after the last separator; the whole text without one; empty when
// the path ends with a separator.
std::string GetFileNamePart(std::string_view path, char separator = kPathSeparator);
// The same part of `path`, not copied.
std::string_view fileNameView(std::string_view path, char separator = kPathSeparator);
// The text up to and including the last separator; empty without one.
std::string GetFolderPart(std::string_view path, char separator = kPathSeparator);
// The text before the last dot when that dot is not the first character;
// otherwise the text unchanged. Give it a bare file name.
std::string RemoveExtension(std::string_view fileName);
// The same part of `fileName`, not copied.
std::string_view stemView(std::string_view fileName);
// True when the path names an existing folder; never fails.
bool FolderExists(const std::string& path);
// Makes doubled separators single, scanning left to right (a run of three
// becomes two). A leading run of separators becomes "\\" (a network path)
// with "\", and a single "/" with "/".
std::string CollapseDoubleBackslashes(std::string_view path, char separator = kPathSeparator);
// The same, in place (most paths have nothing to collapse and are left as they are).
void collapseDoubleSeparators(std::string& path, char separator = kPathSeparator);

}  // namespace tabrivo
