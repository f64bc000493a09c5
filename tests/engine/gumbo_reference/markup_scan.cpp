#include "markup_scan.h"

#include <engine/ascii.h>
#include "nesting_guard.h"
#include "tag_info.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace tabrivo::testing {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

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
        : m_text(text), m_maxAttributes(options.maxAttributes) {}

    MarkupScan scan() {
        std::size_t pos = 0;
        while (pos < m_text.size()) {
            const std::size_t open = m_text.find('<', pos);
            if (open == kNone) {
                break;
            }
            pos = token(open);
        }
        return std::move(m_scan);
    }

private:
    // Reads the token at `open` ('<') and returns where the next one may start.
    std::size_t token(std::size_t open) {
        const std::size_t size = m_text.size();
        if (open + 1 >= size) {
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
            return size;
        }
        if (!isAsciiAlpha(m_text[nameStart])) {
            if (!isEnd) {
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
        if (isEnd || !tag.has(kRawText) || m_nesting.lastStartWasForeign()) {
            return after;  // SVG and MathML hold no raw text; a select does, as browsers parse it
        }
        const std::size_t close = findRawTextEnd(m_text, after, name);
        return close == kNone ? size : close;
    }

    std::size_t skipPast(char c, std::size_t from) const {
        const std::size_t found = m_text.find(c, from);
        return found == kNone ? m_text.size() : found + 1;
    }

    std::string_view m_text;
    std::size_t m_maxAttributes;
    MarkupScan m_scan;
    TagTable m_tags;
    NestingGuard m_nesting;
};

}  // namespace

MarkupScan scanMarkup(std::string_view text, const ScanOptions& options) {
    return Scanner(text, options).scan();
}

std::string withRemovals(const std::string& text, const std::vector<Removal>& removals) {
    std::string kept;
    kept.reserve(text.size());
    std::size_t copied = 0;
    for (const Removal& removal : removals) {
        kept.append(text, copied, removal.begin - copied);
        kept.append(removal.replacement);
        copied = removal.end;
    }
    kept.append(text, copied);
    return kept;
}

}  // namespace tabrivo::testing
