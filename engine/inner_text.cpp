#include "inner_text.h"

#include <vector>

#include "element_style.h"

namespace tabrivo::detail {
namespace {

bool isCollapsible(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Builds the text the way line layout would show it: collapsible white space
// folds into one space that only appears between two pieces of content on the
// same line, and block boundaries become line breaks (leading and trailing
// ones dropped, adjacent ones merged by taking the largest count).
class TextBuilder {
public:
    void text(std::string_view run, WhiteSpace ws) {
        const bool keepSpaces = preservesSpaces(ws);
        const bool keepNewlines = preservesNewlines(ws);
        for (const char c : run) {
            if (c == '\n' && keepNewlines) {
                forcedBreak();
            } else if (isCollapsible(c) && !keepSpaces) {
                if (!m_atLineStart) {
                    m_pendingSpace = true;
                }
            } else {
                beginContent();
                m_out.push_back(c);
            }
        }
    }

    // A piece that is always kept: "\n" for <br>, TAB between cells, "\n" between rows.
    void literal(char c) {
        m_pendingSpace = false;
        flushBreaks();
        m_out.push_back(c);
        m_atLineStart = true;
    }

    void requireBreaks(int count) {
        m_pendingSpace = false;
        m_atLineStart = true;
        if (count > m_pendingBreaks) {
            m_pendingBreaks = count;
        }
    }

    // The edge of a box that starts or ends lines of its own (a table cell or row).
    void boxEdge() {
        m_pendingSpace = false;
        m_atLineStart = true;
    }

    std::string take() { return std::move(m_out); }

private:
    void forcedBreak() {
        m_pendingSpace = false;
        flushBreaks();
        m_out.push_back('\n');
        m_atLineStart = true;
    }

    void flushBreaks() {
        if (m_pendingBreaks > 0) {
            if (!m_out.empty()) {
                m_out.append(static_cast<std::size_t>(m_pendingBreaks), '\n');
            }
            m_pendingBreaks = 0;
        }
    }

    void beginContent() {
        if (m_pendingBreaks > 0) {
            flushBreaks();
        } else if (m_pendingSpace) {
            m_out.push_back(' ');
        }
        m_pendingSpace = false;
        m_atLineStart = false;
    }

    std::string m_out;
    int m_pendingBreaks = 0;
    bool m_pendingSpace = false;
    bool m_atLineStart = true;
};

bool isCellElement(const GumboNode* node) {
    return isHtmlElement(node, GUMBO_TAG_TD) || isHtmlElement(node, GUMBO_TAG_TH);
}

bool isDisplayed(const GumboNode* node) { return styleOf(node).display != Display::None; }

// Children of a closed <details> other than its first <summary> are not rendered.
bool hiddenByClosedDetails(const GumboNode* child) {
    const GumboNode* parent = child->parent;
    if (parent == nullptr || !isHtmlElement(parent, GUMBO_TAG_DETAILS) ||
        gumbo_get_attribute(&parent->v.element.attributes, "open") != nullptr) {
        return false;
    }
    if (!isHtmlElement(child, GUMBO_TAG_SUMMARY)) {
        return true;
    }
    const GumboVector& siblings = parent->v.element.children;
    for (unsigned i = 0; i < siblings.length; ++i) {
        const auto* sibling = static_cast<const GumboNode*>(siblings.data[i]);
        if (isHtmlElement(sibling, GUMBO_TAG_SUMMARY)) {
            return sibling != child;
        }
    }
    return false;
}

const GumboVector* childrenOf(const GumboNode* node) {
    if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) {
        return &node->v.element.children;
    }
    if (node->type == GUMBO_NODE_DOCUMENT) {
        return &node->v.document.children;
    }
    return nullptr;
}

bool hasRenderedCellAfter(const GumboNode* cell) {
    const GumboNode* row = cell->parent;
    if (row == nullptr || row->type != GUMBO_NODE_ELEMENT) {
        return false;
    }
    const GumboVector& siblings = row->v.element.children;
    for (unsigned i = static_cast<unsigned>(cell->index_within_parent) + 1; i < siblings.length;
         ++i) {
        const auto* sibling = static_cast<const GumboNode*>(siblings.data[i]);
        if (isCellElement(sibling) && isDisplayed(sibling)) {
            return true;
        }
    }
    return false;
}

bool groupHasRenderedRow(const GumboNode* group) {
    const GumboVector& children = group->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(children.data[i]);
        if (isHtmlElement(child, GUMBO_TAG_TR) && isDisplayed(child)) {
            return true;
        }
    }
    return false;
}

bool isRowGroup(const GumboNode* node) {
    return isHtmlElement(node, GUMBO_TAG_THEAD) || isHtmlElement(node, GUMBO_TAG_TBODY) ||
           isHtmlElement(node, GUMBO_TAG_TFOOT);
}

// Whether a rendered row follows this one in its table.
bool hasRenderedRowAfter(const GumboNode* row) {
    const GumboNode* parent = row->parent;
    if (parent == nullptr || parent->type != GUMBO_NODE_ELEMENT) {
        return false;
    }
    const GumboVector& siblings = parent->v.element.children;
    for (unsigned i = static_cast<unsigned>(row->index_within_parent) + 1; i < siblings.length;
         ++i) {
        const auto* sibling = static_cast<const GumboNode*>(siblings.data[i]);
        if (isHtmlElement(sibling, GUMBO_TAG_TR) && isDisplayed(sibling)) {
            return true;
        }
        if (isRowGroup(sibling) && isDisplayed(sibling) && groupHasRenderedRow(sibling)) {
            return true;
        }
    }
    if (isRowGroup(parent) && parent->parent != nullptr &&
        isHtmlElement(parent->parent, GUMBO_TAG_TABLE)) {
        return hasRenderedRowAfter(parent);  // one level only: a group's parent is the table
    }
    return false;
}

struct Inherited {
    WhiteSpace whiteSpace = WhiteSpace::Normal;
    bool visible = true;
};

// Whether the element has a box, and the white-space and visibility it inherits.
bool renderedWithInheritance(const GumboNode* element, Inherited& inherited) {
    bool rendered = true;
    bool whiteSpaceKnown = false;
    bool visibilityKnown = false;
    for (const GumboNode* node = element; node != nullptr && node->type == GUMBO_NODE_ELEMENT;
         node = node->parent) {
        const ElementStyle style = styleOf(node);
        if (style.display == Display::None || hiddenByClosedDetails(node) ||
            (node != element && !style.contentsRendered)) {
            rendered = false;
        }
        if (!whiteSpaceKnown && style.whiteSpace != WhiteSpace::Inherit) {
            inherited.whiteSpace = style.whiteSpace;
            whiteSpaceKnown = true;
        }
        if (!visibilityKnown && style.visibility != Visibility::Inherit) {
            inherited.visible = style.visibility == Visibility::Visible;
            visibilityKnown = true;
        }
    }
    return rendered;
}

struct Frame {
    const GumboNode* node;
    unsigned nextChild;
    ElementStyle style;
    Inherited inherited;
};

void openElement(TextBuilder& out, const ElementStyle& style, bool visible) {
    if (!visible) {
        return;
    }
    switch (style.display) {
        case Display::Block:
        case Display::Table:
        case Display::TableCaption:
            out.requireBreaks(style.paragraph ? 2 : 1);
            break;
        case Display::TableCell:
        case Display::TableRow:
            out.boxEdge();
            break;
        default:
            break;
    }
    if (style.lineBreak) {
        out.literal('\n');
    }
}

void closeElement(TextBuilder& out, const Frame& frame) {
    if (!frame.inherited.visible) {
        return;
    }
    switch (frame.style.display) {
        case Display::Block:
        case Display::Table:
        case Display::TableCaption:
            out.requireBreaks(frame.style.paragraph ? 2 : 1);
            break;
        case Display::TableCell:
            out.boxEdge();
            if (isCellElement(frame.node) && hasRenderedCellAfter(frame.node)) {
                out.literal('\t');
            }
            break;
        case Display::TableRow:
            out.boxEdge();
            if (isHtmlElement(frame.node, GUMBO_TAG_TR) && hasRenderedRowAfter(frame.node)) {
                out.literal('\n');
            }
            break;
        default:
            break;
    }
}

}  // namespace

std::string textContent(const GumboNode* root) {
    std::string out;
    std::vector<std::pair<const GumboNode*, unsigned>> stack;
    stack.emplace_back(root, 0);
    while (!stack.empty()) {
        auto& [node, next] = stack.back();
        const GumboVector* children = node->type == GUMBO_NODE_TEMPLATE ? nullptr : childrenOf(node);
        if (children == nullptr || next >= children->length) {
            stack.pop_back();
            continue;
        }
        const auto* child = static_cast<const GumboNode*>(children->data[next++]);
        switch (child->type) {
            case GUMBO_NODE_TEXT:
            case GUMBO_NODE_WHITESPACE:
            case GUMBO_NODE_CDATA:
                out.append(child->v.text.text);
                break;
            case GUMBO_NODE_ELEMENT:
                stack.emplace_back(child, 0);
                break;
            default:
                break;
        }
    }
    return out;
}

std::string innerText(const GumboNode* element) {
    Inherited inherited;
    if (!renderedWithInheritance(element, inherited)) {
        return textContent(element);
    }
    TextBuilder out;
    std::vector<Frame> stack;
    ElementStyle rootStyle = styleOf(element);
    // The element's own box edges do not add line breaks to its own text.
    rootStyle.display = Display::Contents;
    rootStyle.lineBreak = false;
    stack.push_back({element, 0, rootStyle, inherited});
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const GumboVector* children = frame.style.contentsRendered ? childrenOf(frame.node) : nullptr;
        if (children == nullptr || frame.nextChild >= children->length) {
            closeElement(out, frame);
            stack.pop_back();
            continue;
        }
        const auto* child = static_cast<const GumboNode*>(children->data[frame.nextChild++]);
        switch (child->type) {
            case GUMBO_NODE_TEXT:
            case GUMBO_NODE_WHITESPACE:
            case GUMBO_NODE_CDATA:
                if (frame.inherited.visible) {
                    out.text(child->v.text.text, frame.inherited.whiteSpace);
                }
                break;
            case GUMBO_NODE_ELEMENT: {
                const ElementStyle style = styleOf(child);
                if (style.display == Display::None || hiddenByClosedDetails(child)) {
                    break;
                }
                Inherited childInherited = frame.inherited;
                if (style.whiteSpace != WhiteSpace::Inherit) {
                    childInherited.whiteSpace = style.whiteSpace;
                }
                if (style.visibility != Visibility::Inherit) {
                    childInherited.visible = style.visibility == Visibility::Visible;
                }
                openElement(out, style, childInherited.visible);
                stack.push_back({child, 0, style, childInherited});
                break;
            }
            default:
                break;  // comments, and template contents (never rendered)
        }
    }
    return out.take();
}

}  // namespace tabrivo::detail
