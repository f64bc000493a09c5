#include <files/folder_names.h>

#include <algorithm>

#include <engine/ascii.h>
#include <files/open_folder_p.h>

namespace tabrivo {
namespace {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::optional<FolderNames> FolderNames::read(const std::string& folder, std::string_view extension,
                                             std::size_t entryLimit) {
    const detail::OpenFolder dir = detail::openFolder(folder);
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
