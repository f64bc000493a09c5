#pragma once
// One pass over a document's markup before gumbo parses it: what is left out
// of gumbo's parse, tags nested too deeply and attributes beyond a tag's
// allowed number. gumbo's scope checks walk the stack of open elements and
// it compares each attribute with all the earlier ones of its tag, so hostile
// nesting or a tag with a hundred thousand attributes would take it minutes;
// the engine's own parser limits nesting the same way by itself.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tabrivo::testing {

struct ScanOptions {
    std::size_t maxAttributes = static_cast<std::size_t>(-1);
};

// A stretch [begin, end) of the text to leave out, and what stands in its
// place so that the text around it cannot join into a new token (a "<"
// before a left-out tag must not meet the letters after it).
struct Removal {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string_view replacement;
};

struct MarkupScan {
    // What to leave out before parsing, in order: tags nested too deeply
    // (see NestingGuard), and attributes beyond the allowed number on a tag.
    std::vector<Removal> removals;
};

// Follows the tokenizer through the text once.
MarkupScan scanMarkup(std::string_view text, const ScanOptions& options);

// The text without the removals.
std::string withRemovals(const std::string& text, const std::vector<Removal>& removals);

}  // namespace tabrivo::testing
