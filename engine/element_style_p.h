#pragma once
// The rendering facts the cell text needs about each element: its display,
// the inherited white-space, visibility and text-transform it sets, and
// whether its contents are shown. They come from the HTML default rendering,
// the document's style sheets and the element's style attribute.

#include <engine/node_p.h>

#include <array>
#include <atomic>
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
// style slot points into; the others are cheaper to compute again. The list
// also holds, for each element met, the keys the style rules ask of
// ancestors that it and its ancestors carry, so that no element walks up its
// ancestors again to find them.
class StyleResolver {
public:
    explicit StyleResolver(const StyleRules& rules) : m_rules(rules) {}
    ElementStyle styleOf(const Node* element);
    // Drops what is remembered about elements, before their tree is freed.
    void forgetElements();
    // The same for the elements remembered after the first `count`.
    std::size_t rememberedCount() const { return m_remembered.size(); }
    void forgetElementsAfter(std::size_t count);
    // Says the tree may have grown since the last style was computed (the
    // parse went on): what matching learnt of siblings is learnt again. It
    // may be called on another thread than the one computing styles.
    void treeMayHaveChanged() { m_treeChanges.fetch_add(1, std::memory_order_relaxed); }

private:
    struct Remembered {
        const Node* element = nullptr;
        ElementStyle style;
        bool styled = false;  // false: only its ancestor keys are known yet
        // Its list of ancestor keys (its own and its ancestors') in
        // m_keyLinks, plus one; 0 for none.
        std::uint32_t ancestorKeys = 0;
    };
    // One ancestor key of a list that goes on at `next` (plus one; 0 ends
    // it). Lists share their ends: an element's list is its parent's with
    // its own keys before it, and elements with the same keys under lists
    // alike share the whole.
    struct KeyLink {
        AncestorKey key;
        std::uint32_t next;
        std::uint64_t mask;   // of this key and those after it (AncestorKeys::bit)
        std::uint32_t owner;  // the place in m_remembered of the element that added it
    };

    ElementStyle compute(const Node* element, bool& costly);
    // The ancestor keys of the element's ancestors, valid until the next call.
    AncestorKeys ancestorKeysOf(const Node* element);
    // The element's place in m_remembered, made (with those of its ancestors
    // met for the first time) when it has none.
    std::size_t entryOf(const Node* element);
    // The list `keys` with the element's own ancestor keys added.
    std::uint32_t withOwnKeys(const Node* element, std::uint32_t keys);
    SiblingMemory& siblingMemory();

    // Whether the document is in quirks mode, where a table starts white space afresh.
    bool inQuirksMode(const Node* element) const;

    const StyleRules& m_rules;
    mutable std::int8_t m_quirks = -1;  // unknown until the first table
    // What is remembered of the element, or null.
    const Remembered* rememberedEntry(const Node* element) const {
        const std::uint32_t slot = element->v.element.style_slot;
        // A slot left by an earlier piece of a large document points past the
        // list or at another element: the element checks that it is its own.
        return slot != 0 && slot <= m_remembered.size() && m_remembered[slot - 1].element == element
                   ? &m_remembered[slot - 1]
                   : nullptr;
    }
    // The style remembered for the element, or null.
    const ElementStyle* remembered(const Node* element) const {
        const Remembered* entry = rememberedEntry(element);
        return entry != nullptr && entry->styled ? &entry->style : nullptr;
    }

    std::vector<Remembered> m_remembered;
    std::vector<KeyLink> m_keyLinks;
    std::array<std::uint32_t, 256> m_recentLinks{};  // links made lately, by list and key
    std::vector<AncestorKey> m_keysFound;            // scratch for ancestorKeysOf
    std::vector<AncestorKey> m_ownKeys;              // scratch for withOwnKeys
    std::vector<const Node*> m_unknownAncestors;     // scratch for entryOf
    SiblingMemory m_siblings;
    std::atomic<std::uint64_t> m_treeChanges{0};
    std::uint64_t m_siblingsLearntAt = 0;  // the value of m_treeChanges then
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
