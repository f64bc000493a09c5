#pragma once
// The HTML tree builder: the insertion modes of the HTML standard's tree
// construction over the tokens of HtmlTokenizer. The tree is made of the
// node structs the rest of the engine reads (gumbo.h's Node), all held
// in one arena that the HtmlTree frees at once.

#include <engine/node_p.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tabrivo::detail {

// Memory for the nodes of one tree, given out in blocks and freed together.
class NodeArena {
public:
    NodeArena() = default;
    NodeArena(const NodeArena&) = delete;
    NodeArena& operator=(const NodeArena&) = delete;

    void* allocate(std::size_t bytes) {
        bytes = (bytes + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);
        if (bytes > m_left) {
            newBlock(bytes);
        }
        void* at = m_next;
        m_next += bytes;
        m_left -= bytes;
        return at;
    }
    template <typename T>
    T* make() {
        return new (allocate(sizeof(T))) T{};
    }
    // A NUL-terminated copy.
    const char* copy(std::string_view text);

private:
    void newBlock(std::size_t bytes);  // of at least that size, from which allocate goes on

    std::vector<std::unique_ptr<std::byte[]>> m_blocks;
    std::byte* m_next = nullptr;
    std::size_t m_left = 0;
};

// A parsed document: its tree and what the tree's nodes point to.
class HtmlTree {
public:
    HtmlTree() = default;
    HtmlTree(const HtmlTree&) = delete;
    HtmlTree& operator=(const HtmlTree&) = delete;

    const Node* document() const { return m_document; }
    // Where among the document's children the DOCTYPE stood, if it had one.
    std::size_t doctypeIndex() const { return m_doctypeIndex; }
    // Whether the DOCTYPE had a public or a system identifier, even an empty one.
    bool doctypeHasIds() const { return m_doctypeHasIds; }

    // The HTML table and style elements outside template contents, in the
    // order they were made. That is their document order unless a node was
    // ever put anywhere but at the end of the open element it belongs in (by
    // foster parenting, the adoption agency, a removal...); then this is null
    // and the tree must be walked.
    const std::vector<const Node*>* tablesInOrder() const {
        return m_madeInOrder ? &m_tables : nullptr;
    }
    const std::vector<const Node*>* styleElementsInOrder() const {
        return m_madeInOrder ? &m_styleElements : nullptr;
    }

private:
    friend class TreeBuilder;
    friend std::unique_ptr<HtmlTree> buildHtmlTree(std::string text);
    std::string m_source;  // what text nodes point into, unless their text was rewritten
    NodeArena m_arena;
    Node* m_document = nullptr;
    std::size_t m_doctypeIndex = 0;
    bool m_doctypeHasIds = false;
    std::vector<const Node*> m_tables;
    std::vector<const Node*> m_styleElements;
    bool m_madeInOrder = true;
};

// Parses UTF-8 text; any text gives a tree. The tree keeps the text, its line
// breaks normalised: a text or comment node's original_text points into it or
// into the arena, and is not NUL-terminated (its `text` is null).
std::unique_ptr<HtmlTree> buildHtmlTree(std::string text);

// The local name of an element as the standard writes it: lower case, or the
// camel case of SVG element names.
std::string_view elementName(const Node* element);

}  // namespace tabrivo::detail
