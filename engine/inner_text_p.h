#pragma once
// The rendered text of a table cell, after the browser's innerText getter.

#include <engine/node_p.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <engine/element_style_p.h>
#include <engine/text_measure.h>

namespace tabrivo::detail {

struct TextSegment;

// A text within another that is not copied into it: a nested table's, or an
// option's label (which is made from the option's content when needed).
struct NestedText {
    std::size_t at;            // where it goes in the outer text
    const TextSegment* table;  // a nested table's text, or null
    const Node* option;        // else the option whose label goes there
    TextMeasure label;         // the label's measure
    const TextMeasure& measure() const;
};
using NestedTexts = std::vector<NestedText>;

// The text of a nested table, collected once and reused by the cells around
// it. The texts of the tables nested in it are referred to, not copied: each
// text is held once, so that deep nesting keeps the memory linear.
struct TextSegment {
    std::string text;        // its own text, without the nested texts
    NestedTexts nested;      // in the order of their places
    TextMeasure measure;     // of the whole text
    int leadingBreaks = 0;   // line breaks wanted before its first piece
    int trailingBreaks = 0;  // line breaks still wanted after its last piece

    bool empty() const { return text.empty() && nested.empty(); }
    // Appends the whole text, the nested texts included.
    void appendTo(std::string& out) const;
};

inline const TextMeasure& NestedText::measure() const {
    return table != nullptr ? table->measure : label;
}

// The measure of a text whose white space is stripped and collapsed as an
// option's label collapses it; one is joined to the next as the text goes on.
struct LabelMeasure {
    TextMeasure content;  // from its first character that is not white space to its last
    bool hasContent = false;
    bool spaceBefore = false;  // white space before that first character (any, without one)
    bool spaceAfter = false;   // white space after the last
    std::int32_t first = 0;    // the first and last characters of the content
    std::int32_t last = 0;

    void append(const LabelMeasure& next);
};

// What the cell texts know of the tables nested in cells, per line break
// written; keyed by the table element.
struct NestedTableTexts {
    std::unordered_map<const Node*, TextSegment> segments;  // their texts
    // Their text contents, measured (the text of a cell that is not rendered).
    std::unordered_map<const Node*, TextMeasure> contents;
    // The measures of their texts in an option's label.
    std::unordered_map<const Node*, LabelMeasure> labels;

    // Appends the whole text of a segment. The text of the last one that
    // held others is kept: in tables nested deep, the next cell read is
    // mostly that of a table nested in it, whose text is then copied from
    // there rather than gathered again a piece at a time.
    void appendWhole(const TextSegment& segment, std::string& out);

    void clear() {
        segments.clear();
        contents.clear();
        labels.clear();
        m_lastWhole = nullptr;
        m_lastWholeText.clear();
    }

private:
    const TextSegment* m_lastWhole = nullptr;
    std::string m_lastWholeText;
};

// What an element inherits from its ancestors.
struct Inherited {
    WhiteSpace whiteSpace = WhiteSpace::Normal;
    TextTransform textTransform = TextTransform::None;
    CaseLanguage language = CaseLanguage::Other;
    bool visible = true;
};

// What an element meets from its ancestors: whether one of them has no box or
// hides its contents, and what they pass down.
struct EntryContext {
    bool notRendered = false;
    bool contentHidden = false;
    Inherited inherited;
};
// What the children of elements meet, remembered by element. The parent
// remembered last is kept apart from the others: the cells of a row share it,
// and a row of a large document is forgotten once written, so most rows then
// come and go without a table entry. Nothing is lost by forgetting one: it is
// worked out again, from its nearest remembered ancestor, should it be met again.
class EntryContexts {
public:
    const EntryContext* find(const Node* parent) const {
        if (parent == m_lastParent) {
            return &m_lastContext;
        }
        const auto found = m_known.find(parent);
        return found != m_known.end() ? &found->second : nullptr;
    }
    // The one remembered last takes the place apart. The one there moves to
    // the table, unless the new one is its sibling (the next row of a group):
    // the walk has then left it, and only a table inside it could lead back,
    // once, through the table's ancestors, which are remembered.
    void remember(const Node* parent, const EntryContext& context) {
        if (m_lastParent != nullptr && parent->parent != m_lastParentsParent) {
            m_known.insert_or_assign(m_lastParent, m_lastContext);
        }
        m_lastParent = parent;
        m_lastParentsParent = parent->parent;
        m_lastContext = context;
    }
    // Forgets a parent about to be freed, or all of them.
    void erase(const Node* parent) {
        if (parent == m_lastParent) {
            m_lastParent = nullptr;
        }
        m_known.erase(parent);
    }
    void clear() {
        m_lastParent = nullptr;
        m_known.clear();
    }

private:
    const Node* m_lastParent = nullptr;
    // Kept, not read through m_lastParent: that row may have been freed since.
    const Node* m_lastParentsParent = nullptr;
    EntryContext m_lastContext;
    std::unordered_map<const Node*, EntryContext> m_known;
};

// Appends innerText of `element` to `text`, with `newline` for each line
// break. An element that is not rendered (display:none on it or above) gives
// its text content instead. `tables` keeps the nested tables' texts between
// calls on one document (for one `newline`).
void appendInnerText(const Node* element, StyleResolver& styles, EntryContexts& contexts,
                     NestedTableTexts& tables, std::string& text, std::string_view newline);

// The measure of what appendInnerText appends, in time linear in the
// element's own content: the texts of nested tables are measured once and
// kept in `tables`.
TextMeasure measureInnerText(const Node* element, StyleResolver& styles, EntryContexts& contexts,
                             NestedTableTexts& tables, std::string_view newline);

// Appends the text of every descendant text node (template contents excluded).
void appendTextContent(const Node* node, std::string& text, std::string_view newline);

}  // namespace tabrivo::detail
