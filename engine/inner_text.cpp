#include <engine/inner_text_p.h>

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/uscript.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <memory_resource>
#include <new>
#include <vector>

#include <engine/utf8.h>

namespace tabrivo::detail {
namespace {

// Collapsible white space; form feed and vertical tab are shown as they are.
bool isCollapsible(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Memory for one walk: a buffer on the caller's stack first, then the heap.
// A block from the heap is given back when freed: the walk of deeply nested
// tables grows its vectors far past the buffer, and a monotonic resource
// would keep every block they leave behind.
class ScratchFirstResource : public std::pmr::memory_resource {
public:
    ScratchFirstResource(std::byte* buffer, std::size_t size)
        : m_begin(buffer), m_next(buffer), m_end(buffer + size) {}

private:
    void* do_allocate(std::size_t bytes, std::size_t alignment) override {
        void* at = m_next;
        std::size_t room = static_cast<std::size_t>(m_end - m_next);
        if (std::align(alignment, bytes, at, room) != nullptr) {
            m_next = static_cast<std::byte*>(at) + bytes;
            return at;
        }
        return ::operator new(bytes, std::align_val_t(alignment));
    }
    void do_deallocate(void* block, std::size_t bytes, std::size_t alignment) override {
        const auto* at = static_cast<const std::byte*>(block);
        if (at < m_begin || at >= m_end) {  // the buffer's blocks go with the buffer
            ::operator delete(block, bytes, std::align_val_t(alignment));
        }
    }
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
        return this == &other;
    }

    std::byte* m_begin;
    std::byte* m_next;
    std::byte* m_end;
};

// A line break in the source next to it goes away with the white space around it.
constexpr std::string_view kZeroWidthSpace = "\xE2\x80\x8B";

// What a character of text is to the line it goes on, as bits.
constexpr std::uint8_t kCollapsibleSpace = 1;  // white space that may collapse
constexpr std::uint8_t kSourceNewline = 2;     // a line break that may be kept
constexpr std::uint8_t kZeroWidthLead = 4;     // the first byte of a zero-width space
constexpr std::array<std::uint8_t, 256> kTextCharacterClass = [] {
    std::array<std::uint8_t, 256> classes{};
    for (const char c : {' ', '\t', '\n', '\r'}) {
        classes[static_cast<unsigned char>(c)] = kCollapsibleSpace;
    }
    classes['\n'] |= kSourceNewline;
    classes[static_cast<unsigned char>(kZeroWidthSpace.front())] = kZeroWidthLead;
    return classes;
}();

// A text made only of white space and form feeds or vertical tabs: where it
// has nothing inline before it, the browser makes no box for it at all.
bool isBlankText(std::string_view text) {
    while (!text.empty()) {
        if (isCollapsible(text.front()) || text.front() == '\f' || text.front() == '\v') {
            text.remove_prefix(1);
        } else {
            return false;
        }
    }
    return true;
}

// Whether a character goes on a word for capitalize: letters, digits, marks
// and the apostrophes and middle dot that join the parts of one word.
bool continuesWord(UChar32 c) {
    if (c == '\'' || c == 0x2019 || c == 0x00B7) {
        return true;
    }
    switch (u_charType(c)) {
        case U_UPPERCASE_LETTER:
        case U_LOWERCASE_LETTER:
        case U_TITLECASE_LETTER:
        case U_MODIFIER_LETTER:
        case U_OTHER_LETTER:
        case U_NON_SPACING_MARK:
        case U_ENCLOSING_MARK:
        case U_COMBINING_SPACING_MARK:
        case U_DECIMAL_DIGIT_NUMBER:
        case U_LETTER_NUMBER:
        case U_OTHER_NUMBER:
        case U_CONNECTOR_PUNCTUATION:
            return true;
        case U_FORMAT_CHAR:
            return c != 0x200B;  // a zero-width space separates words
        default:
            return false;
    }
}

// Han, kana and Hangul make words of their own: a letter of another script
// right after them begins a new word.
bool isEastAsianWordCharacter(UChar32 c) {
    UErrorCode error = U_ZERO_ERROR;
    switch (uscript_getScript(c, &error)) {
        case USCRIPT_HAN:
        case USCRIPT_HIRAGANA:
        case USCRIPT_KATAKANA:
        case USCRIPT_KATAKANA_OR_HIRAGANA:
        case USCRIPT_HANGUL:
            return true;
        default:
            return false;
    }
}

// The last character of a UTF-8 text, or 0.
UChar32 lastCharacterOf(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    auto end = static_cast<int32_t>(text.size());
    UChar32 c = 0;
    U8_PREV_OR_FFFD(reinterpret_cast<const std::uint8_t*>(text.data()), 0, end, c);
    return c;
}

// Where the content that goes on the line as it is ends, from `from`: at the
// first character of `stops` (bits of kTextCharacterClass), but past a single
// space between two other characters when spaces collapse, since that space
// stays as it is too.
const char* contentEnd(std::string_view run, std::size_t from, std::uint8_t stops,
                       bool keepSpaces) {
    const char* p = run.data() + from;
    const char* const end = run.data() + run.size();
    const auto goesOn = [stops](char c) {
        return (kTextCharacterClass[static_cast<unsigned char>(c)] & stops) == 0;
    };
    for (;;) {
        if (!keepSpaces) {
            // Eight bytes at a time while they hold no control character, no
            // lead byte of a zero-width space and no space next to a space or
            // at the end of the eight.
            constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
            constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
            constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
            const auto zeroBytes = [](std::uint64_t word) {  // the high bit of each zero byte
                return ~(((word & kLow7) + kLow7) | word | kLow7);
            };
            while (end - p >= 8) {
                std::uint64_t word = 0;
                std::memcpy(&word, p, 8);
                const std::uint64_t control = (word - 0x20 * kOnes) & ~word & kHigh;
                const std::uint64_t zeroWidth = zeroBytes(word ^ (0xE2 * kOnes));
                const std::uint64_t spaces = zeroBytes(word ^ (0x20 * kOnes));
                if ((control | zeroWidth | (spaces & (spaces >> 8)) | (spaces >> 63)) != 0) {
                    break;
                }
                p += 8;
            }
        }
        while (p != end && goesOn(*p)) {
            ++p;
        }
        if (keepSpaces || p == end || *p != ' ' || p + 1 == end || !goesOn(p[1])) {
            return p;
        }
        p += 2;
    }
}

std::string optionLabel(const Node* option);
LabelMeasure measureOptionLabel(const Node* option, NestedTableTexts& tables);

// Builds the text the way line layout shows it: collapsible white space folds
// into one space that only appears between two pieces of content on one line,
// and block edges become line breaks (leading and trailing ones dropped,
// adjacent ones merged by taking the largest count).
//
// The text of a nested table (and of an option's label, which may hold
// tables) is copied in where it goes, or, for a segment and for a text that
// is only measured, referred to there: so each text is held once however
// deeply tables nest, and measured without being made.
class TextBuilder {
public:
    // Appends to `out`; with `pieces`, the texts of nested tables and labels
    // are referred to there rather than copied into `out` (from `known`).
    TextBuilder(std::string& out, std::string_view newline, NestedTexts* pieces = nullptr,
                NestedTableTexts* known = nullptr)
        : m_out(&out),
          m_pieces(pieces),
          m_known(known),
          m_start(out.size()),
          m_piecesStart(pieces != nullptr ? pieces->size() : 0),
          m_newline(newline) {}
    // Collects a segment of its own (the text of a nested table).
    explicit TextBuilder(std::string_view newline)
        : m_out(&m_own), m_pieces(&m_ownPieces), m_newline(newline) {}
    TextBuilder(const TextBuilder&) = delete;
    TextBuilder& operator=(const TextBuilder&) = delete;

    // Text with visibility:hidden: it takes part in white-space collapsing
    // like any other, but none of its characters are shown, the space that
    // collapses into it included.
    void hiddenText(std::string_view run, WhiteSpace ws) {
        const bool keepSpaces = preservesSpaces(ws);
        for (const char c : run) {
            if (isCollapsible(c) && !keepSpaces) {
                if (!m_atLineStart && !m_pendingSpace) {
                    m_pendingSpace = true;
                    m_pendingSpaceHidden = true;
                }
                continue;
            }
            keepPendingSpace();
            m_atLineStart = false;
        }
        if (!run.empty()) {
            m_lastCharacter = lastCharacterOf(run);
        }
    }

    void text(std::string_view run, WhiteSpace ws) {
        const bool keepSpaces = preservesSpaces(ws);
        const bool keepNewlines = preservesNewlines(ws);
        // The characters that end a run of content that goes on the line as it is.
        const std::uint8_t stops = kZeroWidthLead | (keepSpaces ? 0 : kCollapsibleSpace) |
                                   (keepNewlines ? kSourceNewline : 0);
        for (std::size_t i = 0; i < run.size(); ++i) {
            const char c = run[i];
            if (c == '\n' && keepNewlines) {
                lineBreak();
            } else if (isCollapsible(c) && !keepSpaces) {
                if (!m_atLineStart) {
                    m_pendingSpaceHidden = m_pendingSpaceHidden && m_pendingSpace;
                    m_pendingSpace = true;
                    m_pendingSegmentBreak = m_pendingSegmentBreak || c == '\n';
                }
            } else {
                const bool zeroWidthSpace = run.substr(i).starts_with(kZeroWidthSpace);
                // A line break in the source next to a zero-width space goes
                // away with the white space around it.
                if (m_pendingSegmentBreak && (zeroWidthSpace || m_afterZeroWidthSpace)) {
                    m_pendingSpace = false;
                    m_pendingSegmentBreak = false;
                }
                beginContent();
                m_afterZeroWidthSpace = zeroWidthSpace;
                if (zeroWidthSpace) {
                    m_out->append(kZeroWidthSpace);
                    i += kZeroWidthSpace.size() - 1;
                    continue;
                }
                const std::size_t end = contentEnd(run, i + 1, stops, keepSpaces) - run.data();
                m_out->append(run.data() + i, end - i);
                i = end - 1;
            }
        }
        if (!run.empty()) {
            m_lastCharacter = lastCharacterOf(run);
        }
    }

    // An out-of-flow box (a float, an absolutely positioned box) stands on
    // lines of its own, but the white space of the line it was taken out of
    // collapses as if it were not there: a space before it is kept.
    struct FlowState {
        bool atLineStart = true;
        std::size_t spaceAt = std::string::npos;  // where a space before the box goes
        std::size_t piecesBefore = 0;             // pieces referred to before that place
        UChar32 lastCharacter = 0;
    };
    FlowState leaveFlow() {
        FlowState state{m_atLineStart || m_pendingSpace, std::string::npos, 0, m_lastCharacter};
        if (m_pendingSpace && !m_pendingSpaceHidden) {
            // Kept only if more of the line follows the box.
            flushBreaks();
            state.spaceAt = m_out->size();
            state.piecesBefore = m_pieces != nullptr ? m_pieces->size() : 0;
        }
        m_pendingSpace = false;
        m_pendingSpaceHidden = false;
        m_pendingSegmentBreak = false;
        return state;
    }
    void returnToFlow(FlowState state) {
        m_pendingSpace = false;
        m_pendingSegmentBreak = false;
        m_atLineStart = state.atLineStart;
        m_spaceBeforeBoxAt = state.spaceAt;
        m_piecesBeforeSpace = state.piecesBefore;
        m_lastCharacter = state.lastCharacter;  // a word goes on past the box
    }
    // More of the line follows that is not part of the text: a pending space stays.
    void keepPendingSpace() {
        if (m_pendingSpace && !m_pendingSpaceHidden) {
            placeSpaceBeforeBox();
            flushBreaks();
            m_out->push_back(' ');
        }
        m_pendingSpace = false;
        m_pendingSpaceHidden = false;
        m_pendingSegmentBreak = false;
    }

    // A <wbr>: a line break in the source right after it goes away, as after
    // a zero-width space.
    void breakOpportunity() { m_afterZeroWidthSpace = !m_pendingSpace; }

    // A positioned box's text goes on with the word its line left off.
    void continueWord(UChar32 before) { m_lastCharacter = before; }

    // Pieces that are always kept: a line break for <br> and between rows, a
    // TAB between cells.
    void lineBreak() {
        startLiteral();
        m_lastCharacter = 0;
        m_out->append(m_newline);
    }
    void tab() {
        startLiteral();
        m_lastCharacter = 0;
        m_out->push_back('\t');
    }

    // An inline box without text (an image, a form control): white space on
    // either side of it is kept, but it is no text to separate by line breaks.
    void atomicBox() {
        placeSpaceBeforeBox();
        if (m_pendingSegmentBreak && m_afterZeroWidthSpace) {
            m_pendingSpace = false;  // a source line break after a zero-width space goes away
        }
        if (m_pendingSpace && !m_pendingSpaceHidden) {
            flushBreaks();
            m_out->push_back(' ');
        }
        m_pendingSpaceHidden = false;
        m_pendingSpace = false;
        m_pendingSegmentBreak = false;
        m_afterZeroWidthSpace = false;
        m_atLineStart = false;
        m_lastCharacter = 0;
    }

    // The last character of the text on the current line, 0 after a break or
    // a box: where a word may go on across inline elements.
    UChar32 lastCharacter() const { return m_lastCharacter; }

    // The collected segment: its text, the line breaks wanted before its first
    // piece and those still wanted after its last.
    TextSegment finishSegment() {
        TextSegment segment;
        segment.text = std::move(m_own);
        segment.nested = std::move(m_ownPieces);
        segment.measure = TextMeasure::of(segment.text);
        for (const NestedText& piece : segment.nested) {
            segment.measure += piece.measure();
        }
        segment.leadingBreaks = std::max(m_leadingBreaks, 0);
        segment.trailingBreaks = m_pendingBreaks;
        return segment;
    }

    // A segment collected earlier, as if its pieces came now.
    void appendSegment(const TextSegment& segment) {
        if (segment.empty()) {
            requireBreaks(segment.trailingBreaks);
            return;
        }
        requireBreaks(segment.leadingBreaks);
        m_pendingSpace = false;
        m_pendingSegmentBreak = false;
        flushBreaks();
        if (m_pieces != nullptr) {
            m_pieces->push_back({m_out->size(), &segment, nullptr, {}});
        } else if (m_known != nullptr) {
            m_known->appendWhole(segment, *m_out);
        } else {
            segment.appendTo(*m_out);
        }
        m_atLineStart = true;
        requireBreaks(segment.trailingBreaks);
    }

    // An option's label: its text with white space collapsed, as text().
    void optionText(const Node* option, NestedTableTexts& tables) {
        if (m_pieces == nullptr) {
            text(optionLabel(option), WhiteSpace::Normal);
            return;
        }
        // What text() does with a label: it has no white space at either end
        // and single spaces inside, so it goes on the line as it is.
        const LabelMeasure label = measureOptionLabel(option, tables);
        if (!label.hasContent) {
            return;
        }
        if (m_pendingSegmentBreak && (label.first == 0x200B || m_afterZeroWidthSpace)) {
            m_pendingSpace = false;
            m_pendingSegmentBreak = false;
        }
        beginContent();
        m_pieces->push_back({m_out->size(), nullptr, option, label.content});
        m_afterZeroWidthSpace = label.last == 0x200B;
        m_lastCharacter = label.last;
    }

    // The end of an inline box with lines of its own: its trailing space is
    // dropped, and white space after it on the outer line is kept.
    void closeInlineBox() {
        m_pendingSpace = false;
        m_pendingSegmentBreak = false;
        m_atLineStart = false;
    }

    void requireBreaks(int count) {
        m_spaceBeforeBoxAt = std::string::npos;
        m_pendingSpace = false;
        m_pendingSegmentBreak = false;
        m_atLineStart = true;
        m_lastCharacter = 0;
        if (count > m_pendingBreaks) {
            m_pendingBreaks = count;
        }
    }

    // The edge of a box that starts or ends lines of its own (a table cell or row).
    void boxEdge() {
        m_spaceBeforeBoxAt = std::string::npos;
        m_pendingSpace = false;
        m_pendingSegmentBreak = false;
        m_atLineStart = true;
        m_lastCharacter = 0;
    }

private:
    void startLiteral() {
        m_spaceBeforeBoxAt = std::string::npos;
        m_pendingSpace = false;
        m_pendingSegmentBreak = false;
        flushBreaks();
        m_atLineStart = true;
    }

    // Called before every piece of output: breaks before the first piece are
    // dropped (and remembered for a segment), later ones are written.
    void flushBreaks() {
        if (m_out->size() == m_start &&
            (m_pieces == nullptr || m_pieces->size() == m_piecesStart)) {
            if (m_leadingBreaks < 0) {
                m_leadingBreaks = m_pendingBreaks;
            }
        } else {
            for (int i = 0; i < m_pendingBreaks; ++i) {
                m_out->append(m_newline);
            }
        }
        m_pendingBreaks = 0;
    }

    void beginContent() {
        placeSpaceBeforeBox();
        flushBreaks();
        if (m_pendingSpace && !m_pendingSpaceHidden) {
            m_out->push_back(' ');
        }
        m_pendingSpaceHidden = false;
        m_pendingSpace = false;
        m_pendingSegmentBreak = false;
        m_atLineStart = false;
    }

    // More of the line came after an out-of-flow box: the space before it stays.
    void placeSpaceBeforeBox() {
        if (m_spaceBeforeBoxAt != std::string::npos) {
            m_out->insert(m_spaceBeforeBoxAt, 1, ' ');
            // The pieces met since then go after the space.
            for (std::size_t i = m_piecesBeforeSpace; m_pieces != nullptr && i < m_pieces->size();
                 ++i) {
                ++(*m_pieces)[i].at;
            }
            m_spaceBeforeBoxAt = std::string::npos;
        }
    }

    std::string m_own;
    NestedTexts m_ownPieces;
    std::string* m_out;
    NestedTexts* m_pieces = nullptr;
    NestedTableTexts* m_known = nullptr;
    std::size_t m_start = 0;
    std::size_t m_piecesStart = 0;
    std::string_view m_newline;
    int m_leadingBreaks = -1;  // -1 until the first piece of output
    int m_pendingBreaks = 0;
    bool m_pendingSpace = false;
    bool m_atLineStart = true;
    UChar32 m_lastCharacter = 0;
    bool m_pendingSegmentBreak = false;  // the pending space holds a line break of the source
    bool m_afterZeroWidthSpace = false;
    bool m_pendingSpaceHidden = false;  // the pending space belongs to hidden text
    std::size_t m_spaceBeforeBoxAt = std::string::npos;
    std::size_t m_piecesBeforeSpace = 0;
};

void inherit(const ElementStyle& style, Inherited& inherited) {
    if (style.whiteSpace != WhiteSpace::Inherit) {
        inherited.whiteSpace = style.whiteSpace;
    }
    if (style.textTransform != TextTransform::Inherit) {
        inherited.textTransform = style.textTransform;
    }
    if (style.visibility != Visibility::Inherit) {
        inherited.visible = style.visibility == Visibility::Visible;
    }
    if (style.language != CaseLanguage::Inherit) {
        inherited.language = style.language;
    }
}

icu::Locale caseLocale(CaseLanguage language) {
    switch (language) {
        case CaseLanguage::Turkic:
            return icu::Locale("tr");
        case CaseLanguage::Lithuanian:
            return icu::Locale("lt");
        case CaseLanguage::Greek:
            return icu::Locale("el");
        default:
            return icu::Locale::getRoot();
    }
}

// Capitalize puts the first letter of each word in titlecase, one character
// for one (no expansions); a word may have begun in an earlier text.
bool isCombiningMark(UChar32 c) {
    const auto type = u_charType(c);
    return type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK ||
           type == U_COMBINING_SPACING_MARK;
}

std::string capitalized(std::string_view text, UChar32 before) {
    std::string out;
    out.reserve(text.size());
    // A word does not go on into another element after a combining mark.
    bool inWord = before != 0 && continuesWord(before) && !isCombiningMark(before);
    bool lettered = inWord;  // the word's first letter or digit has been met
    bool prevEastAsian = before != 0 && isEastAsianWordCharacter(before);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < length;) {
        const int32_t start = i;
        UChar32 c = 0;
        U8_NEXT_OR_FFFD(bytes, i, length, c);
        const bool eastAsian = isEastAsianWordCharacter(c);
        if (!continuesWord(c) || (inWord && prevEastAsian && !eastAsian)) {
            inWord = false;
        }
        if (!inWord && continuesWord(c) && !isCombiningMark(c)) {  // a mark begins no word
            inWord = true;
            lettered = false;
        }
        const bool letter = u_isalpha(c) != 0;
        if (inWord && !lettered && letter) {
            appendUtf8(out, static_cast<std::uint32_t>(u_totitle(c)));
        } else {
            out.append(
                text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
        }
        lettered = lettered || letter || u_charType(c) == U_DECIMAL_DIGIT_NUMBER;
        prevEastAsian = eastAsian;
    }
    return out;
}

std::string transformed(std::string_view text, const Inherited& inherited, UChar32 before) {
    if (inherited.textTransform == TextTransform::Capitalize) {
        return capitalized(text, before);
    }
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    if (inherited.textTransform == TextTransform::Uppercase) {
        unicode.toUpper(caseLocale(inherited.language));
    } else if (inherited.textTransform == TextTransform::Lowercase) {
        unicode.toLower(caseLocale(inherited.language));
    } else {
        return std::string(text);
    }
    std::string out;
    unicode.toUTF8String(out);
    return out;
}

// A MathML identifier of a single letter is shown in italic (math-auto), as
// the letters of the mathematical alphanumeric block.
bool isAutoItalicIdentifier(const Node* node) {
    return node->type == kNodeElement && node->v.element.tag == kTagMi &&
           node->v.element.tag_namespace == kNamespaceMathml &&
           node->v.element.children.length == 1 && attributeValue(node, "mathvariant") == nullptr;
}

std::string mathItalic(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isCollapsible(text[begin])) {
        ++begin;
    }
    while (end > begin && isCollapsible(text[end - 1])) {
        --end;
    }
    const std::string_view letter = text.substr(begin, end - begin);
    std::uint32_t cp = 0;
    if (letter.size() == 1) {
        cp = static_cast<unsigned char>(letter[0]);
    } else if (letter.size() == 2 && (static_cast<unsigned char>(letter[0]) & 0xE0U) == 0xC0U) {
        cp = ((static_cast<unsigned char>(letter[0]) & 0x1FU) << 6) |
             (static_cast<unsigned char>(letter[1]) & 0x3FU);
    } else {
        return std::string(text);
    }
    std::uint32_t italic = 0;
    if (cp == 'h') {
        italic = 0x210E;  // the italic h sits in the letterlike symbols
    } else if (cp >= 'a' && cp <= 'z') {
        italic = 0x1D44E + (cp - 'a');
    } else if (cp >= 'A' && cp <= 'Z') {
        italic = 0x1D434 + (cp - 'A');
    } else if (cp == 0x0131 || cp == 0x0237) {
        italic = cp == 0x0131 ? 0x1D6A4 : 0x1D6A5;  // the dotless i and j
    } else if (cp >= 0x03B1 && cp <= 0x03C9) {
        italic = 0x1D6FC + (cp - 0x03B1);
    } else if (cp >= 0x0391 && cp <= 0x03A1) {
        italic = 0x1D6E2 + (cp - 0x0391);
    } else if (cp >= 0x03A3 && cp <= 0x03A9) {
        italic = 0x1D6F4 + (cp - 0x03A3);
    } else {
        return std::string(text);
    }
    std::string out(text.substr(0, begin));
    appendUtf8(out, italic);
    out.append(text.substr(end));
    return out;
}

bool isClosedDetails(const Node* node) {
    return isHtmlElement(node, kTagDetails) && attributeValue(node, "open") == nullptr;
}

// In a closed <details> only the first <summary> child is shown.
bool isShownSummary(const Node* details, const Node* child) {
    if (!isHtmlElement(child, kTagSummary)) {
        return false;
    }
    const PointerVector& siblings = details->v.element.children;
    for (unsigned i = 0; i < siblings.length; ++i) {
        if (isHtmlElement(childAt(siblings, i), kTagSummary)) {
            return childAt(siblings, i) == child;
        }
    }
    return false;
}

// Boxes whose own text children are only the white space between their parts.
bool isTableGrid(Display display) {
    return display == Display::Table || display == Display::TableRowGroup ||
           display == Display::TableRow;
}

class TableStructure {
public:
    explicit TableStructure(StyleResolver& styles) : m_styles(styles) {}

    Display displayOf(const Node* node) {
        return node->type == kNodeElement ? m_styles.styleOf(node).display : Display::None;
    }

    // In a row, any box after a cell is a cell or is wrapped in one; a cell
    // outside a row is followed by a cell only if its next sibling is one.
    bool hasCellAfter(const Node* cell) {
        const bool inRow = cell->parent != nullptr && cell->parent->type == kNodeElement &&
                           displayOf(cell->parent) == Display::TableRow;
        bool decided = false;
        return hasSiblingAfter(cell, [&](const Node* sibling) {
            if (sibling->type == kNodeText) {
                decided = decided || !inRow;  // text ends a table made around cells
                return false;
            }
            const Display display = displayOf(sibling);
            if (decided || display == Display::None) {
                return false;
            }
            decided = !inRow;
            return inRow || display == Display::TableCell;
        });
    }

    // Whether another row follows this one in its table, in its own group or a later one.
    bool hasRowAfter(const Node* row) {
        const bool inTable = row->parent != nullptr && row->parent->type == kNodeElement &&
                             (displayOf(row->parent) == Display::Table ||
                              displayOf(row->parent) == Display::TableRowGroup);
        auto isRowOrGroupWithRow = [this, inTable](const Node* sibling) {
            const Display display = displayOf(sibling);
            if (display == Display::TableRow ||
                (inTable && (display == Display::Block || display == Display::InlineBlock ||
                             display == Display::Inline || display == Display::TableCell))) {
                return true;  // a row, or a box the table wraps in an anonymous one
            }
            if (display != Display::TableRowGroup) {
                return false;
            }
            const PointerVector& children = sibling->v.element.children;
            for (unsigned i = 0; i < children.length; ++i) {
                if (displayOf(childAt(children, i)) == Display::TableRow) {
                    return true;
                }
            }
            return false;
        };
        if (hasSiblingAfter(row, isRowOrGroupWithRow)) {
            return true;
        }
        const Node* group = row->parent;
        return group != nullptr && group->type == kNodeElement &&
               displayOf(group) == Display::TableRowGroup &&
               hasSiblingAfter(group, isRowOrGroupWithRow);
    }

private:
    template <typename Test>
    static bool hasSiblingAfter(const Node* node, Test&& test) {
        const Node* parent = node->parent;
        if (parent == nullptr) {
            return false;
        }
        const PointerVector* siblings = childrenOf(parent);
        if (siblings == nullptr) {
            return false;
        }
        for (unsigned i = static_cast<unsigned>(node->index_within_parent) + 1;
             i < siblings->length; ++i) {
            if (test(childAt(*siblings, i))) {
                return true;
            }
        }
        return false;
    }

    StyleResolver& m_styles;
};

enum class CellState { Rendered, ContentHidden, NotRendered };

enum class Wrapper : std::uint8_t { None, Block, Inline };

// A declarative shadow root on an element: none (or one with a slot), one
// without a slot (the element's own children have no box), or one with text
// after its slot (the element's last line goes on after its children).
enum class ShadowRoot : std::uint8_t { None, NoSlot, TextAfterSlot };

// What an element meets from its ancestors. What the children of an element
// meet is remembered per element, so that the cells of a row, and the cells of
// deeply nested tables, do not each walk up and style their ancestors again. A
// closed <details> is not remembered: what its children meet depends on which
// child is its summary.
EntryContext entryContext(const Node* element, StyleResolver& styles, EntryContexts& known) {
    // Mostly a cell of a row met before: its parent is known.
    const Node* const container = element->parent;
    if (container == nullptr || container->type != kNodeElement) {
        return {};
    }
    if (const EntryContext* found = known.find(container); found != nullptr) {
        return *found;
    }
    std::array<std::byte, 1024> scratch;
    std::pmr::monotonic_buffer_resource memory(scratch.data(), scratch.size());
    std::pmr::vector<const Node*> unknown(&memory);  // elements whose parent is not known
    EntryContext context;
    for (const Node* node = element;; node = node->parent) {
        const Node* parent = node->parent;
        if (parent == nullptr || parent->type != kNodeElement) {
            break;  // the root element meets nothing
        }
        if (const EntryContext* found = known.find(parent); found != nullptr) {
            context = *found;
            break;
        }
        unknown.push_back(node);
    }
    // From the highest unknown element down: each meets its parent's context
    // with the parent's own effects added.
    for (auto it = unknown.rbegin(); it != unknown.rend(); ++it) {
        const Node* child = *it;
        const Node* parent = child->parent;
        const ElementStyle style = styles.styleOf(parent);
        context.notRendered = context.notRendered || style.display == Display::None ||
                              style.display == Display::TableColumn || style.replaced;
        context.contentHidden = context.contentHidden || style.contentHidden;
        inherit(style, context.inherited);
        if (!isClosedDetails(parent)) {
            known.remember(parent, context);
        } else if (!isShownSummary(parent, child)) {
            context.contentHidden = true;
        }
    }
    return context;
}

// Whether the element has a box, and what it inherits from its ancestors (the
// nearest ancestor that sets a value decides); `own` is its style.
CellState cellState(const Node* element, const ElementStyle& own, StyleResolver& styles,
                    EntryContexts& known, Inherited& inherited) {
    const EntryContext context = entryContext(element, styles, known);
    if (context.contentHidden) {
        return CellState::ContentHidden;  // even where a box in between has none
    }
    if (context.notRendered || own.display == Display::None) {
        return CellState::NotRendered;
    }
    inherited = context.inherited;
    inherit(own, inherited);
    return CellState::Rendered;
}

struct Frame {
    const Node* node;
    ElementStyle style;
    unsigned nextChild;
    Inherited inherited;
    bool closedDetails;
    bool ownsBuilder = false;  // a nested table collecting its own segment
    TextBuilder::FlowState flow{};
    ShadowRoot shadowRoot = ShadowRoot::None;
    Display shown = Display::Inline;  // the display the parent leaves it (flex items are blocks)
    bool inRuby = false;              // blocks inside are laid out inline
    // A table part outside its table is wrapped in an anonymous one: a block
    // in a block container, an inline box in an inline one.
    Wrapper wrapper = Wrapper::None;
    bool svgTextless = false;  // in a drawing, outside its text elements: text is not drawn
    bool rubyLine = false;     // a ruby or an inline box in one: kept line breaks are spaces
};

// Whether text right in `child` is left out of a drawing: SVG draws text only
// in its text elements, and a foreign object holds ordinary content again.
bool svgTextlessIn(bool parentTextless, const Node* child) {
    const ElementData& element = child->v.element;
    if (element.tag_namespace != kNamespaceSvg) {
        return parentTextless;
    }
    if (element.tag == kTagSvg) {
        return true;
    }
    if (element.tag == kTagForeignobject) {
        return false;
    }
    if (element.tag == kTagUnknown && tagName(child) == "text") {
        return false;
    }
    return parentTextless;
}

// The walk's open elements. Blocks of a few frames rather than one growing
// array: tables nested thousands deep hold that many frames at once.
using FrameStack = std::pmr::deque<Frame>;

// The display of the box an element's box goes in, looking through display:contents.
Display containerDisplay(const FrameStack& stack) {
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
        if (it->shown != Display::Contents || it + 1 == stack.rend()) {
            return it->shown;
        }
    }
    return Display::Block;
}

// The anonymous table the browser builds around a table part whose container
// does not hold it.
Wrapper anonymousTableFor(Display part, Display container) {
    bool held = false;
    switch (part) {
        case Display::TableCell:
            held = container == Display::TableRow || container == Display::TableRowGroup ||
                   container == Display::Table;
            break;
        case Display::TableRow:
            held = container == Display::TableRowGroup || container == Display::Table;
            break;
        case Display::TableRowGroup:
        case Display::TableCaption:
            held = container == Display::Table;
            break;
        default:
            return Wrapper::None;
    }
    if (held) {
        return Wrapper::None;
    }
    return container == Display::Inline ? Wrapper::Inline : Wrapper::Block;
}

bool isBlockLevel(Display display) {
    return display == Display::Block || display == Display::Table ||
           display == Display::TableCaption || display == Display::TableColumn;
}

bool isTablePart(Display display) {
    return display == Display::TableCell || display == Display::TableRow ||
           display == Display::TableRowGroup;
}

// Whether white space alone (with form feeds or vertical tabs) gets a box: only
// after an inline sibling, or first in an inline parent.
bool blankTextHasBox(const Node* text, Display parentDisplay, StyleResolver& styles) {
    const PointerVector* siblings = childrenOf(text->parent);
    for (auto i = static_cast<long>(text->index_within_parent) - 1; i >= 0; --i) {
        const Node* sibling = childAt(*siblings, static_cast<unsigned>(i));
        if (sibling->type == kNodeText || sibling->type == kNodeCdata) {
            return true;
        }
        if (sibling->type != kNodeElement) {
            continue;  // comments, and white space that decides the same way
        }
        const ElementStyle style = styles.styleOf(sibling);
        if (style.display == Display::None || style.outOfFlow) {
            continue;  // no box, or one outside the line
        }
        if (isTablePart(style.display)) {
            // Between two table parts it is inside the anonymous table around them.
            for (auto k = static_cast<unsigned>(text->index_within_parent) + 1;
                 k < siblings->length; ++k) {
                const Node* next = childAt(*siblings, k);
                if (next->type == kNodeText || next->type == kNodeCdata) {
                    return true;
                }
                if (next->type == kNodeElement) {
                    const Display nextDisplay = styles.styleOf(next).display;
                    if (nextDisplay != Display::None) {
                        return !isTablePart(nextDisplay);
                    }
                }
            }
            return true;
        }
        return !style.lineBreak && !isBlockLevel(style.display);
    }
    // A summary's marker stands inline before its first text.
    return parentDisplay == Display::Inline || isHtmlElement(text->parent, kTagSummary);
}

TextBuilder::FlowState openElement(TextBuilder& out, const ElementStyle& style, Display display,
                                   bool visible, Wrapper wrapper) {
    TextBuilder::FlowState flow{};
    if (visible && wrapper == Wrapper::Inline) {
        out.atomicBox();
        out.boxEdge();
    } else if (visible && wrapper == Wrapper::Block) {
        out.boxEdge();
    }
    if (!visible) {
        // A hidden block shows no line breaks, but its lines are its own.
        if (style.outOfFlow) {
            return out.leaveFlow();  // not on the line at all
        }
        if (style.lineBreak || style.paragraph || isBlockLevel(display) ||
            display == Display::TableCell || display == Display::TableRow) {
            out.boxEdge();
        } else if (style.replaced || display == Display::InlineBlock) {
            out.hiddenText("x", WhiteSpace::Normal);  // an atomic box, not shown
            if (!style.replaced) {
                out.boxEdge();
            }
        }
        return flow;
    }
    if (style.lineBreak) {
        out.lineBreak();  // a <br> made a block or a float still breaks the line once
        return flow;
    }
    if (style.outOfFlow) {
        flow = out.leaveFlow();
    }
    if (style.paragraph) {
        out.requireBreaks(2);
    } else if (isBlockLevel(display)) {
        out.requireBreaks(1);
    } else if (display == Display::TableCell || display == Display::TableRow) {
        out.boxEdge();
    }
    if (style.positioned) {
        out.continueWord(flow.lastCharacter);
    }
    if (style.inlineListItem && display == Display::Inline) {
        out.hiddenText("\xE2\x80\xA2 ", WhiteSpace::Normal);  // its marker, not in the text
    }
    if (style.replaced || style.quoted) {
        out.atomicBox();
    } else if (display == Display::InlineBlock) {
        out.atomicBox();  // an inline box on the outer line...
        out.boxEdge();    // ...whose own lines start afresh
    }
    return flow;
}

void closeElement(TextBuilder& out, const Frame& frame, Display display, TableStructure& table,
                  bool wordGoesOn = false) {
    if (!frame.inherited.visible) {
        if (frame.style.outOfFlow) {
            out.returnToFlow(frame.flow);
            return;
        }
        if (frame.style.paragraph || isBlockLevel(display) || display == Display::TableCell ||
            display == Display::TableRow) {
            out.boxEdge();
        } else if (display == Display::InlineBlock && !frame.style.replaced) {
            out.closeInlineBox();
        }
        return;
    }
    if (frame.style.lineBreak) {
        return;
    }
    if (frame.shadowRoot == ShadowRoot::TextAfterSlot) {
        out.keepPendingSpace();  // the root's own text follows on the line
    }
    if (frame.style.paragraph || isBlockLevel(display)) {
        const UChar32 last = out.lastCharacter();
        out.requireBreaks(frame.style.paragraph ? 2 : 1);
        if (wordGoesOn) {
            out.continueWord(last);  // a block in an inline box: its word goes on after it
        }
    } else if (display == Display::TableCell) {
        out.boxEdge();
        if (table.hasCellAfter(frame.node)) {
            out.tab();
        }
    } else if (display == Display::TableRow) {
        out.boxEdge();
        if (table.hasRowAfter(frame.node)) {
            out.lineBreak();
        }
    } else if (display == Display::InlineBlock && !frame.style.replaced) {
        out.closeInlineBox();
    }
    if (frame.style.quoted) {
        out.atomicBox();
    }
    if (frame.wrapper == Wrapper::Inline) {
        out.closeInlineBox();
    } else if (frame.wrapper == Wrapper::Block) {
        out.boxEdge();
    }
    if (frame.style.outOfFlow) {
        out.returnToFlow(frame.flow);
    }
}

// Whether a template child attaches a shadow root to `host` that has no slot
// for the host's own children, which then have no box.
ShadowRoot shadowRootOf(const Node* host) {
    const ElementData& element = host->v.element;
    if (element.tag_namespace != kNamespaceHtml) {
        return ShadowRoot::None;
    }
    switch (element.tag) {
        case kTagArticle:
        case kTagAside:
        case kTagBlockquote:
        case kTagDiv:
        case kTagFooter:
        case kTagH1:
        case kTagH2:
        case kTagH3:
        case kTagH4:
        case kTagH5:
        case kTagH6:
        case kTagHeader:
        case kTagMain:
        case kTagNav:
        case kTagP:
        case kTagSection:
        case kTagSpan:
            break;
        default:
            return ShadowRoot::None;
    }
    const PointerVector& children = element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        const Node* child = childAt(children, i);
        if (child->type != kNodeTemplate) {
            continue;
        }
        const char* mode = attributeValue(child, "shadowrootmode");
        if (mode == nullptr || (!equalsNoCase(mode, "open") && !equalsNoCase(mode, "closed"))) {
            continue;
        }
        // The first declarative root is attached; a slot in it shows the host's children.
        std::vector<const Node*> pending{child};
        while (!pending.empty()) {
            const Node* node = pending.back();
            pending.pop_back();
            const PointerVector* inner = childrenOf(node);
            for (unsigned k = 0; inner != nullptr && k < inner->length; ++k) {
                const Node* item = childAt(*inner, k);
                if (item->type == kNodeElement && item->v.element.tag == kTagUnknown &&
                    tagName(item) == "slot") {
                    // Text of the root after the slot goes on the line of the host's children.
                    for (unsigned after = k + 1; after < inner->length; ++after) {
                        const Node* next = childAt(*inner, after);
                        if (next->type == kNodeText) {
                            return ShadowRoot::TextAfterSlot;
                        }
                    }
                    return ShadowRoot::None;
                }
                if (item->type == kNodeElement || item->type == kNodeTemplate) {
                    pending.push_back(item);
                }
            }
        }
        return ShadowRoot::NoSlot;
    }
    return ShadowRoot::None;
}

// Whether more of the line follows an inline element: text, or an inline box
// after it among its siblings before anything that ends the line.
bool lineGoesOnAfter(const Node* element, StyleResolver& styles) {
    const PointerVector* siblings =
        element->parent != nullptr ? childrenOf(element->parent) : nullptr;
    if (siblings == nullptr) {
        return false;
    }
    for (auto i = static_cast<unsigned>(element->index_within_parent) + 1; i < siblings->length;
         ++i) {
        const Node* next = childAt(*siblings, i);
        if (next->type == kNodeText || next->type == kNodeCdata) {
            return true;
        }
        if (next->type != kNodeElement) {
            continue;  // comments, and white space that collapses into the space
        }
        const ElementStyle style = styles.styleOf(next);
        if (style.display == Display::None || style.outOfFlow) {
            continue;
        }
        return style.display == Display::Inline || style.display == Display::InlineBlock;
    }
    return false;
}

// The text of an option as its label shows it: the text of its descendants
// (scripts left out) with ASCII white space stripped and collapsed.
std::string optionLabel(const Node* option) {
    std::string label;
    bool pendingSpace = false;
    std::vector<std::pair<const Node*, unsigned>> stack{{option, 0}};
    while (!stack.empty()) {
        auto& [node, next] = stack.back();
        const PointerVector* children = node->type == kNodeElement ? childrenOf(node) : nullptr;
        if (children == nullptr || next >= children->length) {
            stack.pop_back();
            continue;
        }
        const Node* child = childAt(*children, next++);
        if (child->type == kNodeElement) {
            if (child->v.element.tag != kTagScript) {
                stack.emplace_back(child, 0);
            }
            continue;
        }
        if (child->type != kNodeText && child->type != kNodeWhitespace &&
            child->type != kNodeCdata) {
            continue;
        }
        for (const char c : nodeText(child)) {
            if (isCollapsible(c) || c == '\f') {
                pendingSpace = !label.empty();
            } else {
                if (pendingSpace) {
                    label.push_back(' ');
                    pendingSpace = false;
                }
                label.push_back(c);
            }
        }
    }
    return label;
}

bool isListedInSelect(const Node* option) {
    const Node* parent = option->parent;
    if (parent != nullptr && isHtmlElement(parent, kTagOptgroup)) {
        parent = parent->parent;
    }
    return parent != nullptr && isHtmlElement(parent, kTagSelect);
}

// A select shows only its options and option groups, and a group in a select
// only its options: other text and elements there have no box.
bool isShownInSelect(const Node* parent, const Node* child) {
    if (isHtmlElement(parent, kTagSelect)) {
        return isHtmlElement(child, kTagOption) || isHtmlElement(child, kTagOptgroup);
    }
    if (isHtmlElement(parent, kTagOptgroup) && parent->parent != nullptr &&
        isHtmlElement(parent->parent, kTagSelect)) {
        return isHtmlElement(child, kTagOption);
    }
    return true;
}

// Appends the text with `newline` for each line break.
void appendWithNewlines(std::string& out, std::string_view text, std::string_view newline) {
    for (const char c : text) {
        if (c == '\n') {
            out.append(newline);
        } else {
            out.push_back(c);
        }
    }
}

// The label measure of one text: white space (form feeds too) collapses
// as in optionLabel().
LabelMeasure labelMeasureOf(std::string_view text) {
    LabelMeasure measure;
    std::string content;
    bool pendingSpace = false;
    for (const char c : text) {
        if (isCollapsible(c) || c == '\f') {
            pendingSpace = true;
            continue;
        }
        if (pendingSpace && !content.empty()) {
            content.push_back(' ');
        }
        measure.spaceBefore = measure.spaceBefore || (pendingSpace && content.empty());
        pendingSpace = false;
        content.push_back(c);
    }
    measure.hasContent = !content.empty();
    measure.spaceAfter = pendingSpace && measure.hasContent;
    measure.spaceBefore = measure.spaceBefore || (pendingSpace && !measure.hasContent);
    if (measure.hasContent) {
        measure.content = TextMeasure::of(content);
        UChar32 first = 0;
        int32_t at = 0;
        U8_NEXT_OR_FFFD(reinterpret_cast<const std::uint8_t*>(content.data()), at,
                        static_cast<int32_t>(content.size()), first);
        measure.first = first;
        measure.last = lastCharacterOf(content);
    }
    return measure;
}

// The measure of the text of `root`'s descendants (template contents left
// out, and the elements `enters` refuses), joined piece after piece. Each
// table's is worked out once and kept in `known`: in tables nested n deep,
// the text of the deepest is met n times, but read only once.
template <typename Measure, typename MeasureText, typename Join, typename Enters>
Measure foldText(const Node* root, std::unordered_map<const Node*, Measure>& known,
                 MeasureText&& measureText, Join&& join, Enters&& enters) {
    struct Level {
        const Node* node;
        unsigned next;
        Measure sum;
    };
    std::vector<Level> stack;
    stack.push_back({root, 0, Measure{}});
    for (;;) {
        Level& level = stack.back();
        const PointerVector* children =
            level.node->type == kNodeElement ? childrenOf(level.node) : nullptr;
        if (children == nullptr || level.next >= children->length) {
            Measure done = std::move(level.sum);
            const Node* node = level.node;
            stack.pop_back();
            if (stack.empty()) {
                return done;
            }
            if (isHtmlElement(node, kTagTable)) {
                known.emplace(node, done);
            }
            join(stack.back().sum, done);
            continue;
        }
        const Node* child = childAt(*children, level.next++);
        if (child->type == kNodeText || child->type == kNodeWhitespace ||
            child->type == kNodeCdata) {
            join(level.sum, measureText(nodeText(child)));
            continue;
        }
        if (child->type != kNodeElement || !enters(child)) {
            continue;
        }
        if (isHtmlElement(child, kTagTable)) {
            if (const auto found = known.find(child); found != known.end()) {
                join(level.sum, found->second);
                continue;
            }
        }
        stack.push_back({child, 0, Measure{}});
    }
}

LabelMeasure measureOptionLabel(const Node* option, NestedTableTexts& tables) {
    return foldText(
        option, tables.labels, labelMeasureOf,
        [](LabelMeasure& sum, const LabelMeasure& next) { sum.append(next); },
        [](const Node* element) { return element->v.element.tag != kTagScript; });
}

// The measure of appendTextContent's text.
TextMeasure measureTextContent(const Node* root, NestedTableTexts& tables,
                               std::string_view newline) {
    std::string withNewlines;
    return foldText(
        root, tables.contents,
        [&](std::string_view text) {
            if (newline == "\n" || text.find('\n') == std::string_view::npos) {
                return TextMeasure::of(text);
            }
            withNewlines.clear();
            appendWithNewlines(withNewlines, text, newline);
            return TextMeasure::of(withNewlines);
        },
        [](TextMeasure& sum, const TextMeasure& next) { sum += next; },
        [](const Node*) { return true; });
}

}  // namespace

void LabelMeasure::append(const LabelMeasure& next) {
    if (!next.hasContent) {
        spaceAfter = spaceAfter || (hasContent && next.spaceBefore);
        spaceBefore = spaceBefore || (!hasContent && next.spaceBefore);
        return;
    }
    if (!hasContent) {
        const bool space = spaceBefore;
        *this = next;
        spaceBefore = spaceBefore || space;
        return;
    }
    if (spaceAfter || next.spaceBefore) {
        content += TextMeasure::of(" ");
    }
    content += next.content;
    spaceAfter = next.spaceAfter;
    last = next.last;
}

void NestedTableTexts::appendWhole(const TextSegment& segment, std::string& out) {
    if (segment.nested.empty()) {
        out.append(segment.text);
        return;
    }
    if (m_lastWhole != nullptr) {
        // Where a segment nested in the last one lies in its text.
        std::size_t offset = 0;
        std::size_t from = 0;
        for (const NestedText& piece : m_lastWhole->nested) {
            offset += piece.at - from;
            from = piece.at;
            const std::size_t bytes = piece.measure().bytes;
            if (piece.table == &segment) {
                out.append(m_lastWholeText, offset, bytes);
                m_lastWholeText.erase(offset + bytes);
                m_lastWholeText.erase(0, offset);
                m_lastWhole = &segment;
                return;
            }
            offset += bytes;
        }
    }
    const std::size_t start = out.size();
    segment.appendTo(out);
    m_lastWhole = &segment;
    m_lastWholeText.assign(out, start);
}

void TextSegment::appendTo(std::string& out) const {
    out.reserve(out.size() + measure.bytes);
    // An explicit stack: tables may nest deeper than the call stack goes.
    struct Place {
        const TextSegment* segment;
        std::size_t next;  // its next nested text
        std::size_t from;  // its own text not yet appended
    };
    std::vector<Place> stack{{this, 0, 0}};
    while (!stack.empty()) {
        Place& place = stack.back();
        const TextSegment& segment = *place.segment;
        if (place.next == segment.nested.size()) {
            out.append(segment.text, place.from);
            stack.pop_back();
            continue;
        }
        const NestedText& piece = segment.nested[place.next++];
        out.append(segment.text, place.from, piece.at - place.from);
        place.from = piece.at;
        if (piece.table != nullptr) {
            stack.push_back({piece.table, 0, 0});
        } else {
            out.append(optionLabel(piece.option));
        }
    }
}

void appendTextContent(const Node* root, std::string& out, std::string_view newline) {
    std::vector<std::pair<const Node*, unsigned>> stack;
    stack.emplace_back(root, 0);
    while (!stack.empty()) {
        auto& [node, next] = stack.back();
        const PointerVector* children = node->type == kNodeTemplate ? nullptr : childrenOf(node);
        if (children == nullptr || next >= children->length) {
            stack.pop_back();
            continue;
        }
        const Node* child = childAt(*children, next++);
        switch (child->type) {
            case kNodeText:
            case kNodeWhitespace:
            case kNodeCdata:
                appendWithNewlines(out, nodeText(child), newline);
                break;
            case kNodeElement:
                stack.emplace_back(child, 0);
                break;
            default:
                break;
        }
    }
}

namespace {

// Whether an element's own style leaves it a plain inline box, one whose
// edges add nothing to the text and whose children inherit all it has.
bool isPlainInline(const ElementStyle& style) {
    return style.display == Display::Inline && style.whiteSpace == WhiteSpace::Inherit &&
           style.visibility == Visibility::Inherit &&
           style.textTransform == TextTransform::Inherit &&
           style.language == CaseLanguage::Inherit && !style.paragraph && !style.lineBreak &&
           !style.outOfFlow && !style.positioned && !style.quoted && !style.replaced &&
           !style.contentHidden && !style.blockifiesChildren && !style.inlinifiesChildren &&
           !style.displayInherits && !style.inlineListItem && !style.inlineTable;
}

// The text of a shown table cell that holds only text, plain inline elements
// and line breaks, as the full walk below would give it, without its frames;
// false (and `text` as it was) for any other cell. Most cells are such.
bool appendPlainCellText(const Node* cell, const ElementStyle& own, const Inherited& inherited,
                         StyleResolver& styles, std::string& text, std::string_view newline) {
    if (own.display != Display::TableCell || own.blockifiesChildren || own.inlinifiesChildren ||
        !inherited.visible ||
        (inherited.textTransform != TextTransform::None &&
         inherited.textTransform != TextTransform::Inherit) ||
        !isHtmlElement(cell, cell->v.element.tag) || shadowRootOf(cell) != ShadowRoot::None ||
        isClosedDetails(cell)) {
        return false;
    }
    const std::size_t start = text.size();
    TextBuilder out(text, newline);
    // Left uninitialised: only the levels in use are read.
    struct Level {
        const Node* parent;
        unsigned next;
    };
    constexpr std::size_t kMaxDepth = 16;
    std::array<Level, kMaxDepth> stack;
    std::size_t depth = 0;
    stack[depth++] = {cell, 0};
    auto giveUp = [&] {
        text.resize(start);
        return false;
    };
    while (depth > 0) {
        auto& [parent, next] = stack[depth - 1];
        const PointerVector& children = parent->v.element.children;
        if (next >= children.length) {
            --depth;
            continue;
        }
        const Node* child = childAt(children, next++);
        switch (child->type) {
            case kNodeText:
            case kNodeWhitespace: {
                const std::string_view run = nodeText(child);
                if (isBlankText(run) && !preservesNewlines(inherited.whiteSpace) &&
                    !blankTextHasBox(child, parent == cell ? own.display : Display::Inline,
                                     styles)) {
                    break;  // nothing inline before it
                }
                out.text(run, inherited.whiteSpace);
                break;
            }
            case kNodeElement: {
                if (child->v.element.tag_namespace != kNamespaceHtml ||
                    isHtmlElement(child, kTagWbr) || isHtmlElement(child, kTagOption)) {
                    return giveUp();
                }
                ElementStyle style = styles.styleOf(child);
                if (style.lineBreak && childrenOf(child)->length == 0) {
                    style.lineBreak = false;
                    if (isPlainInline(style)) {
                        out.lineBreak();
                        break;
                    }
                }
                if (!isPlainInline(style) || shadowRootOf(child) != ShadowRoot::None ||
                    depth == kMaxDepth) {
                    return giveUp();
                }
                stack[depth++] = {child, 0};
                break;
            }
            case kNodeComment:
            case kNodeTemplate:
                break;  // never shown
            default:
                return giveUp();
        }
    }
    return true;
}

}  // namespace

namespace {

// The text of an element with a box into `text`; with `pieces`, the texts of
// nested tables and options' labels are referred to there instead.
void appendRenderedText(const Node* element, const ElementStyle& ownStyle,
                        const Inherited& inherited, StyleResolver& styles, NestedTableTexts& tables,
                        std::string& text, std::string_view newline, NestedTexts* pieces) {
    // The element's own box edges add nothing to its own text.
    ElementStyle rootStyle;
    rootStyle.display = Display::Contents;
    if (ownStyle.replaced || ownStyle.contentHidden) {
        return;
    }
    rootStyle.blockifiesChildren = ownStyle.blockifiesChildren;

    if (ownStyle.display == Display::TableColumn) {
        return;
    }
    if (appendPlainCellText(element, ownStyle, inherited, styles, text, newline)) {
        return;
    }
    TableStructure table(styles);
    // A nested table's text is the same wherever it is met from, so each is
    // collected once as a segment and reused by every cell around it: deep
    // nesting costs linear time, not quadratic.
    // A cell's walk mostly fits in a buffer on the stack: no allocation per cell.
    std::array<std::byte, 8192> scratch;
    ScratchFirstResource memory(scratch.data(), scratch.size());
    TextBuilder cellBuilder(text, newline, pieces, &tables);
    std::pmr::vector<TextBuilder*> builders({&cellBuilder}, &memory);
    std::pmr::vector<std::unique_ptr<TextBuilder>> nestedBuilders(&memory);
    FrameStack stack(&memory);
    stack.push_back({element,
                     rootStyle,
                     0,
                     inherited,
                     isClosedDetails(element),
                     false,
                     {},
                     shadowRootOf(element),
                     ownStyle.display,
                     ownStyle.inlinifiesChildren,
                     Wrapper::None,
                     false,
                     ownStyle.inlinifiesChildren});
    auto displayIn = [](const Frame& parent, const Node* child, const ElementStyle& style) {
        const Display display = style.display;
        if (parent.style.blockifiesChildren &&
            (display == Display::Inline || display == Display::InlineBlock ||
             display == Display::TableCell || display == Display::TableRow ||
             display == Display::TableRowGroup || display == Display::TableCaption)) {
            return Display::Block;  // flex and grid items are blocks, table parts too
        }
        if (parent.inRuby && !style.positioned &&
            (!isHtmlElement(child, kTagLegend) ||
             (!isBlockLevel(parent.style.display) && !isHtmlElement(parent.node, kTagFieldset)))) {
            // Ruby lays its children out inline, blocks included; a flex, grid
            // or table box becomes an inline box of its own.
            if (display == Display::Table ||
                (display == Display::Block && style.blockifiesChildren)) {
                return Display::InlineBlock;
            }
            if (isBlockLevel(display)) {
                return Display::Inline;
            }
        }
        return display;
    };
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const PointerVector* children =
            frame.style.replaced || frame.style.display == Display::TableColumn
                ? nullptr
                : childrenOf(frame.node);
        if (children == nullptr || frame.nextChild >= children->length) {
            const Frame closed = frame;
            stack.pop_back();
            if (closed.ownsBuilder) {
                TextSegment segment = builders.back()->finishSegment();
                builders.pop_back();
                nestedBuilders.pop_back();
                // Kept where it stays put: the texts around it refer to it there.
                const TextSegment& kept =
                    tables.segments.try_emplace(closed.node, std::move(segment)).first->second;
                builders.back()->appendSegment(kept);
            }
            const Display display = stack.empty() ? closed.style.display : closed.shown;
            closeElement(*builders.back(), closed, display, table,
                         closed.inherited.textTransform == TextTransform::Capitalize &&
                             !stack.empty() && containerDisplay(stack) == Display::Inline);
            continue;
        }
        TextBuilder& out = *builders.back();
        const Node* child = childAt(*children, frame.nextChild++);
        if (frame.closedDetails && !isShownSummary(frame.node, child)) {
            continue;
        }
        if (!isShownInSelect(frame.node, child) ||
            (frame.shadowRoot == ShadowRoot::NoSlot && child->type != kNodeTemplate)) {
            continue;
        }
        switch (child->type) {
            case kNodeText:
            case kNodeWhitespace:
            case kNodeCdata:
                if (frame.svgTextless) {
                    break;
                }
                if (frame.inherited.visible &&
                    (isAutoItalicIdentifier(frame.node) ||
                     (frame.inherited.textTransform == TextTransform::MathAuto &&
                      nodeText(child).find_first_of(" \t\n\r") == std::string_view::npos))) {
                    out.text(mathItalic(nodeText(child)), frame.inherited.whiteSpace);
                } else if (!frame.inherited.visible) {
                    const std::string_view run = nodeText(child);
                    if (!isBlankText(run) ||
                        (!isTableGrid(frame.style.display) && !frame.style.blockifiesChildren)) {
                        out.hiddenText(run, frame.inherited.whiteSpace);
                    }
                } else {
                    const std::string_view run = nodeText(child);
                    if (isBlankText(run) &&
                        (isTableGrid(frame.style.display) || frame.style.blockifiesChildren ||
                         (!preservesNewlines(frame.inherited.whiteSpace) &&
                          !blankTextHasBox(child,
                                           frame.node == element ? ownStyle.display : frame.shown,
                                           styles)))) {
                        break;  // no box: between table parts or items, or nothing inline before
                    }
                    if (frame.rubyLine && preservesNewlines(frame.inherited.whiteSpace) &&
                        run.find('\n') != std::string_view::npos) {
                        // Ruby shows a kept line break as a space.
                        std::string spaced(run);
                        std::replace(spaced.begin(), spaced.end(), '\n', ' ');
                        out.text(transformed(spaced, frame.inherited, out.lastCharacter()),
                                 frame.inherited.whiteSpace);
                    } else if (frame.inherited.textTransform == TextTransform::None ||
                               frame.inherited.textTransform == TextTransform::Inherit) {
                        out.text(run, frame.inherited.whiteSpace);
                    } else {
                        out.text(transformed(run, frame.inherited, out.lastCharacter()),
                                 frame.inherited.whiteSpace);
                    }
                }
                break;
            case kNodeElement: {
                ElementStyle style = styles.styleOf(child);
                if (isHtmlElement(child, kTagOption) && isListedInSelect(child)) {
                    // A select lists every option on a line of its own, hidden or not.
                    style.display = Display::Block;
                    style.contentHidden = false;
                    style.visibility = Visibility::Inherit;
                }
                if (style.display == Display::None) {
                    break;
                }
                Inherited childInherited = frame.inherited;
                inherit(style, childInherited);
                const Display display = displayIn(frame, child, style);
                if (style.contentHidden) {
                    // Its box is there, with nothing shown in it: no line breaks of its own.
                    if (display == Display::InlineBlock) {
                        out.atomicBox();
                    } else {
                        out.boxEdge();
                    }
                    break;
                }
                const Wrapper wrapper = anonymousTableFor(display, containerDisplay(stack));
                const TextBuilder::FlowState flow =
                    openElement(out, style, display, childInherited.visible, wrapper);
                if (isHtmlElement(child, kTagWbr)) {
                    out.breakOpportunity();
                }
                if (isHtmlElement(child, kTagImg)) {
                    // An image that shows its alt text goes on with the word before it.
                    const char* alt = attributeValue(child, "alt");
                    out.continueWord(alt != nullptr ? lastCharacterOf(alt) : 0);
                }
                if (isHtmlElement(child, kTagOption) && display != Display::Contents) {
                    // An option shows its label: its text, white space collapsed.
                    if (childInherited.visible) {
                        out.optionText(child, tables);
                    }
                    closeElement(out, Frame{child, style, 0, childInherited, false, false, flow},
                                 display, table);
                    break;
                }
                const bool nestedTable = style.display == Display::Table;
                if (nestedTable) {
                    const auto known = tables.segments.find(child);
                    if (known != tables.segments.end()) {
                        out.appendSegment(known->second);
                        closeElement(out,
                                     Frame{child, style, 0, childInherited, false, false, flow},
                                     display, table);
                        break;
                    }
                    nestedBuilders.push_back(std::make_unique<TextBuilder>(newline));
                    builders.push_back(nestedBuilders.back().get());
                }
                stack.push_back(
                    {child, style, 0, childInherited, isClosedDetails(child), nestedTable, flow,
                     shadowRootOf(child), display,
                     style.inlinifiesChildren || (frame.inRuby && style.display == Display::Inline),
                     wrapper, svgTextlessIn(frame.svgTextless, child),
                     style.inlinifiesChildren ||
                         (frame.rubyLine && style.display == Display::Inline)});
                break;
            }
            default:
                break;  // comments; template contents are never rendered
        }
    }
    if (ownStyle.display == Display::Inline && lineGoesOnAfter(element, styles)) {
        builders.front()->keepPendingSpace();  // an inline cell's space before more of its line
    }
}

}  // namespace

void appendInnerText(const Node* element, StyleResolver& styles, EntryContexts& contexts,
                     NestedTableTexts& tables, std::string& text, std::string_view newline) {
    Inherited inherited;
    const ElementStyle ownStyle = styles.styleOf(element);
    switch (cellState(element, ownStyle, styles, contexts, inherited)) {
        case CellState::NotRendered:
            appendTextContent(element, text, newline);
            return;
        case CellState::ContentHidden:
            return;
        case CellState::Rendered:
            break;
    }
    appendRenderedText(element, ownStyle, inherited, styles, tables, text, newline, nullptr);
}

TextMeasure measureInnerText(const Node* element, StyleResolver& styles, EntryContexts& contexts,
                             NestedTableTexts& tables, std::string_view newline) {
    Inherited inherited;
    const ElementStyle ownStyle = styles.styleOf(element);
    switch (cellState(element, ownStyle, styles, contexts, inherited)) {
        case CellState::NotRendered:
            return measureTextContent(element, tables, newline);
        case CellState::ContentHidden:
            return {};
        case CellState::Rendered:
            break;
    }
    std::string own;
    NestedTexts pieces;
    appendRenderedText(element, ownStyle, inherited, styles, tables, own, newline, &pieces);
    TextMeasure measure = TextMeasure::of(own);
    for (const NestedText& piece : pieces) {
        measure += piece.measure();
    }
    return measure;
}

}  // namespace tabrivo::detail
