#pragma once
// The part of CSS the cell text depends on: the rules of a document's <style>
// elements that set display, visibility, white-space, content-visibility,
// position, float or text-transform, matched against elements with simple
// selectors (type, class, id, attribute, descendant and child combinators).

#include <engine/node_p.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tabrivo::detail {

// The number of an id, class or tag name that a rule asks of an ancestor of
// the element it styles (".menu td" asks class "menu").
using AncestorKey = std::uint32_t;

// The ancestor keys an element's ancestors carry, each once, and a mask of
// them (bit key % 64) that turns most rules down without a look at the list.
struct AncestorKeys {
    std::span<const AncestorKey> keys;
    std::uint64_t mask = 0;

    static std::uint64_t bit(AncestorKey key) { return std::uint64_t{1} << (key % 64); }
    bool has(AncestorKey key) const;
};

// What matching learns of a document's tree as it goes, so that sibling and
// position selectors do not count the same siblings again for each element:
// for each later-sibling combinator (~) and parent, how far its children were
// tried and which matched first; and where each child of a parent with many
// children stands among them. It holds pointers into the tree, so it is
// cleared whenever the tree may have changed.
class SiblingMemory {
public:
    void clear();
    bool empty() const { return m_laterSiblings.empty() && m_positions.empty(); }

private:
    friend class StyleRules;
    struct SlotKey {
        const Node* parent;
        std::uint32_t rule;
        std::uint32_t compound;
        bool operator==(const SlotKey&) const = default;
    };
    struct SlotHash {
        std::size_t operator()(const SlotKey& key) const;
    };
    // Of the parent's children before `tried`, the first that matched, if any.
    struct LaterSiblingScan {
        unsigned tried = 0;
        unsigned firstMatch = std::numeric_limits<unsigned>::max();
    };
    // By child index: its place among the element children (or those of its
    // type), counted from 1, and how many there are of its type.
    struct Positions {
        unsigned childCount = 0;  // of the parent when counted: more mean a new count
        unsigned elementCount = 0;
        std::vector<unsigned> position;
        std::vector<unsigned> ofTypeCount;
    };
    struct PositionsKey {
        const Node* parent;
        bool ofType;
        bool operator==(const PositionsKey&) const = default;
    };
    struct PositionsHash {
        std::size_t operator()(const PositionsKey& key) const;
    };
    std::unordered_map<SlotKey, LaterSiblingScan, SlotHash> m_laterSiblings;
    std::unordered_map<PositionsKey, Positions, PositionsHash> m_positions;
};

// One property value with what decides between competing declarations.
struct CascadedValue {
    std::string value;  // lower-cased, "!important" removed
    bool important = false;
    std::uint32_t specificity = 0;
    std::uint32_t order = 0;
    bool isSet() const { return !value.empty(); }
    // True when this declaration wins over `other`.
    bool beats(const CascadedValue& other) const;
};

enum class CssProperty : std::uint8_t {
    Display,
    Visibility,
    WhiteSpace,
    ContentVisibility,
    Position,
    Float,
    TextTransform,
    Count
};

struct CascadedStyle {
    CascadedValue values[static_cast<int>(CssProperty::Count)];
    CascadedValue& operator[](CssProperty p) { return values[static_cast<int>(p)]; }
    const CascadedValue& operator[](CssProperty p) const { return values[static_cast<int>(p)]; }
};

// Whether the browser accepts `value` (lower-cased) for the property; a
// declaration with any other value is dropped as if it were not there.
bool acceptsValue(CssProperty property, std::string_view value);

// Parses the declarations of a style attribute or rule body into `style`,
// each with the given specificity and order.
void applyDeclarations(std::string_view declarations, std::uint32_t specificity,
                       std::uint32_t order, CascadedStyle& style);

class StyleRules {
public:
    // Adds the rules of one style sheet (the text of a <style> element).
    void addStyleSheet(std::string_view css);
    bool empty() const { return m_rules.empty(); }
    // Whether a rule's match depends on an element's siblings, its place
    // among them or what comes after it (:nth-child, +, ~, :empty, :has()...).
    bool looksAtSiblings() const { return m_looksAtSiblings; }
    // Whether a rule asks something of an element's ancestors by id, class or tag.
    bool asksOfAncestors() const { return !m_anchorUse.empty(); }
    // Adds the ancestor keys that `element` carries itself to `keys`.
    void appendAncestorKeysOf(const Node* element, std::vector<AncestorKey>& keys) const;
    // Applies the matching rules to `style` by the cascade order; `ancestors`
    // are the ancestor keys of the element's ancestors.
    void applyTo(const Node* element, const AncestorKeys& ancestors, SiblingMemory& memory,
                 CascadedStyle& style) const;

private:
    struct AttributeTest {
        std::string name;
        std::string value;
        char op = 0;          // 0: present, '=': equals, '~': word, '^', '$', '*', '|'
        bool noCase = false;  // the value is compared without regard to ASCII case
    };
    struct Compound;
    // A structural pseudo-class: positions among the element's siblings, or
    // a list of compounds for :not(), :is() and :where().
    struct Pseudo {
        enum class Kind : std::uint8_t { Never, Nth, NthLast, Empty, Root, Not, Is, Has, Lang };
        Kind kind = Kind::Never;
        bool ofType = false;        // counts only siblings of the same type
        bool childrenOnly = false;  // :has(> x)
        int step = 0;               // an+b
        int offset = 0;
        std::vector<Compound> alternatives;
        std::string argument;  // the language of :lang()
    };
    struct Compound {
        std::string tag;  // empty: any
        std::string id;
        std::vector<std::string> classes;
        std::vector<AttributeTest> attributes;
        std::vector<Pseudo> pseudos;
        // To the compound on the left: ' ' descendant, '>' child, '+' next
        // sibling, '~' later sibling, 0 none.
        char combinator = 0;
    };
    struct Selector {
        std::vector<Compound> compounds;  // left to right
        std::uint32_t specificity = 0;
    };
    struct Rule {
        Selector selector;
        CascadedStyle declared;  // what its block sets, weighed as one block
        std::uint32_t order = 0;
        std::uint64_t ancestorMask = 0;  // of the ancestor keys it asks (AncestorKeys::bit)
    };
    class Matching;  // one element's match against the rules' selectors

    void addRule(std::string_view selectors, std::string_view declarations);
    void parseBlock(std::string_view css);
    static bool parseSelector(std::string_view text, Selector& selector);
    // Parses one compound from text[i]; adds its weight to `specificity`.
    static bool parseCompound(std::string_view text, std::size_t& i, Compound& compound,
                              std::uint32_t& specificity);
    static Pseudo firstFrom(Pseudo::Kind kind, bool ofType);
    static bool looksAtSiblings(const std::vector<Compound>& compounds);
    // Files the rule last added under the keys of its rightmost compound
    // and of one of the ancestors it asks for.
    void indexLastRule();

    // Looked up by a view of the element's id, class or name, without a copy.
    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view key) const {
            return std::hash<std::string_view>{}(key);
        }
    };
    static constexpr std::uint32_t kNoKey = std::numeric_limits<std::uint32_t>::max();
    // Numbers for ids, class names and tag names, in one series.
    class KeyTable {
    public:
        enum class Kind : std::uint8_t { Id, Class, Tag };
        // The name's number; a new one, `count` (then counted), when it has none.
        std::uint32_t add(Kind kind, const std::string& name, std::uint32_t& count);
        std::uint32_t find(Kind kind, const std::string& name) const;
        bool empty() const { return m_ids.empty() && m_classes.empty() && m_tags.empty(); }
        // The numbers of the element's id, classes and tag name; kNoKey for
        // those without one.
        std::uint32_t idOf(const Node* element) const;
        template <typename Visit>
        void forEachClassOf(const Node* element, Visit&& visit) const;
        std::uint32_t tagOf(const Node* element) const;

    private:
        using Numbers = std::unordered_map<std::string, std::uint32_t, KeyHash, std::equal_to<>>;
        Numbers m_ids;
        Numbers m_classes;
        Numbers m_tags;
        std::vector<std::uint32_t> m_byTagNumber;  // for the names the parser numbers
    };
    // The rules whose rightmost compound has one key: those that ask
    // nothing of ancestors, and the others by one of the ancestor keys they
    // ask, so that an element meets only rules that could match it.
    struct Bucket {
        std::uint32_t rules = 0;  // a rule with several classes goes where there are fewest
        std::vector<std::uint32_t> plain;
        std::unordered_map<AncestorKey, std::vector<std::uint32_t>> byAncestor;
    };

    std::vector<Rule> m_rules;
    KeyTable m_bucketKeys;          // the numbers are places in m_buckets
    std::vector<Bucket> m_buckets;  // the first is for rules with no key on the right
    KeyTable m_ancestorKeys;
    std::vector<std::uint32_t> m_anchorUse;  // by ancestor key: the rules filed under it
    // Each rule by its selector and declarations, to find a rule met again.
    std::unordered_map<std::string, std::size_t> m_ruleByText;
    std::size_t m_ruleCount = 0;  // rules met, repeats included: the cascade order
    bool m_looksAtSiblings = false;
};

}  // namespace tabrivo::detail
