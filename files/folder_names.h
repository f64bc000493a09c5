#pragma once
// The names in one folder at one moment, for telling which of many results
// will be new files without looking each one up: on Linux the look-up of a
// name that is not there waits for the folder's lock, which a worker putting
// its result in that folder holds, so parallel workers would keep waiting on
// each other.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace tabrivo {

class FolderNames {
public:
    // The names in `folder` that end in `extension` (in any case). Nothing
    // where the folder cannot be listed or holds more than `entryLimit`
    // entries (a listing that would cost more than the look-ups it saves).
    static std::optional<FolderNames> read(const std::string& folder, std::string_view extension,
                                           std::size_t entryLimit);

    // Whether the listing had no entry named `name`, in any ASCII case (a
    // folder may ignore case). Never true for a name with other characters,
    // nor in a folder holding such a name: a folder that ignores case may
    // fold them too (U+212A KELVIN SIGN is a "k").
    bool surelyLacks(std::string_view name) const;

private:
    struct NameHash {
        using is_transparent = void;  // looked up by views, without a copy
        std::size_t operator()(std::string_view name) const {
            return std::hash<std::string_view>{}(name);
        }
    };
    std::unordered_set<std::string, NameHash, std::equal_to<>> m_lowered;
    bool m_foldsUnknown = false;  // some name was not plain ASCII
};

}  // namespace tabrivo
