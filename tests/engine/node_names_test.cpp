// The engine's own table of tag names against gumbo's, whose numbers the node
// layout uses, and the attribute look-up.

#include <gtest/gtest.h>

#include <gumbo.h>

#include <string>

#include <engine/node_names_p.h>

namespace tabrivo::detail {
namespace {

TEST(NodeNames, everyTagNameAndNumberAsGumboHasThem) {
    for (unsigned tag = 0; tag < GUMBO_TAG_UNKNOWN; ++tag) {
        const std::string name = gumbo_normalized_tagname(static_cast<GumboTag>(tag));
        EXPECT_EQ(knownTagName(tag), name) << tag;
        EXPECT_EQ(knownTag(name), static_cast<GumboTag>(tag)) << name;
        std::string upper = name;
        for (char& c : upper) {
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        }
        EXPECT_EQ(knownTag(upper), static_cast<GumboTag>(tag)) << upper;
    }
    for (const std::string name :
         {"", "x", "tablex", "tabl", "t@ble", "annotation-xml-", "search"}) {
        EXPECT_EQ(knownTag(name), gumbo_tagn_enum(name.data(), static_cast<unsigned>(name.size())))
            << name;
    }
    EXPECT_TRUE(knownTagName(GUMBO_TAG_UNKNOWN).empty());
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
    const GumboVector attributes{items, 2, 2};
    EXPECT_EQ(findAttribute(attributes, "CLASS"), &first);
    EXPECT_EQ(findAttribute(attributes, "viewbox"), &second);
    EXPECT_EQ(findAttribute(attributes, "id"), nullptr);
}

}  // namespace
}  // namespace tabrivo::detail
