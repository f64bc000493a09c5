#pragma once
// What the markup scan knows about a tag name: a small number for it, and the
// groups the parsing rules put it in, found with one look-up per tag.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tabrivo::testing {

// The groups of tag names the parsing rules speak of.
enum TagFlag : std::uint32_t {
    kFormatting = 1U << 0,       // kept in the list of active formatting elements
    kNeverOpen = 1U << 1,        // void, or merged into the document's own element
    kScopeBoundary = 1U << 2,    // scope checks stop here; cells start a formatting stretch
    kSpecial = 1U << 3,          // kept open when a formatting element below closes
    kClosesParagraph = 1U << 4,  // its start tag closes an open <p>
    kHeading = 1U << 5,
    kLeavesForeign = 1U << 6,     // its start tag ends SVG or MathML content
    kIntegrationPoint = 1U << 7,  // HTML again inside SVG or MathML
    kRawText = 1U << 8,           // its content is text up to its end tag
};

// The names the rules name one by one, numbered first.
enum TagId : std::uint32_t {
    kTable,
    kCaption,
    kColgroup,
    kCol,
    kTbody,
    kThead,
    kTfoot,
    kTr,
    kTd,
    kTh,
    kP,
    kButton,
    kLi,
    kOl,
    kUl,
    kDd,
    kDt,
    kDl,
    kOption,
    kOptgroup,
    kA,
    kNobr,
    kSelect,
    kInput,
    kKeygen,
    kTextarea,
    kScript,
    kSvg,
    kMath,
    kNamedTagCount
};

struct TagInfo {
    std::uint32_t id = 0;
    std::uint32_t flags = 0;
    bool has(std::uint32_t flag) const { return (flags & flag) != 0; }
};

// Tag names met so far; a name not met before gets the next number.
class TagTable {
public:
    TagInfo lookup(std::string_view lowerName);

    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const {
            return std::hash<std::string_view>{}(name);
        }
    };

private:
    // Names outside the rules' own, numbered after them as they are met.
    std::unordered_map<std::string, TagInfo, Hash, std::equal_to<>> m_unknown;
};

}  // namespace tabrivo::testing
