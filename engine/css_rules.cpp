#include <engine/css_rules_p.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <engine/ascii.h>
#include <engine/media_query_p.h>
#include <engine/node_names_p.h>
#include <engine/node_util_p.h>
#include <engine/utf8.h>

namespace tabrivo::detail {
namespace {

using ascii::toLower;

bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

std::string stripComments(std::string_view css) {
    std::string out;
    out.reserve(css.size());
    for (std::size_t i = 0; i < css.size(); ++i) {
        if (css[i] == '/' && i + 1 < css.size() && css[i + 1] == '*') {
            const std::size_t end = css.find("*/", i + 2);
            if (end == std::string_view::npos) {
                break;
            }
            i = end + 1;
            out.push_back(' ');
            continue;
        }
        out.push_back(css[i]);
    }
    return out;
}

// Index of the brace closing the block that opens at `open`, or npos.
std::size_t matchingBrace(std::string_view css, std::size_t open) {
    int depth = 0;
    char quote = 0;
    for (std::size_t i = open; i < css.size(); ++i) {
        const char c = css[i];
        if (quote != 0) {
            if (c == '\\') {
                ++i;
            } else if (c == quote) {
                quote = 0;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '{') {
            ++depth;
        } else if (c == '}' && --depth == 0) {
            return i;
        }
    }
    return std::string_view::npos;
}

// Where a rule's prelude ends: its first "{" outside parentheses, brackets
// and quotes (a brace inside them opens a nested block), or for an at-rule a
// ";" at the same level; npos when the sheet ends first.
std::size_t preludeEnd(std::string_view css, std::size_t pos, bool atRule) {
    int depth = 0;
    char quote = 0;
    for (std::size_t i = pos; i < css.size(); ++i) {
        const char c = css[i];
        if (c == '\\') {
            ++i;
        } else if (quote != 0) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '(' || c == '[') {
            ++depth;
        } else if ((c == ')' || c == ']') && depth > 0) {
            --depth;
        } else if (c == '{') {
            if (depth == 0) {
                return i;
            }
            const std::size_t close = matchingBrace(css, i);
            if (close == std::string_view::npos) {
                return close;
            }
            i = close;
        } else if (c == ';' && depth == 0 && atRule) {
            return i;
        }
    }
    return std::string_view::npos;
}

// The name of an at-rule ("media" for "@media screen"), without the "@".
std::string_view atKeyword(std::string_view prelude) {
    std::size_t end = 1;
    while (end < prelude.size() &&
           (ascii::isAlpha(prelude[end]) || prelude[end] == '-' || prelude[end] == '_')) {
        ++end;
    }
    return prelude.substr(1, end - 1);
}

// Splits on `separator` outside parentheses, brackets and quotes.
std::vector<std::string_view> splitTopLevel(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    int depth = 0;
    char quote = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != 0) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '(' || c == '[') {
            ++depth;
        } else if ((c == ')' || c == ']') && depth > 0) {
            --depth;
        } else if (c == separator && depth == 0) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(text.substr(start));
    return parts;
}

const std::pair<std::string_view, CssProperty> kProperties[] = {
    {"display", CssProperty::Display},
    {"visibility", CssProperty::Visibility},
    {"white-space", CssProperty::WhiteSpace},
    {"content-visibility", CssProperty::ContentVisibility},
    {"position", CssProperty::Position},
    {"float", CssProperty::Float},
    {"text-transform", CssProperty::TextTransform},
};

// Whether the declarations may set a property the text depends on: false
// when none of those names is in them.
bool mayDeclareTextProperties(std::string_view declarations) {
    // Every property the text depends on has one of these in its name;
    // they start with different letters.
    static constexpr std::string_view kNameParts[] = {"display",  "visibility", "white-space",
                                                      "position", "float",      "text-transform"};
    static const std::array<std::int8_t, 256> kPartByLetter = [] {
        std::array<std::int8_t, 256> parts{};
        parts.fill(-1);
        for (std::size_t i = 0; i < std::size(kNameParts); ++i) {
            const auto first = static_cast<unsigned char>(kNameParts[i].front());
            parts[first] = parts[first - 'a' + 'A'] = static_cast<std::int8_t>(i);
        }
        return parts;
    }();
    for (std::size_t i = 0; i < declarations.size(); ++i) {
        const std::int8_t part = kPartByLetter[static_cast<unsigned char>(declarations[i])];
        if (part < 0) {
            continue;
        }
        const std::string_view name = kNameParts[part];
        if (declarations.size() - i >= name.size() &&
            equalsNoCase(declarations.substr(i, name.size()), name)) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool CascadedValue::beats(const CascadedValue& other) const {
    if (!other.isSet()) {
        return true;
    }
    if (important != other.important) {
        return important;
    }
    if (specificity != other.specificity) {
        return specificity > other.specificity;
    }
    return order >= other.order;
}

void applyDeclarations(std::string_view declarations, std::uint32_t specificity,
                       std::uint32_t order, CascadedStyle& style) {
    if (!mayDeclareTextProperties(declarations)) {
        return;  // most declarations are of colours, sizes and fonts
    }
    for (std::string_view declaration : splitTopLevel(declarations, ';')) {
        const std::size_t colon = declaration.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        std::string property = toLower(ascii::trim(declaration.substr(0, colon)));
        if (property == "white-space-collapse") {
            // The long-hand of the white-space keywords the text depends on.
            const std::string value = toLower(ascii::trim(declaration.substr(colon + 1)));
            if (value != "collapse" && value != "preserve" && value != "preserve-breaks" &&
                value != "break-spaces" && !value.ends_with("important")) {
                continue;
            }
            property = "white-space";
        }
        const auto known = std::find_if(std::begin(kProperties), std::end(kProperties),
                                        [&](const auto& entry) { return entry.first == property; });
        if (known == std::end(kProperties)) {
            continue;
        }
        CascadedValue candidate;
        candidate.value = toLower(ascii::trim(declaration.substr(colon + 1)));
        if (const std::size_t bang = candidate.value.rfind('!');
            bang != std::string::npos &&
            ascii::trim(std::string_view(candidate.value).substr(bang + 1)) == "important") {
            candidate.important = true;
            candidate.value =
                std::string(ascii::trim(std::string_view(candidate.value).substr(0, bang)));
        }
        if (candidate.value.empty() || !acceptsValue(known->second, candidate.value)) {
            continue;
        }
        candidate.specificity = specificity;
        candidate.order = order;
        CascadedValue& current = style[known->second];
        if (candidate.beats(current)) {
            current = std::move(candidate);
        }
    }
}

void StyleRules::addStyleSheet(std::string_view css) {
    parseBlock(stripComments(css));
}

void StyleRules::parseBlock(std::string_view css) {
    std::size_t pos = 0;
    while (pos < css.size()) {
        // White space and the HTML comment markers old pages wrap sheets in.
        while (pos < css.size()) {
            if (ascii::isSpace(css[pos])) {
                ++pos;
            } else if (css.substr(pos, 4) == "<!--") {
                pos += 4;
            } else if (css.substr(pos, 3) == "-->") {
                pos += 3;
            } else {
                break;
            }
        }
        if (pos >= css.size()) {
            return;
        }
        if (css[pos] == '@') {
            const std::size_t open = preludeEnd(css, pos, true);
            if (open == std::string_view::npos) {
                return;
            }
            if (css[open] == ';') {
                pos = open + 1;  // @import, @charset, @namespace
                continue;
            }
            const std::size_t close = matchingBrace(css, open);
            const std::string_view prelude = css.substr(pos, open - pos);
            const std::string_view body = css.substr(
                open + 1, (close == std::string_view::npos ? css.size() : close) - open - 1);
            const std::string_view name = atKeyword(prelude);
            const std::string_view condition = ascii::trim(prelude.substr(1 + name.size()));
            if (equalsNoCase(name, "media")) {
                if (mediaApplies(prelude.substr(6))) {
                    parseBlock(body);
                }
            } else if ((equalsNoCase(name, "supports") && !condition.empty()) ||
                       equalsNoCase(name, "layer")) {
                parseBlock(body);
            }
            if (close == std::string_view::npos) {
                return;
            }
            pos = close + 1;
            continue;
        }
        const std::size_t open = preludeEnd(css, pos, false);
        if (open == std::string_view::npos) {
            return;
        }
        const std::size_t close = matchingBrace(css, open);
        const std::size_t bodyEnd = close == std::string_view::npos ? css.size() : close;
        addRule(css.substr(pos, open - pos), css.substr(open + 1, bodyEnd - open - 1));
        if (close == std::string_view::npos) {
            return;
        }
        pos = close + 1;
    }
}

bool StyleRules::looksAtSiblings(const std::vector<Compound>& compounds) {
    return std::any_of(compounds.begin(), compounds.end(), [](const Compound& compound) {
        return compound.combinator == '+' || compound.combinator == '~' ||
               std::any_of(compound.pseudos.begin(), compound.pseudos.end(),
                           [](const Pseudo& pseudo) {
                               return pseudo.kind == Pseudo::Kind::Nth ||
                                      pseudo.kind == Pseudo::Kind::NthLast ||
                                      pseudo.kind == Pseudo::Kind::Empty ||
                                      pseudo.kind == Pseudo::Kind::Has ||
                                      looksAtSiblings(pseudo.alternatives);
                           });
    });
}

void StyleRules::addRule(std::string_view selectors, std::string_view declarations) {
    CascadedStyle probe;
    applyDeclarations(declarations, 0, 0, probe);
    if (std::none_of(std::begin(probe.values), std::end(probe.values),
                     [](const CascadedValue& value) { return value.isSet(); })) {
        return;  // nothing the text depends on
    }
    // One selector the parser does not accept drops the whole rule.
    std::vector<std::pair<std::string_view, Selector>> parsed;
    for (std::string_view text : splitTopLevel(selectors, ',')) {
        Selector selector;
        if (!parseSelector(ascii::trim(text), selector)) {
            return;
        }
        parsed.emplace_back(ascii::trim(text), std::move(selector));
    }
    for (auto& [text, selector] : parsed) {
        const auto order = static_cast<std::uint32_t>(m_ruleCount++);
        // A rule met again (pages joined into one file repeat their style
        // sheets) decides as its last copy: the earlier copies would lose to
        // it everywhere, so the one rule takes the last copy's place.
        std::string repeatKey = std::string(text) + '{' + std::string(declarations);
        if (const auto seen = m_ruleByText.find(repeatKey); seen != m_ruleByText.end()) {
            m_rules[seen->second].order = order;
            continue;
        }
        m_ruleByText.emplace(std::move(repeatKey), m_rules.size());
        m_looksAtSiblings = m_looksAtSiblings || looksAtSiblings(selector.compounds);
        Rule rule;
        rule.selector = std::move(selector);
        rule.declared = probe;
        rule.order = order;
        m_rules.push_back(std::move(rule));
        indexLastRule();
    }
}

namespace {

constexpr std::uint32_t kIdWeight = 1U << 16;
constexpr std::uint32_t kClassWeight = 1U << 8;
constexpr std::uint32_t kTagWeight = 1U;

// Reads an identifier at text[i], resolving escapes ("\31 x" is "1x", "\:" is ":").
bool readIdentifier(std::string_view text, std::size_t& i, std::string& out) {
    out.clear();
    // A name never starts with a digit, nor with a hyphen and a digit.
    const std::size_t digitAt = i < text.size() && text[i] == '-' ? i + 1 : i;
    if (digitAt < text.size() && text[digitAt] >= '0' && text[digitAt] <= '9') {
        return false;
    }
    while (i < text.size()) {
        const char c = text[i];
        if (isNameChar(c)) {
            out.push_back(c);
            ++i;
        } else if (c == '\\' && i + 1 < text.size()) {
            ++i;
            std::uint32_t code = 0;
            int digits = 0;
            while (digits < 6 && i < text.size() &&
                   std::isxdigit(static_cast<unsigned char>(text[i]))) {
                code = code * 16 +
                       static_cast<std::uint32_t>(std::isdigit(static_cast<unsigned char>(text[i]))
                                                      ? text[i] - '0'
                                                      : ascii::toLower(text[i]) - 'a' + 10);
                ++digits;
                ++i;
            }
            if (digits == 0) {
                out.push_back(text[i++]);
                continue;
            }
            if (i < text.size() && ascii::isSpace(text[i])) {
                ++i;  // the space that ends a hexadecimal escape
            }
            appendUtf8(out, code == 0 || code > 0x10FFFF ? 0xFFFD : code);
        } else {
            break;
        }
    }
    return !out.empty();
}

// Parses "an+b", "odd", "even"; false when it is none of these.
bool parseNth(std::string_view text, int& step, int& offset) {
    std::string value = toLower(ascii::trim(text));
    value.erase(std::remove_if(value.begin(), value.end(), ascii::isSpace), value.end());
    if (value == "odd") {
        step = 2;
        offset = 1;
        return true;
    }
    if (value == "even") {
        step = 2;
        offset = 0;
        return true;
    }
    auto number = [](std::string_view digits, int& out) {
        if (digits.empty() || digits.size() > 6 ||
            !std::all_of(digits.begin(), digits.end(),
                         [](char c) { return c >= '0' && c <= '9'; })) {
            return false;
        }
        out = std::stoi(std::string(digits));
        return true;
    };
    const std::size_t n = value.find('n');
    if (n == std::string::npos) {
        const bool negative = !value.empty() && value.front() == '-';
        std::string_view digits(value);
        if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
            digits.remove_prefix(1);
        }
        step = 0;
        if (!number(digits, offset)) {
            return false;
        }
        offset = negative ? -offset : offset;
        return true;
    }
    const std::string_view a = std::string_view(value).substr(0, n);
    if (a.empty() || a == "+") {
        step = 1;
    } else if (a == "-") {
        step = -1;
    } else {
        const bool negative = a.front() == '-';
        if (!number(a.substr(a.front() == '-' || a.front() == '+' ? 1 : 0), step)) {
            return false;
        }
        step = negative ? -step : step;
    }
    std::string_view b = std::string_view(value).substr(n + 1);
    if (b.empty()) {
        offset = 0;
        return true;
    }
    const bool negative = b.front() == '-';
    if (b.front() != '-' && b.front() != '+') {
        return false;
    }
    if (!number(b.substr(1), offset)) {
        return false;
    }
    offset = negative ? -offset : offset;
    return true;
}

bool isUnmatchedState(std::string_view name) {
    static constexpr std::string_view kStates[] = {
        "hover",         "active",        "focus",    "visited",           "target",
        "focus-within",  "focus-visible", "checked",  "disabled",          "link",
        "any-link",      "required",      "optional", "placeholder-shown", "default",
        "indeterminate", "valid",         "invalid",  "in-range",          "out-of-range",
        "read-write",    "autofill",      "modal",    "fullscreen",        "popover-open",
        "open",          "playing",       "paused",   "user-invalid",      "user-valid",
        "target-within", "future",        "past",     "current",
    };
    return std::find(std::begin(kStates), std::end(kStates), name) != std::end(kStates);
}

// The pseudo-elements the browser reads; it also takes any vendor-prefixed one.
bool isKnownPseudoElement(std::string_view name) {
    static constexpr std::string_view kNames[] = {
        "before",
        "after",
        "first-line",
        "first-letter",
        "marker",
        "placeholder",
        "selection",
        "backdrop",
        "file-selector-button",
        "cue",
        "part",
        "slotted",
        "highlight",
        "spelling-error",
        "grammar-error",
        "target-text",
        "details-content",
        "search-text",
        "column",
        "scroll-marker",
        "scroll-marker-group",
        "scroll-button",
        "view-transition",
        "checkmark",
        "picker-icon",
        "picker",
        "cue-region",
    };
    return name.starts_with("-webkit-") ||
           std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

// Attributes whose values HTML compares without regard to ASCII case in selectors.
bool hasCaseInsensitiveValues(std::string_view name) {
    static constexpr std::string_view kNames[] = {
        "accept",     "accept-charset", "align",     "alink",    "axis",     "bgcolor", "charset",
        "checked",    "clear",          "codetype",  "color",    "compact",  "declare", "defer",
        "dir",        "direction",      "disabled",  "enctype",  "face",     "frame",   "hreflang",
        "http-equiv", "lang",           "language",  "link",     "media",    "method",  "multiple",
        "nohref",     "noresize",       "noshade",   "nowrap",   "readonly", "rel",     "rev",
        "rules",      "scope",          "scrolling", "selected", "shape",    "target",  "text",
        "type",       "valign",         "valuetype", "vlink",
    };
    return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

}  // namespace

// :first-child and its kin: the first position counted from one end.
StyleRules::Pseudo StyleRules::firstFrom(Pseudo::Kind kind, bool ofType) {
    Pseudo pseudo;
    pseudo.kind = kind;
    pseudo.ofType = ofType;
    pseudo.offset = 1;
    return pseudo;
}

bool StyleRules::parseCompound(std::string_view text, std::size_t& i, Compound& compound,
                               std::uint32_t& specificity) {
    bool started = false;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '*') {
            ++i;
        } else if (c == '#') {
            ++i;
            if (!readIdentifier(text, i, compound.id)) {
                return false;
            }
            specificity += kIdWeight;
        } else if (c == '.') {
            ++i;
            std::string name;
            if (!readIdentifier(text, i, name)) {
                return false;
            }
            compound.classes.push_back(std::move(name));
            specificity += kClassWeight;
        } else if (c == '[') {
            const std::size_t close = text.find(']', i);
            if (close == std::string_view::npos) {
                return false;
            }
            std::string_view inside = ascii::trim(text.substr(i + 1, close - i - 1));
            AttributeTest test;
            const std::size_t eq = inside.find('=');
            if (eq == std::string_view::npos) {
                test.name = toLower(inside);
            } else {
                std::size_t nameEnd = eq;
                if (eq > 0 && std::strchr("~^$*|", inside[eq - 1]) != nullptr) {
                    test.op = inside[eq - 1];
                    nameEnd = eq - 1;
                } else {
                    test.op = '=';
                }
                test.name = toLower(ascii::trim(inside.substr(0, nameEnd)));
                std::string_view value = ascii::trim(inside.substr(eq + 1));
                char flag = 0;
                if (value.size() >= 3 && ascii::isSpace(value[value.size() - 2]) &&
                    (value.back() == 'i' || value.back() == 'I' || value.back() == 's' ||
                     value.back() == 'S')) {
                    flag = ascii::toLower(value.back());
                    value = ascii::trim(value.substr(0, value.size() - 1));
                }
                if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                    value.back() == value.front()) {
                    value = value.substr(1, value.size() - 2);
                }
                test.noCase = flag == 'i' || (flag == 0 && hasCaseInsensitiveValues(test.name));
                test.value = test.noCase ? toLower(value) : std::string(value);
            }
            compound.attributes.push_back(std::move(test));
            specificity += kClassWeight;
            i = close + 1;
        } else if (c == ':') {
            ++i;
            if (i < text.size() && text[i] == ':') {
                // A pseudo-element: the rule is not about the element itself.
                ++i;
                std::string element;
                if (!readIdentifier(text, i, element) || !isKnownPseudoElement(toLower(element))) {
                    return false;  // a pseudo-element the browser does not know
                }
                if (i < text.size() && text[i] == '(') {
                    const std::size_t close = text.find(')', i);
                    if (close == std::string_view::npos) {
                        return false;
                    }
                    i = close + 1;
                }
                if (!ascii::trim(text.substr(i)).empty()) {
                    return false;  // nothing may follow a pseudo-element
                }
                compound.pseudos.push_back(Pseudo{});
                specificity += kTagWeight;
                started = true;
                continue;
            }
            std::string name;
            if (!readIdentifier(text, i, name)) {
                return false;
            }
            name = toLower(name);
            std::string_view argument;
            if (i < text.size() && text[i] == '(') {
                int depth = 0;
                const std::size_t open = i;
                for (; i < text.size(); ++i) {
                    depth += text[i] == '(' ? 1 : text[i] == ')' ? -1 : 0;
                    if (depth == 0) {
                        break;
                    }
                }
                if (i >= text.size()) {
                    return false;
                }
                argument = text.substr(open + 1, i - open - 1);
                ++i;
            }
            Pseudo pseudo;
            std::uint32_t weight = kClassWeight;
            if (name == "first-child" || name == "first-of-type") {
                pseudo = firstFrom(Pseudo::Kind::Nth, name == "first-of-type");
            } else if (name == "last-child" || name == "last-of-type") {
                pseudo = firstFrom(Pseudo::Kind::NthLast, name == "last-of-type");
            } else if (name == "only-child" || name == "only-of-type") {
                const bool ofType = name == "only-of-type";
                compound.pseudos.push_back(firstFrom(Pseudo::Kind::Nth, ofType));
                pseudo = firstFrom(Pseudo::Kind::NthLast, ofType);
            } else if (name == "nth-child" || name == "nth-last-child" || name == "nth-of-type" ||
                       name == "nth-last-of-type") {
                pseudo.kind =
                    name.starts_with("nth-last") ? Pseudo::Kind::NthLast : Pseudo::Kind::Nth;
                pseudo.ofType = name.ends_with("of-type");
                if (!parseNth(argument, pseudo.step, pseudo.offset)) {
                    return false;
                }
            } else if (name == "empty") {
                pseudo.kind = Pseudo::Kind::Empty;
            } else if (name == "root") {
                pseudo.kind = Pseudo::Kind::Root;
            } else if (name == "not" || name == "is" || name == "where" || name == "matches") {
                pseudo.kind = name == "not" ? Pseudo::Kind::Not : Pseudo::Kind::Is;
                // :is() and :where() forgive what they cannot read: they drop it.
                const bool forgiving = name == "is" || name == "where";
                std::uint32_t most = 0;
                for (std::string_view part : splitTopLevel(argument, ',')) {
                    part = ascii::trim(part);
                    std::size_t j = 0;
                    Compound alternative;
                    std::uint32_t partWeight = 0;
                    if (!parseCompound(part, j, alternative, partWeight) || j != part.size()) {
                        if (forgiving) {
                            continue;
                        }
                        return false;  // only lists of compounds are read
                    }
                    most = std::max(most, partWeight);
                    pseudo.alternatives.push_back(std::move(alternative));
                }
                if (forgiving && pseudo.alternatives.empty()) {
                    pseudo.kind = Pseudo::Kind::Never;
                }
                weight = name == "where" ? 0 : most;
            } else if (name == "has") {
                // Only lists of compounds, as descendants or ("> x") children.
                std::uint32_t most = 0;
                pseudo.kind = Pseudo::Kind::Has;
                for (std::string_view part : splitTopLevel(argument, ',')) {
                    part = ascii::trim(part);
                    if (part.starts_with('>')) {
                        pseudo.childrenOnly = true;
                        part = ascii::trim(part.substr(1));
                    }
                    std::size_t j = 0;
                    Compound alternative;
                    std::uint32_t partWeight = 0;
                    if (!parseCompound(part, j, alternative, partWeight) || j != part.size()) {
                        pseudo.kind = Pseudo::Kind::Never;
                        break;
                    }
                    most = std::max(most, partWeight);
                    pseudo.alternatives.push_back(std::move(alternative));
                }
                weight = most;
            } else if (name == "lang") {
                pseudo.kind = Pseudo::Kind::Lang;
                pseudo.argument = toLower(ascii::trim(argument));
            } else if (name == "read-only" || name == "scope" || name == "enabled" ||
                       name == "defined" || name == "dir") {
                // True of every element of a static page, or nearly so.
                pseudo.kind = Pseudo::Kind::Is;  // no alternatives: always true
                if (name == "scope") {
                    pseudo.kind = Pseudo::Kind::Root;
                }
            } else if (name == "before" || name == "after" || name == "first-line" ||
                       name == "first-letter" || isUnmatchedState(name)) {
                // Pseudo-elements, and states of a page nobody interacts with.
            } else {
                return false;  // not read: the rule is dropped
            }
            specificity += weight;
            compound.pseudos.push_back(std::move(pseudo));
        } else if (isNameChar(c) || c == '\\') {
            if (!readIdentifier(text, i, compound.tag)) {
                return false;
            }
            compound.tag = toLower(compound.tag);
            specificity += kTagWeight;
        } else {
            break;
        }
        started = true;
    }
    return started;
}

bool StyleRules::parseSelector(std::string_view text, Selector& selector) {
    if (text.empty()) {
        return false;
    }
    std::uint32_t specificity = 0;
    char pendingCombinator = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (ascii::isSpace(c)) {
            if (pendingCombinator == 0 && !selector.compounds.empty()) {
                pendingCombinator = ' ';
            }
            ++i;
        } else if (c == '>' || c == '+' || c == '~') {
            if (selector.compounds.empty()) {
                return false;
            }
            pendingCombinator = c;
            ++i;
        } else {
            Compound compound;
            if (!parseCompound(text, i, compound, specificity)) {
                return false;
            }
            if (!selector.compounds.empty() && pendingCombinator == 0) {
                return false;
            }
            compound.combinator = selector.compounds.empty() ? 0 : pendingCombinator;
            pendingCombinator = 0;
            selector.compounds.push_back(std::move(compound));
        }
    }
    if (selector.compounds.empty() || (pendingCombinator != 0 && pendingCombinator != ' ')) {
        return false;
    }
    selector.specificity = specificity;
    return true;
}

}  // namespace tabrivo::detail
