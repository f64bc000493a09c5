#pragma once
// The part of CSS the cell text depends on: the rules of a document's <style>
// elements that set display, visibility, white-space, content-visibility,
// position, float or text-transform, matched against elements with simple
// selectors (type, class, id, attribute, descendant and child combinators).

#include <engine/node_p.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tabrivo::detail {

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
    // Applies the matching rules to `style` by the cascade order.
    void applyTo(const Node* element, CascadedStyle& style) const;

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
    };

    void addRule(std::string_view selectors, std::string_view declarations);
    void parseBlock(std::string_view css);
    static bool parseSelector(std::string_view text, Selector& selector);
    // Parses one compound from text[i]; adds its weight to `specificity`.
    static bool parseCompound(std::string_view text, std::size_t& i, Compound& compound,
                              std::uint32_t& specificity);
    static bool matchesCompound(const Compound& compound, const Node* element);
    static Pseudo firstFrom(Pseudo::Kind kind, bool ofType);
    static bool matchesPseudo(const Pseudo& pseudo, const Node* element);
    static bool matches(const Selector& selector, const Node* element);
    static bool looksAtSiblings(const std::vector<Compound>& compounds);

    // Looked up by a view of the element's id, class or name, without a copy.
    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view key) const {
            return std::hash<std::string_view>{}(key);
        }
    };
    using RuleIndex =
        std::unordered_map<std::string, std::vector<std::size_t>, KeyHash, std::equal_to<>>;

    std::vector<Rule> m_rules;
    // Rules by the key of their rightmost compound, so an element is only
    // tested against rules that could match it.
    RuleIndex m_byId;
    RuleIndex m_byClass;
    RuleIndex m_byTag;
    std::vector<std::size_t> m_universal;
    // Each rule by its selector and declarations, to find a rule met again.
    std::unordered_map<std::string, std::size_t> m_ruleByText;
    std::size_t m_ruleCount = 0;  // rules met, repeats included: the cascade order
    bool m_looksAtSiblings = false;
};

}  // namespace tabrivo::detail
