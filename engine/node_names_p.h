#pragma once
// Names in the node layout: the look-ups between tag names and their numbers
// (ElementTag), and attributes by name.

#include <engine/node_p.h>

#include <string_view>

namespace tabrivo::detail {

// The lower-case name of a numbered tag; empty for kTagUnknown and
// numbers beyond it.
std::string_view knownTagName(unsigned tag);

// "<" and the lower-case name of a numbered tag, NUL-terminated, kept for the
// program's life; empty for kTagUnknown and numbers beyond it.
std::string_view knownTagOpening(unsigned tag);

// The number of a tag name in any ASCII case; kTagUnknown for a name
// outside the table.
ElementTag knownTag(std::string_view name);

// The attribute of that name, in any ASCII case, or null.
const Attribute* findAttribute(const PointerVector& attributes, std::string_view name);

}  // namespace tabrivo::detail
