#pragma once
// The rendering facts the cell text needs about each element: its display,
// the inherited white-space, visibility and text-transform it sets, and
// whether its contents are shown. They come from the HTML default rendering,
// the document's style sheets and the element's style attribute.

#include <engine/node_p.h>

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include <engine/css_rules_p.h>
#include <engine/node_util_p.h>

namespace tabrivo::detail {

enum class Display : std::uint8_t {
    None,
    Inline,
    Block,        // block-level: line breaks around it
    InlineBlock,  // atomic inline box
    Table,
    TableRowGroup,
    TableRow,
    TableCell,
    TableCaption,
    TableColumn,  // a block-level box whose contents are not shown
    Contents,
};

enum class WhiteSpace : std::uint8_t {
    Inherit,
    Normal,
    NoWrap,
    Pre,
    PreWrap,
    PreLine,
    BreakSpaces
};
enum class Visibility : std::uint8_t { Inherit, Visible, Hidden };
enum class TextTransform : std::uint8_t {
    Inherit,
    None,
    Uppercase,
    Lowercase,
    Capitalize,
    MathAuto  // a single letter in italic
};
// The languages whose case mapping differs from the default one.
enum class CaseLanguage : std::uint8_t { Inherit, Other, Turkic, Lithuanian, Greek };

struct ElementStyle {
    Display display = Display::Inline;
    WhiteSpace whiteSpace = WhiteSpace::Inherit;
    Visibility visibility = Visibility::Inherit;
    TextTransform textTransform = TextTransform::Inherit;
    CaseLanguage language = CaseLanguage::Inherit;  // from the lang attribute
    bool paragraph = false;           // <p>: two line breaks around it, whatever its display
    bool lineBreak = false;           // <br>
    bool outOfFlow = false;           // a float or an absolutely positioned box
    bool positioned = false;          // absolutely positioned
    bool quoted = false;              // <q>: quote marks before and after its text
    bool replaced = false;            // img, input, textarea...: a box with no text of its own
    bool contentHidden = false;       // content-visibility:hidden, hidden=until-found
    bool blockifiesChildren = false;  // flex and grid containers
    bool inlinifiesChildren = false;  // ruby containers
    bool displayInherits = false;     // display:inherit, until the parent's value is known
    bool inlineListItem = false;      // display:inline list-item: a marker begins its line
    bool inlineTable = false;         // an inline-level table
};

// Computes the style of the elements of one document. Styles that take CSS
// matching or a style attribute are remembered, in a list the element's
// style slot points into; the others are cheaper to compute again.
class StyleResolver {
public:
    explicit StyleResolver(const StyleRules& rules) : m_rules(rules) {}
    ElementStyle styleOf(const Node* element);
    // Drops what is remembered about elements, before their tree is freed.
    void forgetElements() { m_remembered.clear(); }
    // The same for the elements remembered after the first `count`.
    std::size_t rememberedCount() const { return m_remembered.size(); }
    void forgetElementsAfter(std::size_t count) { m_remembered.resize(count); }

private:
    ElementStyle compute(const Node* element, bool& costly) const;

    // Whether the document is in quirks mode, where a table starts white space afresh.
    bool inQuirksMode(const Node* element) const;

    const StyleRules& m_rules;
    mutable std::int8_t m_quirks = -1;  // unknown until the first table
    // The style remembered for the element, or null.
    const ElementStyle* remembered(const Node* element) const {
        const std::uint32_t slot = element->v.element.style_slot;
        // A slot left by an earlier piece of a large document points past the
        // list or at another element: the element checks that it is its own.
        return slot != 0 && slot <= m_remembered.size() && m_remembered[slot - 1].first == element
                   ? &m_remembered[slot - 1].second
                   : nullptr;
    }

    std::vector<std::pair<const Node*, ElementStyle>> m_remembered;
    // Without style rules, an HTML element without attributes mostly has its
    // tag's style: the first such element of a tag computes it for the others.
    std::array<std::optional<ElementStyle>, kTagUnknown> m_styleOfTag;
};

inline bool preservesNewlines(WhiteSpace ws) {
    return ws == WhiteSpace::Pre || ws == WhiteSpace::PreWrap || ws == WhiteSpace::PreLine ||
           ws == WhiteSpace::BreakSpaces;
}
inline bool preservesSpaces(WhiteSpace ws) {
    return ws == WhiteSpace::Pre || ws == WhiteSpace::PreWrap || ws == WhiteSpace::BreakSpaces;
}

}  // namespace tabrivo::detail
