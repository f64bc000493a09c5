#include "tag_info.h"

#include <array>
#include <vector>

#include <engine/node_names_p.h>

namespace tabrivo::testing {

namespace {

using NameMap = std::unordered_map<std::string, TagInfo, TagTable::Hash, std::equal_to<>>;

struct Group {
    std::uint32_t flag;
    std::vector<std::string_view> names;
};

// The names the rules know, built once for the program.
NameMap buildKnownTags() {
    NameMap byName;
    static constexpr std::string_view kNamed[] = {
        "table",  "caption",  "colgroup", "col",      "tbody", "thead", "tfoot",  "tr",
        "td",     "th",       "p",        "button",   "li",    "ol",    "ul",     "dd",
        "dt",     "dl",       "option",   "optgroup", "a",     "nobr",  "select", "input",
        "keygen", "textarea", "script",   "svg",      "math"};
    static_assert(std::size(kNamed) == kNamedTagCount);
    for (std::uint32_t id = 0; id < kNamedTagCount; ++id) {
        byName.emplace(std::string(kNamed[id]), TagInfo{id, 0});
    }
    const Group groups[] = {
        {kFormatting,
         {"a", "b", "big", "code", "em", "font", "i", "nobr", "s", "small", "strike", "strong",
          "tt", "u"}},
        {kNeverOpen, {"area",   "base",  "basefont", "bgsound", "br",     "col",  "embed", "frame",
                      "hr",     "image", "img",      "input",   "keygen", "link", "meta",  "param",
                      "source", "track", "wbr",      "html",    "head",   "body"}},
        {kScopeBoundary,
         {"table", "td", "th", "caption", "applet", "marquee", "object", "template"}},
        {kSpecial,
         {"table",      "td",      "th",        "caption",  "applet",     "marquee",  "object",
          "template",   "address", "article",   "aside",    "blockquote", "button",   "center",
          "dd",         "details", "dir",       "div",      "dl",         "dt",       "fieldset",
          "figcaption", "figure",  "footer",    "form",     "h1",         "h2",       "h3",
          "h4",         "h5",      "h6",        "header",   "hgroup",     "iframe",   "li",
          "listing",    "main",    "menu",      "nav",      "noembed",    "noframes", "noscript",
          "ol",         "p",       "plaintext", "pre",      "script",     "section",  "select",
          "style",      "summary", "tbody",     "textarea", "tfoot",      "thead",    "title",
          "tr",         "ul",      "xmp"}},
        {kClosesParagraph,
         {"address", "article", "aside", "blockquote", "center",     "details",   "dialog",
          "dir",     "div",     "dl",    "fieldset",   "figcaption", "figure",    "footer",
          "header",  "hgroup",  "main",  "menu",       "nav",        "ol",        "p",
          "section", "summary", "ul",    "h1",         "h2",         "h3",        "h4",
          "h5",      "h6",      "pre",   "listing",    "form",       "plaintext", "table",
          "hr",      "xmp",     "li",    "dd",         "dt"}},
        {kHeading, {"h1", "h2", "h3", "h4", "h5", "h6"}},
        {kLeavesForeign,
         {"b",      "big",  "blockquote", "body",  "br",   "center", "code",    "dd",   "div",
          "dl",     "dt",   "em",         "embed", "h1",   "h2",     "h3",      "h4",   "h5",
          "h6",     "head", "hr",         "i",     "img",  "li",     "listing", "menu", "meta",
          "nobr",   "ol",   "p",          "pre",   "ruby", "s",      "small",   "span", "strong",
          "strike", "sub",  "sup",        "table", "tt",   "u",      "ul",      "var"}},
        {kIntegrationPoint,
         {"mi", "mo", "mn", "ms", "mtext", "annotation-xml", "foreignobject", "desc", "title"}},
        {kRawText,
         {"script", "style", "xmp", "iframe", "noembed", "noframes", "textarea", "title"}},
    };
    for (const Group& group : groups) {
        for (const std::string_view name : group.names) {
            auto [entry, added] = byName.try_emplace(std::string(name), TagInfo{});
            if (added) {
                entry->second.id = static_cast<std::uint32_t>(byName.size() - 1);
            }
            entry->second.flags |= group.flag;
        }
    }
    return byName;
}

const NameMap& knownTags() {
    static const NameMap known = buildKnownTags();
    return known;
}

// The same, by the number the engine's tag table gives a name; tags numbered
// there but not named by the rules have numbers of their own after the rules'
// names, so that no look-up needs a hash of the name.
struct ByTagNumber {
    std::array<TagInfo, detail::kTagUnknown> info{};
    std::uint32_t firstUnnamed = 0;  // numbers from here on are for names met while scanning
};

ByTagNumber buildByTagNumber() {
    const NameMap& known = knownTags();
    ByTagNumber table;
    const auto named = static_cast<std::uint32_t>(known.size());
    for (unsigned tag = 0; tag < detail::kTagUnknown; ++tag) {
        const auto found = known.find(detail::knownTagName(tag));
        table.info[tag] = found != known.end() ? found->second : TagInfo{named + tag, 0};
    }
    table.firstUnnamed = named + detail::kTagUnknown;
    return table;
}

const ByTagNumber& byTagNumber() {
    static const ByTagNumber table = buildByTagNumber();
    return table;
}

}  // namespace

TagInfo TagTable::lookup(std::string_view lowerName) {
    const ByTagNumber& numbered = byTagNumber();
    if (const detail::ElementTag tag = detail::knownTag(lowerName); tag < detail::kTagUnknown) {
        return numbered.info[tag];
    }
    const NameMap& known = knownTags();
    if (const auto found = known.find(lowerName); found != known.end()) {
        return found->second;
    }
    if (const auto found = m_unknown.find(lowerName); found != m_unknown.end()) {
        return found->second;
    }
    const TagInfo info{static_cast<std::uint32_t>(numbered.firstUnnamed + m_unknown.size()), 0};
    m_unknown.emplace(std::string(lowerName), info);
    return info;
}

}  // namespace tabrivo::testing
