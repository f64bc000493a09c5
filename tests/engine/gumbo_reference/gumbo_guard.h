#pragma once
// The parser, with its internal checks turned into exceptions.
//
// The parser asserts on some malformed input it does not expect (for example
// a <select> inside MathML inside a table, with a table inside that); its
// failed assertion would end the whole program. Here a failed assertion
// during a parse returns to the caller as an exception instead: the parse is
// abandoned (its memory is all in the caller's arena) and only that file fails.

#include <gumbo.h>

#include <cstddef>

namespace tabrivo::detail {

// Parses like gumbo_parse_with_options; throws std::runtime_error when the
// parser fails one of its internal checks.
GumboOutput* parseHtml(const GumboOptions& options, const char* text, std::size_t size);

}  // namespace tabrivo::detail
