#pragma once
// What the document and its table walk share: the parsed tree, the runs of
// rows parsed a piece at a time, and the tables in document order.

#include <engine/node_p.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <engine/background_rows_p.h>
#include <engine/css_rules_p.h>
#include <engine/element_style_p.h>
#include <engine/html_document.h>
#include <engine/inner_text_p.h>
#include <engine/node_util_p.h>
#include <engine/tree_builder_p.h>

namespace tabrivo {
namespace detail {

// Calls `visit` for every element below `root` in document order, template
// contents excluded (their tables are not part of the document).
template <typename Visit>
void walkElements(const Node* root, Visit&& visit) {
    std::vector<std::pair<const Node*, unsigned>> stack;
    stack.emplace_back(root, 0);
    while (!stack.empty()) {
        auto& [current, next] = stack.back();
        const PointerVector& children = current->type == kNodeDocument
                                            ? current->v.document.children
                                            : current->v.element.children;
        if (next >= children.length) {
            stack.pop_back();
            continue;
        }
        const auto* child = static_cast<const Node*>(children.data[next++]);
        if (child->type != kNodeElement) {
            continue;
        }
        visit(child);
        if (child->v.element.children.length > 0) {
            stack.emplace_back(child, 0);
        }
    }
}

// A tree of the engine's node layout made by another parser (see
// ParseOptions::otherParser), with whatever keeps it alive.
class OtherTree {
public:
    OtherTree() = default;
    OtherTree(const OtherTree&) = delete;
    OtherTree& operator=(const OtherTree&) = delete;
    virtual ~OtherTree() = default;
    virtual const Node* document() const = 0;
};

// The tree parsed from a text, by the engine's parser or the other one.
class ParsedText {
public:
    ParsedText(SourceText text, const ParseOptions& options) {
        if (options.otherParser != nullptr) {
            m_other = options.otherParser(std::move(text).toString());
        } else {
            m_tree = buildHtmlTree(std::move(text));
        }
    }

    const Node* document() const {
        return m_tree != nullptr ? m_tree->document() : m_other->document();
    }
    // The engine's own tree, or null for another parser's.
    const HtmlTree* ownTree() const { return m_tree.get(); }

private:
    std::unique_ptr<HtmlTree> m_tree;
    std::unique_ptr<OtherTree> m_other;
};

// The first child element of `parent` with the tag, or null.
const Node* firstChildElement(const Node* parent, ElementTag tag);

}  // namespace detail

struct HtmlDocument::Impl {
    SourceText source;  // the whole text, until it is parsed
    SourceFileCheck sourceFileCheck;
    std::unique_ptr<detail::ParsedText> tree;
    // A large document parsed while it is walked, and what the walk has taken from it.
    std::unique_ptr<detail::IncrementalParse> live;
    std::size_t liveStyleElements = 0;  // whose rules were added
    std::size_t liveAttributeMerges = 0;
    bool liveHandedOut = false;               // a table was handed to the walk
    bool liveStylesKnown = false;             // every style sheet's rules are in, from a first pass
    const detail::Node* liveTable = nullptr;  // the table whose rows are made apart
    const detail::Node* liveCaption = nullptr;
    const std::function<void()>* whileParsing = nullptr;  // during forEachTable
    std::vector<const detail::Node*> tables;  // in document order, once the tree is whole
    detail::StyleRules styleRules;
    detail::StyleResolver styles{styleRules};
    ParseOptions options;
    // Nested tables' texts, per line break written.
    detail::NestedTableTexts tablesWithLf;
    detail::NestedTableTexts tablesWithCrLf;
    detail::EntryContexts contexts;
    detail::ReadingChoice readingChoice;  // for all the document's tables
    // The thread that reads rows while the next are parsed, once one was needed.
    // Last: it is stopped before what its visits use goes.
    std::unique_ptr<detail::BackgroundRowVisits> rowVisits;

    void parseWhole();
    // The walk while the document is parsed; nothing when the whole tree's
    // walk must take over before anything was handed out.
    std::optional<bool> forEachLiveTable(const std::function<bool(ElementRef)>& visit);
    bool forEachLiveRow(const detail::Node* table, const std::function<bool(ElementRef)>& visit);
    // The rest of the table's rows, read on another thread (or here, where
    // that is faster) while the next are parsed.
    bool forEachLiveRowBehind(const detail::Node* table,
                              const std::function<bool(ElementRef)>& visit, bool bodyRowsHandedOut);
    // The foot's rows, at the end of the streamed table's.
    bool visitLiveFootRows(const detail::Node* table, const std::function<bool(ElementRef)>& visit);
    // Whether a second thread would read rows beside the parse (asked once).
    bool rowsReadBehindHelp();
    std::optional<bool> spareProcessor;
    // Whether checkLiveWalk() would let the walk go on.
    bool liveWalkStaysValid() const;
    void addLiveStyleElements();
    // The live parse's next tokens (see IncrementalParse::advance); false
    // once it is whole.
    bool advanceLive(std::size_t tablesMade, std::size_t rowsKnown);
    // Parses until a row of the streamed table closes; false when the table
    // closed (or the input ended) first.
    bool awaitLiveRow();
    // Before something is handed out: checks the walk so far, and takes in
    // the style sheets found. False when the whole tree's walk takes over.
    bool readyToHandOut();
    // Throws WalkRestart, after parsing the whole document, when what was
    // handed out may no longer be what the whole tree gives.
    void checkLiveWalk();
    [[noreturn]] void restartWhole();
    // For a style sheet found after tables were handed out: reads on to
    // find every style sheet, then starts the walk again on a new parse.
    [[noreturn]] void restartWithEveryStyleSheet();
    void parseWholeInstead();
    // Drops what the cell text remembers about elements, before they are freed.
    void forgetElements();
    // At least the depth any table nests to in the tree made so far.
    std::size_t deepestTableNesting() const;
    // What the cell texts know of nested tables, for the line break.
    detail::NestedTableTexts& nestedTablesFor(std::string_view newline);
};

}  // namespace tabrivo
