#pragma once
// The HTML tree builder: the insertion modes of the HTML standard's tree
// construction over the tokens of HtmlTokenizer. The tree is made of the
// node structs the rest of the engine reads (node_p.h), all held
// in one arena that the HtmlTree frees at once.

#include <engine/node_p.h>
#include <engine/source_text.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Under AddressSanitizer, memory an arena took back is poisoned until it is
// given out again, so that a node read after its row was freed is reported.
#if defined(__SANITIZE_ADDRESS__)
#define TABRIVO_POISON_ARENAS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TABRIVO_POISON_ARENAS 1
#endif
#endif
#ifdef TABRIVO_POISON_ARENAS
#include <sanitizer/asan_interface.h>
#endif

namespace tabrivo::detail {

// Memory for the nodes of one tree, given out in blocks and freed together.
class NodeArena {
public:
    // `firstBlockBytes`: the first block's size; later blocks double up to
    // 64 KiB (an arena that holds one row of a table starts small).
    explicit NodeArena(std::size_t firstBlockBytes = kMaxBlockBytes)
        : m_nextBlockBytes(firstBlockBytes) {}
    ~NodeArena();
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
#ifdef TABRIVO_POISON_ARENAS
        ASAN_UNPOISON_MEMORY_REGION(at, bytes);
#endif
        return at;
    }
    template <typename T>
    T* make() {
        return new (allocate(sizeof(T))) T{};
    }
    // A NUL-terminated copy.
    const char* copy(std::string_view text);
    // Takes back everything given out; the blocks stay for what comes next.
    void reset();
    // Frees the blocks nothing was given out from since the last reset().
    void dropUnusedBlocks();
    // Whether the address lies in one of its blocks.
    bool owns(const void* address) const;
    // What nodes made in this arena are marked with: 0 for a tree's own
    // arena, another number for each use of a row's.
    std::uint16_t id() const {
        return m_id;
    }
    void setId(std::uint16_t id) {
        m_id = id;
    }

    static constexpr std::size_t kMaxBlockBytes = std::size_t{64} * 1024;

private:
    void newBlock(std::size_t bytes);  // of at least that size, from which allocate goes on

    struct Block {
        std::unique_ptr<std::byte[]> bytes;
        std::size_t size = 0;
    };
    std::vector<Block> m_blocks;
    std::size_t m_current = 0;  // the block allocate takes from, if any
    std::byte* m_next = nullptr;
    std::size_t m_left = 0;
    std::size_t m_nextBlockBytes;
    std::uint16_t m_id = 0;
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
    // The most HTML tables open at once while the tree was made: how deep
    // tables nest in it. (A table is made inside the open elements, and what
    // moves a node later, foster parenting and the adoption agency, moves it
    // out of a table or within the elements above it, never deeper.)
    // Read from the thread that reads rows while the parse goes on: a row
    // handed over was made before, so its tables are counted in what it reads.
    std::size_t deepestTableNesting() const {
        return m_deepestTableNesting.load(std::memory_order_relaxed);
    }

private:
    friend class TreeBuilder;
    friend class IncrementalParse;
    friend std::unique_ptr<HtmlTree> buildHtmlTree(SourceText text);
    SourceText m_source;  // what text nodes point into, unless their text was rewritten
    NodeArena m_arena;
    // The memory of rows made apart that could not be freed (see IncrementalParse).
    std::vector<std::unique_ptr<NodeArena>> m_keptArenas;
    Node* m_document = nullptr;
    std::size_t m_doctypeIndex = 0;
    bool m_doctypeHasIds = false;
    std::vector<const Node*> m_tables;
    std::vector<const Node*> m_styleElements;
    bool m_madeInOrder = true;
    std::atomic<std::size_t> m_deepestTableNesting{0};
};

class TreeBuilder;

// A parse that goes on a token at a time, so that a large document's rows can
// be read as they close and freed, instead of the whole tree being held. The
// rows of one table at a time are made apart: from streamRowsOf() until the
// table closes, each row of its row groups, with the white space and comments
// before it in its group, is made in memory of its own. Once read, release()
// takes the row out of the tree and frees that memory, unless something
// outside the row came to point into it (a table in the row, a node put
// outside it...): then the row is kept, as keep() does.
class IncrementalParse {
public:
    explicit IncrementalParse(SourceText text);
    ~IncrementalParse();
    IncrementalParse(const IncrementalParse&) = delete;
    IncrementalParse& operator=(const IncrementalParse&) = delete;

    const Node* document() const { return m_tree->document(); }
    // Processes tokens until a table beyond the first `tables` is made, or
    // (unless `rowsKnown` is kNoRows) a row of the streamed table beyond the
    // first `rowsKnown` closed ones or the table itself closes, or `tokens`
    // tokens were processed. False once the input is used up and every
    // element closed (the tree is then whole, but for the rows released).
    bool advance(std::size_t tables, std::size_t rowsKnown, unsigned tokens);
    static constexpr std::size_t kNoRows = static_cast<std::size_t>(-1);
    bool done() const { return m_done; }
    // The tables and style elements made so far, as HtmlTree's lists (whose
    // order is document order only while madeInOrder()).
    const std::vector<const Node*>& tables() const { return m_tree->m_tables; }
    const std::vector<const Node*>& styleElements() const { return m_tree->m_styleElements; }
    bool madeInOrder() const { return m_tree->m_madeInOrder; }
    // As HtmlTree's, for the tree made so far.
    std::size_t deepestTableNesting() const { return m_tree->deepestTableNesting(); }
    // How much of the text the tokenizer has read.
    std::size_t parsedBytes() const;
    // Sets what is called before a later <html> or <body> tag gives its
    // element attributes, which the rows' elements inherit from: a walk that
    // reads rows on another thread lets that thread finish first.
    void setBeforeSharedChange(std::function<void()> call);
    // How often a later <html> or <body> tag gave its element an attribute
    // it did not have.
    std::size_t attributeMerges() const;

    // Makes the rows of `table`, an open table, apart until it closes.
    void streamRowsOf(const Node* table);
    // The streamed table's rows closed and not yet released or kept, in order.
    std::size_t closedRowCount() const;
    const Node* closedRow(std::size_t index) const;
    bool hasClosedRow() const { return closedRowCount() != 0; }
    const Node* firstClosedRow() const { return closedRow(0); }
    // Decides now, as release() would, whether the closed row's memory can
    // be freed; release() keeps that answer. For a walk that reads rows while
    // later ones are parsed: the state of the parse when it took the row,
    // not when it is done with it, is what the row's memory depends on.
    void settleClosedRow(std::size_t index);
    // Whether a table's rows are being made apart.
    bool streaming() const;
    // Whether the streamed table has closed (then no rows are made apart).
    bool streamedTableClosed() const;
    // Frees or keeps the first closed row; see above.
    void release();
    void keep();
    // release() for the first `count` closed rows, taking their nodes out of
    // the tree at once.
    void releaseFirst(std::size_t count);
    // Once the walk is done with the first `tablesDone` tables: frees the
    // body's content that came with the streamed tables among them, their
    // frames with it, where nothing else points into it, so that a page of
    // many tables is not held whole. True when something was freed (then the
    // walk must forget what it knew of those nodes).
    bool releaseSegments(std::size_t tablesDone);

    // Ends the parse and gives back the text it parsed (line breaks normalised).
    SourceText takeSource();

private:
    std::unique_ptr<HtmlTree> m_tree;
    std::unique_ptr<TreeBuilder> m_builder;
    bool m_done = false;
};

// Parses UTF-8 text; any text gives a tree. The tree keeps the text, its line
// breaks normalised: a text or comment node's original_text points into it or
// into the arena, and is not NUL-terminated (its `text` is null).
std::unique_ptr<HtmlTree> buildHtmlTree(SourceText text);

// The local name of an element as the standard writes it: lower case, or the
// camel case of SVG element names.
std::string_view elementName(const Node* element);

}  // namespace tabrivo::detail
