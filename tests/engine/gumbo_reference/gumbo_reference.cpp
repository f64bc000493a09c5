#include "gumbo_reference.h"

#include <gumbo.h>

#include <utility>

#include <engine/html_document_p.h>

#include "gumbo_arena.h"
#include "gumbo_guard.h"

namespace tabrivo::testing {
namespace {

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
