#pragma once
// Names in the node layout (gumbo.h's structs): the tags it numbers
// (GumboTag) and the look-ups between names and numbers, and attributes by
// name, so that the engine needs no parser library at run time.

#include <engine/node_p.h>

#include <string_view>

namespace tabrivo::detail {

// The lower-case name of a numbered tag; empty for GUMBO_TAG_UNKNOWN and
// numbers beyond it.
std::string_view knownTagName(unsigned tag);

// "<" and the lower-case name of a numbered tag, NUL-terminated, kept for the
// program's life; empty for GUMBO_TAG_UNKNOWN and numbers beyond it.
std::string_view knownTagOpening(unsigned tag);

// The number of a tag name in any ASCII case; GUMBO_TAG_UNKNOWN for a name
// outside the table.
GumboTag knownTag(std::string_view name);

// The attribute of that name, in any ASCII case, or null.
const Attribute* findAttribute(const GumboVector& attributes, std::string_view name);

}  // namespace tabrivo::detail
