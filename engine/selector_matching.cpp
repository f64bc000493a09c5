// Matching the rules of a document's style sheets against its elements, the
// way browsers keep it fast on large pages: rules filed by the id, class or
// tag of their rightmost compound and by one key they ask of an ancestor, a
// mask of the ancestors' keys that turns most of the rest down, later-sibling
// and position selectors answered from what was learnt of the same parent's
// children, and a descendant search that stops once no ancestor can help.

#include <engine/css_rules_p.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory_resource>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <utility>

#include <engine/ascii.h>
#include <engine/node_names_p.h>
#include <engine/node_util_p.h>

namespace tabrivo::detail {
namespace {

using ascii::toLower;

// Calls `test` with each word of a list split by ASCII white space (a class
// attribute, an attribute value for [name~=word]) until it returns true;
// returns whether it did.
template <typename Test>
bool anyWord(std::string_view list, Test&& test) {
    std::size_t pos = 0;
    while (pos < list.size()) {
        while (pos < list.size() && ascii::isSpace(list[pos])) {
            ++pos;
        }
        std::size_t end = pos;
        while (end < list.size() && !ascii::isSpace(list[end])) {
            ++end;
        }
        if (end > pos && test(list.substr(pos, end - pos))) {
            return true;
        }
        pos = end;
    }
    return false;
}

bool nthMatches(int step, int offset, int position) {
    if (step == 0) {
        return position == offset;
    }
    const int diff = position - offset;
    return diff % step == 0 && diff / step >= 0;
}

// The element sibling before (or after) `element`, the nearest.
const Node* elementSibling(const Node* element, int direction) {
    const Node* parent = element->parent;
    const PointerVector* siblings = parent != nullptr ? childrenOf(parent) : nullptr;
    if (siblings == nullptr) {
        return nullptr;
    }
    for (auto i = static_cast<long>(element->index_within_parent) + direction;
         i >= 0 && i < static_cast<long>(siblings->length); i += direction) {
        const Node* sibling = childAt(*siblings, static_cast<unsigned>(i));
        if (sibling->type == kNodeElement) {
            return sibling;
        }
    }
    return nullptr;
}

bool sameType(const Node* a, const Node* b) {
    return a->v.element.tag == b->v.element.tag &&
           a->v.element.tag_namespace == b->v.element.tag_namespace &&
           (a->v.element.tag != kTagUnknown || tagName(a) == tagName(b));
}

// Whether the element's lower-case tag name is `name`, without making a
// string for the names the parser numbers.
bool hasTagName(const Node* element, std::string_view name) {
    const ElementTag tag = element->v.element.tag;
    return tag != kTagUnknown ? knownTagName(tag) == name : tagName(element) == name;
}

std::size_t mixHash(std::size_t seed, std::size_t value) {
    return seed ^ (value + 0x9e3779b97f4a7c15U + (seed << 6) + (seed >> 2));
}

// Below this many children (text included), a position among them is
// counted rather than looked up.
constexpr unsigned kCountedChildren = 32;

// How many searches of later siblings are remembered at most: past that
// (as many rules with ~ as there are parents), the siblings are tried again.
constexpr std::size_t kMostSiblingScans = std::size_t{1} << 18;

// Longer selectors are searched by trying every way they could match, one
// step at a time, so that no selector goes deeper than this into the stack.
constexpr std::size_t kMostFollowedCompounds = 32;

}  // namespace

bool AncestorKeys::has(AncestorKey key) const {
    return (mask & bit(key)) != 0 && std::find(keys.begin(), keys.end(), key) != keys.end();
}

std::size_t SiblingMemory::SlotHash::operator()(const SlotKey& key) const {
    return mixHash(mixHash(std::hash<const Node*>{}(key.parent), key.rule), key.compound);
}

std::size_t SiblingMemory::PositionsHash::operator()(const PositionsKey& key) const {
    return mixHash(std::hash<const Node*>{}(key.parent), key.ofType ? 1 : 0);
}

void SiblingMemory::clear() {
    m_laterSiblings.clear();
    m_positions.clear();
}

std::uint32_t StyleRules::KeyTable::add(Kind kind, const std::string& name, std::uint32_t& count) {
    Numbers& numbers = kind == Kind::Id ? m_ids : kind == Kind::Class ? m_classes : m_tags;
    const auto [place, added] = numbers.try_emplace(name, count);
    if (!added) {
        return place->second;
    }
    if (kind == Kind::Tag) {
        if (m_byTagNumber.empty()) {
            m_byTagNumber.assign(kTagUnknown, kNoKey);
        }
        for (unsigned tag = 0; tag < kTagUnknown; ++tag) {
            if (knownTagName(tag) == name) {
                m_byTagNumber[tag] = count;
            }
        }
    }
    return count++;
}

std::uint32_t StyleRules::KeyTable::find(Kind kind, const std::string& name) const {
    const Numbers& numbers = kind == Kind::Id ? m_ids : kind == Kind::Class ? m_classes : m_tags;
    const auto found = numbers.find(name);
    return found != numbers.end() ? found->second : kNoKey;
}

std::uint32_t StyleRules::KeyTable::idOf(const Node* element) const {
    if (m_ids.empty()) {
        return kNoKey;
    }
    const char* id = attributeValue(element, "id");
    const auto found = id != nullptr ? m_ids.find(std::string_view(id)) : m_ids.end();
    return found != m_ids.end() ? found->second : kNoKey;
}

template <typename Visit>
void StyleRules::KeyTable::forEachClassOf(const Node* element, Visit&& visit) const {
    if (m_classes.empty()) {
        return;
    }
    const char* classes = attributeValue(element, "class");
    if (classes == nullptr) {
        return;
    }
    anyWord(classes, [&](std::string_view name) {
        if (const auto found = m_classes.find(name); found != m_classes.end()) {
            visit(found->second);
        }
        return false;
    });
}

std::uint32_t StyleRules::KeyTable::tagOf(const Node* element) const {
    if (m_tags.empty()) {
        return kNoKey;
    }
    const ElementTag tag = element->v.element.tag;
    if (tag < kTagUnknown) {
        return m_byTagNumber[tag];
    }
    const auto found = m_tags.find(tagName(element));
    return found != m_tags.end() ? found->second : kNoKey;
}

void StyleRules::indexLastRule() {
    using Kind = KeyTable::Kind;
    const auto index = static_cast<std::uint32_t>(m_rules.size() - 1);
    Rule& rule = m_rules.back();
    const std::vector<Compound>& compounds = rule.selector.compounds;
    // What the rule asks of ancestors: the keys of each compound on the left
    // of a descendant or child combinator (one on the left of a sibling
    // combinator stands for a sibling, not an ancestor).
    std::vector<std::pair<Kind, AncestorKey>> asked;
    const auto ask = [&](Kind kind, const std::string& name) {
        auto count = static_cast<std::uint32_t>(m_anchorUse.size());
        const AncestorKey key = m_ancestorKeys.add(kind, name, count);
        if (count > m_anchorUse.size()) {
            m_anchorUse.push_back(0);
        }
        asked.emplace_back(kind, key);
        rule.ancestorMask |= AncestorKeys::bit(key);
    };
    for (std::size_t k = compounds.size(); k-- > 1;) {
        if (compounds[k].combinator != ' ' && compounds[k].combinator != '>') {
            continue;
        }
        const Compound& ancestor = compounds[k - 1];
        if (!ancestor.id.empty()) {
            ask(Kind::Id, ancestor.id);
        }
        for (const std::string& name : ancestor.classes) {
            ask(Kind::Class, name);
        }
        if (!ancestor.tag.empty()) {
            ask(Kind::Tag, ancestor.tag);
        }
    }
    // Filed under the ancestor key most likely to be rare: an id before a
    // class before a tag, and of these the one fewest rules were filed under.
    const auto anchor = std::min_element(asked.begin(), asked.end(), [&](auto& a, auto& b) {
        return std::tie(a.first, m_anchorUse[a.second]) < std::tie(b.first, m_anchorUse[b.second]);
    });
    // The same for the rightmost compound's own key.
    if (m_buckets.empty()) {
        m_buckets.emplace_back();  // for rules with no key on the right
    }
    const Compound& right = compounds.back();
    auto count = static_cast<std::uint32_t>(m_buckets.size());
    std::uint32_t bucket = 0;
    if (!right.id.empty()) {
        bucket = m_bucketKeys.add(Kind::Id, right.id, count);
    } else if (!right.classes.empty()) {
        const std::string* fewest = nullptr;
        std::uint32_t fewestRules = 0;
        for (const std::string& name : right.classes) {
            const std::uint32_t number = m_bucketKeys.find(Kind::Class, name);
            const std::uint32_t rules = number != kNoKey ? m_buckets[number].rules : 0;
            if (fewest == nullptr || rules < fewestRules) {
                fewest = &name;
                fewestRules = rules;
            }
        }
        bucket = m_bucketKeys.add(Kind::Class, *fewest, count);
    } else if (!right.tag.empty()) {
        bucket = m_bucketKeys.add(Kind::Tag, right.tag, count);
    }
    if (bucket >= m_buckets.size()) {
        m_buckets.emplace_back();
    }
    Bucket& filed = m_buckets[bucket];
    ++filed.rules;
    if (anchor == asked.end()) {
        filed.plain.push_back(index);
    } else {
        ++m_anchorUse[anchor->second];
        filed.byAncestor[anchor->second].push_back(index);
    }
}

void StyleRules::appendAncestorKeysOf(const Node* element, std::vector<AncestorKey>& keys) const {
    if (m_ancestorKeys.empty()) {
        return;
    }
    if (const std::uint32_t id = m_ancestorKeys.idOf(element); id != kNoKey) {
        keys.push_back(id);
    }
    m_ancestorKeys.forEachClassOf(element, [&](std::uint32_t key) { keys.push_back(key); });
    if (const std::uint32_t tag = m_ancestorKeys.tagOf(element); tag != kNoKey) {
        keys.push_back(tag);
    }
}

class StyleRules::Matching {
public:
    explicit Matching(SiblingMemory& memory) : m_memory(memory) {}

    bool selector(const Selector& selector, std::uint32_t rule, const Node* element) {
        if (selector.compounds.size() > kMostFollowedCompounds) {
            return anyWay(selector, element);
        }
        return from(selector, rule, selector.compounds.size() - 1, element) == Result::Matches;
    }

private:
    // FailsCompletely: neither this element nor any whose ancestors are
    // among its own (its ancestors, their siblings) would do at this step,
    // as no ancestor matched the compounds on the left.
    enum class Result : std::uint8_t { Matches, Fails, FailsCompletely };

    // Whether the compounds up to `k` match with `element` as compound k.
    Result from(const Selector& selector, std::uint32_t rule, std::size_t k, const Node* element) {
        const Compound& compound = selector.compounds[k];
        if (!matchesCompound(compound, element)) {
            return Result::Fails;
        }
        if (k == 0) {
            return Result::Matches;
        }
        switch (compound.combinator) {
            case '>': {
                const Node* parent = element->parent;
                if (parent == nullptr || parent->type != kNodeElement) {
                    return Result::FailsCompletely;
                }
                return from(selector, rule, k - 1, parent);
            }
            case '+': {
                const Node* sibling = elementSibling(element, -1);
                return sibling == nullptr ? Result::Fails : from(selector, rule, k - 1, sibling);
            }
            case '~':
                return laterSibling(selector, rule, k, element) ? Result::Matches : Result::Fails;
            default:
                break;
        }
        // Nearest ancestor first: once one fails completely, the ones above
        // it would too.
        for (const Node* parent = element->parent;
             parent != nullptr && parent->type == kNodeElement; parent = parent->parent) {
            if (const Result result = from(selector, rule, k - 1, parent);
                result != Result::Fails) {
                return result;
            }
        }
        return Result::FailsCompletely;
    }

    // Whether an element before `element` among its siblings matches the
    // compounds before k. Among many siblings, these are tried once for each
    // parent: a later element starts where an earlier one stopped.
    bool laterSibling(const Selector& selector, std::uint32_t rule, std::size_t k,
                      const Node* element) {
        const Node* parent = element->parent;
        const PointerVector* siblings = parent != nullptr ? childrenOf(parent) : nullptr;
        if (siblings == nullptr) {
            return false;
        }
        const unsigned before = std::min(element->index_within_parent, siblings->length);
        auto& scans = m_memory.m_laterSiblings;
        const SiblingMemory::SlotKey key{parent, rule, static_cast<std::uint32_t>(k)};
        auto found = siblings->length > kCountedChildren ? scans.find(key) : scans.end();
        if (found == scans.end() &&
            (siblings->length <= kCountedChildren || scans.size() >= kMostSiblingScans)) {
            for (unsigned i = before; i-- > 0;) {
                const Node* sibling = childAt(*siblings, i);
                if (sibling->type == kNodeElement &&
                    from(selector, rule, k - 1, sibling) == Result::Matches) {
                    return true;
                }
            }
            return false;
        }
        if (found == scans.end()) {
            found = scans.emplace(key, SiblingMemory::LaterSiblingScan{}).first;
        }
        // Stays in place while the search below adds to the memory.
        SiblingMemory::LaterSiblingScan& scan = found->second;
        if (scan.firstMatch < scan.tried) {
            return scan.firstMatch < before;
        }
        while (scan.tried < before) {
            const unsigned i = scan.tried++;
            const Node* sibling = childAt(*siblings, i);
            if (sibling->type == kNodeElement &&
                from(selector, rule, k - 1, sibling) == Result::Matches) {
                scan.firstMatch = i;
                return true;
            }
        }
        return false;
    }

    // Every way the selector could match, tried in turn: for selectors too
    // long to follow step by step.
    bool anyWay(const Selector& selector, const Node* element) {
        struct Attempt {
            std::size_t compound;
            const Node* element;
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
            const Node* parent = attempt.element->parent;
            if (compound.combinator == '+' || compound.combinator == '~') {
                for (const Node* sibling = elementSibling(attempt.element, -1); sibling != nullptr;
                     sibling = compound.combinator == '~' ? elementSibling(sibling, -1) : nullptr) {
                    pending.push_back({attempt.compound - 1, sibling});
                }
                continue;
            }
            if (compound.combinator == '>') {
                if (parent != nullptr && parent->type == kNodeElement) {
                    pending.push_back({attempt.compound - 1, parent});
                }
                continue;
            }
            for (; parent != nullptr && parent->type == kNodeElement; parent = parent->parent) {
                pending.push_back({attempt.compound - 1, parent});
            }
        }
        return false;
    }

    bool matchesCompound(const Compound& compound, const Node* element) {
        if (element->type != kNodeElement) {
            return false;
        }
        if (!compound.tag.empty() && !hasTagName(element, compound.tag)) {
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
            for (const std::string& wanted : compound.classes) {
                const bool found =
                    anyWord(classAttribute, [&](std::string_view name) { return name == wanted; });
                if (!found) {
                    return false;
                }
            }
        }
        for (const Pseudo& pseudo : compound.pseudos) {
            if (!matchesPseudo(pseudo, element)) {
                return false;
            }
        }
        for (const AttributeTest& test : compound.attributes) {
            if (!matchesAttribute(test, element)) {
                return false;
            }
        }
        return true;
    }

    static bool matchesAttribute(const AttributeTest& test, const Node* element) {
        const char* raw = attributeValue(element, test.name);
        if (raw == nullptr) {
            return false;
        }
        std::string lowered;
        if (test.noCase) {
            lowered = toLower(raw);
        }
        const std::string_view value = test.noCase ? std::string_view(lowered) : raw;
        switch (test.op) {
            case '=':
                return value == test.value;
            case '^':
                return !test.value.empty() && value.starts_with(test.value);
            case '$':
                return !test.value.empty() && value.ends_with(test.value);
            case '*':
                return !test.value.empty() && value.find(test.value) != std::string_view::npos;
            case '|':
                return value == test.value || value.starts_with(test.value + "-");
            case '~':
                return anyWord(value, [&](std::string_view word) { return word == test.value; });
            default:
                return true;
        }
    }

    bool matchesPseudo(const Pseudo& pseudo, const Node* element) {
        switch (pseudo.kind) {
            case Pseudo::Kind::Never:
                return false;
            case Pseudo::Kind::Nth:
            case Pseudo::Kind::NthLast: {
                const Node* parent = element->parent;
                if (parent == nullptr) {
                    return false;
                }
                if (parent->type != kNodeElement) {
                    return nthMatches(pseudo.step, pseudo.offset, 1);  // the root is an only child
                }
                return nthMatches(pseudo.step, pseudo.offset, position(pseudo, element));
            }
            case Pseudo::Kind::Empty: {
                const PointerVector& children = element->v.element.children;
                for (unsigned i = 0; i < children.length; ++i) {
                    if (childAt(children, i)->type != kNodeComment) {
                        return false;
                    }
                }
                return true;
            }
            case Pseudo::Kind::Root:
                return element->parent != nullptr && element->parent->type == kNodeDocument;
            case Pseudo::Kind::Has:
                return hasDescendant(pseudo, element);
            case Pseudo::Kind::Lang:
                for (const Node* node = element; node != nullptr && node->type == kNodeElement;
                     node = node->parent) {
                    if (const char* lang = attributeValue(node, "lang"); lang != nullptr) {
                        const std::string value = toLower(ascii::trim(lang));
                        return value == pseudo.argument || (value.starts_with(pseudo.argument) &&
                                                            value.size() > pseudo.argument.size() &&
                                                            value[pseudo.argument.size()] == '-');
                    }
                }
                return false;
            case Pseudo::Kind::Not:
            case Pseudo::Kind::Is: {
                bool any = pseudo.alternatives.empty();
                for (const Compound& alternative : pseudo.alternatives) {
                    any = any || matchesCompound(alternative, element);
                }
                return any != (pseudo.kind == Pseudo::Kind::Not);
            }
        }
        return false;
    }

    bool hasDescendant(const Pseudo& pseudo, const Node* element) {
        std::vector<const Node*> pending{element};
        while (!pending.empty()) {
            const Node* node = pending.back();
            pending.pop_back();
            const PointerVector& children = node->v.element.children;
            for (unsigned i = 0; i < children.length; ++i) {
                const Node* child = childAt(children, i);
                if (child->type != kNodeElement) {
                    continue;
                }
                for (const Compound& alternative : pseudo.alternatives) {
                    if (matchesCompound(alternative, child)) {
                        return true;
                    }
                }
                if (!pseudo.childrenOnly) {
                    pending.push_back(child);
                }
            }
        }
        return false;
    }

    // The element's place among its parent's element children (or those of
    // its type), from the first (Nth) or the last (NthLast), counted from 1.
    int position(const Pseudo& pseudo, const Node* element) {
        const Node* parent = element->parent;
        const PointerVector& siblings = parent->v.element.children;
        const int direction = pseudo.kind == Pseudo::Kind::Nth ? -1 : 1;
        if (siblings.length <= kCountedChildren) {
            int position = 1;
            for (const Node* sibling = elementSibling(element, direction); sibling != nullptr;
                 sibling = elementSibling(sibling, direction)) {
                position += !pseudo.ofType || sameType(sibling, element) ? 1 : 0;
            }
            return position;
        }
        const SiblingMemory::Positions& positions = positionsOf(parent, pseudo.ofType);
        const unsigned index = element->index_within_parent;
        const unsigned fromFirst = positions.position[index];
        if (direction < 0) {
            return static_cast<int>(fromFirst);
        }
        const unsigned count =
            pseudo.ofType ? positions.ofTypeCount[index] : positions.elementCount;
        return static_cast<int>(count - fromFirst + 1);
    }

    const SiblingMemory::Positions& positionsOf(const Node* parent, bool ofType) {
        SiblingMemory::Positions& positions = m_memory.m_positions[{parent, ofType}];
        const PointerVector& children = parent->v.element.children;
        if (positions.childCount == children.length && !positions.position.empty()) {
            return positions;
        }
        positions.childCount = children.length;
        positions.position.assign(children.length, 0);
        positions.elementCount = 0;
        if (!ofType) {
            for (unsigned i = 0; i < children.length; ++i) {
                if (childAt(children, i)->type == kNodeElement) {
                    positions.position[i] = ++positions.elementCount;
                }
            }
            return positions;
        }
        // The same type: the same tag number and namespace, and for the
        // names the parser does not number, the same name.
        struct TypeHash {
            std::size_t operator()(const std::tuple<unsigned, unsigned, std::string>& type) const {
                return mixHash(mixHash(std::get<0>(type), std::get<1>(type)),
                               std::hash<std::string>{}(std::get<2>(type)));
            }
        };
        std::unordered_map<std::tuple<unsigned, unsigned, std::string>, unsigned, TypeHash> groups;
        std::vector<unsigned> counts;
        std::vector<unsigned> groupOf(children.length, 0);
        for (unsigned i = 0; i < children.length; ++i) {
            const Node* child = childAt(children, i);
            if (child->type != kNodeElement) {
                continue;
            }
            const ElementData& data = child->v.element;
            const auto [group, added] = groups.try_emplace(
                {data.tag, data.tag_namespace, data.tag == kTagUnknown ? tagName(child) : ""},
                static_cast<unsigned>(counts.size()));
            if (added) {
                counts.push_back(0);
            }
            groupOf[i] = group->second;
            positions.position[i] = ++counts[group->second];
        }
        positions.ofTypeCount.assign(children.length, 0);
        for (unsigned i = 0; i < children.length; ++i) {
            if (positions.position[i] != 0) {
                positions.ofTypeCount[i] = counts[groupOf[i]];
            }
        }
        return positions;
    }

    SiblingMemory& m_memory;
};

void StyleRules::applyTo(const Node* element, const AncestorKeys& ancestors, SiblingMemory& memory,
                         CascadedStyle& style) const {
    if (m_rules.empty()) {
        return;
    }
    std::array<std::byte, 2048> scratch;
    std::pmr::monotonic_buffer_resource scratchMemory(scratch.data(), scratch.size());
    std::pmr::vector<std::uint32_t> candidates(&scratchMemory);
    const auto add = [&](const std::vector<std::uint32_t>& rules) {
        candidates.insert(candidates.end(), rules.begin(), rules.end());
    };
    const auto addBucket = [&](std::uint32_t number) {
        if (number == kNoKey) {
            return;
        }
        const Bucket& bucket = m_buckets[number];
        add(bucket.plain);
        if (bucket.byAncestor.empty() || ancestors.keys.empty()) {
            return;
        }
        // Whichever is shorter: the ancestor keys the rules were filed
        // under, or those the element's ancestors carry.
        if (bucket.byAncestor.size() < ancestors.keys.size()) {
            for (const auto& [key, rules] : bucket.byAncestor) {
                if (ancestors.has(key)) {
                    add(rules);
                }
            }
            return;
        }
        for (const AncestorKey key : ancestors.keys) {
            if (const auto found = bucket.byAncestor.find(key); found != bucket.byAncestor.end()) {
                add(found->second);
            }
        }
    };
    addBucket(m_bucketKeys.idOf(element));
    m_bucketKeys.forEachClassOf(element, addBucket);
    addBucket(m_bucketKeys.tagOf(element));
    addBucket(0);
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    Matching matching(memory);
    for (const std::uint32_t index : candidates) {
        const Rule& rule = m_rules[index];
        if ((rule.ancestorMask & ~ancestors.mask) != 0 ||
            !matching.selector(rule.selector, index, element)) {
            continue;  // an ancestor key it asks for is on no ancestor, or no match
        }
        // The block's own winner of each property, read once when the rule
        // was added, meets the values of the rules before it.
        for (int property = 0; property < static_cast<int>(CssProperty::Count); ++property) {
            const CascadedValue& declared = rule.declared.values[property];
            CascadedValue& current = style.values[property];
            if (!declared.isSet()) {
                continue;
            }
            CascadedValue candidate = declared;
            candidate.specificity = rule.selector.specificity;
            candidate.order = rule.order;
            if (candidate.beats(current)) {
                current = std::move(candidate);
            }
        }
    }
}

}  // namespace tabrivo::detail
