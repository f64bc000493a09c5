#pragma once
// A parsed HTML document: the tables, rows and cells the conversion walks, and
// each cell's rendered text. The parser's tree is owned here and never leaves.

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <engine/source_text.h>
#include <engine/text_measure.h>

namespace tabrivo {

// An element of a parsed document. A table, row or cell is valid until the
// walk's `visit` that handed it out returns: a large document is parsed while
// it is walked, and its rows are freed once read.
class ElementRef {
public:
    ElementRef() = default;
    bool isNull() const { return m_node == nullptr; }
    bool operator==(const ElementRef&) const = default;

private:
    friend class HtmlDocument;
    friend struct std::hash<ElementRef>;
    explicit ElementRef(const void* node) : m_node(node) {}
    const void* m_node = nullptr;
};

}  // namespace tabrivo

template <>
struct std::hash<tabrivo::ElementRef> {
    std::size_t operator()(const tabrivo::ElementRef& element) const noexcept {
        return std::hash<const void*>()(element.m_node);
    }
};

namespace tabrivo {

// Where a row stands in its table.
enum class RowSection { kBody, kHead, kFoot };

// A cell's spans as the HTML standard reads its attributes (colspan 1 to 1000;
// rowspan 0 to 65534, 0 meaning to the end of the row group) and whether it is
// a th.
struct CellShape {
    unsigned colspan = 1;
    unsigned rowspan = 1;
    bool header = false;
};

namespace detail {
class OtherTree;
}

// How a document is parsed. From this size of text on, the document is parsed
// while its tables are walked, and the rows of its top-level tables are freed
// once read, so that the whole tree is never held at once.
struct ParseOptions {
    std::size_t parseWhileWalkingFrom = std::size_t{8} * 1024 * 1024;  // text bytes
    // From which row of a table on the rows of a document parsed while walked
    // may be read on a thread of their own while the next are parsed: when
    // the process may run on two processors, and the walk is not asked to
    // yield to an event loop meanwhile. The walk's visitor is then called on
    // that thread, one call at a time. Never, unless set.
    static constexpr std::size_t kNever = static_cast<std::size_t>(-1);
    std::size_t readRowsBehindFromRow = kNever;
    // The converter's: a small table is done before a second thread would have started.
    static constexpr std::size_t kReadRowsBehindFromRow = 2048;
    // Another parser in place of the engine's own, for tests that compare
    // the two; it may throw std::runtime_error for a text it cannot parse.
    std::unique_ptr<detail::OtherTree> (*otherParser)(std::string text) = nullptr;
};

// Thrown by HtmlDocument::forEachTable when a large document, parsed while
// its tables are walked, turns out to need its whole tree after some of its
// tables were handed out (a style sheet after them, a caption after its
// table's rows, a node put before an earlier one...). The document is parsed
// whole by then; the walk must start again from the first table.
class WalkRestart : public std::exception {
public:
    const char* what() const noexcept override {
        return "The document's tables must be walked again from the first";
    }
};

class HtmlDocument {
public:
    // Parses UTF-8 text with HTML5 tree construction; any input gives a tree.
    static std::unique_ptr<HtmlDocument> parse(SourceText utf8Text,
                                               const ParseOptions& options = {});
    // An empty document: no tables.
    HtmlDocument();
    ~HtmlDocument();
    HtmlDocument(const HtmlDocument&) = delete;
    HtmlDocument& operator=(const HtmlDocument&) = delete;

    // Calls `visit` for every table element in document order, nested tables
    // included, template contents and foreign (SVG, MathML) elements excluded,
    // until it returns false. A table and what is found in it stay valid until
    // `visit` returns. Returns false when `visit` stopped the walk. A large
    // document is parsed meanwhile; `whileParsing`, when given, is called
    // every few thousand tokens.
    bool forEachTable(const std::function<bool(ElementRef)>& visit,
                      const std::function<void()>& whileParsing = {}) const;
    // Calls `visit` for a table's rows in the order the DOM's table.rows gives:
    // the rows of every thead, then tbody rows and direct tr children in
    // order, then tfoot rows. A row stays valid until `visit` returns.
    bool forEachRow(ElementRef table, const std::function<bool(ElementRef)>& visit) const;
    // A row's td and th children, in order.
    std::vector<ElementRef> cells(ElementRef row) const;
    // The same into `into`, whose room serves again row after row.
    void cells(ElementRef row, std::vector<ElementRef>& into) const;
    // The cell's spans and kind, into `shape`. (Filled in place: returned, the
    // struct is written a field at a time and read back whole, which stalls.)
    void cellShape(ElementRef cell, CellShape& shape) const;
    // The row's group (its thead, tbody or tfoot; the table for a tr directly
    // in it) and the section that group is.
    ElementRef rowGroup(ElementRef row) const;
    RowSection rowSection(ElementRef row) const;
    // The table's first caption child, or a null reference; its text is
    // read with appendCellText.
    ElementRef caption(ElementRef table) const;
    // The element's attributes as (name, value) pairs, in source order.
    std::vector<std::pair<std::string, std::string>> attributes(ElementRef element) const;
    // The cell's rendered text as the browser's innerText gives it (line
    // breaks as "\n"); a cell that is not rendered gives its text content.
    std::string cellText(ElementRef cell) const;
    // Appends the cell's text to `text` with `newline` for each line break.
    void appendCellText(ElementRef cell, std::string& text, std::string_view newline) const;
    // The measure of the text appendCellText appends, without making it: in
    // time linear in the cell's own content, however many tables nest in it.
    TextMeasure measureCellText(ElementRef cell, std::string_view newline) const;
    // Whether tables nest `depth` deep below `element` (not counting itself):
    // one table in another for a depth of 2.
    bool tablesNestIn(ElementRef element, std::size_t depth) const;
    // Calls `visit` for every table element below `element` (not itself), in
    // document order, template contents and foreign elements excluded, until
    // it returns false. Returns false when `visit` stopped.
    bool forEachTableIn(ElementRef element, const std::function<bool(ElementRef)>& visit) const;
    // Whether the document is parsed while its tables are walked, its rows
    // freed once read (until the walk has to start again on a whole tree).
    bool isParsedWhileWalked() const;
    // Throws when the file the text was mapped from changed while it was read
    // (see SourceFileCheck): to be called once the tables are read, before
    // what was read is kept.
    void throwIfSourceFileChanged() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace tabrivo
