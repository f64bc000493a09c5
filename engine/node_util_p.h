#pragma once
// Small read-only helpers over the parser's tree, for the engine's own use.

#include <engine/node_p.h>

#include <engine/ascii.h>
#include <engine/node_names_p.h>

#include <string>
#include <string_view>

namespace tabrivo::detail {

inline bool isHtmlElement(const Node* node, ElementTag tag) {
    return node->type == kNodeElement && node->v.element.tag == tag &&
           node->v.element.tag_namespace == kNamespaceHtml;
}

inline const char* attributeValue(const Node* element, std::string_view name) {
    const Attribute* attr = findAttribute(element->v.element.attributes, name);
    return attr != nullptr ? attr->value : nullptr;
}

inline const PointerVector* childrenOf(const Node* node) {
    if (node->type == kNodeElement || node->type == kNodeTemplate) {
        return &node->v.element.children;
    }
    if (node->type == kNodeDocument) {
        return &node->v.document.children;
    }
    return nullptr;
}

// A text, white-space, CDATA or comment node's text. It is not NUL-terminated:
// the engine's tree points into the source (see buildHtmlTree).
inline std::string_view nodeText(const Node* node) {
    return {node->v.text.original_text.data, node->v.text.original_text.length};
}

inline const Node* childAt(const PointerVector& children, unsigned index) {
    return static_cast<const Node*>(children.data[index]);
}

// Whether `text` equals the lower-case `lowered`, ignoring ASCII case.
inline bool equalsNoCase(std::string_view text, std::string_view lowered) {
    return ascii::equalsLowered(text, lowered);
}

// The element's lower-case tag name, also for elements the parser does not know.
std::string tagName(const Node* element);

}  // namespace tabrivo::detail
