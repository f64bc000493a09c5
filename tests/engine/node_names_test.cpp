// The engine's own table of tag names, against gumbo's as a second opinion
// on which names have numbers, and the attribute look-up.

#include <gtest/gtest.h>

#include <gumbo.h>

#include <string>

#include <engine/node_names_p.h>

namespace tabrivo::detail {
namespace {

std::string upperCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    }
    return text;
}

TEST(NodeNames, everyNumberedNameRoundTripsInAnyCase) {
    for (unsigned tag = 0; tag < kTagUnknown; ++tag) {
        const std::string name(knownTagName(tag));
        ASSERT_FALSE(name.empty()) << tag;
        EXPECT_EQ(knownTag(name), tag) << name;
        EXPECT_EQ(knownTag(upperCase(name)), tag) << name;
        EXPECT_EQ(knownTagOpening(tag), "<" + name) << tag;
    }
    EXPECT_TRUE(knownTagName(kTagUnknown).empty());
    EXPECT_TRUE(knownTagOpening(kTagLast).empty());
}

TEST(NodeNames, numbersTheNamesGumboNumbers) {
    for (unsigned tag = 0; tag < GUMBO_TAG_UNKNOWN; ++tag) {
        const std::string name = gumbo_normalized_tagname(static_cast<GumboTag>(tag));
        EXPECT_NE(knownTag(name), kTagUnknown) << name;
    }
    EXPECT_EQ(unsigned{kTagUnknown}, unsigned{GUMBO_TAG_UNKNOWN});
    for (const std::string name :
         {"", "x", "tablex", "tabl", "t@ble", "annotation-xml-", "search"}) {
        EXPECT_EQ(knownTag(name), kTagUnknown) << name;
        EXPECT_EQ(gumbo_tagn_enum(name.data(), static_cast<unsigned>(name.size())),
                  GUMBO_TAG_UNKNOWN)
            << name;
    }
}

TEST(NodeNames, attributesFoundInAnyCase) {
    Attribute first{};
    first.name = "class";
    first.name_length = 5;
    first.value = "a";
    Attribute second{};
    second.name = "viewBox";
    second.name_length = 7;
    second.value = "0 0 1 1";
    void* items[] = {&first, &second};
    const PointerVector attributes{items, 2, 2};
    EXPECT_EQ(findAttribute(attributes, "CLASS"), &first);
    EXPECT_EQ(findAttribute(attributes, "viewbox"), &second);
    EXPECT_EQ(findAttribute(attributes, "id"), nullptr);
}

}  // namespace
}  // namespace tabrivo::detail
