#include <engine/markup_scan_p.h>

#include <engine/ascii.h>
#include <engine/nesting_guard_p.h>
#include <engine/tag_info_p.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace tabrivo::detail {
namespace {

constexpr std::size_t kNone = std::string_view::npos;
constexpr std::uint32_t kNone32 = static_cast<std::uint32_t>(-1);

using ascii::isSpace;
constexpr auto isAsciiAlpha = ascii::isAlpha;
constexpr auto toLowerAscii = [](char c) { return ascii::toLower(c); };

// How a tag's attributes end: past the closing '>' (kNone when the text ends
// inside the tag), and where attributes beyond the allowed number start.
struct TagAttributes {
    std::size_t after = kNone;
    std::size_t excessFrom = kNone;
    bool selfClosing = false;
};

// Follows the tokenizer's attribute states (quotes count only after '=') from
// the end of a tag's name at `pos`.
TagAttributes scanAttributes(std::string_view text, std::size_t pos, std::size_t maxAttributes) {
    enum class State {
        BeforeName,
        Name,
        AfterName,
        BeforeValue,
        Quoted,
        AfterQuoted,
        Unquoted,
        SelfClosing
    };
    TagAttributes tag;
    State state = State::BeforeName;
    char quote = 0;
    std::size_t count = 0;
    auto startAttribute = [&](std::size_t at) {
        state = State::Name;
        if (++count == maxAttributes + 1) {
            tag.excessFrom = at;
        }
    };
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        switch (state) {
            case State::BeforeName:
            case State::AfterName:
                if (c == '/') {
                    state = State::SelfClosing;
                } else if (c == '>') {
                    tag.after = pos + 1;
                    return tag;
                } else if (c == '=' && state == State::AfterName) {
                    state = State::BeforeValue;
                } else if (!isSpace(c)) {
                    startAttribute(pos);
                }
                break;
            case State::Name:
                if (c == '/') {
                    state = State::SelfClosing;
                } else if (c == '=') {
                    state = State::BeforeValue;
                } else if (c == '>') {
                    tag.after = pos + 1;
                    return tag;
                } else if (isSpace(c)) {
                    state = State::AfterName;
                }
                break;
            case State::BeforeValue:
                if (c == '"' || c == '\'') {
                    quote = c;
                    state = State::Quoted;
                } else if (c == '>') {
                    tag.after = pos + 1;
                    return tag;
                } else if (!isSpace(c)) {
                    state = State::Unquoted;
                }
                break;
            case State::Quoted: {
                const std::size_t close = text.find(quote, pos);
                if (close == kNone) {
                    return tag;
                }
                pos = close;
                state = State::AfterQuoted;
                break;
            }
            case State::AfterQuoted:
            case State::SelfClosing:
                if (c == '>') {
                    tag.after = pos + 1;
                    tag.selfClosing = state == State::SelfClosing;
                    return tag;
                }
                if (c == '/') {
                    state = State::SelfClosing;
                } else if (isSpace(c)) {
                    state = State::BeforeName;
                } else {
                    startAttribute(pos);
                }
                break;
            case State::Unquoted:
                if (c == '>') {
                    tag.after = pos + 1;
                    return tag;
                }
                if (isSpace(c)) {
                    state = State::BeforeName;
                }
                break;
        }
    }
    return tag;
}

// Past the end of a comment opened at `open` ("<!--"); kNone when it runs to
// the end of the text.
std::size_t skipComment(std::string_view text, std::size_t open) {
    const std::size_t body = open + 4;
    if (body < text.size() && text[body] == '>') {
        return body + 1;  // "<!-->"
    }
    if (body + 1 < text.size() && text[body] == '-' && text[body + 1] == '>') {
        return body + 2;  // "<!--->"
    }
    const std::size_t plain = text.find("-->", body);
    const std::size_t bang = text.find("--!>", body);
    if (plain == kNone && bang == kNone) {
        return kNone;
    }
    return plain <= bang ? plain + 3 : bang + 4;
}

// Where the end tag `</name` of a raw text element starts, searching from
// `pos`; kNone when the text ends first.
std::size_t findRawTextEnd(std::string_view text, std::size_t pos, std::string_view name) {
    for (std::size_t open = text.find("</", pos); open != kNone; open = text.find("</", open + 2)) {
        const std::size_t after = open + 2 + name.size();
        if (after >= text.size()) {
            return kNone;
        }
        bool same = true;
        for (std::size_t i = 0; i < name.size() && same; ++i) {
            same = toLowerAscii(text[open + 2 + i]) == name[i];
        }
        if (same && (isSpace(text[after]) || text[after] == '/' || text[after] == '>')) {
            return open;
        }
    }
    return kNone;
}

class Scanner {
public:
    Scanner(std::string_view text, const ScanOptions& options)
        : m_text(text),
          m_pieceBytes(options.pieceBytes == 0 ? 1 : options.pieceBytes),
          m_maxAttributes(options.maxAttributes),
          m_failed(!options.findRowRuns) {}

    MarkupScan scan() {
        std::size_t pos = 0;
        while (pos < m_text.size()) {
            const std::size_t open = m_text.find('<', pos);
            onText(pos, open == kNone ? m_text.size() : open);
            if (open == kNone) {
                break;
            }
            pos = token(open);
        }
        if (!m_failed) {
            endRun(m_text.size());
            m_scan.rowRuns = std::move(m_runs);
        }
        return std::move(m_scan);
    }

private:
    enum class Container { None, Cell, Caption };
    // What is open inside one table: a cell or caption, and the row group.
    struct Level {
        Container container = Container::None;
        std::uint32_t section = kNone32;  // kThead, kTbody (also an implied one) or kTfoot
        std::uint32_t cell = kNone32;     // kTd or kTh, while a cell is open
    };

    // Reads the token at `open` ('<') and returns where the next one may start.
    std::size_t token(std::size_t open) {
        const std::size_t size = m_text.size();
        if (open + 1 >= size) {
            onText(open, size);
            return size;
        }
        const char next = m_text[open + 1];
        if (next == '!') {
            if (m_text.compare(open, 4, "<!--") == 0) {
                return skipComment(m_text, open);
            }
            if (m_text.compare(open, 9, "<![CDATA[") == 0 && m_nesting.inForeignContent()) {
                const std::size_t close = m_text.find("]]>", open + 9);
                return close == kNone ? size : close + 3;
            }
            return skipPast('>', open + 2);
        }
        if (next == '?') {
            return skipPast('>', open + 2);
        }
        const bool isEnd = next == '/';
        const std::size_t nameStart = isEnd ? open + 2 : open + 1;
        if (nameStart >= size) {
            onText(open, size);
            return size;
        }
        if (!isAsciiAlpha(m_text[nameStart])) {
            if (!isEnd) {
                onText(open, open + 1);
                return open + 1;
            }
            return m_text[nameStart] == '>' ? nameStart + 1 : skipPast('>', nameStart);
        }
        std::size_t nameEnd = nameStart;
        std::string name;
        while (nameEnd < size && !isSpace(m_text[nameEnd]) && m_text[nameEnd] != '/' &&
               m_text[nameEnd] != '>') {
            if (name.size() < 16) {
                name.push_back(toLowerAscii(m_text[nameEnd]));
            }
            ++nameEnd;
        }
        const TagAttributes attributes = scanAttributes(m_text, nameEnd, m_maxAttributes);
        const std::size_t after = attributes.after;
        if (after == kNone) {
            return size;  // a tag cut off by the end of the text is dropped
        }
        const TagInfo tag = m_tags.lookup(name);
        const bool kept = isEnd
                              ? m_nesting.keepEndTag(tag)
                              : m_nesting.keepStartTag(tag, m_text.substr(nameEnd, after - nameEnd),
                                                       attributes.selfClosing);
        if (!kept) {
            m_scan.removals.push_back({open, after, "<!>"});  // an empty comment
            return after;
        }
        if (attributes.excessFrom != kNone) {
            // Up to the closing '>', or the "/>" of a self-closing tag.
            const std::size_t keep = attributes.selfClosing ? 2 : 1;
            m_scan.removals.push_back({attributes.excessFrom, after - keep, " "});
        }
        if (isEnd) {
            onEndTag(tag, open);
            return after;
        }
        onStartTag(tag, open);
        if (!tag.has(kRawText) || m_nesting.lastStartWasForeign()) {
            return after;  // SVG and MathML hold no raw text; a select does, as browsers parse it
        }
        const std::size_t close = findRawTextEnd(m_text, after, name);
        const std::size_t contentEnd = close == kNone ? size : close;
        // A script's "<!--" changes where its end tag is found.
        if (tag.id == kScript && m_text.substr(after, contentEnd - after).find("<!--") != kNone) {
            m_failed = true;
        }
        return contentEnd;
    }

    std::size_t skipPast(char c, std::size_t from) const {
        const std::size_t found = m_text.find(c, from);
        return found == kNone ? m_text.size() : found + 1;
    }

    bool atRowLevel() const {
        return m_kinds.size() == 1 && m_kinds.back().container == Container::None;
    }

    void onText(std::size_t begin, std::size_t end) {
        if (m_failed || !m_inRun || !atRowLevel()) {
            return;
        }
        for (std::size_t i = begin; i < end; ++i) {
            if (!isSpace(m_text[i])) {
                // Text between rows is moved before the table.
                rowLevelContent(i);
                return;
            }
        }
    }

    // Anything but rows and cells between the top-level rows: the run ends
    // before it, which is sound only when no row is left open.
    void rowLevelContent(std::size_t at) {
        if (m_rowOpen) {
            m_failed = true;
            return;
        }
        endRun(at);
    }

    void onStartTag(TagInfo tag, std::size_t at) {
        const std::uint32_t name = tag.id;
        if (tag.has(kUnfollowed) || (m_inRun && tag.has(kReachesOutsideRows))) {
            m_failed = true;
            return;
        }
        const bool tableTag = name == kTable || name == kCaption || tag.has(kRowGroup) ||
                              name == kTr || name == kTd || name == kTh;
        if (m_inSelect) {
            if (m_kinds.empty() && name == kTable) {
                m_failed = true;  // a select outside tables ignores it
                return;
            }
            if (!(name == kSelect || name == kInput || name == kKeygen || name == kTextarea ||
                  (tableTag && !m_kinds.empty()))) {
                return;  // ignored inside the select
            }
            m_inSelect = false;
            if (name == kSelect) {
                return;
            }
        }
        if (m_kinds.empty()) {
            if (name == kTable) {
                m_kinds.push_back(Level{});
                m_rowOpen = false;
            } else if (name == kSelect) {
                m_inSelect = true;
            }
            return;
        }
        const bool topLevel = m_kinds.size() == 1;
        Level& level = m_kinds.back();
        Container& container = level.container;
        if (name == kTable) {
            if (container != Container::None) {
                if (topLevel && m_inRun && !m_tablesInRow) {
                    m_rowsWithTables.emplace_back(m_rowStart, kNone);
                    m_tablesInRow = true;
                }
                m_kinds.push_back(Level{});
                return;
            }
            // Closes the open table and opens another in its place.
            if (topLevel) {
                closeTopLevelRows(at);
            }
            level = Level{};
            return;
        }
        if (name == kTr || name == kTd || name == kTh) {
            if (level.section == kNone32) {
                level.section = kTbody;
            }
            if (topLevel) {
                if (!m_inRun) {
                    startRun(at, level.section);
                } else if (name == kTr && at - m_pieceStart >= m_pieceBytes) {
                    m_cuts.push_back(at);
                    m_pieceStart = at;
                }
                if (name == kTr || !m_rowOpen) {
                    endRowWithTables(at);
                    m_rowStart = at;
                }
                m_rowOpen = true;
            }
            container = name == kTr ? Container::None : Container::Cell;
            level.cell = name;
            return;
        }
        if (name == kCaption || name == kCol || name == kColgroup || tag.has(kRowGroup)) {
            if (topLevel) {
                closeTopLevelRows(at);
            }
            container = name == kCaption ? Container::Caption : Container::None;
            level.section = tag.has(kRowGroup) ? name : kNone32;
            return;
        }
        if (topLevel && container == Container::None && m_inRun && name != kScript) {
            rowLevelContent(at);
        }
        if (name == kSelect) {
            m_inSelect = true;
        }
    }

    void onEndTag(TagInfo tag, std::size_t at) {
        const std::uint32_t name = tag.id;
        if (m_inRun && tag.has(kReachesOutsideRows)) {
            m_failed = true;
            return;
        }
        if (m_kinds.empty()) {
            if (name == kSelect) {
                m_inSelect = false;
            }
            return;
        }
        const bool topLevel = m_kinds.size() == 1;
        Level& level = m_kinds.back();
        Container& container = level.container;
        if (m_inSelect) {
            if (name == kSelect || name == kTable ||
                (container == Container::Cell && name == level.cell)) {
                m_inSelect = false;
                if (name == kSelect) {
                    return;
                }
            } else if (name == kTr || name == kCaption || tag.has(kRowGroup)) {
                m_failed = true;  // whether it closes the select depends on the open elements
                return;
            } else {
                return;
            }
        }
        if (name == kTable) {
            if (topLevel) {
                closeTopLevelRows(at);
            }
            m_kinds.pop_back();
            return;
        }
        if (name == kTd || name == kTh) {
            // Ignored unless it names the open cell.
            if (container == Container::Cell && name == level.cell) {
                container = Container::None;
            }
            return;
        }
        if (name == kTr) {
            if (container != Container::Caption) {
                container = Container::None;
                if (topLevel) {
                    m_rowOpen = false;
                }
            }
            return;
        }
        if (name == kCaption) {
            if (container == Container::Caption) {
                container = Container::None;
            }
            return;
        }
        if (tag.has(kRowGroup)) {
            // Closes the cell, the row and the section when that section is
            // open; otherwise it is ignored.
            if (container == Container::Caption || level.section != name) {
                return;
            }
            if (topLevel) {
                closeTopLevelRows(at);
            }
            level = Level{};
            return;
        }
        if (topLevel && container == Container::None && m_inRun && name != kScript) {
            rowLevelContent(at);
        }
    }

    // The top-level table's rows are closed here: a run ends before `at`.
    void closeTopLevelRows(std::size_t at) {
        endRun(at);
        m_rowOpen = false;
    }

    void startRun(std::size_t at, std::uint32_t section) {
        m_inRun = true;
        m_runSection = section == kThead ? "thead" : section == kTfoot ? "tfoot" : "tbody";
        m_runBegin = at;
        m_pieceStart = at;
        m_cuts.clear();
        m_rowsWithTables.clear();
    }

    void endRowWithTables(std::size_t at) {
        if (m_tablesInRow) {
            m_rowsWithTables.back().second = at;
            m_tablesInRow = false;
        }
    }

    void endRun(std::size_t at) {
        if (!m_inRun) {
            return;
        }
        m_inRun = false;
        endRowWithTables(at);
        if (at - m_runBegin >= m_pieceBytes) {
            m_runs.push_back(RowRun{m_runBegin, at, std::move(m_cuts), m_runSection,
                                    std::move(m_rowsWithTables)});
        }
        m_cuts.clear();
        m_rowsWithTables.clear();
    }

    std::string_view m_text;
    std::size_t m_pieceBytes;
    std::size_t m_maxAttributes;
    // Row runs are not looked for, or cannot be followed; the scan goes on
    // for the attributes.
    bool m_failed;
    MarkupScan m_scan;
    TagTable m_tags;
    NestingGuard m_nesting;
    // What is open at each table depth, the top-level table first.
    std::vector<Level> m_kinds;
    bool m_inSelect = false;
    bool m_rowOpen = false;  // a top-level row
    bool m_inRun = false;
    std::size_t m_runBegin = 0;
    std::size_t m_pieceStart = 0;
    std::vector<std::size_t> m_cuts;
    std::string m_runSection;
    std::size_t m_rowStart = 0;  // the current top-level row's start tag
    bool m_tablesInRow = false;
    std::vector<std::pair<std::size_t, std::size_t>> m_rowsWithTables;
    std::vector<RowRun> m_runs;
};

}  // namespace

MarkupScan scanMarkup(std::string_view text, const ScanOptions& options) {
    return Scanner(text, options).scan();
}

}  // namespace tabrivo::detail
