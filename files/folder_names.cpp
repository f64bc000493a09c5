#include <files/folder_names.h>

#include <dirent.h>

#include <algorithm>
#include <memory>

#include <engine/ascii.h>

namespace tabrivo {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::optional<FolderNames> FolderNames::read(const std::string& folder, std::string_view extension,
                                             std::size_t entryLimit) {
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir) {
        return std::nullopt;
    }
    const std::string loweredExtension = ascii::toLower(extension);
    FolderNames names;
    std::size_t entries = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (++entries > entryLimit) {
            return std::nullopt;
        }
        const std::string_view name(entry->d_name);
        if (!isAscii(name)) {
            names.m_foldsUnknown = true;
        } else if (name.size() >= loweredExtension.size() &&
                   ascii::equalsLowered(name.substr(name.size() - loweredExtension.size()),
                                        loweredExtension)) {
            names.m_lowered.insert(ascii::toLower(name));
        }
    }
    return names;
}

bool FolderNames::surelyLacks(std::string_view name) const {
    if (m_foldsUnknown || !isAscii(name)) {
        return false;
    }
    const bool lowered =
        std::none_of(name.begin(), name.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
    return lowered ? !m_lowered.contains(name) : !m_lowered.contains(ascii::toLower(name));
}

}  // namespace tabrivo
