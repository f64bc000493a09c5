// What the markup scan leaves out of gumbo's parse: tags nested beyond what the
// parser can take in linear time, and attributes beyond a tag's allowed number.
// Sloppy but ordinary pages must lose nothing; hostile nesting must lose
// tags, never text.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include <engine/convert.h>

#include "gumbo_reference.h"
#include "markup_scan.h"
#include "nesting_guard.h"

namespace tabrivo {
namespace {

std::size_t removedStretches(const std::string& html) {
    return testing::scanMarkup(html, testing::ScanOptions{256}).removals.size();
}

std::string repeat(const std::string& part, int times) {
    std::string text;
    text.reserve(part.size() * static_cast<std::size_t>(times));
    for (int i = 0; i < times; ++i) {
        text += part;
    }
    return text;
}

TEST(MarkupScanTest, SloppyOrdinaryMarkupKeepsEveryTag) {
    const std::pair<const char*, std::string> pages[] = {
        {"unclosed cells, fonts, paragraphs and items",
         "<table>" +
             repeat("<tr><td><font size=2><p>text<li>item<b>bold</b><a href=x>link", 20000)},
        {"spans closed by the next paragraph", repeat("<p><span class=x>text", 20000)},
        {"blocks closed by the next list item", "<ul>" + repeat("<li><div>x", 20000)},
        {"definitions", "<dl>" + repeat("<dt>a<dd><div>b", 20000)},
        {"options", "<select>" + repeat("<option>x<optgroup>", 20000)},
        {"self-closing SVG shapes", "<svg>" + repeat("<path d='M0 0'/><g/>", 20000) + "</svg>"},
        {"links left open", "<p>" + repeat("<a href=x>link, ", 20000)},
        {"identical formatting left open", repeat("<p><b>x</p>", 20000)},
        {"headings", repeat("<h2>title<h3>sub", 20000)},
        {"nested tables", repeat("<table><tr><td><div>x", 20000)},
        {"formatting closed across blocks", repeat("<div><b>x</div>y</b>", 20000)},
        {"misnested formatting", repeat("<b><i>x</b>y</i>", 20000)},
    };
    for (const auto& [name, html] : pages) {
        EXPECT_EQ(removedStretches(html), 0U) << name;
    }
}

TEST(MarkupScanTest, HostileNestingLosesTagsButNoText) {
    const std::pair<const char*, std::string> pages[] = {
        {"unclosed blocks", repeat("<div>x", 100000)},
        {"unclosed distinct formatting",
         [] {
             std::string html;
             for (int i = 0; i < 100000; ++i) {
                 html += "<b class=c" + std::to_string(i) + ">x";
             }
             return html;
         }()},
        {"links in blocks", repeat("<div><a>x", 100000)},
        {"unclosed spans", repeat("<span>x", 100000)},
    };
    for (const auto& [name, html] : pages) {
        const std::string document = "<table><tr><td>" + html + "</table>";
        EXPECT_GT(removedStretches(document), 0U) << name;
        const std::string output = convertHtmlToText(document, testing::gumboParseOptions());
        EXPECT_EQ(std::count(output.begin(), output.end(), 'x'), 100000) << name;
    }
}

TEST(MarkupScanTest, EndTagsOfLeftOutElementsAreLeftOutToo) {
    // Closed properly, deep nesting keeps its innermost text where it was:
    // the end tags left out are those of the elements left out.
    const std::string html = "<table><tr><td>" + repeat("<span>", 2000) + "in" +
                             repeat("</span>", 2000) + "after<td>next</table>";
    EXPECT_EQ(removedStretches(html), 2U * (2000 - testing::NestingGuard::kMaxOpenElements));
    EXPECT_EQ(convertHtmlToText(html, testing::gumboParseOptions()),
              "{\r\n\t{\r\n\t\"inafter\", \r\n\t\"next\"\r\n\t}\r\n}");
}

TEST(MarkupScanTest, LeftOutTagsNeverJoinTheTextAroundThemIntoATag) {
    // The "<" before a left-out <select> would otherwise open a tag "<f".
    const std::string html = "<table><td><math><<select>f</table>";
    const auto removals = testing::scanMarkup(html, testing::ScanOptions{256}).removals;
    ASSERT_EQ(removals.size(), 1U);
    EXPECT_EQ(removals[0].replacement, "<!>");
    EXPECT_EQ(convertHtmlToText(html, testing::gumboParseOptions()),
              "{\r\n\t{\r\n\t\"<f\"\r\n\t}\r\n}");
}

TEST(MarkupScanTest, TagsKeepTheirFirstAttributes) {
    std::string many;
    for (int i = 0; i < 300; ++i) {
        many += " a" + std::to_string(i) + "=\">\"";
    }
    const auto removals =
        testing::scanMarkup("<p" + many + "/>x", testing::ScanOptions{256}).removals;
    ASSERT_EQ(removals.size(), 1U);
    // From the 257th attribute to the "/>" closing the tag.
    const std::string html = "<p" + many + "/>x";
    EXPECT_EQ(html.substr(removals[0].begin, 5), "a256=");
    EXPECT_EQ(html.substr(removals[0].end), "/>x");
}

}  // namespace
}  // namespace tabrivo
