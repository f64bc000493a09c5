#include "html_document.h"

#include <gumbo.h>

#include "css_rules.h"
#include "element_style.h"
#include "gumbo_arena.h"
#include "gumbo_util.h"
#include "inner_text.h"
#include "utf8.h"

namespace tabrivo {

using detail::isHtmlElement;

struct HtmlDocument::Impl {
    std::string source;  // the parser's tree points into it
    GumboArena arena;
    GumboOutput* output = nullptr;  // freed with the arena
    detail::StyleRules styleRules;
    detail::StyleResolver styles{styleRules};
    bool controlsShielded = false;
    // Nested tables' texts, per line break written.
    detail::TextSegmentCache tablesWithLf;
    detail::TextSegmentCache tablesWithCrLf;
    detail::EntryContexts contexts;
};

namespace {

// Whether the text has a "<table" start tag. The parser creates table
// elements from such tags only, so a text without one has no table and needs
// no parse at all.
bool mayHoldTable(std::string_view text) {
    static constexpr std::string_view kName = "table";
    for (std::size_t open = text.find('<'); open != std::string_view::npos;
         open = text.find('<', open + 1)) {
        if (text.size() - open <= kName.size()) {
            return false;
        }
        bool named = true;
        for (std::size_t i = 0; i < kName.size() && named; ++i) {
            const char c = text[open + 1 + i];
            named = (c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c) == kName[i];
        }
        if (!named) {
            continue;
        }
        const std::size_t after = open + 1 + kName.size();
        if (after == text.size()) {
            return true;
        }
        const char next = text[after];
        if (next == ' ' || next == '\t' || next == '\n' || next == '\f' || next == '\r' ||
            next == '/' || next == '>') {
            return true;
        }
    }
    return false;
}

// Adds the rules of a <style> element whose media fits a screen.
void addStyleElement(const GumboNode* style, detail::StyleRules& rules) {
    if (const char* media = detail::attributeValue(style, "media"); media != nullptr) {
        const std::string_view value(media);
        if (value.find("print") != std::string_view::npos &&
            value.find("screen") == std::string_view::npos &&
            value.find("all") == std::string_view::npos) {
            return;
        }
    }
    const GumboVector& children = style->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        const GumboNode* text = detail::childAt(children, i);
        if (text->type == GUMBO_NODE_TEXT || text->type == GUMBO_NODE_WHITESPACE) {
            rules.addStyleSheet(text->v.text.text);
        }
    }
}

// Collects the tables and applies the style sheets, in one walk of the tree.
void collectTables(const GumboNode* root, std::vector<const GumboNode*>& tables,
                   detail::StyleRules& rules) {
    std::vector<std::pair<const GumboNode*, unsigned>> stack;
    stack.emplace_back(root, 0);
    while (!stack.empty()) {
        auto& [current, next] = stack.back();
        const GumboVector& children = current->type == GUMBO_NODE_DOCUMENT
                                          ? current->v.document.children
                                          : current->v.element.children;
        if (next >= children.length) {
            stack.pop_back();
            continue;
        }
        const auto* child = static_cast<const GumboNode*>(children.data[next++]);
        // Template contents are not part of the document; neither are their tables.
        if (child->type != GUMBO_NODE_ELEMENT) {
            continue;
        }
        if (isHtmlElement(child, GUMBO_TAG_TABLE)) {
            tables.push_back(child);
        } else if (isHtmlElement(child, GUMBO_TAG_STYLE)) {
            addStyleElement(child, rules);
        }
        if (child->v.element.children.length > 0) {
            stack.emplace_back(child, 0);
        }
    }
}

}  // namespace

HtmlDocument::HtmlDocument() : m_impl(std::make_unique<Impl>()) {}
HtmlDocument::~HtmlDocument() = default;

std::unique_ptr<HtmlDocument> HtmlDocument::parse(std::string utf8Text) {
    auto document = std::make_unique<HtmlDocument>();
    Impl& impl = *document->m_impl;
    impl.source = std::move(utf8Text);
    if (!mayHoldTable(impl.source)) {
        return document;
    }
    impl.controlsShielded = shieldControlCharacters(impl.source);
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &GumboArena::allocateFor;
    options.deallocator = &GumboArena::releaseFor;
    options.userdata = &impl.arena;
    options.max_errors = 0;  // error records are never read; skipping them saves time
    impl.output = gumbo_parse_with_options(&options, impl.source.data(), impl.source.size());
    std::vector<const GumboNode*> tables;
    collectTables(impl.output->document, tables, impl.styleRules);
    document->m_tables.reserve(tables.size());
    for (const GumboNode* table : tables) {
        document->m_tables.push_back(ElementRef(table));
    }
    return document;
}

std::vector<ElementRef> HtmlDocument::rows(ElementRef table) const {
    std::vector<ElementRef> rows;
    const auto* tableNode = static_cast<const GumboNode*>(table.m_node);
    if (tableNode == nullptr) {
        return rows;
    }
    const GumboVector& children = tableNode->v.element.children;
    auto appendRows = [&rows](const GumboNode* group) {
        const GumboVector& groupChildren = group->v.element.children;
        for (unsigned i = 0; i < groupChildren.length; ++i) {
            const auto* child = static_cast<const GumboNode*>(groupChildren.data[i]);
            if (isHtmlElement(child, GUMBO_TAG_TR)) {
                rows.push_back(ElementRef(child));
            }
        }
    };
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(children.data[i]);
        if (isHtmlElement(child, GUMBO_TAG_THEAD)) {
            appendRows(child);
        }
    }
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(children.data[i]);
        if (isHtmlElement(child, GUMBO_TAG_TR)) {
            rows.push_back(ElementRef(child));
        } else if (isHtmlElement(child, GUMBO_TAG_TBODY)) {
            appendRows(child);
        }
    }
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(children.data[i]);
        if (isHtmlElement(child, GUMBO_TAG_TFOOT)) {
            appendRows(child);
        }
    }
    return rows;
}

std::vector<ElementRef> HtmlDocument::cells(ElementRef row) const {
    std::vector<ElementRef> cells;
    const auto* rowNode = static_cast<const GumboNode*>(row.m_node);
    if (rowNode == nullptr) {
        return cells;
    }
    const GumboVector& children = rowNode->v.element.children;
    cells.reserve(children.length);
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(children.data[i]);
        if (isHtmlElement(child, GUMBO_TAG_TD) || isHtmlElement(child, GUMBO_TAG_TH)) {
            cells.push_back(ElementRef(child));
        }
    }
    return cells;
}

std::string HtmlDocument::cellText(ElementRef cell) const {
    std::string text;
    appendCellText(cell, text, "\n");
    return text;
}

void HtmlDocument::appendCellText(ElementRef cell, std::string& text,
                                  std::string_view newline) const {
    const auto* cellNode = static_cast<const GumboNode*>(cell.m_node);
    if (cellNode == nullptr) {
        return;
    }
    const std::size_t start = text.size();
    detail::TextSegmentCache& tables =
        newline == "\n" ? m_impl->tablesWithLf : m_impl->tablesWithCrLf;
    if (newline != "\n" && newline != "\r\n") {
        tables.clear();  // a cache only serves the line break it was made with
    }
    detail::appendInnerText(cellNode, m_impl->styles, m_impl->contexts, tables, text, newline);
    if (m_impl->controlsShielded) {
        std::string part = text.substr(start);
        unshieldControlCharacters(part);
        text.resize(start);
        text += part;
    }
}

}  // namespace tabrivo
