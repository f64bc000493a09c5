#include "gumbo_reference.h"

#include <gumbo.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <engine/html_document_p.h>
#include <engine/node_names_p.h>

#include "control_shield.h"
#include "gumbo_arena.h"
#include "gumbo_guard.h"
#include "markup_scan.h"

namespace tabrivo::testing {
namespace {

// gumbo's numbers for node kinds, namespaces and quirks modes, as the engine's.
detail::NodeType nodeTypeOf(GumboNodeType type) {
    switch (type) {
        case GUMBO_NODE_DOCUMENT:
            return detail::kNodeDocument;
        case GUMBO_NODE_ELEMENT:
            return detail::kNodeElement;
        case GUMBO_NODE_TEXT:
            return detail::kNodeText;
        case GUMBO_NODE_CDATA:
            return detail::kNodeCdata;
        case GUMBO_NODE_COMMENT:
            return detail::kNodeComment;
        case GUMBO_NODE_WHITESPACE:
            return detail::kNodeWhitespace;
        case GUMBO_NODE_TEMPLATE:
            return detail::kNodeTemplate;
    }
    return detail::kNodeComment;
}

detail::Namespace namespaceOf(GumboNamespaceEnum ns) {
    switch (ns) {
        case GUMBO_NAMESPACE_SVG:
            return detail::kNamespaceSvg;
        case GUMBO_NAMESPACE_MATHML:
            return detail::kNamespaceMathml;
        case GUMBO_NAMESPACE_HTML:
            break;
    }
    return detail::kNamespaceHtml;
}

detail::AttributeNamespace attributeNamespaceOf(GumboAttributeNamespaceEnum ns) {
    switch (ns) {
        case GUMBO_ATTR_NAMESPACE_XLINK:
            return detail::kAttributeNamespaceXlink;
        case GUMBO_ATTR_NAMESPACE_XML:
            return detail::kAttributeNamespaceXml;
        case GUMBO_ATTR_NAMESPACE_XMLNS:
            return detail::kAttributeNamespaceXmlns;
        case GUMBO_ATTR_NAMESPACE_NONE:
            break;
    }
    return detail::kAttributeNamespaceNone;
}

detail::QuirksMode quirksModeOf(GumboQuirksModeEnum mode) {
    switch (mode) {
        case GUMBO_DOCTYPE_QUIRKS:
            return detail::kQuirks;
        case GUMBO_DOCTYPE_LIMITED_QUIRKS:
            return detail::kLimitedQuirks;
        case GUMBO_DOCTYPE_NO_QUIRKS:
            break;
    }
    return detail::kNoQuirks;
}

// gumbo's tree in the engine's node layout, in an arena of the engine's. Names,
// values and texts stay in gumbo's memory, which the copy outlives never, but
// for those that held shielded control characters: they are copied back.
class TreeCopy {
public:
    TreeCopy(const GumboNode* document, bool shielded) : m_shielded(shielded) {
        using detail::Node;
        std::vector<std::pair<const GumboNode*, Node*>> pending;
        m_document = copyNode(document, nullptr);
        pending.emplace_back(document, m_document);
        while (!pending.empty()) {
            const auto [from, to] = pending.back();
            pending.pop_back();
            const GumboVector& children = from->type == GUMBO_NODE_DOCUMENT
                                              ? from->v.document.children
                                              : from->v.element.children;
            detail::PointerVector& copies = to->type == detail::kNodeDocument
                                                ? to->v.document.children
                                                : to->v.element.children;
            copies = pointers(children.length);
            for (unsigned i = 0; i < children.length; ++i) {
                const auto* child = static_cast<const GumboNode*>(children.data[i]);
                Node* copy = copyNode(child, to);
                copies.data[i] = copy;
                if (child->type == GUMBO_NODE_ELEMENT || child->type == GUMBO_NODE_TEMPLATE) {
                    pending.emplace_back(child, copy);
                }
            }
        }
    }

    const detail::Node* document() const { return m_document; }

private:
    detail::PointerVector pointers(unsigned length) {
        auto** data = static_cast<void**>(m_arena.allocate(sizeof(void*) * (length + 1)));
        return {data, length, length};
    }

    std::string_view unshielded(std::string_view text) {
        if (!m_shielded || text.find("\xF4\x8F") == std::string_view::npos) {
            return text;
        }
        std::string copy(text);
        unshieldControlCharacters(copy);
        return {m_arena.copy(copy), copy.size()};
    }

    detail::Node* copyNode(const GumboNode* from, detail::Node* parent) {
        auto* node = m_arena.make<detail::Node>();
        std::memset(static_cast<void*>(&node->v), 0, sizeof(node->v));
        node->type = nodeTypeOf(from->type);
        node->parent = parent;
        node->index_within_parent = static_cast<unsigned>(from->index_within_parent);
        switch (from->type) {
            case GUMBO_NODE_DOCUMENT: {
                const GumboDocument& document = from->v.document;
                node->v.document.has_doctype = document.has_doctype;
                node->v.document.name = document.name;
                node->v.document.public_identifier = document.public_identifier;
                node->v.document.system_identifier = document.system_identifier;
                node->v.document.doc_type_quirks_mode = quirksModeOf(document.doc_type_quirks_mode);
                break;
            }
            case GUMBO_NODE_ELEMENT:
            case GUMBO_NODE_TEMPLATE: {
                const GumboElement& element = from->v.element;
                detail::ElementData& copy = node->v.element;
                copy.tag = element.tag == GUMBO_TAG_UNKNOWN
                               ? detail::kTagUnknown
                               : detail::knownTag(gumbo_normalized_tagname(element.tag));
                copy.tag_namespace = namespaceOf(element.tag_namespace);
                copy.original_tag = {element.original_tag.data, element.original_tag.length};
                copy.start_pos.offset = element.start_pos.offset;
                copy.attributes = pointers(element.attributes.length);
                for (unsigned i = 0; i < element.attributes.length; ++i) {
                    const auto* attribute =
                        static_cast<const GumboAttribute*>(element.attributes.data[i]);
                    auto* attributeCopy = m_arena.make<detail::Attribute>();
                    attributeCopy->attr_namespace = attributeNamespaceOf(attribute->attr_namespace);
                    attributeCopy->name = attribute->name;
                    attributeCopy->name_length =
                        static_cast<unsigned>(std::strlen(attribute->name));
                    attributeCopy->value = unshielded(attribute->value).data();
                    copy.attributes.data[i] = attributeCopy;
                }
                break;
            }
            default: {
                const std::string_view text = unshielded(from->v.text.text);
                node->v.text.original_text = {text.data(), text.size()};
                break;
            }
        }
        return node;
    }

    bool m_shielded;
    detail::NodeArena m_arena;
    detail::Node* m_document = nullptr;
};

// With gumbo, a tag keeps its first attributes up to this number: gumbo
// compares each attribute with all the earlier ones of its tag, so a hostile
// tag with a hundred thousand of them would take it many minutes.
constexpr std::size_t kMaxAttributesPerTag = 256;

// The text and gumbo's tree, which points into it, freed together.
class GumboTree final : public detail::OtherTree {
public:
    explicit GumboTree(std::string text) : m_text(std::move(text)) {
        const bool shielded = shieldControlCharacters(m_text);
        const MarkupScan scan = scanMarkup(m_text, ScanOptions{kMaxAttributesPerTag});
        if (!scan.removals.empty()) {
            m_text = withRemovals(m_text, scan.removals);
        }
        GumboOptions options = kGumboDefaultOptions;
        options.allocator = &GumboArena::allocateFor;
        options.deallocator = &GumboArena::releaseFor;
        options.userdata = &m_arena;
        options.max_errors = 0;  // error records are never read; skipping them saves time
        m_output = detail::parseHtml(options, m_text.data(), m_text.size());
        m_copy = std::make_unique<TreeCopy>(m_output->document, shielded);
    }

    const detail::Node* document() const override { return m_copy->document(); }

private:
    std::string m_text;
    GumboArena m_arena;  // frees gumbo's tree
    GumboOutput* m_output = nullptr;
    std::unique_ptr<TreeCopy> m_copy;
};

}  // namespace

std::unique_ptr<detail::OtherTree> parseWithGumbo(std::string text) {
    return std::make_unique<GumboTree>(std::move(text));
}

}  // namespace tabrivo::testing
