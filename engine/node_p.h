#pragma once
// The document tree the engine reads: its nodes live in one arena per
// document and are freed with it. The structs are kept small, since a large
// page holds millions of nodes.

#include <cstddef>
#include <cstdint>

namespace tabrivo::detail {

enum NodeType : unsigned {
    kNodeDocument,
    kNodeElement,
    kNodeText,
    kNodeCdata,
    kNodeComment,
    kNodeWhitespace,  // text that is all white space
    kNodeTemplate,    // a template element; its children are its contents
};

enum Namespace : unsigned { kNamespaceHtml, kNamespaceSvg, kNamespaceMathml };

enum AttributeNamespace : unsigned {
    kAttributeNamespaceNone,
    kAttributeNamespaceXlink,
    kAttributeNamespaceXml,
    kAttributeNamespaceXmlns,
};

enum QuirksMode : unsigned { kNoQuirks, kQuirks, kLimitedQuirks };

// The element names the engine knows by number (see tag_names.inc).
enum ElementTag : unsigned {
#define TABRIVO_TAG(enumerator, name) kTag##enumerator,
#include <engine/tag_names.inc>
#undef TABRIVO_TAG
    kTagUnknown,  // any other name; the element keeps it in original_tag
    kTagLast,     // past the numbers, for "no tag"
};

// A growable array of pointers in the document's arena.
struct PointerVector {
    void** data;
    unsigned length;
    unsigned capacity;
};

// A view of text; not NUL-terminated unless said.
struct TextPiece {
    const char* data;
    std::size_t length;
};

struct Node;

// An attribute, as its element's start tag gave it (the first of a name wins).
struct Attribute {
    AttributeNamespace attr_namespace = kAttributeNamespaceNone;
    unsigned name_length = 0;
    const char* name = nullptr;   // NUL-terminated; lower case, or SVG's camel case
    const char* value = nullptr;  // NUL-terminated, character references read
};

struct ElementData {
    PointerVector children;    // Node*, in order
    PointerVector attributes;  // Attribute*, in source order
    TextPiece original_tag;    // "<" and the local name, for names without a number
    ElementTag tag;            // kTagUnknown for names without a number
    Namespace tag_namespace;
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
    TextPiece original_text;
    std::size_t room;  // the room of the arena buffer it is in; 0 while it points into the text
};

struct DocumentData {
    PointerVector children;  // Node*, in order
    bool has_doctype;
    const char* name;  // the DOCTYPE's, NUL-terminated
    const char* public_identifier;
    const char* system_identifier;
    QuirksMode doc_type_quirks_mode;
};

// What the tree builder keeps about an element while it builds the tree.
struct BuildState {
    unsigned tag;         // ElementTag, or one of the builder's numbers for newer names
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
    NodeType type;
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
