#include <engine/ascii.h>
#include <engine/css_rules_p.h>

#include <algorithm>
#include <cstring>

#include <engine/gumbo_util_p.h>

namespace tabrivo::detail {
namespace {

// The viewport the browser reference renders at; media queries are judged against it.
constexpr int kViewportWidth = 1280;

using ascii::isSpace;
using ascii::toLower;
using ascii::trim;

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

int pixelsIn(std::string_view feature) {
    const std::size_t colon = feature.find(':');
    if (colon == std::string_view::npos) {
        return -1;
    }
    std::string_view value = trim(feature.substr(colon + 1));
    int number = 0;
    bool any = false;
    for (const char c : value) {
        if (c < '0' || c > '9') {
            break;
        }
        number = number * 10 + (c - '0');
        any = true;
        if (number > 1000000) {
            break;
        }
    }
    if (!any) {
        return -1;
    }
    if (value.find("em") != std::string_view::npos) {
        number *= 16;
    }
    return number;
}

// Whether a media query list applies to a screen of the reference width.
bool mediaApplies(std::string_view queryList) {
    const std::string lowered = toLower(queryList);
    if (trim(lowered).empty()) {
        return true;
    }
    for (std::string_view query : splitTopLevel(lowered, ',')) {
        query = trim(query);
        const bool negated = query.starts_with("not ");
        bool applies = true;
        if (query.find("print") != std::string_view::npos ||
            query.find("speech") != std::string_view::npos) {
            applies = false;
        }
        std::size_t pos = 0;
        while (applies && (pos = query.find('(', pos)) != std::string_view::npos) {
            const std::size_t close = query.find(')', pos);
            const std::string_view feature = query.substr(pos + 1, close - pos - 1);
            const int px = pixelsIn(feature);
            if (feature.find("min-width") != std::string_view::npos && px >= 0) {
                applies = kViewportWidth >= px;
            } else if (feature.find("max-width") != std::string_view::npos && px >= 0) {
                applies = kViewportWidth <= px;
            }
            pos = close == std::string_view::npos ? query.size() : close;
        }
        if (applies != negated) {
            return true;
        }
    }
    return false;
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
    for (std::string_view declaration : splitTopLevel(declarations, ';')) {
        const std::size_t colon = declaration.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string property = toLower(trim(declaration.substr(0, colon)));
        const auto known = std::find_if(std::begin(kProperties), std::end(kProperties),
                                        [&](const auto& entry) { return entry.first == property; });
        if (known == std::end(kProperties)) {
            continue;
        }
        CascadedValue candidate;
        candidate.value = toLower(trim(declaration.substr(colon + 1)));
        if (const std::size_t bang = candidate.value.rfind('!');
            bang != std::string::npos &&
            trim(std::string_view(candidate.value).substr(bang + 1)) == "important") {
            candidate.important = true;
            candidate.value = std::string(trim(std::string_view(candidate.value).substr(0, bang)));
        }
        if (candidate.value.empty()) {
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
        while (pos < css.size() && (isSpace(css[pos]) || css[pos] == ';' || css[pos] == '}')) {
            ++pos;
        }
        if (pos >= css.size()) {
            return;
        }
        const std::size_t open = css.find('{', pos);
        if (css[pos] == '@') {
            const std::size_t semicolon = css.find(';', pos);
            if (open == std::string_view::npos ||
                (semicolon != std::string_view::npos && semicolon < open)) {
                if (semicolon == std::string_view::npos) {
                    return;
                }
                pos = semicolon + 1;  // @import, @charset, @namespace
                continue;
            }
            const std::size_t close = matchingBrace(css, open);
            const std::string_view prelude = css.substr(pos, open - pos);
            const std::string_view body = css.substr(
                open + 1, (close == std::string_view::npos ? css.size() : close) - open - 1);
            if (prelude.starts_with("@media")) {
                if (mediaApplies(prelude.substr(6))) {
                    parseBlock(body);
                }
            } else if (prelude.starts_with("@supports") || prelude.starts_with("@layer")) {
                parseBlock(body);
            }
            if (close == std::string_view::npos) {
                return;
            }
            pos = close + 1;
            continue;
        }
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

void StyleRules::addRule(std::string_view selectors, std::string_view declarations) {
    CascadedStyle probe;
    applyDeclarations(declarations, 0, 0, probe);
    if (std::none_of(std::begin(probe.values), std::end(probe.values),
                     [](const CascadedValue& value) { return value.isSet(); })) {
        return;  // nothing the text depends on
    }
    for (std::string_view text : splitTopLevel(selectors, ',')) {
        Rule rule;
        if (!parseSelector(trim(text), rule.selector)) {
            continue;
        }
        rule.declarations = std::string(declarations);
        rule.order = static_cast<std::uint32_t>(m_rules.size());
        const Compound& key = rule.selector.compounds.back();
        const std::size_t index = m_rules.size();
        if (!key.id.empty()) {
            m_byId[key.id].push_back(index);
        } else if (!key.classes.empty()) {
            m_byClass[key.classes.front()].push_back(index);
        } else if (!key.tag.empty()) {
            m_byTag[key.tag].push_back(index);
        } else {
            m_universal.push_back(index);
        }
        m_rules.push_back(std::move(rule));
    }
}

bool StyleRules::parseSelector(std::string_view text, Selector& selector) {
    if (text.empty()) {
        return false;
    }
    std::uint32_t ids = 0;
    std::uint32_t classes = 0;
    std::uint32_t tags = 0;
    Compound compound;
    bool compoundStarted = false;
    char pendingCombinator = 0;
    std::size_t i = 0;
    auto readName = [&](std::string& out) {
        const std::size_t start = i;
        while (i < text.size() && isNameChar(text[i])) {
            ++i;
        }
        out = std::string(text.substr(start, i - start));
        return !out.empty();
    };
    auto finishCompound = [&] {
        if (compoundStarted) {
            compound.combinator = selector.compounds.empty() ? 0 : pendingCombinator;
            selector.compounds.push_back(std::move(compound));
            compound = Compound{};
            compoundStarted = false;
            pendingCombinator = 0;
        }
    };
    while (i < text.size()) {
        const char c = text[i];
        if (isSpace(c)) {
            finishCompound();
            if (pendingCombinator == 0) {
                pendingCombinator = ' ';
            }
            ++i;
        } else if (c == '>') {
            finishCompound();
            pendingCombinator = '>';
            ++i;
        } else if (c == '*') {
            compoundStarted = true;
            ++i;
        } else if (c == '#') {
            ++i;
            if (!readName(compound.id)) {
                return false;
            }
            compoundStarted = true;
            ++ids;
        } else if (c == '.') {
            ++i;
            std::string name;
            if (!readName(name)) {
                return false;
            }
            compound.classes.push_back(std::move(name));
            compoundStarted = true;
            ++classes;
        } else if (c == '[') {
            const std::size_t close = text.find(']', i);
            if (close == std::string_view::npos) {
                return false;
            }
            std::string_view inside = trim(text.substr(i + 1, close - i - 1));
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
                test.name = toLower(trim(inside.substr(0, nameEnd)));
                std::string_view value = trim(inside.substr(eq + 1));
                if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                    value.back() == value.front()) {
                    value = value.substr(1, value.size() - 2);
                }
                test.value = std::string(value);
            }
            compound.attributes.push_back(std::move(test));
            compoundStarted = true;
            ++classes;
            i = close + 1;
        } else if (isNameChar(c)) {
            if (!readName(compound.tag)) {
                return false;
            }
            compound.tag = toLower(compound.tag);
            compoundStarted = true;
            ++tags;
        } else {
            return false;  // sibling combinators, pseudo-classes, escapes: not supported
        }
    }
    finishCompound();
    if (selector.compounds.empty()) {
        return false;
    }
    selector.specificity =
        (std::min(ids, 255U) << 16) | (std::min(classes, 255U) << 8) | std::min(tags, 255U);
    return true;
}

bool StyleRules::matchesCompound(const Compound& compound, const GumboNode* element) {
    if (element->type != GUMBO_NODE_ELEMENT) {
        return false;
    }
    if (!compound.tag.empty() && compound.tag != tagName(element)) {
        return false;
    }
    if (!compound.id.empty()) {
        const char* id = attributeValue(element, "id");
        if (id == nullptr || compound.id != id) {
            return false;
        }
    }
    if (!compound.classes.empty()) {
        const char* classAttribute = attributeValue(element, "class");
        if (classAttribute == nullptr) {
            return false;
        }
        const std::string_view list(classAttribute);
        for (const std::string& wanted : compound.classes) {
            bool found = false;
            std::size_t pos = 0;
            while (!found && pos < list.size()) {
                while (pos < list.size() && isSpace(list[pos])) {
                    ++pos;
                }
                std::size_t end = pos;
                while (end < list.size() && !isSpace(list[end])) {
                    ++end;
                }
                found = list.substr(pos, end - pos) == wanted;
                pos = end;
            }
            if (!found) {
                return false;
            }
        }
    }
    for (const AttributeTest& test : compound.attributes) {
        const char* raw = attributeValue(element, test.name.c_str());
        if (raw == nullptr) {
            return false;
        }
        const std::string_view value(raw);
        bool ok = true;
        switch (test.op) {
            case '=':
                ok = value == test.value;
                break;
            case '^':
                ok = !test.value.empty() && value.starts_with(test.value);
                break;
            case '$':
                ok = !test.value.empty() && value.ends_with(test.value);
                break;
            case '*':
                ok = !test.value.empty() && value.find(test.value) != std::string_view::npos;
                break;
            case '|':
                ok = value == test.value || value.starts_with(test.value + "-");
                break;
            case '~': {
                ok = false;
                for (std::string_view word : splitTopLevel(value, ' ')) {
                    ok = ok || trim(word) == test.value;
                }
                break;
            }
            default:
                break;
        }
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool StyleRules::matches(const Selector& selector, const GumboNode* element) {
    // Right to left; a descendant combinator backtracks over the ancestors.
    struct Attempt {
        std::size_t compound;
        const GumboNode* element;
    };
    std::vector<Attempt> pending{{selector.compounds.size() - 1, element}};
    while (!pending.empty()) {
        const Attempt attempt = pending.back();
        pending.pop_back();
        const Compound& compound = selector.compounds[attempt.compound];
        if (!matchesCompound(compound, attempt.element)) {
            continue;
        }
        if (attempt.compound == 0) {
            return true;
        }
        const GumboNode* parent = attempt.element->parent;
        if (compound.combinator == '>') {
            if (parent != nullptr && parent->type == GUMBO_NODE_ELEMENT) {
                pending.push_back({attempt.compound - 1, parent});
            }
            continue;
        }
        for (; parent != nullptr && parent->type == GUMBO_NODE_ELEMENT; parent = parent->parent) {
            pending.push_back({attempt.compound - 1, parent});
        }
    }
    return false;
}

void StyleRules::applyTo(const GumboNode* element, CascadedStyle& style) const {
    if (m_rules.empty()) {
        return;
    }
    std::vector<std::size_t> candidates;
    auto addFrom = [&](const std::unordered_map<std::string, std::vector<std::size_t>>& index,
                       const std::string& key) {
        const auto found = index.find(key);
        if (found != index.end()) {
            candidates.insert(candidates.end(), found->second.begin(), found->second.end());
        }
    };
    if (const char* id = attributeValue(element, "id"); id != nullptr && !m_byId.empty()) {
        addFrom(m_byId, id);
    }
    if (const char* classes = attributeValue(element, "class");
        classes != nullptr && !m_byClass.empty()) {
        for (std::string_view name : splitTopLevel(classes, ' ')) {
            name = trim(name);
            if (!name.empty()) {
                addFrom(m_byClass, std::string(name));
            }
        }
    }
    if (!m_byTag.empty()) {
        addFrom(m_byTag, tagName(element));
    }
    candidates.insert(candidates.end(), m_universal.begin(), m_universal.end());
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    for (const std::size_t index : candidates) {
        const Rule& rule = m_rules[index];
        if (matches(rule.selector, element)) {
            applyDeclarations(rule.declarations, rule.selector.specificity, rule.order, style);
        }
    }
}

}  // namespace tabrivo::detail
