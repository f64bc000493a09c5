#pragma once
// The rendered text of a table cell, after the browser's innerText getter.

#include <engine/node_p.h>

#include <string>
#include <string_view>
#include <unordered_map>

#include <engine/element_style_p.h>

namespace tabrivo::detail {

// The text of a nested table, collected once and reused by the cells around it.
struct TextSegment {
    std::string text;
    int leadingBreaks = 0;   // line breaks wanted before its first piece
    int trailingBreaks = 0;  // line breaks still wanted after its last piece
};
using TextSegmentCache = std::unordered_map<const Node*, TextSegment>;

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
using EntryContexts = std::unordered_map<const Node*, EntryContext>;

// Appends innerText of `element` to `text`, with `newline` for each line
// break. An element that is not rendered (display:none on it or above) gives
// its text content instead. `tables` keeps the nested tables' texts between
// calls on one document (for one `newline`).
void appendInnerText(const Node* element, StyleResolver& styles, EntryContexts& contexts,
                     TextSegmentCache& tables, std::string& text, std::string_view newline);

// Appends the text of every descendant text node (template contents excluded).
void appendTextContent(const Node* node, std::string& text, std::string_view newline);

}  // namespace tabrivo::detail
