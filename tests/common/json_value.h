#pragma once
// A small JSON reader for test data: values, arrays and objects as the
// html5lib test files write them. Strings keep \uXXXX surrogates that stand
// alone as three-byte sequences, so that test inputs with lone surrogates
// survive the trip to UTF-8 unchanged on both sides of a comparison.

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tabrivo::test {

struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<JsonValue> array;
    std::vector<std::pair<std::string, JsonValue>> object;  // in file order

    const JsonValue* find(std::string_view key) const {
        for (const auto& [name, value] : object) {
            if (name == key) {
                return &value;
            }
        }
        return nullptr;
    }
};

inline void appendCodePoint(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Resolves \uXXXX escapes (pairs of surrogates into one character) in text
// already read once; the html5lib "doubleEscaped" strings need it.
inline std::string unescapeUnicode(std::string_view text) {
    std::string out;
    auto hex4 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(std::stoul(std::string(text.substr(at, 4)), nullptr, 16));
    };
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '\\' && i + 5 < text.size() && text[i + 1] == 'u') {
            std::uint32_t cp = hex4(i + 2);
            i += 6;
            if (cp >= 0xD800 && cp < 0xDC00 && i + 5 < text.size() && text[i] == '\\' &&
                text[i + 1] == 'u') {
                const std::uint32_t low = hex4(i + 2);
                if (low >= 0xDC00 && low < 0xE000) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    i += 6;
                }
            }
            appendCodePoint(out, cp);
        } else {
            out += text[i++];
        }
    }
    return out;
}

class JsonReader {
public:
    explicit JsonReader(std::string_view text) : m_text(text) {}

    JsonValue read() {
        JsonValue value = readValue();
        skipSpace();
        if (m_pos != m_text.size()) {
            fail("trailing text");
        }
        return value;
    }

private:
    [[noreturn]] void fail(const char* what) const {
        throw std::runtime_error(std::string("JSON: ") + what + " at " + std::to_string(m_pos));
    }
    void skipSpace() {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\n' ||
                                         m_text[m_pos] == '\r' || m_text[m_pos] == '\t')) {
            ++m_pos;
        }
    }
    bool take(char c) {
        skipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    std::uint32_t hex4() {
        if (m_pos + 4 > m_text.size()) {
            fail("short escape");
        }
        const auto cp = static_cast<std::uint32_t>(
            std::stoul(std::string(m_text.substr(m_pos, 4)), nullptr, 16));
        m_pos += 4;
        return cp;
    }
    std::string readString() {
        std::string out;
        ++m_pos;  // the opening quote
        while (m_pos < m_text.size() && m_text[m_pos] != '"') {
            const char c = m_text[m_pos++];
            if (c != '\\') {
                out += c;
                continue;
            }
            const char e = m_text[m_pos++];
            switch (e) {
                case 'n':
                    out += '\n';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'u': {
                    std::uint32_t cp = hex4();
                    if (cp >= 0xD800 && cp < 0xDC00 && m_text.substr(m_pos, 2) == "\\u") {
                        const std::size_t save = m_pos;
                        m_pos += 2;
                        const std::uint32_t low = hex4();
                        if (low >= 0xDC00 && low < 0xE000) {
                            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                        } else {
                            m_pos = save;
                        }
                    }
                    appendCodePoint(out, cp);
                    break;
                }
                default:
                    out += e;
                    break;
            }
        }
        ++m_pos;  // the closing quote
        return out;
    }
    JsonValue readValue() {
        skipSpace();
        if (m_pos >= m_text.size()) {
            fail("unexpected end");
        }
        JsonValue value;
        const char c = m_text[m_pos];
        if (c == '"') {
            value.kind = JsonValue::Kind::String;
            value.string = readString();
        } else if (c == '[') {
            ++m_pos;
            value.kind = JsonValue::Kind::Array;
            if (!take(']')) {
                do {
                    value.array.push_back(readValue());
                } while (take(','));
                if (!take(']')) {
                    fail("expected ]");
                }
            }
        } else if (c == '{') {
            ++m_pos;
            value.kind = JsonValue::Kind::Object;
            if (!take('}')) {
                do {
                    skipSpace();
                    std::string key = readString();
                    if (!take(':')) {
                        fail("expected :");
                    }
                    value.object.emplace_back(std::move(key), readValue());
                } while (take(','));
                if (!take('}')) {
                    fail("expected }");
                }
            }
        } else if (m_text.substr(m_pos, 4) == "true" || m_text.substr(m_pos, 5) == "false") {
            value.kind = JsonValue::Kind::Bool;
            value.boolean = c == 't';
            m_pos += value.boolean ? 4 : 5;
        } else if (m_text.substr(m_pos, 4) == "null") {
            m_pos += 4;
        } else {
            value.kind = JsonValue::Kind::Number;
            std::size_t used = 0;
            value.number = std::stod(std::string(m_text.substr(m_pos, 32)), &used);
            m_pos += used;
        }
        return value;
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

}  // namespace tabrivo::test
