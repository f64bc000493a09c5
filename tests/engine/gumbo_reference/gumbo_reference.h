#pragma once
// gumbo's parse, kept beside the engine's own parser to compare the two (the
// differential test and fuzzer): pass gumboParseOptions() where a conversion
// takes ParseOptions. The programs never link gumbo.

#include <memory>
#include <string>

#include <engine/html_document.h>

namespace tabrivo::testing {

// Parses with gumbo into the engine's node layout; throws std::runtime_error
// where gumbo fails one of its internal checks.
std::unique_ptr<detail::OtherTree> parseWithGumbo(std::string text);

inline ParseOptions gumboParseOptions() {
    ParseOptions options;
    options.otherParser = &parseWithGumbo;
    return options;
}

}  // namespace tabrivo::testing
