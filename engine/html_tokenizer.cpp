#include <engine/html_tokenizer_p.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <engine/ascii.h>
#include <engine/utf8.h>

namespace tabrivo::detail {

namespace {

struct NamedReference {
    std::string_view name;
    std::string_view text;
};

// Sorted by name, byte by byte.
constexpr NamedReference kNamedReferences[] = {
#include <engine/named_references.inc>
};

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
constexpr std::size_t kManyAttributes = 16;  // past this, duplicates are found by hash

// The tokenizer's white space: CR is gone by now (line breaks are LF).
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f';
}
bool isUpper(char c) {
    return c >= 'A' && c <= 'Z';
}
bool isLower(char c) {
    return c >= 'a' && c <= 'z';
}
bool isAlpha(char c) {
    return isUpper(c) || isLower(c);
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isAlnum(char c) {
    return isAlpha(c) || isDigit(c);
}
bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
using ascii::toLower;

// The position of the first of three bytes at or after `from`, or the end.
std::size_t findAny(std::string_view text, std::size_t from, char a, char b, char c) {
    const char* begin = text.data();
    const char* p = begin + from;
    const char* const end = begin + text.size();
#if defined(__SSE2__)
    const __m128i wantA = _mm_set1_epi8(a);
    const __m128i wantB = _mm_set1_epi8(b);
    const __m128i wantC = _mm_set1_epi8(c);
    while (end - p >= 16) {
        // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the SSE2 load API
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hits =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, wantA), _mm_cmpeq_epi8(chunk, wantB)),
                         _mm_cmpeq_epi8(chunk, wantC));
        const int mask = _mm_movemask_epi8(hits);
        if (mask != 0) {
            return static_cast<std::size_t>(p - begin) +
                   static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        }
        p += 16;
    }
#endif
    for (; p != end; ++p) {
        if (*p == a || *p == b || *p == c) {
            break;
        }
    }
    return static_cast<std::size_t>(p - begin);
}

// What a numeric reference to a C1 control stands for: the windows-1252
// character at that place (0 where there is none).
constexpr char16_t kC1Replacements[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t checkedCodePoint(char32_t cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0xFFFD;
    }
    if (cp >= 0x80 && cp <= 0x9F && kC1Replacements[cp - 0x80] != 0) {
        return kC1Replacements[cp - 0x80];
    }
    return cp;
}

bool startsWithNoCase(std::string_view text, std::size_t at, std::string_view upperWord) {
    if (text.size() - at < upperWord.size()) {
        return false;
    }
    for (std::size_t i = 0; i < upperWord.size(); ++i) {
        const char c = text[at + i];
        if ((isLower(c) ? static_cast<char>(c - ('a' - 'A')) : c) != upperWord[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::size_t normalizeNewlines(char* text, std::size_t size) {
    const std::string_view whole(text, size);
    std::size_t read = whole.find('\r');
    if (read == std::string_view::npos) {
        return size;  // nothing written: a mapped file's pages stay shared
    }
    // A run at a time: from one CR to the next, the text moves down as a whole.
    std::size_t write = read;
    while (read < size) {
        // text[read] is a CR.
        text[write++] = '\n';
        ++read;
        if (read < size && text[read] == '\n') {
            ++read;
        }
        std::size_t next = whole.find('\r', read);
        if (next == std::string_view::npos) {
            next = size;
        }
        if (write != read) {
            std::memmove(text + write, text + read, next - read);
        }
        write += next - read;
        read = next;
    }
    return write;
}

void normalizeNewlines(std::string& text) {
    text.resize(normalizeNewlines(text.data(), text.size()));
}

const Token& HtmlTokenizer::next() {
    if (m_taken < m_queued) {
        return m_tokens[m_taken++];
    }
    m_queued = 0;
    m_taken = 0;
    m_text.clear();
    m_textCopied = false;
    m_textBegin = m_textEnd = m_pos;
    if (m_eofEmitted) {
        m_tokens[0] = Token{};
        m_queued = 1;
    }
    run();
    return m_tokens[m_taken++];
}

void HtmlTokenizer::emitInputChars(std::size_t begin, std::size_t end) {
    if (m_textCopied) {
        m_text.append(m_in.substr(begin, end - begin));
    } else if (m_textBegin == m_textEnd) {
        m_textBegin = begin;
        m_textEnd = end;
    } else if (m_textEnd == begin) {
        m_textEnd = end;
    } else {
        m_text.assign(m_in.substr(m_textBegin, m_textEnd - m_textBegin));
        m_textCopied = true;
        m_text.append(m_in.substr(begin, end - begin));
    }
}

void HtmlTokenizer::emitChars(std::string_view chars) {
    if (!m_textCopied) {
        m_text.assign(m_in.substr(m_textBegin, m_textEnd - m_textBegin));
        m_textCopied = true;
    }
    m_text.append(chars);
}

namespace {

// A token of that type with nothing in it yet. The DOCTYPE's own fields are
// read only from DOCTYPE tokens, which set them all.
void clearToken(Token& token, TokenType type) {
    token.type = type;
    token.text = {};
    token.selfClosing = false;
    token.offset = 0;
    token.attributes = nullptr;
    token.attributeCount = 0;
}

}  // namespace

void HtmlTokenizer::flushText() {
    const std::string_view text =
        m_textCopied ? std::string_view(m_text) : m_in.substr(m_textBegin, m_textEnd - m_textBegin);
    if (text.empty()) {
        return;
    }
    Token& token = m_tokens[m_queued++];
    clearToken(token, TokenType::Character);
    token.text = text;
    // The run is handed on; nothing more is emitted before the caller takes it.
    m_textBegin = m_textEnd = m_pos;
    m_textCopied = false;
}

void HtmlTokenizer::queue(TokenType type) {
    flushText();
    Token& token = m_tokens[m_queued++];
    clearToken(token, type);
    if (type == TokenType::EndOfFile) {
        m_eofEmitted = true;
    }
}

void HtmlTokenizer::startTag(TokenType type) {
    m_tagType = type;
    m_buffer.clear();
    m_nameEnd = 0;
    m_selfClosing = false;
    m_pendingAttributes.clear();
    if (!m_attributeNames.empty()) {
        m_attributeNames.clear();  // clearing an empty set still wipes its buckets
    }
    m_dropAttribute = false;
}

void HtmlTokenizer::appendLower(char c) {
    if (c == '\0') {
        m_buffer.append(kReplacement);
    } else {
        m_buffer += toLower(c);
    }
}

void HtmlTokenizer::startAttribute() {
    if (m_dropAttribute) {
        m_buffer.resize(m_pendingAttributes.back().nameBegin);
        m_pendingAttributes.pop_back();
        m_dropAttribute = false;
    }
    PendingAttribute attribute;
    attribute.nameBegin = attribute.nameEnd = m_buffer.size();
    attribute.valueBegin = attribute.valueEnd = m_buffer.size();
    m_pendingAttributes.push_back(attribute);
}

void HtmlTokenizer::finishAttributeName() {
    PendingAttribute& current = m_pendingAttributes.back();
    current.nameEnd = current.valueBegin = current.valueEnd = m_buffer.size();
    const std::string_view name = bufferSpan(current.nameBegin, current.nameEnd);
    const std::size_t count = m_pendingAttributes.size() - 1;
    if (count < kManyAttributes) {
        for (std::size_t i = 0; i < count; ++i) {
            const PendingAttribute& other = m_pendingAttributes[i];
            if (bufferSpan(other.nameBegin, other.nameEnd) == name) {
                m_dropAttribute = true;  // the first of the same name wins
                return;
            }
        }
        if (count + 1 == kManyAttributes) {
            for (const PendingAttribute& other : m_pendingAttributes) {
                m_attributeNames.emplace(bufferSpan(other.nameBegin, other.nameEnd));
            }
        }
        return;
    }
    m_dropAttribute = !m_attributeNames.emplace(name).second;
}

void HtmlTokenizer::emitTag() {
    if (m_dropAttribute) {
        m_buffer.resize(m_pendingAttributes.back().nameBegin);
        m_pendingAttributes.pop_back();
        m_dropAttribute = false;
    }
    queue(m_tagType);
    Token& token = m_tokens[m_queued - 1];
    token.text = bufferSpan(0, m_nameEnd);
    if (m_tagType == TokenType::StartTag) {
        m_attributes.clear();
        for (const PendingAttribute& attribute : m_pendingAttributes) {
            m_attributes.push_back({bufferSpan(attribute.nameBegin, attribute.nameEnd),
                                    bufferSpan(attribute.valueBegin, attribute.valueEnd)});
        }
        token.attributes = m_attributes.data();
        token.attributeCount = m_attributes.size();
        token.selfClosing = m_selfClosing;
        token.offset = m_tagStart;
        m_lastStartTagCopy.assign(token.text);
        m_lastStartTag = m_lastStartTagCopy;
    }
    m_state = State::Data;
}

namespace {

// The bytes of a tag name that the tag name state appends as they are.
constexpr std::array<bool, 256> kPlainNameByte = [] {
    std::array<bool, 256> plain{};
    plain.fill(true);
    for (const char c : {'\t', '\n', '\f', '\r', ' ', '>', '/', '\0'}) {
        plain[static_cast<unsigned char>(c)] = false;
    }
    for (char c = 'A'; c <= 'Z'; ++c) {
        plain[static_cast<unsigned char>(c)] = false;
    }
    return plain;
}();

// Likewise for an attribute name, which also ends at '='.
constexpr std::array<bool, 256> kPlainAttributeNameByte = [] {
    std::array<bool, 256> plain = kPlainNameByte;
    plain[static_cast<unsigned char>('=')] = false;
    return plain;
}();

}  // namespace

bool HtmlTokenizer::plainTag() {
    // Most tags are such: they skip the tag states and the buffer. Anything
    // else, from the first byte that asks for more, goes the states' way.
    const std::size_t size = m_in.size();
    std::size_t begin = m_pos;
    const bool end = begin < size && m_in[begin] == '/';
    begin += end ? 1 : 0;
    if (begin >= size || !isLower(m_in[begin])) {
        return false;
    }
    std::size_t at = begin + 1;
    while (at < size && kPlainNameByte[static_cast<unsigned char>(m_in[at])]) {
        ++at;
    }
    const std::string_view name = m_in.substr(begin, at - begin);
    bool selfClosing = false;
    m_attributes.clear();
    auto skipSpace = [&] {
        while (at < size && isSpace(m_in[at])) {
            ++at;
        }
    };
    for (;;) {
        skipSpace();
        if (at >= size) {
            return false;
        }
        const char c = m_in[at];
        if (c == '>') {
            ++at;
            break;
        }
        if (end || m_attributes.size() == kManyAttributes) {
            return false;  // end tags with attributes, and many attributes, are rare
        }
        if (c == '/') {
            if (at + 1 >= size || m_in[at + 1] != '>') {
                return false;
            }
            selfClosing = true;
            at += 2;
            break;
        }
        const std::size_t nameBegin = at;
        while (at < size && kPlainAttributeNameByte[static_cast<unsigned char>(m_in[at])]) {
            ++at;
        }
        if (at == nameBegin || at >= size) {
            return false;
        }
        const std::string_view attributeName = m_in.substr(nameBegin, at - nameBegin);
        std::string_view value = m_in.substr(at, 0);
        std::size_t afterName = at;
        while (afterName < size && isSpace(m_in[afterName])) {
            ++afterName;
        }
        if (afterName < size && m_in[afterName] == '=') {
            at = afterName + 1;
            skipSpace();
            if (at >= size) {
                return false;
            }
            const char quote = m_in[at];
            if (quote == '"' || quote == '\'') {
                const std::size_t close = findAny(m_in, at + 1, quote, '&', '\0');
                // After the value: white space, '/' or '>'.
                if (close + 1 >= size || m_in[close] != quote ||
                    !(isSpace(m_in[close + 1]) || m_in[close + 1] == '/' ||
                      m_in[close + 1] == '>')) {
                    return false;
                }
                value = m_in.substr(at + 1, close - at - 1);
                at = close + 1;
            } else if (quote != '>') {  // at '>' the value is empty and the tag ends
                const std::size_t valueBegin = at;
                while (at < size && !isSpace(m_in[at]) && m_in[at] != '>') {
                    if (m_in[at] == '&' || m_in[at] == '\0') {
                        return false;
                    }
                    ++at;
                }
                value = m_in.substr(valueBegin, at - valueBegin);
            }
        }
        for (const TokenAttribute& earlier : m_attributes) {
            if (earlier.name == attributeName) {
                return false;  // the first of a name wins: the states drop the others
            }
        }
        m_attributes.push_back({attributeName, value});
    }
    queue(end ? TokenType::EndTag : TokenType::StartTag);
    Token& token = m_tokens[m_queued - 1];
    token.text = name;
    if (!end) {
        token.offset = m_tagStart;
        token.attributes = m_attributes.data();
        token.attributeCount = m_attributes.size();
        token.selfClosing = selfClosing;
        m_lastStartTag = name;
    }
    m_pos = at;
    return true;
}

void HtmlTokenizer::emitComment() {
    queue(TokenType::Comment);
    m_tokens[m_queued - 1].text = m_buffer;
    m_state = State::Data;
}

void HtmlTokenizer::emitDoctype() {
    queue(TokenType::Doctype);
    Token& token = m_tokens[m_queued - 1];
    token.text = bufferSpan(0, m_nameEnd);
    token.hasName = m_hasName;
    token.hasPublicId = m_hasPublicId;
    token.hasSystemId = m_hasSystemId;
    token.publicId = bufferSpan(m_publicBegin, m_publicEnd);
    token.systemId = bufferSpan(m_systemBegin, m_systemEnd);
    token.forceQuirks = m_forceQuirks;
    m_state = State::Data;
}

namespace {

// The bytes that end a run of a tag, attribute or DOCTYPE name: white space,
// '>', '/', '=' and NUL; the caller tells which of them end its name.
constexpr std::array<bool, 256> kEndsNameRun = [] {
    std::array<bool, 256> ends{};
    for (const char c : {'\t', '\n', '\f', '\r', ' ', '>', '/', '=', '\0'}) {
        ends[static_cast<unsigned char>(c)] = true;
    }
    return ends;
}();

}  // namespace

std::size_t HtmlTokenizer::nameRunEnd(std::size_t from) const {
    while (from < m_in.size() && !kEndsNameRun[static_cast<unsigned char>(m_in[from])]) {
        ++from;
    }
    return from;
}

void HtmlTokenizer::appendLowerRun(std::size_t begin, std::size_t end) {
    const std::size_t at = m_buffer.size();
    m_buffer.append(m_in.data() + begin, end - begin);
    char* const name = m_buffer.data() + at;
    for (std::size_t i = 0; i < end - begin; ++i) {
        name[i] = toLower(name[i]);
    }
}

char HtmlTokenizer::readName(bool slashEnds) {
    // A run at a time: names are short and seldom hold a NUL.
    for (;;) {
        const std::size_t begin = m_pos;
        m_pos = nameRunEnd(m_pos);
        appendLowerRun(begin, m_pos);
        if (ended()) {
            m_nameEnd = m_buffer.size();
            return '\0';
        }
        const char c = m_in[m_pos++];
        if (c == '=' || (c == '/' && !slashEnds)) {
            m_buffer += c;  // part of the name here
        } else if (c != '\0') {
            m_nameEnd = m_buffer.size();
            return c;
        } else {
            appendLower(c);
        }
    }
}

bool HtmlTokenizer::isAppropriateEndTag() const {
    return m_tagType == TokenType::EndTag && bufferSpan(0, m_buffer.size()) == m_lastStartTag;
}

void HtmlTokenizer::characterReference(bool inAttribute) {
    // m_pos is just past the '&'.
    const std::size_t amp = m_pos - 1;
    auto literal = [&] {
        // The '&' stands for itself; what follows is read as usual.
        if (inAttribute) {
            m_buffer += '&';
        } else {
            emitInputChars(amp, m_pos);
        }
    };
    auto append = [&](std::string_view text) {
        if (inAttribute) {
            m_buffer.append(text);
        } else {
            emitChars(text);
        }
    };
    if (ended()) {
        literal();
        return;
    }
    const char first = m_in[m_pos];
    if (first == '#') {
        std::size_t p = m_pos + 1;
        const bool hex = p < m_in.size() && (m_in[p] == 'x' || m_in[p] == 'X');
        if (hex) {
            ++p;
        }
        const std::size_t digits = p;
        char32_t value = 0;
        while (p < m_in.size() && (hex ? isHexDigit(m_in[p]) : isDigit(m_in[p]))) {
            const char c = m_in[p++];
            const auto digit = static_cast<char32_t>(isDigit(c)   ? c - '0'
                                                     : isUpper(c) ? c - 'A' + 10
                                                                  : c - 'a' + 10);
            value = std::min<char32_t>(value * (hex ? 16 : 10) + digit, 0x110000);
        }
        if (p == digits) {
            literal();
            return;
        }
        if (p < m_in.size() && m_in[p] == ';') {
            ++p;
        }
        m_pos = p;
        std::string text;
        appendUtf8(text, checkedCodePoint(value));
        append(text);
        return;
    }
    if (!isAlnum(first)) {
        literal();
        return;
    }
    // The commonest names first. Each ends in ';', after which no name goes on,
    // so each is the longest match wherever it stands.
    static constexpr std::pair<std::string_view, std::string_view> kCommon[] = {
        {"amp;", "&"}, {"lt;", "<"}, {"gt;", ">"}, {"quot;", "\""}, {"nbsp;", "\xC2\xA0"}};
    for (const auto& [name, text] : kCommon) {
        if (m_in.substr(m_pos, name.size()) == name) {
            m_pos += name.size();
            append(text);
            return;
        }
    }
    // The longest name that the following characters spell.
    const NamedReference* begin = std::begin(kNamedReferences);
    const NamedReference* end = std::end(kNamedReferences);
    const NamedReference* match = nullptr;
    std::size_t depth = 0;
    while (begin != end && m_pos + depth < m_in.size()) {
        const char c = m_in[m_pos + depth];
        begin = std::lower_bound(begin, end, c, [depth](const NamedReference& entry, char want) {
            return entry.name.size() <= depth || entry.name[depth] < want;
        });
        end = std::upper_bound(begin, end, c, [depth](char want, const NamedReference& entry) {
            return want < entry.name[depth];
        });
        ++depth;
        if (begin != end && begin->name.size() == depth) {
            match = begin;
        }
    }
    if (match == nullptr) {
        literal();
        return;
    }
    const std::size_t after = m_pos + match->name.size();
    if (inAttribute && match->name.back() != ';' && after < m_in.size() &&
        (m_in[after] == '=' || isAlnum(m_in[after]))) {
        literal();  // for old pages: "&copy=1" in a URL stays as written
        return;
    }
    m_pos = after;
    append(match->text);
}

void HtmlTokenizer::dataState() {
    const std::size_t stop = findAny(m_in, m_pos, '<', '&', '\0');
    if (stop > m_pos) {
        emitInputChars(m_pos, stop);
    }
    m_pos = stop;
    if (ended()) {
        queue(TokenType::EndOfFile);
        return;
    }
    const char c = m_in[m_pos++];
    if (c == '<') {
        m_tagStart = m_pos - 1;
        if (!plainTag()) {
            m_state = State::TagOpen;
        }
    } else if (c == '&') {
        characterReference(false);
    } else {
        emitInputChars(m_pos - 1, m_pos);  // NUL stays NUL here
    }
}

void HtmlTokenizer::rcdataState() {
    const std::size_t stop = findAny(m_in, m_pos, '<', '&', '\0');
    if (stop > m_pos) {
        emitInputChars(m_pos, stop);
    }
    m_pos = stop;
    if (ended()) {
        queue(TokenType::EndOfFile);
        return;
    }
    const char c = m_in[m_pos++];
    if (c == '<') {
        m_state = State::RcdataLessThan;
    } else if (c == '&') {
        characterReference(false);
    } else {
        emitChars(kReplacement);
    }
}

void HtmlTokenizer::rawtextState(State lessThanState) {
    const std::size_t stop = findAny(m_in, m_pos, '<', '\0', '\0');
    if (stop > m_pos) {
        emitInputChars(m_pos, stop);
    }
    m_pos = stop;
    if (ended()) {
        queue(TokenType::EndOfFile);
        return;
    }
    const char c = m_in[m_pos++];
    if (c == '<') {
        m_state = lessThanState;
    } else {
        emitChars(kReplacement);
    }
}

void HtmlTokenizer::plaintextState() {
    const std::size_t stop = findAny(m_in, m_pos, '\0', '\0', '\0');
    if (stop > m_pos) {
        emitInputChars(m_pos, stop);
    }
    m_pos = stop;
    if (ended()) {
        queue(TokenType::EndOfFile);
        return;
    }
    ++m_pos;
    emitChars(kReplacement);
}

void HtmlTokenizer::scriptEscapedState(bool doubled) {
    const std::size_t stop = findAny(m_in, m_pos, '<', '-', '\0');
    if (stop > m_pos) {
        emitInputChars(m_pos, stop);
    }
    m_pos = stop;
    if (ended()) {
        queue(TokenType::EndOfFile);
        return;
    }
    const char c = m_in[m_pos++];
    if (c == '-') {
        emitInputChars(m_pos - 1, m_pos);
        m_state = doubled ? State::ScriptDataDoubleEscapedDash : State::ScriptDataEscapedDash;
    } else if (c == '<') {
        if (doubled) {
            emitInputChars(m_pos - 1, m_pos);
            m_state = State::ScriptDataDoubleEscapedLessThan;
        } else {
            m_state = State::ScriptDataEscapedLessThan;
        }
    } else {
        emitChars(kReplacement);
    }
}

// The end tag name states of RCDATA, RAWTEXT and script data: the name is
// an end tag only if it closes the element that was opened last.
bool HtmlTokenizer::endTagNameState(State textState) {
    if (!ended()) {
        const char c = m_in[m_pos];
        if (isSpace(c) || c == '/' || c == '>') {
            if (isAppropriateEndTag()) {
                ++m_pos;
                m_nameEnd = m_buffer.size();
                if (c == '>') {
                    emitTag();
                } else {
                    m_state = c == '/' ? State::SelfClosingStartTag : State::BeforeAttributeName;
                }
                return true;
            }
        } else if (isAlpha(c)) {
            ++m_pos;
            m_buffer += toLower(c);
            m_temporary += c;
            return true;
        }
    }
    // Not an end tag after all: "</" and the name are text.
    emitInputChars(m_pos - m_temporary.size() - 2, m_pos);
    m_state = textState;
    return false;
}

void HtmlTokenizer::attributeValueQuoted(char quote) {
    const std::size_t stop = findAny(m_in, m_pos, quote, '&', '\0');
    m_buffer.append(m_in.substr(m_pos, stop - m_pos));
    m_pos = stop;
    if (ended()) {
        queue(TokenType::EndOfFile);
        return;
    }
    const char c = m_in[m_pos++];
    if (c == quote) {
        m_pendingAttributes.back().valueEnd = m_buffer.size();
        m_state = State::AfterAttributeValueQuoted;
    } else if (c == '&') {
        characterReference(true);
    } else {
        m_buffer.append(kReplacement);
    }
}

void HtmlTokenizer::attributeValueUnquoted() {
    while (!ended()) {
        const char c = m_in[m_pos++];
        if (isSpace(c)) {
            m_pendingAttributes.back().valueEnd = m_buffer.size();
            m_state = State::BeforeAttributeName;
            return;
        }
        if (c == '&') {
            characterReference(true);
            continue;
        }
        if (c == '>') {
            m_pendingAttributes.back().valueEnd = m_buffer.size();
            emitTag();
            return;
        }
        if (c == '\0') {
            m_buffer.append(kReplacement);
        } else {
            m_buffer += c;
        }
    }
    queue(TokenType::EndOfFile);
}

void HtmlTokenizer::commentState() {
    const std::size_t stop = findAny(m_in, m_pos, '<', '-', '\0');
    m_buffer.append(m_in.substr(m_pos, stop - m_pos));
    m_pos = stop;
    if (ended()) {
        emitComment();
        queue(TokenType::EndOfFile);
        return;
    }
    const char c = m_in[m_pos++];
    if (c == '<') {
        m_buffer += c;
        m_state = State::CommentLessThan;
    } else if (c == '-') {
        m_state = State::CommentEndDash;
    } else {
        m_buffer.append(kReplacement);
    }
}

void HtmlTokenizer::cdataState() {
    const std::size_t stop = findAny(m_in, m_pos, ']', ']', ']');
    if (stop > m_pos) {
        emitInputChars(m_pos, stop);
    }
    m_pos = stop;
    if (ended()) {
        queue(TokenType::EndOfFile);
        return;
    }
    ++m_pos;
    m_state = State::CdataSectionBracket;
}

// One step of the state machine, written into run()'s loop: as a call of its
// own, its entry and exit cost more than most steps.
#if defined(__GNUC__)
#define TABRIVO_ALWAYS_INLINE [[gnu::always_inline]] inline
#else
#define TABRIVO_ALWAYS_INLINE inline
#endif

// NOLINTNEXTLINE(readability-function-cognitive-complexity): one case a state, as written
TABRIVO_ALWAYS_INLINE void HtmlTokenizer::step() {
    // Most states look at one character; `c` is it, `eof` when there is none.
    const bool eof = ended();
    const char c = eof ? '\0' : m_in[m_pos];
    auto consume = [&] { ++m_pos; };
    auto emitEof = [&] { queue(TokenType::EndOfFile); };
    auto newComment = [&] {
        m_buffer.clear();
        m_state = State::BogusComment;
    };
    auto newDoctype = [&] {
        m_buffer.clear();
        m_nameEnd = 0;
        m_hasName = m_hasPublicId = m_hasSystemId = m_forceQuirks = false;
        m_publicBegin = m_publicEnd = m_systemBegin = m_systemEnd = 0;
    };
    auto quirksDoctype = [&] {
        m_forceQuirks = true;
        emitDoctype();
    };
    switch (m_state) {
        case State::Data:
            dataState();
            return;
        case State::Rcdata:
            rcdataState();
            return;
        case State::Rawtext:
            rawtextState(State::RawtextLessThan);
            return;
        case State::ScriptData:
            rawtextState(State::ScriptDataLessThan);
            return;
        case State::Plaintext:
            plaintextState();
            return;
        case State::TagOpen:
            if (c == '!' && !eof) {
                consume();
                m_state = State::MarkupDeclarationOpen;
            } else if (c == '/' && !eof) {
                consume();
                m_state = State::EndTagOpen;
            } else if (isAlpha(c)) {
                startTag(TokenType::StartTag);
                m_state = State::TagName;
            } else if (c == '?' && !eof) {
                newComment();
            } else {
                emitInputChars(m_pos - 1, m_pos);
                m_state = State::Data;
                if (eof) {
                    emitEof();
                }
            }
            return;
        case State::EndTagOpen:
            if (isAlpha(c)) {
                startTag(TokenType::EndTag);
                m_state = State::TagName;
            } else if (c == '>' && !eof) {
                consume();
                m_state = State::Data;
            } else if (eof) {
                emitInputChars(m_pos - 2, m_pos);
                emitEof();
            } else {
                newComment();
            }
            return;
        case State::TagName: {
            const char end = readName(true);
            if (end == '>') {
                emitTag();
            } else if (end == '/') {
                m_state = State::SelfClosingStartTag;
            } else if (end != '\0') {
                m_state = State::BeforeAttributeName;
            } else {
                emitEof();
            }
            return;
        }
        case State::RcdataLessThan:
        case State::RawtextLessThan:
        case State::ScriptDataLessThan:
            if (c == '/' && !eof) {
                consume();
                m_temporary.clear();
                m_state = m_state == State::RcdataLessThan    ? State::RcdataEndTagOpen
                          : m_state == State::RawtextLessThan ? State::RawtextEndTagOpen
                                                              : State::ScriptDataEndTagOpen;
            } else if (c == '!' && !eof && m_state == State::ScriptDataLessThan) {
                consume();
                emitInputChars(m_pos - 2, m_pos);
                m_state = State::ScriptDataEscapeStart;
            } else {
                emitInputChars(m_pos - 1, m_pos);
                m_state = m_state == State::RcdataLessThan    ? State::Rcdata
                          : m_state == State::RawtextLessThan ? State::Rawtext
                                                              : State::ScriptData;
            }
            return;
        case State::RcdataEndTagOpen:
        case State::RawtextEndTagOpen:
        case State::ScriptDataEndTagOpen:
        case State::ScriptDataEscapedEndTagOpen: {
            const State text = m_state == State::RcdataEndTagOpen       ? State::Rcdata
                               : m_state == State::RawtextEndTagOpen    ? State::Rawtext
                               : m_state == State::ScriptDataEndTagOpen ? State::ScriptData
                                                                        : State::ScriptDataEscaped;
            if (isAlpha(c)) {
                startTag(TokenType::EndTag);
                m_state = m_state == State::RcdataEndTagOpen    ? State::RcdataEndTagName
                          : m_state == State::RawtextEndTagOpen ? State::RawtextEndTagName
                          : m_state == State::ScriptDataEndTagOpen
                              ? State::ScriptDataEndTagName
                              : State::ScriptDataEscapedEndTagName;
            } else {
                emitInputChars(m_pos - 2, m_pos);
                m_state = text;
            }
            return;
        }
        case State::RcdataEndTagName:
            endTagNameState(State::Rcdata);
            return;
        case State::RawtextEndTagName:
            endTagNameState(State::Rawtext);
            return;
        case State::ScriptDataEndTagName:
            endTagNameState(State::ScriptData);
            return;
        case State::ScriptDataEscapedEndTagName:
            endTagNameState(State::ScriptDataEscaped);
            return;
        case State::ScriptDataEscapeStart:
        case State::ScriptDataEscapeStartDash:
            if (c == '-' && !eof) {
                consume();
                emitInputChars(m_pos - 1, m_pos);
                m_state = m_state == State::ScriptDataEscapeStart
                              ? State::ScriptDataEscapeStartDash
                              : State::ScriptDataEscapedDashDash;
            } else {
                m_state = State::ScriptData;
            }
            return;
        case State::ScriptDataEscaped:
            scriptEscapedState(false);
            return;
        case State::ScriptDataDoubleEscaped:
            scriptEscapedState(true);
            return;
        case State::ScriptDataEscapedDash:
        case State::ScriptDataEscapedDashDash:
        case State::ScriptDataDoubleEscapedDash:
        case State::ScriptDataDoubleEscapedDashDash: {
            const bool doubled = m_state == State::ScriptDataDoubleEscapedDash ||
                                 m_state == State::ScriptDataDoubleEscapedDashDash;
            const bool dashDash = m_state == State::ScriptDataEscapedDashDash ||
                                  m_state == State::ScriptDataDoubleEscapedDashDash;
            const State escaped =
                doubled ? State::ScriptDataDoubleEscaped : State::ScriptDataEscaped;
            if (eof) {
                emitEof();
                return;
            }
            consume();
            if (c == '-') {
                emitInputChars(m_pos - 1, m_pos);
                m_state = doubled ? State::ScriptDataDoubleEscapedDashDash
                                  : State::ScriptDataEscapedDashDash;
            } else if (c == '<') {
                if (doubled) {
                    emitInputChars(m_pos - 1, m_pos);
                    m_state = State::ScriptDataDoubleEscapedLessThan;
                } else {
                    m_state = State::ScriptDataEscapedLessThan;
                }
            } else if (c == '>' && dashDash) {
                emitInputChars(m_pos - 1, m_pos);
                m_state = State::ScriptData;
            } else if (c == '\0') {
                emitChars(kReplacement);
                m_state = escaped;
            } else {
                emitInputChars(m_pos - 1, m_pos);
                m_state = escaped;
            }
            return;
        }
        case State::ScriptDataEscapedLessThan:
            if (c == '/' && !eof) {
                consume();
                m_temporary.clear();
                m_state = State::ScriptDataEscapedEndTagOpen;
            } else if (isAlpha(c)) {
                m_temporary.clear();
                emitInputChars(m_pos - 1, m_pos);
                m_state = State::ScriptDataDoubleEscapeStart;
            } else {
                emitInputChars(m_pos - 1, m_pos);
                m_state = State::ScriptDataEscaped;
            }
            return;
        case State::ScriptDataDoubleEscapeStart:
        case State::ScriptDataDoubleEscapeEnd: {
            const bool start = m_state == State::ScriptDataDoubleEscapeStart;
            if (!eof && (isSpace(c) || c == '/' || c == '>')) {
                consume();
                emitInputChars(m_pos - 1, m_pos);
                const bool script = m_temporary == "script";
                m_state =
                    start == script ? State::ScriptDataDoubleEscaped : State::ScriptDataEscaped;
            } else if (isAlpha(c)) {
                consume();
                emitInputChars(m_pos - 1, m_pos);
                m_temporary += toLower(c);
            } else {
                m_state = start ? State::ScriptDataEscaped : State::ScriptDataDoubleEscaped;
            }
            return;
        }
        case State::ScriptDataDoubleEscapedLessThan:
            if (c == '/' && !eof) {
                consume();
                emitInputChars(m_pos - 1, m_pos);
                m_temporary.clear();
                m_state = State::ScriptDataDoubleEscapeEnd;
            } else {
                m_state = State::ScriptDataDoubleEscaped;
            }
            return;
        case State::BeforeAttributeName:
            if (!eof && isSpace(c)) {
                consume();
            } else if (eof || c == '/' || c == '>') {
                m_state = State::AfterAttributeName;
            } else {
                startAttribute();
                if (c == '=') {
                    consume();
                    m_buffer += '=';
                }
                m_state = State::AttributeName;
            }
            return;
        case State::AttributeName:
            while (!ended()) {
                const std::size_t begin = m_pos;
                m_pos = nameRunEnd(m_pos);
                appendLowerRun(begin, m_pos);
                if (ended()) {
                    break;
                }
                const char n = m_in[m_pos];
                if (isSpace(n) || n == '/' || n == '>') {
                    finishAttributeName();
                    m_state = State::AfterAttributeName;
                    return;
                }
                ++m_pos;
                if (n == '=') {
                    finishAttributeName();
                    m_state = State::BeforeAttributeValue;
                    return;
                }
                appendLower(n);  // a NUL
            }
            finishAttributeName();
            m_state = State::AfterAttributeName;
            return;
        case State::AfterAttributeName:
            if (eof) {
                emitEof();
            } else if (isSpace(c)) {
                consume();
            } else if (c == '/') {
                consume();
                m_state = State::SelfClosingStartTag;
            } else if (c == '=') {
                consume();
                m_state = State::BeforeAttributeValue;
            } else if (c == '>') {
                consume();
                emitTag();
            } else {
                startAttribute();
                m_state = State::AttributeName;
            }
            return;
        case State::BeforeAttributeValue:
            if (!eof && isSpace(c)) {
                consume();
            } else if (c == '"' && !eof) {
                consume();
                m_state = State::AttributeValueDoubleQuoted;
            } else if (c == '\'' && !eof) {
                consume();
                m_state = State::AttributeValueSingleQuoted;
            } else if (c == '>' && !eof) {
                consume();
                emitTag();
            } else {
                m_state = State::AttributeValueUnquoted;
            }
            return;
        case State::AttributeValueDoubleQuoted:
            attributeValueQuoted('"');
            return;
        case State::AttributeValueSingleQuoted:
            attributeValueQuoted('\'');
            return;
        case State::AttributeValueUnquoted:
            attributeValueUnquoted();
            return;
        case State::AfterAttributeValueQuoted:
            if (eof) {
                emitEof();
            } else if (isSpace(c)) {
                consume();
                m_state = State::BeforeAttributeName;
            } else if (c == '/') {
                consume();
                m_state = State::SelfClosingStartTag;
            } else if (c == '>') {
                consume();
                emitTag();
            } else {
                m_state = State::BeforeAttributeName;
            }
            return;
        case State::SelfClosingStartTag:
            if (eof) {
                emitEof();
            } else if (c == '>') {
                consume();
                m_selfClosing = true;
                emitTag();
            } else {
                m_state = State::BeforeAttributeName;
            }
            return;
        case State::BogusComment: {
            const std::size_t stop = findAny(m_in, m_pos, '>', '\0', '\0');
            m_buffer.append(m_in.substr(m_pos, stop - m_pos));
            m_pos = stop;
            if (ended()) {
                emitComment();
                emitEof();
            } else if (m_in[m_pos++] == '>') {
                emitComment();
            } else {
                m_buffer.append(kReplacement);
            }
            return;
        }
        case State::MarkupDeclarationOpen:
            if (m_in.substr(m_pos, 2) == "--") {
                m_pos += 2;
                m_buffer.clear();
                m_state = State::CommentStart;
            } else if (startsWithNoCase(m_in, m_pos, "DOCTYPE")) {
                m_pos += 7;
                m_state = State::Doctype;
            } else if (m_in.substr(m_pos, 7) == "[CDATA[") {
                m_pos += 7;
                if (m_foreign) {
                    m_state = State::CdataSection;
                } else {
                    newComment();
                    m_buffer = "[CDATA[";
                }
            } else {
                newComment();
            }
            return;
        case State::CommentStart:
            if (c == '-' && !eof) {
                consume();
                m_state = State::CommentStartDash;
            } else if (c == '>' && !eof) {
                consume();
                emitComment();
            } else {
                m_state = State::Comment;
            }
            return;
        case State::CommentStartDash:
            if (eof) {
                emitComment();
                emitEof();
            } else if (c == '-') {
                consume();
                m_state = State::CommentEnd;
            } else if (c == '>') {
                consume();
                emitComment();
            } else {
                m_buffer += '-';
                m_state = State::Comment;
            }
            return;
        case State::Comment:
            commentState();
            return;
        case State::CommentLessThan:
            if (c == '!' && !eof) {
                consume();
                m_buffer += '!';
                m_state = State::CommentLessThanBang;
            } else if (c == '<' && !eof) {
                consume();
                m_buffer += '<';
            } else {
                m_state = State::Comment;
            }
            return;
        case State::CommentLessThanBang:
            if (c == '-' && !eof) {
                consume();
                m_state = State::CommentLessThanBangDash;
            } else {
                m_state = State::Comment;
            }
            return;
        case State::CommentLessThanBangDash:
            if (c == '-' && !eof) {
                consume();
                m_state = State::CommentLessThanBangDashDash;
            } else {
                m_state = State::CommentEndDash;
            }
            return;
        case State::CommentLessThanBangDashDash:
            m_state = State::CommentEnd;
            return;
        case State::CommentEndDash:
            if (eof) {
                emitComment();
                emitEof();
            } else if (c == '-') {
                consume();
                m_state = State::CommentEnd;
            } else {
                m_buffer += '-';
                m_state = State::Comment;
            }
            return;
        case State::CommentEnd:
            if (eof) {
                emitComment();
                emitEof();
            } else if (c == '>') {
                consume();
                emitComment();
            } else if (c == '!') {
                consume();
                m_state = State::CommentEndBang;
            } else if (c == '-') {
                consume();
                m_buffer += '-';
            } else {
                m_buffer += "--";
                m_state = State::Comment;
            }
            return;
        case State::CommentEndBang:
            if (eof) {
                emitComment();
                emitEof();
            } else if (c == '-') {
                consume();
                m_buffer += "--!";
                m_state = State::CommentEndDash;
            } else if (c == '>') {
                consume();
                emitComment();
            } else {
                m_buffer += "--!";
                m_state = State::Comment;
            }
            return;
        case State::Doctype:
            if (eof) {
                newDoctype();
                quirksDoctype();
                emitEof();
                return;
            }
            if (isSpace(c)) {
                consume();
            }
            m_state = State::BeforeDoctypeName;
            return;
        case State::BeforeDoctypeName:
            if (eof) {
                newDoctype();
                quirksDoctype();
                emitEof();
            } else if (isSpace(c)) {
                consume();
            } else if (c == '>') {
                consume();
                newDoctype();
                quirksDoctype();
            } else {
                consume();
                newDoctype();
                m_hasName = true;
                appendLower(c);
                m_state = State::DoctypeName;
            }
            return;
        case State::DoctypeName: {
            const char end = readName(false);
            if (end == '>') {
                emitDoctype();
            } else if (end != '\0') {
                m_state = State::AfterDoctypeName;
            } else {
                quirksDoctype();
                emitEof();
            }
            return;
        }
        case State::AfterDoctypeName:
            if (eof) {
                quirksDoctype();
                emitEof();
            } else if (isSpace(c)) {
                consume();
            } else if (c == '>') {
                consume();
                emitDoctype();
            } else if (startsWithNoCase(m_in, m_pos, "PUBLIC")) {
                m_pos += 6;
                m_state = State::AfterDoctypePublicKeyword;
            } else if (startsWithNoCase(m_in, m_pos, "SYSTEM")) {
                m_pos += 6;
                m_state = State::AfterDoctypeSystemKeyword;
            } else {
                m_forceQuirks = true;
                m_state = State::BogusDoctype;
            }
            return;
        case State::AfterDoctypePublicKeyword:
        case State::BeforeDoctypePublicId:
        case State::AfterDoctypeSystemKeyword:
        case State::BeforeDoctypeSystemId: {
            const bool isPublic = m_state == State::AfterDoctypePublicKeyword ||
                                  m_state == State::BeforeDoctypePublicId;
            const bool keyword = m_state == State::AfterDoctypePublicKeyword ||
                                 m_state == State::AfterDoctypeSystemKeyword;
            if (eof) {
                quirksDoctype();
                emitEof();
            } else if (isSpace(c)) {
                consume();
                if (keyword) {
                    m_state =
                        isPublic ? State::BeforeDoctypePublicId : State::BeforeDoctypeSystemId;
                }
            } else if (c == '"' || c == '\'') {
                consume();
                if (isPublic) {
                    m_hasPublicId = true;
                    m_publicBegin = m_publicEnd = m_buffer.size();
                    m_state = c == '"' ? State::DoctypePublicIdDoubleQuoted
                                       : State::DoctypePublicIdSingleQuoted;
                } else {
                    m_hasSystemId = true;
                    m_systemBegin = m_systemEnd = m_buffer.size();
                    m_state = c == '"' ? State::DoctypeSystemIdDoubleQuoted
                                       : State::DoctypeSystemIdSingleQuoted;
                }
            } else if (c == '>') {
                consume();
                quirksDoctype();
            } else {
                m_forceQuirks = true;
                m_state = State::BogusDoctype;
            }
            return;
        }
        case State::DoctypePublicIdDoubleQuoted:
        case State::DoctypePublicIdSingleQuoted:
        case State::DoctypeSystemIdDoubleQuoted:
        case State::DoctypeSystemIdSingleQuoted: {
            const bool isPublic = m_state == State::DoctypePublicIdDoubleQuoted ||
                                  m_state == State::DoctypePublicIdSingleQuoted;
            const char quote = m_state == State::DoctypePublicIdDoubleQuoted ||
                                       m_state == State::DoctypeSystemIdDoubleQuoted
                                   ? '"'
                                   : '\'';
            std::size_t& idEnd = isPublic ? m_publicEnd : m_systemEnd;
            if (eof) {
                quirksDoctype();
                emitEof();
                return;
            }
            consume();
            if (c == quote) {
                m_state = isPublic ? State::AfterDoctypePublicId : State::AfterDoctypeSystemId;
            } else if (c == '>') {
                quirksDoctype();
            } else {
                if (c == '\0') {
                    m_buffer.append(kReplacement);
                } else {
                    m_buffer += c;
                }
                idEnd = m_buffer.size();
            }
            return;
        }
        case State::AfterDoctypePublicId:
        case State::BetweenDoctypePublicAndSystemIds:
            if (eof) {
                quirksDoctype();
                emitEof();
            } else if (isSpace(c)) {
                consume();
                m_state = State::BetweenDoctypePublicAndSystemIds;
            } else if (c == '>') {
                consume();
                emitDoctype();
            } else if (c == '"' || c == '\'') {
                consume();
                m_hasSystemId = true;
                m_systemBegin = m_systemEnd = m_buffer.size();
                m_state = c == '"' ? State::DoctypeSystemIdDoubleQuoted
                                   : State::DoctypeSystemIdSingleQuoted;
            } else {
                m_forceQuirks = true;
                m_state = State::BogusDoctype;
            }
            return;
        case State::AfterDoctypeSystemId:
            if (eof) {
                quirksDoctype();
                emitEof();
            } else if (isSpace(c)) {
                consume();
            } else if (c == '>') {
                consume();
                emitDoctype();
            } else {
                m_state = State::BogusDoctype;
            }
            return;
        case State::BogusDoctype:
            if (eof) {
                emitDoctype();
                emitEof();
                return;
            }
            consume();
            if (c == '>') {
                emitDoctype();
            }
            return;
        case State::CdataSection:
            cdataState();
            return;
        case State::CdataSectionBracket:
            if (c == ']' && !eof) {
                consume();
                m_state = State::CdataSectionEnd;
            } else {
                emitChars("]");
                m_state = State::CdataSection;
            }
            return;
        case State::CdataSectionEnd:
            if (c == ']' && !eof) {
                consume();
                emitChars("]");
            } else if (c == '>' && !eof) {
                consume();
                m_state = State::Data;
            } else {
                emitChars("]]");
                m_state = State::CdataSection;
            }
            return;
    }
}

void HtmlTokenizer::run() {
    while (m_queued == 0) {
        step();
    }
}

}  // namespace tabrivo::detail
