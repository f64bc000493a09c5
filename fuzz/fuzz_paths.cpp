// The path helpers, the output path rule, and the folder scan's name tests.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <files/folder_scan.h>
#include <files/output_path.h>
#include <files/path_helpers.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    for (const char separator : {'/', '\\'}) {
        const std::string collapsed = tabrivo::CollapseDoubleBackslashes(input, separator);
        // Collapsing never lengthens a path, and a second pass keeps a network prefix only.
        if (collapsed.size() > input.size() + 1) {
            __builtin_trap();
        }
        const std::string name = tabrivo::GetFileNamePart(input, separator);
        const std::string folder = tabrivo::GetFolderPart(input, separator);
        if (folder + name != input) {
            __builtin_trap();
        }
        const std::string stem = tabrivo::RemoveExtension(name);
        if (stem.size() > name.size()) {
            __builtin_trap();
        }
        const std::string beside = tabrivo::outputPathBesideSource(input, separator);
        const std::string inFolder = tabrivo::outputPathInFolder("/out", input, separator);
        if (!beside.ends_with(".json") || !inFolder.ends_with(".json")) {
            __builtin_trap();
        }
    }
    const std::size_t split = input.find('\0');
    if (split != std::string_view::npos) {
        (void)tabrivo::wildcardMatch(input.substr(0, split), input.substr(split + 1));
    }
    (void)tabrivo::HasUnsafeNameChars(input);
    return 0;
}
