#pragma once
// The document tree the engine reads: its nodes live in one arena per
// document and are freed with it. The numbers for tags, namespaces and node
// kinds are gumbo.h's (a build-time header only); the structs are the
// engine's own and about half the size of gumbo's, since a large page holds
// millions of nodes.

#include <gumbo.h>

#include <cstddef>
#include <cstdint>

namespace tabrivo::detail {

struct Node;

// An attribute, as its element's start tag gave it (the first of a name wins).
struct Attribute {
    GumboAttributeNamespaceEnum attr_namespace = GUMBO_ATTR_NAMESPACE_NONE;
    unsigned name_length = 0;
    const char* name = nullptr;   // NUL-terminated; lower case, or SVG's camel case
    const char* value = nullptr;  // NUL-terminated, character references read
};

struct ElementData {
    GumboVector children;           // Node*, in order
    GumboVector attributes;         // Attribute*, in source order
    GumboStringPiece original_tag;  // "<" and the local name, for names without a number
    GumboTag tag;                   // GUMBO_TAG_UNKNOWN for names without a number
    GumboNamespaceEnum tag_namespace;
    struct {
        unsigned offset;  // where the start tag's '<' stands in the parsed text; 0 if implied
    } start_pos;
    // Where the style engine remembers the element's computed style (see
    // StyleResolver), plus one; 0 for nowhere. It fills what was padding.
    mutable std::uint32_t style_slot;
};

// Text, white space, CDATA and comments.
struct TextData {
    // Not NUL-terminated: it points into the parsed text or into the arena.
    GumboStringPiece original_text;
    std::size_t room;  // the room of the arena buffer it is in; 0 while it points into the text
};

struct DocumentData {
    GumboVector children;  // Node*, in order
    bool has_doctype;
    const char* name;  // the DOCTYPE's, NUL-terminated
    const char* public_identifier;
    const char* system_identifier;
    GumboQuirksModeEnum doc_type_quirks_mode;
};

// What the tree builder keeps about an element while it builds the tree.
struct BuildState {
    unsigned tag;         // GumboTag, or one of the builder's numbers for newer names
    unsigned formatting;  // entries in the list of active formatting elements
    // Elements from this one down to the nearest scope boundary below it on
    // the stack, when it was put there. Taking elements out of the middle of
    // the stack leaves the counts above too high, never too low.
    unsigned depth;
    bool open;  // on the stack of open elements
    // For a table whose rows are made apart and freed as they are read (see
    // IncrementalParse): the table itself, or one of its row groups.
    enum : std::uint8_t { kNotStreamed, kStreamedTable, kStreamedGroup } streamed;
    // The row memory the node was made in (see IncrementalParse); 0 for the tree's own.
    std::uint16_t memory;
};

struct Node {
    GumboNodeType type;
    unsigned index_within_parent;
    Node* parent;
    BuildState built;
    union {
        DocumentData document;
        ElementData element;
        TextData text;
    } v;
};

}  // namespace tabrivo::detail
