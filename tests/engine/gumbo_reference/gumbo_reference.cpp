#include "gumbo_reference.h"

#include <gumbo.h>

#include <cstring>
#include <utility>
#include <vector>

#include <engine/html_document_p.h>

#include "gumbo_arena.h"
#include "gumbo_guard.h"

namespace tabrivo::testing {
namespace {

// The engine reads a text node's text from original_text, which in gumbo's
// tree is the source before character references were read.
void pointOriginalTextAtText(GumboNode* root) {
    std::vector<GumboNode*> pending{root};
    while (!pending.empty()) {
        GumboNode* node = pending.back();
        pending.pop_back();
        if (node->type == GUMBO_NODE_DOCUMENT || node->type == GUMBO_NODE_ELEMENT ||
            node->type == GUMBO_NODE_TEMPLATE) {
            const GumboVector& children = node->type == GUMBO_NODE_DOCUMENT
                                              ? node->v.document.children
                                              : node->v.element.children;
            for (unsigned i = 0; i < children.length; ++i) {
                pending.push_back(static_cast<GumboNode*>(children.data[i]));
            }
        } else {
            node->v.text.original_text = {node->v.text.text, std::strlen(node->v.text.text)};
        }
    }
}

// The text and gumbo's tree, which points into it, freed together.
class GumboTree final : public detail::OtherTree {
public:
    explicit GumboTree(std::string text) : m_text(std::move(text)) {
        GumboOptions options = kGumboDefaultOptions;
        options.allocator = &GumboArena::allocateFor;
        options.deallocator = &GumboArena::releaseFor;
        options.userdata = &m_arena;
        options.max_errors = 0;  // error records are never read; skipping them saves time
        m_output = detail::parseHtml(options, m_text.data(), m_text.size());
        pointOriginalTextAtText(m_output->document);
    }

    const GumboNode* document() const override { return m_output->document; }

private:
    std::string m_text;
    GumboArena m_arena;  // frees the tree
    GumboOutput* m_output = nullptr;
};

}  // namespace

std::unique_ptr<detail::OtherTree> parseWithGumbo(std::string text) {
    return std::make_unique<GumboTree>(std::move(text));
}

}  // namespace tabrivo::testing
