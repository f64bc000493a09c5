// The html5lib tokenizer tests: every test of every file, in every initial
// state it names, against the tokens our tokenizer gives.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <engine/html_tokenizer_p.h>
#include <json_value.h>

namespace {

using tabrivo::detail::HtmlTokenizer;
using tabrivo::detail::normalizeNewlines;
using tabrivo::detail::TokenType;
using tabrivo::test::JsonReader;
using tabrivo::test::JsonValue;

const std::filesystem::path kDir =
    std::filesystem::path(TABRIVO_SHARED_DIR) / "html5lib-tests/tokenizer";

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// One line a token; adjacent character tokens are one.
struct Tokens {
    std::vector<std::string> lines;
    std::string pendingText;
    bool hasText = false;
    void text(const std::string& chars) {
        pendingText += chars;
        hasText = true;
    }
    void add(std::string line) {
        flush();
        lines.push_back(std::move(line));
    }
    void flush() {
        if (hasText) {
            lines.push_back("Character " + pendingText);
            pendingText.clear();
            hasText = false;
        }
    }
    std::string joined() {
        flush();
        std::string out;
        for (const auto& line : lines) {
            out += line + "\n";
        }
        return out;
    }
};

std::string orNull(bool has, std::string_view text) {
    return has ? "\"" + std::string(text) + "\"" : "null";
}

std::string startTagLine(const std::string& name,
                         std::vector<std::pair<std::string, std::string>> attributes,
                         bool selfClosing) {
    std::sort(attributes.begin(), attributes.end());
    std::string line = "StartTag " + name;
    for (const auto& [key, value] : attributes) {
        line += " [" + key + "=" + value + "]";
    }
    return line + (selfClosing ? " /" : "");
}

std::string expected(const JsonValue& output, bool doubleEscaped) {
    auto str = [&](const JsonValue& v) {
        return doubleEscaped ? tabrivo::test::unescapeUnicode(v.string) : v.string;
    };
    Tokens tokens;
    for (const JsonValue& token : output.array) {
        const std::string& type = token.array[0].string;
        if (type == "Character") {
            tokens.text(str(token.array[1]));
        } else if (type == "StartTag") {
            std::vector<std::pair<std::string, std::string>> attributes;
            if (token.array.size() > 2) {
                for (const auto& [key, value] : token.array[2].object) {
                    attributes.emplace_back(key, str(value));
                }
            }
            const bool selfClosing = token.array.size() > 3 && token.array[3].boolean;
            tokens.add(startTagLine(str(token.array[1]), attributes, selfClosing));
        } else if (type == "EndTag") {
            tokens.add("EndTag " + str(token.array[1]));
        } else if (type == "Comment") {
            tokens.add("Comment " + str(token.array[1]));
        } else if (type == "DOCTYPE") {
            auto field = [&](std::size_t i) {
                const JsonValue& v = token.array[i];
                return orNull(v.kind == JsonValue::Kind::String, str(v));
            };
            tokens.add("DOCTYPE " + field(1) + " " + field(2) + " " + field(3) + " " +
                       (token.array[4].boolean ? "ok" : "quirks"));
        }
    }
    return tokens.joined();
}

HtmlTokenizer::State stateNamed(const std::string& name) {
    if (name == "PLAINTEXT state") {
        return HtmlTokenizer::State::Plaintext;
    }
    if (name == "RCDATA state") {
        return HtmlTokenizer::State::Rcdata;
    }
    if (name == "RAWTEXT state") {
        return HtmlTokenizer::State::Rawtext;
    }
    if (name == "Script data state") {
        return HtmlTokenizer::State::ScriptData;
    }
    if (name == "CDATA section state") {
        return HtmlTokenizer::State::CdataSection;
    }
    return HtmlTokenizer::State::Data;
}

std::string actual(std::string input, HtmlTokenizer::State state, const std::string& lastStartTag) {
    normalizeNewlines(input);
    HtmlTokenizer tokenizer(input);
    tokenizer.setState(state);
    tokenizer.setLastStartTag(lastStartTag);
    Tokens tokens;
    for (;;) {
        const auto& token = tokenizer.next();
        if (token.type == TokenType::EndOfFile) {
            break;
        }
        switch (token.type) {
            case TokenType::Character:
                tokens.text(std::string(token.text));
                break;
            case TokenType::StartTag: {
                std::vector<std::pair<std::string, std::string>> attributes;
                for (std::size_t i = 0; i < token.attributeCount; ++i) {
                    attributes.emplace_back(token.attributes[i].name, token.attributes[i].value);
                }
                tokens.add(startTagLine(std::string(token.text), attributes, token.selfClosing));
                break;
            }
            case TokenType::EndTag:
                tokens.add("EndTag " + std::string(token.text));
                break;
            case TokenType::Comment:
                tokens.add("Comment " + std::string(token.text));
                break;
            case TokenType::Doctype:
                tokens.add("DOCTYPE " + orNull(token.hasName, token.text) + " " +
                           orNull(token.hasPublicId, token.publicId) + " " +
                           orNull(token.hasSystemId, token.systemId) + " " +
                           (token.forceQuirks ? "quirks" : "ok"));
                break;
            case TokenType::EndOfFile:
                break;
        }
    }
    return tokens.joined();
}

class TokenizerFile : public testing::TestWithParam<std::string> {};

TEST_P(TokenizerFile, AllTestsPass) {
    const JsonValue file = JsonReader(readFile(kDir / GetParam())).read();
    const JsonValue* tests = file.find("tests");
    if (tests == nullptr) {
        // xmlViolationTests expect a DOM coerced into an XML infoset; browsers do not.
        GTEST_SKIP() << "no HTML tokenizer tests in " << GetParam();
    }
    int runs = 0;
    int passed = 0;
    for (const JsonValue& test : tests->array) {
        const bool doubleEscaped =
            test.find("doubleEscaped") != nullptr && test.find("doubleEscaped")->boolean;
        std::string input = test.find("input")->string;
        if (doubleEscaped) {
            input = tabrivo::test::unescapeUnicode(input);
        }
        const JsonValue* last = test.find("lastStartTag");
        std::vector<std::string> states = {"Data state"};
        if (const JsonValue* initial = test.find("initialStates")) {
            states.clear();
            for (const JsonValue& state : initial->array) {
                states.push_back(state.string);
            }
        }
        const std::string want = expected(*test.find("output"), doubleEscaped);
        for (const std::string& state : states) {
            ++runs;
            const std::string got =
                actual(input, stateNamed(state), last != nullptr ? last->string : "");
            if (got == want) {
                ++passed;
            } else {
                ADD_FAILURE() << test.find("description")->string << " (" << state
                              << ")\ninput: " << input << "\nwant:\n"
                              << want << "got:\n"
                              << got;
            }
        }
    }
    std::cout << GetParam() << ": " << passed << " of " << runs << " runs pass\n";
}

std::vector<std::string> tokenizerFiles() {
    std::vector<std::string> names;
    if (!std::filesystem::is_directory(kDir)) {
        return names;  // no shared test data here: nothing to run
    }
    for (const auto& entry : std::filesystem::directory_iterator(kDir)) {
        if (entry.path().extension() == ".test") {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string testName(const testing::TestParamInfo<std::string>& info) {
    std::string name = info.param.substr(0, info.param.find('.'));
    return name;
}

TEST(NormalizeNewlines, crAndCrLfBecomeLf) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"a", "a"},
        {"\r", "\n"},
        {"\r\n", "\n"},
        {"\n\r", "\n\n"},
        {"\r\r\n\r", "\n\n\n"},
        {"a\r\nb\rc\n", "a\nb\nc\n"},
        {"ab\r\n\r\ncd\r", "ab\n\ncd\n"},
    };
    for (const auto& [input, expected] : cases) {
        std::string text = input;
        normalizeNewlines(text);
        EXPECT_EQ(text, expected) << testing::PrintToString(input);
    }
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(TokenizerFile);
INSTANTIATE_TEST_SUITE_P(Html5lib, TokenizerFile, testing::ValuesIn(tokenizerFiles()), testName);

}  // namespace
