#include <engine/html_document_p.h>

#include <engine/node_p.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory_resource>
#include <optional>
#include <stdexcept>
#include <unordered_map>

#include <engine/ascii.h>
#include <engine/background_rows_p.h>
#include <engine/css_rules_p.h>
#include <engine/element_style_p.h>
#include <engine/html_tokenizer_p.h>
#include <engine/inner_text_p.h>
#include <engine/node_util_p.h>

namespace tabrivo {

using detail::isHtmlElement;
using detail::Node;
using detail::ParsedText;
using detail::walkElements;

namespace detail {

const Node* firstChildElement(const Node* parent, detail::ElementTag tag) {
    const detail::PointerVector* children = detail::childrenOf(parent);
    for (unsigned i = 0; children != nullptr && i < children->length; ++i) {
        const Node* child = detail::childAt(*children, i);
        if (isHtmlElement(child, tag)) {
            return child;
        }
    }
    return nullptr;
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
    const detail::PointerVector& children = style->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        const Node* text = detail::childAt(children, i);
        if (text->type == detail::kNodeText || text->type == detail::kNodeWhitespace) {
            rules.addStyleSheet(detail::nodeText(text));
        }
    }
}

bool hasTableAncestor(const Node* node) {
    for (const Node* up = node->parent; up != nullptr; up = up->parent) {
        if (isHtmlElement(up, detail::kTagTable)) {
            return true;
        }
    }
    return false;
}

}  // namespace

void HtmlDocument::Impl::parseWhole() {
    tree = std::make_unique<ParsedText>(std::move(source), options);
    const detail::HtmlTree* own = tree->ownTree();
    if (own != nullptr && own->tablesInOrder() != nullptr) {
        // The parser noted them in document order: no walk over the whole tree.
        for (const Node* style : *own->styleElementsInOrder()) {
            addStyleElement(style, styleRules);
        }
        tables = *own->tablesInOrder();
        return;
    }
    walkElements(tree->document(), [&](const Node* element) {
        if (isHtmlElement(element, detail::kTagTable)) {
            tables.push_back(element);
        } else if (isHtmlElement(element, detail::kTagStyle)) {
            addStyleElement(element, styleRules);
        }
    });
}

void HtmlDocument::Impl::forgetElements() {
    styles.forgetElements();
    contexts.clear();
    tablesWithLf.clear();
    tablesWithCrLf.clear();
}

void HtmlDocument::Impl::addLiveStyleElements() {
    const std::vector<const Node*>& styleElements = live->styleElements();
    // A style element still open has not all its text yet: it is added later.
    while (liveStyleElements < styleElements.size() &&
           !styleElements[liveStyleElements]->built.open) {
        addStyleElement(styleElements[liveStyleElements++], styleRules);
    }
}

namespace {
constexpr std::size_t kAnyTables = std::numeric_limits<std::size_t>::max();
}  // namespace

bool HtmlDocument::Impl::advanceLive(std::size_t tablesMade, std::size_t rowsKnown) {
    constexpr unsigned kTokensPerCall = 4096;
    if (whileParsing != nullptr && *whileParsing) {
        (*whileParsing)();
    }
    styles.treeMayHaveChanged();
    return live->advance(tablesMade, rowsKnown, kTokensPerCall);
}

bool HtmlDocument::Impl::awaitLiveRow() {
    while (!live->hasClosedRow() && !live->streamedTableClosed() && advanceLive(kAnyTables, 0)) {
    }
    return live->hasClosedRow();
}

bool HtmlDocument::Impl::readyToHandOut() {
    checkLiveWalk();
    if (liveHandedOut) {
        return true;
    }
    if (!live->madeInOrder()) {
        // The tables noted are not in document order: nothing was handed
        // out yet, so the whole tree's walk takes over.
        parseWholeInstead();
        return false;
    }
    if (!liveStylesKnown) {
        addLiveStyleElements();
    }
    liveAttributeMerges = live->attributeMerges();
    return true;
}

void HtmlDocument::Impl::checkLiveWalk() {
    if (!liveHandedOut) {
        return;
    }
    if (!live->madeInOrder() || live->attributeMerges() != liveAttributeMerges) {
        restartWhole();
    }
    if (!liveStylesKnown && live->styleElements().size() != liveStyleElements) {
        restartWithEveryStyleSheet();
    }
}

void HtmlDocument::Impl::restartWithEveryStyleSheet() {
    // Read on to the end, handing nothing out and freeing rows as they close,
    // to find every style sheet; then parse again with all of them known.
    detail::IncrementalParse& parse = *live;
    std::size_t seen = parse.tables().size();
    for (;;) {
        while (parse.hasClosedRow()) {
            parse.release();
        }
        parse.releaseSegments(seen);  // nothing was handed out: nothing to forget
        if (!advanceLive(seen, 0)) {
            break;
        }
        for (; seen < parse.tables().size(); ++seen) {
            const Node* table = parse.tables()[seen];
            if (!parse.streaming() && table->built.open && !hasTableAncestor(table)) {
                parse.streamRowsOf(table);
            }
        }
    }
    if (!parse.madeInOrder()) {
        restartWhole();
    }
    styleRules = detail::StyleRules{};
    for (const Node* style : parse.styleElements()) {
        addStyleElement(style, styleRules);
    }
    if (styleRules.looksAtSiblings()) {
        restartWhole();
    }
    live = std::make_unique<detail::IncrementalParse>(parse.takeSource());
    liveStylesKnown = true;
    liveHandedOut = false;
    liveTable = nullptr;
    liveCaption = nullptr;
    forgetElements();
    throw WalkRestart();
}

void HtmlDocument::Impl::parseWholeInstead() {
    source = live->takeSource();
    live.reset();
    liveTable = nullptr;
    tables.clear();
    styleRules = detail::StyleRules{};
    forgetElements();
    parseWhole();
}

void HtmlDocument::Impl::restartWhole() {
    parseWholeInstead();
    throw WalkRestart();
}

std::optional<bool> HtmlDocument::Impl::forEachLiveTable(
    const std::function<bool(ElementRef)>& visit) {
    if (liveHandedOut) {
        // Walked before: its rows are gone, so a new walk needs the whole tree.
        parseWholeInstead();
        return std::nullopt;
    }
    detail::IncrementalParse& parse = *live;
    for (std::size_t next = 0;; ++next) {
        while (next >= parse.tables().size() &&
               advanceLive(next, detail::IncrementalParse::kNoRows)) {
        }
        if (!readyToHandOut()) {
            return std::nullopt;
        }
        if (next >= parse.tables().size()) {
            return true;
        }
        const Node* table = parse.tables()[next];
        if (table->built.open) {
            const bool streams =
                parse.madeInOrder() && !styleRules.looksAtSiblings() && !hasTableAncestor(table);
            if (streams) {
                parse.streamRowsOf(table);
                liveTable = table;
                // Up to its first row, so that a caption before the rows is known.
                awaitLiveRow();
                if (!readyToHandOut()) {
                    return std::nullopt;
                }
                liveCaption = detail::firstChildElement(table, detail::kTagCaption);
            } else {
                // The rest is parsed whole before the table is read.
                while (advanceLive(kAnyTables, detail::IncrementalParse::kNoRows)) {
                }
                if (!readyToHandOut()) {
                    return std::nullopt;
                }
            }
        }
        liveHandedOut = true;
        const std::size_t styled = styles.rememberedCount();
        const bool goOn = visit(ElementRef(table));
        if (liveTable == table) {
            // Rows the walk did not ask for are freed all the same.
            while (awaitLiveRow()) {
                parse.release();
            }
            liveTable = nullptr;
            // Nor are the contexts of its parts looked up again: a page of
            // many small tables would otherwise keep two for each.
            const detail::PointerVector& parts = table->v.element.children;
            for (unsigned i = 0; i < parts.length; ++i) {
                contexts.erase(detail::childAt(parts, i));
            }
            contexts.erase(table);
            if (parse.releaseSegments(next + 1)) {
                // Content of the body up to here is freed: what the cell text
                // knew of its elements goes with it.
                styles.forgetElementsAfter(std::min(styled, styles.rememberedCount()));
                contexts.clear();
                tablesWithLf.clear();
                tablesWithCrLf.clear();
                liveCaption = nullptr;
            }
        }
        if (!goOn) {
            return false;
        }
    }
}

bool HtmlDocument::Impl::rowsReadBehindHelp() {
    if (!spareProcessor) {
        spareProcessor = detail::spareProcessorAvailable();
    }
    return *spareProcessor;
}

bool HtmlDocument::Impl::liveWalkStaysValid() const {
    return live->madeInOrder() && live->attributeMerges() == liveAttributeMerges &&
           (liveStylesKnown || live->styleElements().size() == liveStyleElements);
}

bool HtmlDocument::Impl::forEachLiveRowBehind(const Node* table,
                                              const std::function<bool(ElementRef)>& visit,
                                              bool bodyRowsHandedOut) {
    detail::IncrementalParse& parse = *live;
    if (!rowVisits) {
        rowVisits = std::make_unique<detail::BackgroundRowVisits>();
    }
    detail::BackgroundRowVisits& behind = *rowVisits;
    // A row is read and what the cell text learnt of it forgotten, as in
    // forEachLiveRow, on either thread; this one parses on and frees the
    // rows read.
    const auto readRow = [this, &visit](const Node* row) {
        const std::size_t styled = styles.rememberedCount();
        const bool goOn = visit(ElementRef(row));
        styles.forgetElementsAfter(styled);
        contexts.erase(row);
        return goOn;
    };
    behind.begin(readRow);
    // The rows inherit from the html and body elements: these change only
    // while no row is being read. (Waiting costs nothing once the rows are read.)
    parse.setBeforeSharedChange([this] { rowVisits->waitIdle(); });
    // The closed rows taken, in order, until released.
    enum class Taken : std::uint8_t { kBehind, kRead, kKept };
    std::deque<Taken> taken;
    std::size_t behindReleased = 0;
    const auto releaseRead = [&] {
        const std::size_t behindDone = behind.done();
        std::size_t count = 0;
        for (; count < taken.size(); ++count) {
            if (taken[count] == Taken::kKept ||
                (taken[count] == Taken::kBehind && behindReleased == behindDone)) {
                break;
            }
            behindReleased += taken[count] == Taken::kBehind ? 1 : 0;
        }
        parse.releaseFirst(count);
        taken.erase(taken.begin(), taken.begin() + static_cast<std::ptrdiff_t>(count));
        if (!taken.empty() && taken.front() == Taken::kKept) {
            parse.keep();  // the foot's rows come last, once the table is whole
            taken.pop_front();
            return true;
        }
        return false;
    };
    const auto releaseAllRead = [&] {
        while (releaseRead()) {
        }
    };
    detail::ReadingChoice& choice = readingChoice;
    std::size_t stretchRows = 0;
    std::size_t stretchBytes = parse.parsedBytes();
    auto stretchStart = std::chrono::steady_clock::now();
    try {
        for (;;) {
            while (parse.closedRowCount() == taken.size() && !parse.streamedTableClosed() &&
                   advanceLive(kAnyTables, taken.size())) {
                releaseAllRead();
            }
            if (parse.closedRowCount() == taken.size() || behind.stopped()) {
                break;
            }
            const Node* row = parse.closedRow(taken.size());
            if (isHtmlElement(row->parent, detail::kTagTfoot)) {
                taken.push_back(Taken::kKept);
                continue;
            }
            const bool head = isHtmlElement(row->parent, detail::kTagThead);
            if ((head && bodyRowsHandedOut) || !liveWalkStaysValid()) {
                // The walk starts again; the rows before this one are read first.
                if (!behind.finish()) {
                    releaseAllRead();
                    return false;
                }
                releaseAllRead();
                if (head && bodyRowsHandedOut) {
                    restartWhole();
                }
                checkLiveWalk();
            }
            bodyRowsHandedOut = bodyRowsHandedOut || !head;
            parse.settleClosedRow(taken.size());
            if (choice.behind()) {
                taken.push_back(Taken::kBehind);
                behind.add(row);
            } else {
                taken.push_back(Taken::kRead);
                if (!readRow(row)) {
                    releaseAllRead();
                    return false;
                }
            }
            releaseAllRead();
            if (++stretchRows == choice.stretchRows()) {
                const auto now = std::chrono::steady_clock::now();
                const std::size_t bytes = parse.parsedBytes();
                const bool wasBehind = choice.behind();
                if (choice.endStretch(static_cast<double>(bytes - stretchBytes),
                                      std::chrono::duration<double>(now - stretchStart).count()) &&
                    wasBehind) {
                    // Rows are read in order: those handed over go first.
                    if (!behind.finish()) {
                        releaseAllRead();
                        return false;
                    }
                    releaseAllRead();
                }
                stretchRows = 0;
                stretchBytes = bytes;
                stretchStart = std::chrono::steady_clock::now();
            }
        }
    } catch (...) {
        // A row handed over before the parse failed is read first: its own
        // failure or stop comes first.
        if (!behind.finish()) {
            releaseAllRead();
            return false;
        }
        throw;
    }
    const bool goOn = behind.finish();
    releaseAllRead();
    if (!goOn) {
        return false;
    }
    return visitLiveFootRows(table, visit);
}

bool HtmlDocument::Impl::forEachLiveRow(const Node* table,
                                        const std::function<bool(ElementRef)>& visit) {
    const bool mayReadBehind = options.readRowsBehindFromRow != ParseOptions::kNever &&
                               (whileParsing == nullptr || !*whileParsing);
    std::size_t rowsRead = 0;
    detail::IncrementalParse& parse = *live;
    bool bodyRowsHandedOut = false;
    while (awaitLiveRow()) {
        if (mayReadBehind && rowsRead == options.readRowsBehindFromRow && rowsReadBehindHelp()) {
            return forEachLiveRowBehind(table, visit, bodyRowsHandedOut);
        }
        const Node* row = parse.firstClosedRow();
        if (isHtmlElement(row->parent, detail::kTagTfoot)) {
            parse.keep();  // the foot's rows come last, once the table is whole
            continue;
        }
        const bool head = isHtmlElement(row->parent, detail::kTagThead);
        if (head && bodyRowsHandedOut) {
            restartWhole();  // a head's rows come before the body's
        }
        checkLiveWalk();
        bodyRowsHandedOut = bodyRowsHandedOut || !head;
        const std::size_t styled = styles.rememberedCount();
        const bool goOn = visit(ElementRef(row));
        ++rowsRead;
        parse.release();
        // What the cell text remembers of the row's elements goes with them;
        // only a row's cells were looked up by their parent, and nested
        // tables are kept with their rows.
        styles.forgetElementsAfter(styled);
        contexts.erase(row);
        if (!goOn) {
            return false;
        }
    }
    return visitLiveFootRows(table, visit);
}

bool HtmlDocument::Impl::visitLiveFootRows(const Node* table,
                                           const std::function<bool(ElementRef)>& visit) {
    checkLiveWalk();
    if (detail::firstChildElement(table, detail::kTagCaption) != liveCaption) {
        restartWhole();  // a caption after the rows
    }
    const detail::PointerVector& children = table->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        const Node* group = detail::childAt(children, i);
        if (!isHtmlElement(group, detail::kTagTfoot)) {
            continue;
        }
        const detail::PointerVector& rows = group->v.element.children;
        for (unsigned r = 0; r < rows.length; ++r) {
            const Node* row = detail::childAt(rows, r);
            if (isHtmlElement(row, detail::kTagTr) && !visit(ElementRef(row))) {
                return false;
            }
        }
    }
    return true;
}

HtmlDocument::HtmlDocument() : m_impl(std::make_unique<Impl>()) {}
HtmlDocument::~HtmlDocument() = default;

std::unique_ptr<HtmlDocument> HtmlDocument::parse(SourceText utf8Text,
                                                  const ParseOptions& options) {
    auto document = std::make_unique<HtmlDocument>();
    Impl& impl = *document->m_impl;
    impl.sourceFileCheck = utf8Text.fileCheck();
    if (!mayHoldTable(utf8Text.view())) {
        return document;
    }
    impl.source = std::move(utf8Text);
    impl.options = options;
    // The parser keeps control characters, limits nesting and finds repeated
    // attributes by itself: nothing to do before it. A large document is
    // parsed while its tables are walked.
    if (options.otherParser == nullptr && impl.source.size() >= options.parseWhileWalkingFrom) {
        impl.live = std::make_unique<detail::IncrementalParse>(std::move(impl.source));
    } else {
        impl.parseWhole();
    }
    return document;
}

bool HtmlDocument::isParsedWhileWalked() const {
    return m_impl->live != nullptr;
}

void HtmlDocument::throwIfSourceFileChanged() const {
    m_impl->sourceFileCheck.throwIfChanged();
}

std::string HtmlDocument::cellText(ElementRef cell) const {
    std::string text;
    appendCellText(cell, text, "\n");
    return text;
}

detail::NestedTableTexts& HtmlDocument::Impl::nestedTablesFor(std::string_view newline) {
    detail::NestedTableTexts& known = newline == "\n" ? tablesWithLf : tablesWithCrLf;
    if (newline != "\n" && newline != "\r\n") {
        known.clear();  // what is known only serves the line break it was made with
    }
    return known;
}

void HtmlDocument::appendCellText(ElementRef cell, std::string& text,
                                  std::string_view newline) const {
    const auto* cellNode = static_cast<const Node*>(cell.m_node);
    if (cellNode == nullptr) {
        return;
    }
    detail::appendInnerText(cellNode, m_impl->styles, m_impl->contexts,
                            m_impl->nestedTablesFor(newline), text, newline);
}

TextMeasure HtmlDocument::measureCellText(ElementRef cell, std::string_view newline) const {
    const auto* cellNode = static_cast<const Node*>(cell.m_node);
    if (cellNode == nullptr) {
        return {};
    }
    return detail::measureInnerText(cellNode, m_impl->styles, m_impl->contexts,
                                    m_impl->nestedTablesFor(newline), newline);
}

std::size_t HtmlDocument::Impl::deepestTableNesting() const {
    if (live) {
        return live->deepestTableNesting();
    }
    const detail::HtmlTree* own = tree != nullptr ? tree->ownTree() : nullptr;
    // Another parser's tree says nothing of it.
    return own != nullptr ? own->deepestTableNesting() : std::numeric_limits<std::size_t>::max();
}

bool HtmlDocument::tablesNestIn(ElementRef element, std::size_t depth) const {
    const auto* root = static_cast<const Node*>(element.m_node);
    // Mostly known at once: no table of the document nests that deep.
    if (root == nullptr || m_impl->deepestTableNesting() < depth) {
        return false;
    }
    struct Level {
        const Node* node;
        unsigned next;
        std::size_t tables;  // the tables open down to it, itself included
    };
    // Asked for every row: a row's elements mostly fit in a buffer on the stack.
    std::array<std::byte, 2048> scratch;
    std::pmr::monotonic_buffer_resource memory(scratch.data(), scratch.size());
    std::pmr::vector<Level> stack(&memory);
    stack.reserve(scratch.size() / sizeof(Level) / 2);
    stack.push_back({root, 0, 0});
    while (!stack.empty()) {
        Level& level = stack.back();
        const detail::PointerVector& children = level.node->v.element.children;
        if (level.next >= children.length) {
            stack.pop_back();
            continue;
        }
        const Node* child = detail::childAt(children, level.next++);
        if (child->type != detail::kNodeElement) {
            continue;  // template contents are not part of the document
        }
        const std::size_t tables = level.tables + (isHtmlElement(child, detail::kTagTable) ? 1 : 0);
        if (tables >= depth) {
            return true;
        }
        stack.push_back({child, 0, tables});
    }
    return false;
}

bool HtmlDocument::forEachTableIn(ElementRef element,
                                  const std::function<bool(ElementRef)>& visit) const {
    const auto* node = static_cast<const Node*>(element.m_node);
    if (node == nullptr) {
        return true;
    }
    bool goOn = true;
    walkElements(node, [&](const Node* inner) {
        if (goOn && isHtmlElement(inner, detail::kTagTable)) {
            goOn = visit(ElementRef(inner));
        }
    });
    return goOn;
}

}  // namespace tabrivo
