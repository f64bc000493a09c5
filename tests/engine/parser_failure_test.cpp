// The parser's own internal checks: input it fails on must end with a clear
// error for that file, never with the whole program.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include <engine/convert.h>

#include "gumbo_arena.h"
#include "gumbo_guard.h"

namespace tabrivo {
namespace {

// A <select> inside MathML inside a table cell, a MathML text integration
// point in it and two tables: the parser's reset of its insertion mode walks
// off its stack and asserts.
constexpr std::string_view kFailsParserCheck = "<table><td><math><select><mi><table><table>";

TEST(ParserFailureTest, AFailedParserCheckBecomesAnErrorForThatFile) {
    // All the parser allocates comes from the arena, which frees it even
    // when the parse is abandoned.
    GumboArena arena;
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &GumboArena::allocateFor;
    options.deallocator = &GumboArena::releaseFor;
    options.userdata = &arena;
    try {
        detail::parseHtml(options, kFailsParserCheck.data(), kFailsParserCheck.size());
        FAIL() << "the parser accepted input it is known to fail on";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("internal check"), std::string::npos)
            << error.what();
    }
    // The thread parses normally afterwards.
    const GumboOutput* output = detail::parseHtml(options, "<p>x", 4);
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(output->root->v.element.tag, GUMBO_TAG_HTML);
}

TEST(ParserFailureTest, SelectsInsideSvgOrMathMlAreLeftOutButHtmlSelectsStay) {
    EXPECT_EQ(convertHtmlToText(kFailsParserCheck), "{\r\n\t{\r\n\t\"\"\r\n\t}\r\n}");
    EXPECT_EQ(convertHtmlToText("<table><td><svg><select><desc><table><table>"),
              "{\r\n\t{\r\n\t\"\"\r\n\t}\r\n}");
    EXPECT_EQ(convertHtmlToText("<table><td><math><td><select><mi><table><table>"),
              "{\r\n\t{\r\n\t\"\"\r\n\t}\r\n}");
    EXPECT_EQ(convertHtmlToText("<svg><title><table><td><math><select><mi><table><table>"),
              "{\r\n\t{\r\n\t\"\"\r\n\t}\r\n}");
    EXPECT_EQ(convertHtmlToText("<math><iframe><table><td><math><select><mi><table><table>"),
              "{\r\n\t{\r\n\t\"\"\r\n\t}\r\n}");
    EXPECT_EQ(convertHtmlToText("<table><math></tr><select><mi><select><td>"),
              "{\r\n\t{\r\n\t\"\"\r\n\t}\r\n}");
    // A cell's end tag closes MathML left open in it; the next cell's select is HTML.
    EXPECT_EQ(
        convertHtmlToText("<table><td><math><mn>1</td><td><select><option>o</select></table>"),
        "{\r\n\t{\r\n\t\"1\", \r\n\t\"o\"\r\n\t}\r\n}");
    // Inside a MathML text integration point the select is HTML, and shown.
    EXPECT_EQ(convertHtmlToText("<table><td><math><mi><select><option>opt</select>x</table>"),
              "{\r\n\t{\r\n\t\"opt\r\nx\"\r\n\t}\r\n}");
}

}  // namespace
}  // namespace tabrivo
