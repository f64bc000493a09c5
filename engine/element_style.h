#pragma once
// The rendering facts the cell text needs about one element: its display, its
// white-space and visibility (when it sets them), from the HTML default
// rendering, the hidden attribute and the inline style attribute.

#include <gumbo.h>

#include <cstdint>
#include <string_view>

namespace tabrivo::detail {

enum class Display : std::uint8_t {
    None,
    Inline,
    Block,        // block-level: line breaks around it
    InlineBlock,  // atomic inline
    Table,
    TableRowGroup,
    TableRow,
    TableCell,
    TableCaption,
    Contents,
};

enum class WhiteSpace : std::uint8_t { Inherit, Normal, NoWrap, Pre, PreWrap, PreLine, BreakSpaces };
enum class Visibility : std::uint8_t { Inherit, Visible, Hidden };

struct ElementStyle {
    Display display = Display::Inline;
    WhiteSpace whiteSpace = WhiteSpace::Inherit;
    Visibility visibility = Visibility::Inherit;
    bool paragraph = false;         // <p>: two line breaks around it
    bool contentsRendered = true;   // false for replaced elements (img, input, ...)
    bool lineBreak = false;         // <br>
};

ElementStyle styleOf(const GumboNode* element);

inline bool isHtmlElement(const GumboNode* node, GumboTag tag) {
    return node->type == GUMBO_NODE_ELEMENT && node->v.element.tag == tag &&
           node->v.element.tag_namespace == GUMBO_NAMESPACE_HTML;
}

inline bool preservesNewlines(WhiteSpace ws) {
    return ws == WhiteSpace::Pre || ws == WhiteSpace::PreWrap || ws == WhiteSpace::PreLine ||
           ws == WhiteSpace::BreakSpaces;
}
inline bool preservesSpaces(WhiteSpace ws) {
    return ws == WhiteSpace::Pre || ws == WhiteSpace::PreWrap || ws == WhiteSpace::BreakSpaces;
}

}  // namespace tabrivo::detail
