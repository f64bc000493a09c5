#pragma once
// The HTML tokenizer: the states of the HTML standard's tokenizer over UTF-8
// text whose line breaks are already LF. Text comes out as runs that point
// into the input; only a run holding a rewritten character (a character
// reference, a replaced NUL) is copied. Tags, comments and DOCTYPEs are built
// in buffers the tokenizer reuses, so a token costs no allocation once the
// buffers have grown.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace tabrivo::detail {

// Rewrites CR LF and lone CR to LF in place, as the input stream does before
// tokenization; text without CR is left untouched.
std::size_t normalizeNewlines(char* text, std::size_t size);
void normalizeNewlines(std::string& text);

enum class TokenType : std::uint8_t { Character, StartTag, EndTag, Comment, Doctype, EndOfFile };

struct TokenAttribute {
    std::string_view name;  // lower case
    std::string_view value;
};

// One token; its views stay valid until the tokenizer's next call.
struct Token {
    TokenType type = TokenType::EndOfFile;
    std::string_view text;  // character run, comment data, tag or DOCTYPE name
    bool selfClosing = false;
    std::size_t offset = 0;  // start tags: where their '<' stands in the input
    const TokenAttribute* attributes = nullptr;
    std::size_t attributeCount = 0;
    // DOCTYPE only.
    bool hasName = false;
    bool hasPublicId = false;
    bool hasSystemId = false;
    bool forceQuirks = false;
    std::string_view publicId;
    std::string_view systemId;
};

class HtmlTokenizer {
public:
    enum class State : std::uint8_t {
        Data,
        Rcdata,
        Rawtext,
        ScriptData,
        Plaintext,
        TagOpen,
        EndTagOpen,
        TagName,
        RcdataLessThan,
        RcdataEndTagOpen,
        RcdataEndTagName,
        RawtextLessThan,
        RawtextEndTagOpen,
        RawtextEndTagName,
        ScriptDataLessThan,
        ScriptDataEndTagOpen,
        ScriptDataEndTagName,
        ScriptDataEscapeStart,
        ScriptDataEscapeStartDash,
        ScriptDataEscaped,
        ScriptDataEscapedDash,
        ScriptDataEscapedDashDash,
        ScriptDataEscapedLessThan,
        ScriptDataEscapedEndTagOpen,
        ScriptDataEscapedEndTagName,
        ScriptDataDoubleEscapeStart,
        ScriptDataDoubleEscaped,
        ScriptDataDoubleEscapedDash,
        ScriptDataDoubleEscapedDashDash,
        ScriptDataDoubleEscapedLessThan,
        ScriptDataDoubleEscapeEnd,
        BeforeAttributeName,
        AttributeName,
        AfterAttributeName,
        BeforeAttributeValue,
        AttributeValueDoubleQuoted,
        AttributeValueSingleQuoted,
        AttributeValueUnquoted,
        AfterAttributeValueQuoted,
        SelfClosingStartTag,
        BogusComment,
        MarkupDeclarationOpen,
        CommentStart,
        CommentStartDash,
        Comment,
        CommentLessThan,
        CommentLessThanBang,
        CommentLessThanBangDash,
        CommentLessThanBangDashDash,
        CommentEndDash,
        CommentEnd,
        CommentEndBang,
        Doctype,
        BeforeDoctypeName,
        DoctypeName,
        AfterDoctypeName,
        AfterDoctypePublicKeyword,
        BeforeDoctypePublicId,
        DoctypePublicIdDoubleQuoted,
        DoctypePublicIdSingleQuoted,
        AfterDoctypePublicId,
        BetweenDoctypePublicAndSystemIds,
        AfterDoctypeSystemKeyword,
        BeforeDoctypeSystemId,
        DoctypeSystemIdDoubleQuoted,
        DoctypeSystemIdSingleQuoted,
        AfterDoctypeSystemId,
        BogusDoctype,
        CdataSection,
        CdataSectionBracket,
        CdataSectionEnd,
    };

    // `input` must outlive the tokenizer; its line breaks must be LF only.
    explicit HtmlTokenizer(std::string_view input) : m_in(input) {}

    // The next token; EndOfFile once the input is used up, then again.
    const Token& next();
    // How much of the input was read.
    std::size_t position() const { return m_pos; }

    // What the tree builder switches between tokens.
    void setState(State state) { m_state = state; }
    void setLastStartTag(std::string_view name) {
        m_lastStartTagCopy.assign(name);
        m_lastStartTag = m_lastStartTagCopy;
    }
    // Whether the adjusted current node is outside the HTML namespace, where
    // <![CDATA[ opens a CDATA section instead of a bogus comment.
    void setForeignContent(bool foreign) { m_foreign = foreign; }

private:
    struct PendingAttribute {
        std::size_t nameBegin = 0;
        std::size_t nameEnd = 0;
        std::size_t valueBegin = 0;
        std::size_t valueEnd = 0;
    };

    // Steps the state machine until a token is queued.
    void run();
    void step();
    bool ended() const { return m_pos >= m_in.size(); }

    // Text: a view while the characters follow one another in the input.
    void emitInputChars(std::size_t begin, std::size_t end);
    void emitChars(std::string_view chars);
    void flushText();
    void queue(TokenType type);

    // Tags, comments, DOCTYPEs.
    void startTag(TokenType type);
    void emitTag();
    // A tag at m_pos, just past its '<', whose name and attribute names are
    // lower case and whose values hold no character reference or NUL, as most
    // are: emits it, names and values as views of the input, and returns
    // true; else false, having changed nothing the states read.
    bool plainTag();
    void startAttribute();
    void finishAttributeName();
    void emitComment();
    void emitDoctype();
    void appendLower(char c);
    void appendLowerRun(std::size_t begin, std::size_t end);  // of the input
    std::size_t nameRunEnd(std::size_t from) const;
    // Appends a lower-cased name up to white space, '>' or (if `slashEnds`)
    // '/', and returns that character; '\0' at the end of the input, since a
    // NUL in a name is taken as U+FFFD.
    char readName(bool slashEnds);
    void appendBuffer(std::string_view chars) { m_buffer.append(chars); }
    bool isAppropriateEndTag() const;
    std::string_view bufferSpan(std::size_t begin, std::size_t end) const {
        return std::string_view(m_buffer).substr(begin, end - begin);
    }

    // Character references; `inAttribute` for those in attribute values.
    // Consumes the reference after '&' and appends its text, or the '&' alone.
    void characterReference(bool inAttribute);

    // The text states that scan runs between special characters.
    void dataState();
    void rcdataState();
    void rawtextState(State lessThanState);
    void plaintextState();
    void scriptEscapedState(bool doubled);
    bool endTagNameState(State textState);
    void attributeValueQuoted(char quote);
    void attributeValueUnquoted();
    void commentState();
    void cdataState();

    std::string_view m_in;
    std::size_t m_pos = 0;
    State m_state = State::Data;
    bool m_foreign = false;
    bool m_eofEmitted = false;

    Token m_tokens[3];  // at most a text run, a comment and the end of file
    unsigned m_queued = 0;
    unsigned m_taken = 0;

    // The current text run: a view into the input until a character must be
    // rewritten, then a copy.
    std::size_t m_textBegin = 0;
    std::size_t m_textEnd = 0;
    bool m_textCopied = false;
    std::string m_text;

    // The token being built: its name (or comment data) is at the start of
    // the buffer, attribute names and values follow.
    TokenType m_tagType = TokenType::StartTag;
    std::size_t m_tagStart = 0;
    std::string m_buffer;
    std::size_t m_nameEnd = 0;
    bool m_selfClosing = false;
    std::vector<PendingAttribute> m_pendingAttributes;
    std::vector<TokenAttribute> m_attributes;
    bool m_dropAttribute = false;
    std::unordered_set<std::string> m_attributeNames;  // only for tags with many attributes
    // A view of the input, or of the copy when the name was rewritten.
    std::string_view m_lastStartTag;
    std::string m_lastStartTagCopy;
    std::string m_temporary;  // the end tag name or script word matched so far
    // DOCTYPE fields, as spans of the buffer.
    bool m_hasName = false;
    bool m_hasPublicId = false;
    bool m_hasSystemId = false;
    bool m_forceQuirks = false;
    std::size_t m_publicBegin = 0;
    std::size_t m_publicEnd = 0;
    std::size_t m_systemBegin = 0;
    std::size_t m_systemEnd = 0;
    char m_numeric[4] = {};
};

}  // namespace tabrivo::detail
