#include <engine/html_document_p.h>

#include <engine/node_p.h>

#include <limits>
#include <optional>
#include <stdexcept>
#include <unordered_map>

#include <engine/ascii.h>
#include <engine/css_rules_p.h>
#include <engine/element_style_p.h>
#include <engine/gumbo_util_p.h>
#include <engine/html_tokenizer_p.h>
#include <engine/inner_text_p.h>
#include <engine/markup_scan_p.h>
#include <engine/utf8.h>

namespace tabrivo {

using detail::isHtmlElement;
using detail::kNoRun;
using detail::Node;
using detail::ParsedText;
using detail::Run;
using detail::TableEntry;
using detail::walkElements;

namespace detail {

const Node* firstChildElement(const Node* parent, GumboTag tag) {
    const GumboVector* children = detail::childrenOf(parent);
    for (unsigned i = 0; children != nullptr && i < children->length; ++i) {
        const Node* child = detail::childAt(*children, i);
        if (isHtmlElement(child, tag)) {
            return child;
        }
    }
    return nullptr;
}

std::vector<std::pair<std::size_t, std::size_t>> piecesOf(const RowRun& rows) {
    std::vector<std::pair<std::size_t, std::size_t>> pieces;
    std::size_t begin = rows.begin;
    for (const std::size_t cut : rows.cuts) {
        pieces.emplace_back(begin, cut);
        begin = cut;
    }
    pieces.emplace_back(begin, rows.end);
    return pieces;
}

}  // namespace detail

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
            named = ascii::toLower(c) == kName[i];
        }
        if (!named) {
            continue;
        }
        const std::size_t after = open + 1 + kName.size();
        if (after == text.size()) {
            return true;
        }
        const char next = text[after];
        if (ascii::isSpace(next) || next == '/' || next == '>') {
            return true;
        }
    }
    return false;
}

// Adds the rules of a <style> element whose media fits a screen.
void addStyleElement(const Node* style, detail::StyleRules& rules) {
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
        const Node* text = detail::childAt(children, i);
        if (text->type == GUMBO_NODE_TEXT || text->type == GUMBO_NODE_WHITESPACE) {
            rules.addStyleSheet(detail::nodeText(text));
        }
    }
}

bool hasTableAncestor(const Node* node) {
    for (const Node* up = node->parent; up != nullptr; up = up->parent) {
        if (isHtmlElement(up, GUMBO_TAG_TABLE)) {
            return true;
        }
    }
    return false;
}

// With gumbo, a tag keeps its first attributes up to this number: gumbo
// compares each attribute with all the earlier ones of its tag, so a hostile
// tag with a hundred thousand of them would take it many minutes. Our own
// tokenizer finds repeated names by hash and keeps every attribute.
constexpr std::size_t kMaxAttributesPerTag = 256;

std::string withRemovals(const std::string& text, const std::vector<detail::Removal>& removals) {
    std::string kept;
    kept.reserve(text.size());
    std::size_t copied = 0;
    for (const detail::Removal& removal : removals) {
        kept.append(text, copied, removal.begin - copied);
        kept.append(removal.replacement);
        copied = removal.end;
    }
    kept.append(text, copied);
    return kept;
}

constexpr std::string_view kPlaceholderRow = "<tr></tr>";

}  // namespace

void HtmlDocument::Impl::parseWhole() {
    tree = std::make_unique<ParsedText>(std::move(source), options);
    source.clear();
    const detail::HtmlTree* own = tree->ownTree();
    if (own != nullptr && own->tablesInOrder() != nullptr) {
        // The parser noted them in document order: no walk over the whole tree.
        for (const Node* style : *own->styleElementsInOrder()) {
            addStyleElement(style, styleRules);
        }
        for (const Node* table : *own->tablesInOrder()) {
            tables.push_back({table, kNoRun});
        }
        return;
    }
    walkElements(tree->document(), [&](const Node* element) {
        if (isHtmlElement(element, GUMBO_TAG_TABLE)) {
            tables.push_back({element, kNoRun});
        } else if (isHtmlElement(element, GUMBO_TAG_STYLE)) {
            addStyleElement(element, styleRules);
        }
    });
}

bool HtmlDocument::Impl::parsePiecewise(std::optional<std::vector<detail::RowRun>> found) {
    if (!found || found->empty()) {
        return false;
    }
    std::string skeleton;
    std::unordered_map<std::size_t, std::size_t> runAtOffset;
    std::size_t copied = 0;
    for (std::size_t i = 0; i < found->size(); ++i) {
        const detail::RowRun& rows = (*found)[i];
        skeleton.append(source, copied, rows.begin - copied);
        runAtOffset.emplace(skeleton.size(), i);
        skeleton.append(kPlaceholderRow);
        copied = rows.end;
    }
    skeleton.append(source, copied);
    auto skeletonTree = std::make_unique<ParsedText>(std::move(skeleton), options);

    std::vector<Run> placed(found->size());
    std::vector<TableEntry> entries;
    std::vector<const Node*> styleElements;
    bool sound = true;
    walkElements(skeletonTree->document(), [&](const Node* element) {
        if (isHtmlElement(element, GUMBO_TAG_TABLE)) {
            entries.push_back({element, kNoRun});
        } else if (isHtmlElement(element, GUMBO_TAG_STYLE)) {
            styleElements.push_back(element);
        } else if (isHtmlElement(element, GUMBO_TAG_TR)) {
            const auto at = runAtOffset.find(element->v.element.start_pos.offset);
            if (at == runAtOffset.end()) {
                return;
            }
            Run& run = placed[at->second];
            // The placeholder must stand where the scanner expected: once, as a
            // row of a top-level table's section.
            const Node* section = element->parent;
            sound = sound && run.placeholder == nullptr &&
                    element->v.element.children.length == 0 && section != nullptr &&
                    section->parent != nullptr && isHtmlElement(section->parent, GUMBO_TAG_TABLE) &&
                    !hasTableAncestor(section->parent);
            run.placeholder = element;
            if (!(*found)[at->second].rowsWithTables.empty()) {
                entries.push_back({nullptr, at->second});
            }
        }
    });
    for (std::size_t i = 0; i < placed.size() && sound; ++i) {
        sound = placed[i].placeholder != nullptr;
        placed[i].rows = std::move((*found)[i]);
    }
    if (!sound) {
        return false;  // the rest of the document is parsed whole
    }
    tree = std::move(skeletonTree);
    runs = std::move(placed);
    tables = std::move(entries);
    for (std::size_t i = 0; i < runs.size(); ++i) {
        runOfPlaceholder.emplace(runs[i].placeholder, i);
    }
    for (const Node* style : styleElements) {
        addStyleElement(style, styleRules);
    }
    const bool quirks = tree->document()->v.document.doc_type_quirks_mode == GUMBO_DOCTYPE_QUIRKS;
    piecePrefix = quirks ? "" : "<!DOCTYPE html>";
    return true;
}

void HtmlDocument::Impl::forgetPieceElements() {
    styles.forgetElements();
    contexts.clear();
    tablesWithLf.clear();
    tablesWithCrLf.clear();
}

HtmlDocument::HtmlDocument() : m_impl(std::make_unique<Impl>()) {}
HtmlDocument::~HtmlDocument() = default;

std::unique_ptr<HtmlDocument> HtmlDocument::parse(std::string utf8Text,
                                                  const ParseOptions& options) {
    auto document = std::make_unique<HtmlDocument>();
    Impl& impl = *document->m_impl;
    if (!mayHoldTable(utf8Text)) {
        return document;
    }
    impl.source = std::move(utf8Text);
    impl.options = options;
    const bool ownParser = options.otherParser == nullptr;
    const bool piecewise = impl.source.size() >= options.piecewiseFrom;
    if (ownParser && !piecewise) {
        // The parser keeps control characters, limits nesting and finds
        // repeated attributes by itself: nothing to do before it.
        impl.parseWhole();
        return document;
    }
    if (ownParser) {
        // Once here, so that the markup scan's offsets are the parser's.
        detail::normalizeNewlines(impl.source);
    } else {
        impl.controlsShielded = shieldControlCharacters(impl.source);
    }
    const detail::ScanOptions scanOptions{
        piecewise, options.pieceBytes,
        ownParser ? std::numeric_limits<std::size_t>::max() : kMaxAttributesPerTag};
    detail::MarkupScan scan = detail::scanMarkup(impl.source, scanOptions);
    if (!scan.removals.empty()) {
        impl.source = withRemovals(impl.source, scan.removals);
        if (scanOptions.findRowRuns) {
            scan = detail::scanMarkup(impl.source, scanOptions);  // the offsets have moved
        }
    }
    if (!impl.parsePiecewise(std::move(scan.rowRuns))) {
        impl.parseWhole();
    }
    return document;
}

bool HtmlDocument::isPiecewise() const {
    return !m_impl->runs.empty();
}

std::string HtmlDocument::cellText(ElementRef cell) const {
    std::string text;
    appendCellText(cell, text, "\n");
    return text;
}

void HtmlDocument::appendCellText(ElementRef cell, std::string& text,
                                  std::string_view newline) const {
    const auto* cellNode = static_cast<const Node*>(cell.m_node);
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
