#include <files/path_helpers.h>

#include <sys/stat.h>

namespace tabrivo {
namespace {

std::string collapsePairs(std::string_view text, char separator) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        out.push_back(text[i]);
        if (text[i] == separator && i + 1 < text.size() && text[i + 1] == separator) {
            ++i;  // the pair becomes one; the next character is not looked at again
        }
    }
    return out;
}

// Whether collapsing changes the path (most paths: no).
bool changesOnCollapse(std::string_view path, char separator) {
    const char pair[] = {separator, separator};
    const bool networkPrefixAdded = separator == '\\' && path.starts_with(separator);
    return networkPrefixAdded || path.find(std::string_view(pair, 2)) != std::string_view::npos;
}

}  // namespace

std::string_view fileNameView(std::string_view path, char separator) {
    const std::size_t last = path.rfind(separator);
    return last == std::string_view::npos ? path : path.substr(last + 1);
}

std::string GetFileNamePart(std::string_view path, char separator) {
    return std::string(fileNameView(path, separator));
}

std::string GetFolderPart(std::string_view path, char separator) {
    const std::size_t last = path.rfind(separator);
    return last == std::string_view::npos ? std::string() : std::string(path.substr(0, last + 1));
}

std::string_view stemView(std::string_view fileName) {
    const std::size_t lastDot = fileName.rfind('.');
    return lastDot == std::string_view::npos || lastDot == 0 ? fileName
                                                             : fileName.substr(0, lastDot);
}

std::string RemoveExtension(std::string_view fileName) {
    return std::string(stemView(fileName));
}

bool FolderExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void collapseDoubleSeparators(std::string& path, char separator) {
    if (changesOnCollapse(path, separator)) {
        path = CollapseDoubleBackslashes(std::string_view(path), separator);
    }
}

std::string CollapseDoubleBackslashes(std::string_view path, char separator) {
    if (!changesOnCollapse(path, separator)) {
        return std::string(path);
    }
    if (path.empty() || path.front() != separator) {
        return collapsePairs(path, separator);
    }
    std::size_t rest = 1;
    while (rest < path.size() && path[rest] == separator) {
        ++rest;
    }
    // "\" paths keep a network prefix; POSIX has none, so "/" keeps one separator.
    const std::string prefix =
        separator == '\\' ? std::string(2, separator) : std::string(1, separator);
    return prefix + collapsePairs(path.substr(rest), separator);
}

}  // namespace tabrivo
