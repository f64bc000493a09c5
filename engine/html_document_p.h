#pragma once
// What the document and its table walk share: the parsed tree, the runs of
// rows parsed a piece at a time, and the tables in document order.

#include <engine/node_p.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <engine/css_rules_p.h>
#include <engine/element_style_p.h>
#include <engine/gumbo_util_p.h>
#include <engine/html_document.h>
#include <engine/inner_text_p.h>
#include <engine/markup_scan_p.h>
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
        const GumboVector& children = current->type == GUMBO_NODE_DOCUMENT
                                          ? current->v.document.children
                                          : current->v.element.children;
        if (next >= children.length) {
            stack.pop_back();
            continue;
        }
        const auto* child = static_cast<const Node*>(children.data[next++]);
        if (child->type != GUMBO_NODE_ELEMENT) {
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
    ParsedText(std::string text, const ParseOptions& options) {
        if (options.otherParser != nullptr) {
            m_other = options.otherParser(std::move(text));
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
const Node* firstChildElement(const Node* parent, GumboTag tag);

constexpr std::size_t kNoRun = static_cast<std::size_t>(-1);

// A run of top-level rows parsed apart, and the empty row that holds its
// place in the rest of the document.
struct Run {
    RowRun rows;
    const Node* placeholder = nullptr;
};

// The run's rows as pieces of about the asked size.
std::vector<std::pair<std::size_t, std::size_t>> piecesOf(const RowRun& rows);

// A table of the document, or the tables inside a run's rows.
struct TableEntry {
    const Node* table = nullptr;
    std::size_t run = kNoRun;
};

}  // namespace detail

struct HtmlDocument::Impl {
    std::string source;  // the whole text, kept while pieces are parsed from it
    std::unique_ptr<detail::ParsedText> tree;
    std::vector<detail::Run> runs;
    std::unordered_map<const detail::Node*, std::size_t> runOfPlaceholder;
    std::vector<detail::TableEntry> tables;
    std::string piecePrefix;  // gives the pieces the document's quirks mode
    detail::StyleRules styleRules;
    detail::StyleResolver styles{styleRules};
    bool controlsShielded = false;
    ParseOptions options;
    // Nested tables' texts, per line break written.
    detail::TextSegmentCache tablesWithLf;
    detail::TextSegmentCache tablesWithCrLf;
    detail::EntryContexts contexts;

    void parseWhole();
    bool parsePiecewise(std::optional<std::vector<detail::RowRun>> found);
    void forgetPieceElements();
    // Parses the given stretches of a run's rows in turn; `visit` gets each
    // one's rows (moved under the placeholder's parent) and the table holding them.
    template <typename Visit>
    bool forEachPiece(const detail::Run& run,
                      const std::vector<std::pair<std::size_t, std::size_t>>& pieces,
                      Visit&& visit);
};

template <typename Visit>
bool HtmlDocument::Impl::forEachPiece(
    const detail::Run& run, const std::vector<std::pair<std::size_t, std::size_t>>& pieces,
    Visit&& visit) {
    auto* section = const_cast<detail::Node*>(run.placeholder->parent);
    std::vector<const detail::Node*> rows;
    for (const auto& [begin, end] : pieces) {
        // The rows parse inside a table and row group like their own.
        std::string text = piecePrefix;
        text.append("<table><").append(run.rows.section).append(">");
        text.append(source, begin, end - begin);
        const detail::ParsedText piece(std::move(text), options);
        const detail::Node* html = detail::firstChildElement(piece.document(), GUMBO_TAG_HTML);
        const detail::Node* body =
            html != nullptr ? detail::firstChildElement(html, GUMBO_TAG_BODY) : nullptr;
        const detail::Node* table =
            body != nullptr ? detail::firstChildElement(body, GUMBO_TAG_TABLE) : nullptr;
        if (table == nullptr) {
            throw std::logic_error("A piece of the document's rows did not parse as rows");
        }
        rows.clear();
        const GumboVector& groups = table->v.element.children;
        for (unsigned g = 0; g < groups.length; ++g) {
            const detail::Node* group = detail::childAt(groups, g);
            const bool isGroup = detail::isHtmlElement(group, GUMBO_TAG_TBODY) ||
                                 detail::isHtmlElement(group, GUMBO_TAG_THEAD) ||
                                 detail::isHtmlElement(group, GUMBO_TAG_TFOOT);
            const GumboVector* groupRows = isGroup ? &group->v.element.children : nullptr;
            for (unsigned r = 0; groupRows != nullptr && r < groupRows->length; ++r) {
                const detail::Node* row = detail::childAt(*groupRows, r);
                if (detail::isHtmlElement(row, GUMBO_TAG_TR)) {
                    // Under the real section, the rows meet their real ancestors.
                    const_cast<detail::Node*>(row)->parent = section;
                    rows.push_back(row);
                }
            }
        }
        const bool goOn = visit(rows, table);
        forgetPieceElements();
        if (!goOn) {
            return false;
        }
    }
    return true;
}

}  // namespace tabrivo
