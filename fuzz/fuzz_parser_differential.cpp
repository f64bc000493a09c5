// The engine's parser against gumbo on what the conversion writes.
//
// Inputs where a select holds foreign content are passed over: there the tree
// follows the browser and gumbo does not (tests/data/parser/known_differences.txt).
// A difference of a class the browser has already been shown to settle in the
// engine's favour (tests/data/parser/browser_confirmed/) does not stop the run:
// the input is written to the folder named by TABRIVO_FUZZ_DIFFERENCES (one
// subfolder per class, a file per input) so that a sample can be put to the
// browser afterwards. Any other difference stops the run.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>

#include <engine/convert.h>

#include "gumbo_reference.h"

namespace {

std::string lowered(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::size_t countOf(std::string_view text, std::string_view what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string_view::npos;
         at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

// Whether the bytes hold a noncharacter (U+FDD0..U+FDEF, or U+xFFFE and U+xFFFF
// of any plane) written as UTF-8.
bool holdsUtf8Noncharacter(std::string_view bytes) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    for (std::size_t i = 0; i + 2 < bytes.size(); ++i) {
        if (at(i) == 0xEF && ((at(i + 1) == 0xB7 && at(i + 2) >= 0x90 && at(i + 2) <= 0xAF) ||
                              (at(i + 1) == 0xBF && at(i + 2) >= 0xBE))) {
            return true;
        }
        if (at(i) >= 0xF0 && at(i) <= 0xF4 && i + 3 < bytes.size() && (at(i + 1) & 0x0F) == 0x0F &&
            at(i + 2) == 0xBF && at(i + 3) >= 0xBE) {
            return true;
        }
    }
    return false;
}

// The browser-confirmed class a difference on this input belongs to, or empty.
std::string_view knownClass(std::string_view bytes, std::string_view lower) {
    if (bytes.find("\xF4\x8F\xBC\x8B") != std::string_view::npos) {
        return "private_use_beside_control";
    }
    if (holdsUtf8Noncharacter(bytes)) {
        return "noncharacter";
    }
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF") ||
        lower.find("utf-16") != std::string_view::npos) {
        return "utf16";
    }
    if (lower.find("<svg") != std::string_view::npos ||
        lower.find("<math") != std::string_view::npos) {
        return "foreign_content";
    }
    if (countOf(lower, "<table") >= 2 && lower.find("</") != std::string_view::npos) {
        return "nested_table_foster_text";
    }
    if (lower.find("</form") != std::string_view::npos) {
        return "form_end_tag";
    }
    if (lower.find("<dialog") != std::string_view::npos) {
        return "dialog";
    }
    if (lower.find("<search") != std::string_view::npos) {
        return "search";
    }
    return {};
}

void keep(std::string_view kind, std::string_view bytes) {
    const char* folder = std::getenv("TABRIVO_FUZZ_DIFFERENCES");
    if (folder == nullptr) {
        return;
    }
    const std::filesystem::path dir = std::filesystem::path(folder) / std::string(kind);
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    const std::size_t hash = std::hash<std::string_view>{}(bytes);
    std::ofstream(dir / std::to_string(hash), std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the fuzzer's bytes
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string lower = lowered(bytes);
    if (lower.find("<select") != std::string::npos) {
        return 0;
    }
    const tabrivo::ParseOptions withGumbo = tabrivo::testing::gumboParseOptions();
    if (tabrivo::convertHtmlToText(bytes) == tabrivo::convertHtmlToText(bytes, withGumbo)) {
        return 0;
    }
    const std::string_view kind = knownClass(bytes, lower);
    if (kind.empty()) {
        __builtin_trap();
    }
    keep(kind, bytes);
    return 0;
}
