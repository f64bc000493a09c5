#include <engine/element_style_p.h>

#include <engine/ascii.h>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace tabrivo::detail {
namespace {

constexpr std::uint32_t kInlineStyleSpecificity = 1U << 24;  // above any selector
constexpr std::uint32_t kInlineStyleOrder = 0xFFFFFFFFU;

struct TagDefaults {
    std::array<Display, kTagLast + 1> display{};
    std::array<bool, kTagLast + 1> replaced{};
};

const TagDefaults& tagDefaults() {
    static const TagDefaults defaults = [] {
        TagDefaults d;
        d.display.fill(Display::Inline);
        for (ElementTag tag :
             {kTagHead,     kTagTitle,    kTagBase,    kTagLink,     kTagMeta,  kTagStyle,
              kTagScript,   kTagTemplate, kTagNoembed, kTagNoframes, kTagParam, kTagRp,
              kTagDatalist, kTagArea,     kTagSource,  kTagTrack,    kTagCol,   kTagColgroup,
              kTagBasefont, kTagFrameset, kTagFrame}) {
            d.display[tag] = Display::None;
        }
        for (ElementTag tag :
             {kTagHtml,   kTagBody,       kTagAddress, kTagBlockquote, kTagCenter,    kTagDiv,
              kTagFigure, kTagFigcaption, kTagFooter,  kTagForm,       kTagHeader,    kTagHr,
              kTagLegend, kTagListing,    kTagMain,    kTagP,          kTagPlaintext, kTagPre,
              kTagXmp,    kTagArticle,    kTagAside,   kTagH1,         kTagH2,        kTagH3,
              kTagH4,     kTagH5,         kTagH6,      kTagHgroup,     kTagNav,       kTagSection,
              kTagDir,    kTagDd,         kTagDl,      kTagDt,         kTagMenu,      kTagOl,
              kTagUl,     kTagLi,         kTagDetails, kTagSummary,    kTagFieldset,  kTagOptgroup,
              kTagOption}) {
            d.display[tag] = Display::Block;
        }
        // A select is an inline box whose options stand on lines of their own.
        d.display[kTagSelect] = Display::InlineBlock;
        d.display[kTagButton] = Display::InlineBlock;
        d.display[kTagMarquee] = Display::InlineBlock;
        d.display[kTagTable] = Display::Table;
        d.display[kTagCaption] = Display::TableCaption;
        d.display[kTagThead] = Display::TableRowGroup;
        d.display[kTagTbody] = Display::TableRowGroup;
        d.display[kTagTfoot] = Display::TableRowGroup;
        d.display[kTagTr] = Display::TableRow;
        d.display[kTagTd] = Display::TableCell;
        d.display[kTagTh] = Display::TableCell;
        for (ElementTag tag : {kTagImg, kTagImage, kTagVideo, kTagAudio, kTagIframe, kTagEmbed,
                               kTagInput, kTagTextarea, kTagMeter, kTagProgress, kTagKeygen}) {
            d.display[tag] = Display::InlineBlock;
            d.replaced[tag] = true;
        }
        return d;
    }();
    return defaults;
}

// The space-separated keywords of a value.
std::vector<std::string_view> words(std::string_view value) {
    std::vector<std::string_view> out;
    std::size_t pos = 0;
    while (pos < value.size()) {
        const std::size_t end = std::min(value.find(' ', pos), value.size());
        if (end > pos) {
            out.push_back(value.substr(pos, end - pos));
        }
        pos = end + 1;
    }
    return out;
}

Display displayFromCss(std::string_view value, Display current, bool& blockifies, bool& inherits) {
    static constexpr std::pair<std::string_view, Display> kValues[] = {
        {"none", Display::None},
        {"inline", Display::Inline},
        {"block", Display::Block},
        {"list-item", Display::Block},
        {"flow-root", Display::Block},
        {"flow", Display::Block},
        {"flex", Display::Block},
        {"grid", Display::Block},
        {"-webkit-box", Display::Block},
        {"inline-block", Display::InlineBlock},
        {"inline-flex", Display::InlineBlock},
        {"inline-grid", Display::InlineBlock},
        {"inline-table", Display::InlineBlock},
        {"-webkit-inline-box", Display::InlineBlock},
        {"table", Display::Table},
        {"table-row-group", Display::TableRowGroup},
        {"table-header-group", Display::TableRowGroup},
        {"table-footer-group", Display::TableRowGroup},
        {"table-row", Display::TableRow},
        {"table-cell", Display::TableCell},
        {"table-caption", Display::TableCaption},
        {"table-column", Display::TableColumn},
        {"table-column-group", Display::TableColumn},
        {"contents", Display::Contents},
        // Ruby boxes lay their text out inline, as do formulas.
        {"ruby", Display::Inline},
        {"ruby-text", Display::Inline},
        {"ruby-base", Display::Inline},
        {"math", Display::Inline},
        {"initial", Display::Inline},
        {"unset", Display::Inline},
    };
    blockifies = false;
    inherits = value == "inherit";
    if (value == "revert" || value == "revert-layer" || inherits) {
        return current;  // the default of the element; an inherited one is looked up later
    }
    for (const auto& [name, display] : kValues) {
        if (value == name) {
            blockifies = name.ends_with("flex") || name.ends_with("grid") || name.ends_with("box");
            return display;
        }
    }
    // The two-keyword form: the outer side (block or inline) and the inner
    // one (flow, flow-root, table, flex, grid, ruby), with list-item.
    bool inlineOuter = false;
    bool blockOuter = false;
    std::string_view inner;
    bool listItem = false;
    for (const std::string_view word : words(value)) {
        if (word == "inline" && !inlineOuter && !blockOuter) {
            inlineOuter = true;
        } else if (word == "block" && !inlineOuter && !blockOuter) {
            blockOuter = true;
        } else if (word == "list-item" && !listItem) {
            listItem = true;
        } else if (inner.empty() && (word == "flow" || word == "flow-root" || word == "table" ||
                                     word == "flex" || word == "grid" || word == "ruby")) {
            inner = word;
        } else {
            return current;  // an invalid value is ignored
        }
    }
    if (listItem && !inner.empty() && inner != "flow" && inner != "flow-root") {
        return current;
    }
    blockifies = inner == "flex" || inner == "grid";
    if (inlineOuter) {
        return inner.empty() || inner == "flow" || inner == "ruby" ? Display::Inline
                                                                   : Display::InlineBlock;
    }
    return inner == "table" ? Display::Table : Display::Block;
}

WhiteSpace whiteSpaceFromCss(std::string_view value, WhiteSpace current) {
    static constexpr std::pair<std::string_view, WhiteSpace> kLegacy[] = {
        {"normal", WhiteSpace::Normal},    {"nowrap", WhiteSpace::NoWrap},
        {"pre", WhiteSpace::Pre},          {"pre-wrap", WhiteSpace::PreWrap},
        {"pre-line", WhiteSpace::PreLine}, {"inherit", WhiteSpace::Inherit},
        {"unset", WhiteSpace::Inherit},    {"initial", WhiteSpace::Normal},
    };
    for (const auto& [name, ws] : kLegacy) {
        if (value == name) {
            return ws;
        }
    }
    // The two-value form: how white space collapses, and whether lines wrap
    // (which makes no difference to the text), each at most once.
    static constexpr std::pair<std::string_view, WhiteSpace> kCollapse[] = {
        {"collapse", WhiteSpace::Normal},
        {"preserve", WhiteSpace::PreWrap},
        {"preserve-breaks", WhiteSpace::PreLine},
        {"break-spaces", WhiteSpace::BreakSpaces},
    };
    WhiteSpace collapse = WhiteSpace::Normal;
    bool collapseSeen = false;
    bool wrapSeen = false;
    for (const std::string_view word : words(value)) {
        if (word == "wrap" || word == "nowrap") {
            if (wrapSeen) {
                return current;
            }
            wrapSeen = true;
            continue;
        }
        const auto* known = std::find_if(std::begin(kCollapse), std::end(kCollapse),
                                         [&](const auto& entry) { return entry.first == word; });
        if (collapseSeen || known == std::end(kCollapse)) {
            return current;  // an invalid value is ignored
        }
        collapseSeen = true;
        collapse = known->second;
    }
    return collapse;
}

// The name of an element the parser does not know, from its source text "<name ...".
std::string_view unknownTagName(const ElementData& element) {
    std::string_view source(element.original_tag.data, element.original_tag.length);
    if (source.empty() || source.front() != '<') {
        return {};
    }
    source.remove_prefix(1);
    std::size_t end = 0;
    while (end < source.size() && !ascii::isSpace(source[end]) && source[end] != '/' &&
           source[end] != '>') {
        ++end;
    }
    return source.substr(0, end);
}

CaseLanguage caseLanguage(std::string_view lang) {
    const std::string_view primary = ascii::trim(lang).substr(0, ascii::trim(lang).find('-'));
    if (equalsNoCase(primary, "tr") || equalsNoCase(primary, "az")) {
        return CaseLanguage::Turkic;
    }
    if (equalsNoCase(primary, "lt")) {
        return CaseLanguage::Lithuanian;
    }
    if (equalsNoCase(primary, "el")) {
        return CaseLanguage::Greek;
    }
    return CaseLanguage::Other;
}

void applyHtmlDefaults(const Node* node, ElementStyle& style) {
    const ElementData& element = node->v.element;
    const ElementTag tag = element.tag;
    const TagDefaults& defaults = tagDefaults();
    style.display = defaults.display[tag];
    style.replaced = defaults.replaced[tag];
    style.paragraph = tag == kTagP;
    style.lineBreak = tag == kTagBr;
    style.quoted = tag == kTagQ;
    switch (tag) {
        case kTagButton:
        case kTagSelect:
        case kTagOption:
            style.textTransform = TextTransform::None;  // controls keep their text as it is
            break;
        case kTagRuby:
            style.inlinifiesChildren = true;
            break;
        case kTagMarquee:
            style.whiteSpace = WhiteSpace::NoWrap;
            break;
        case kTagPre:
        case kTagListing:
        case kTagXmp:
        case kTagPlaintext:
        case kTagTextarea:
            style.whiteSpace = WhiteSpace::Pre;
            break;
        case kTagNobr:
            style.whiteSpace = WhiteSpace::NoWrap;
            break;
        case kTagTd:
        case kTagTh:
            if (attributeValue(node, "nowrap") != nullptr) {
                style.whiteSpace = WhiteSpace::NoWrap;
            }
            break;
        case kTagInput: {
            const char* type = attributeValue(node, "type");
            if (type != nullptr && equalsNoCase(ascii::trim(type), "hidden")) {
                style.display = Display::None;
            }
            break;
        }
        case kTagAudio:
            if (attributeValue(node, "controls") == nullptr) {
                style.display = Display::None;
            }
            break;
        case kTagForm:
            // The parser leaves a form met between table parts empty; it has no box there.
            if (node->parent != nullptr &&
                (isHtmlElement(node->parent, kTagTable) || isHtmlElement(node->parent, kTagTbody) ||
                 isHtmlElement(node->parent, kTagThead) || isHtmlElement(node->parent, kTagTfoot) ||
                 isHtmlElement(node->parent, kTagTr))) {
                style.display = Display::None;
            }
            break;
        case kTagUnknown: {
            // Elements newer than the parser's tag table arrive by name.
            const std::string_view name = unknownTagName(element);
            if (equalsNoCase(name, "dialog")) {
                style.display =
                    attributeValue(node, "open") != nullptr ? Display::Block : Display::None;
                style.positioned = true;  // positioned absolutely by default
                style.outOfFlow = true;
            } else if (equalsNoCase(name, "search")) {
                style.display = Display::Block;
            }
            break;
        }
        default:
            break;
    }
    // align=left/right on embedded content floats it, which makes it a block.
    if (style.replaced || tag == kTagObject) {
        if (const char* align = attributeValue(node, "align"); align != nullptr) {
            const std::string_view side = ascii::trim(align);
            if (equalsNoCase(side, "left") || equalsNoCase(side, "right")) {
                style.display = Display::Block;
            }
        }
    }
    if (tag == kTagEmbed && attributeValue(node, "src") == nullptr &&
        attributeValue(node, "type") == nullptr) {
        style.display = Display::None;  // an embed with nothing to show has no box
    }
    if (element.attributes.length == 0) {
        return;
    }
    if (const char* lang = attributeValue(node, "lang"); lang != nullptr) {
        style.language = caseLanguage(lang);
    }
    if (const char* hidden = attributeValue(node, "hidden"); hidden != nullptr) {
        if (equalsNoCase(ascii::trim(hidden), "until-found")) {
            style.contentHidden = true;
        } else if (tag != kTagMarquee) {  // a marquee's own display wins
            style.display = Display::None;
        }
    }
}

void applyForeignDefaults(const Node* node, ElementStyle& style) {
    const ElementData& element = node->v.element;
    if (element.tag_namespace == kNamespaceSvg) {
        // A drawing is an atomic inline box; each of its text elements stands
        // on a line of its own.
        switch (element.tag) {
            case kTagSvg:
                style.display = Display::InlineBlock;
                break;
            case kTagTitle:
            case kTagDesc:
            case kTagStyle:
            case kTagScript:
                style.display = Display::None;
                break;
            case kTagUnknown:
                if (tagName(node) == "text") {
                    style.display = Display::Block;
                }
                break;
            default:
                break;
        }
        return;
    }
    // MathML: a formula is an atomic inline box unless display="block"; each
    // token element stands on a line of its own.
    switch (element.tag) {
        case kTagMath: {
            const char* display = attributeValue(node, "display");
            style.display = display != nullptr && equalsNoCase(ascii::trim(display), "block")
                                ? Display::Block
                                : Display::InlineBlock;
            break;
        }
        case kTagMi:
        case kTagMo:
        case kTagMn:
        case kTagMs:
        case kTagMtext:
            style.display = Display::Block;
            break;
        default:
            break;
    }
}

// Floats and positioned boxes are blocks, whatever their display (a table
// stays a table); so is a legend that would be inline.
void blockifyWhereNeeded(const Node* node, ElementStyle& style) {
    const Display display = style.display;
    if (style.outOfFlow
            ? display != Display::None && display != Display::Contents && display != Display::Table
            : isHtmlElement(node, kTagLegend) &&
                  (display == Display::Inline || display == Display::InlineBlock)) {
        style.display = Display::Block;
    }
}

void applyCascade(const Node* node, const CascadedStyle& cascaded, ElementStyle& style) {
    if (const CascadedValue& display = cascaded[CssProperty::Display]; display.isSet()) {
        bool blockifies = false;
        bool inherits = false;
        Display current = style.display;
        if (display.value == "revert" && current == Display::None &&
            node->v.element.tag_namespace == kNamespaceHtml) {
            // The hidden attribute's rule is undone by revert (not by revert-layer).
            const char* hidden = attributeValue(node, "hidden");
            if (hidden != nullptr && !equalsNoCase(ascii::trim(hidden), "until-found")) {
                current = tagDefaults().display[node->v.element.tag];
            }
        }
        Display value = displayFromCss(display.value, current, blockifies, inherits);
        if (style.replaced || isHtmlElement(node, kTagButton)) {
            // A control or an embedded box is no ruby text (it becomes a block) and no column.
            if (display.value == "ruby-text") {
                value = Display::Block;
            } else if (value == Display::TableColumn) {
                value = current;
            }
        }
        style.blockifiesChildren = blockifies;
        style.display = value;
        style.displayInherits = inherits;
        const std::string_view keywords(display.value);
        style.inlinifiesChildren = keywords.starts_with("ruby") || keywords.ends_with(" ruby");
        style.inlineTable =
            value == Display::InlineBlock && display.value.find("table") != std::string::npos;
        style.inlineListItem =
            value == Display::Inline && display.value.find("list-item") != std::string::npos;
    }
    if (const CascadedValue& visibility = cascaded[CssProperty::Visibility]; visibility.isSet()) {
        if (visibility.value == "hidden" || visibility.value == "collapse") {
            style.visibility = Visibility::Hidden;
        } else if (visibility.value == "visible") {
            style.visibility = Visibility::Visible;
        }
    }
    if (const CascadedValue& ws = cascaded[CssProperty::WhiteSpace]; ws.isSet()) {
        style.whiteSpace = whiteSpaceFromCss(ws.value, style.whiteSpace);
    }
    if (const CascadedValue& cv = cascaded[CssProperty::ContentVisibility]; cv.isSet()) {
        style.contentHidden = cv.value == "hidden";
    }
    if (const CascadedValue& transform = cascaded[CssProperty::TextTransform]; transform.isSet()) {
        const std::string& v = transform.value;
        style.textTransform = v == "uppercase"                 ? TextTransform::Uppercase
                              : v == "lowercase"               ? TextTransform::Lowercase
                              : v == "capitalize"              ? TextTransform::Capitalize
                              : v == "math-auto"               ? TextTransform::MathAuto
                              : v == "none" || v == "initial"  ? TextTransform::None
                              : v == "inherit" || v == "unset" ? TextTransform::Inherit
                                                               : style.textTransform;
    }
    const std::string& position = cascaded[CssProperty::Position].value;
    const std::string& floating = cascaded[CssProperty::Float].value;
    const bool floats = floating == "left" || floating == "right" || floating == "inline-start" ||
                        floating == "inline-end";
    if (!position.empty()) {
        style.positioned = position == "absolute" || position == "fixed";
    }
    style.outOfFlow = style.positioned || floats;
    blockifyWhereNeeded(node, style);
    if (style.outOfFlow && style.inlinifiesChildren && style.display == Display::Block) {
        // A floated ruby stays a ruby; its text and base parts become plain blocks.
        const std::string_view keywords(cascaded[CssProperty::Display].value);
        style.inlinifiesChildren = keywords == "ruby" || keywords.ends_with(" ruby");
    }
}

bool isOneOf(std::string_view value, std::initializer_list<std::string_view> keywords) {
    return std::find(keywords.begin(), keywords.end(), value) != keywords.end();
}

// Content-visibility needs a box that can contain its contents: it does
// nothing on an inline box, a table or its parts other than cells, or an
// element without a box.
void settle(ElementStyle& style) {
    // A paragraph shown as a row, a cell or only its contents has no blank lines around it.
    if (style.display == Display::Contents || style.display == Display::TableRow ||
        style.display == Display::TableCell) {
        style.paragraph = false;
    }
    const bool contains = style.display == Display::Block || style.display == Display::TableCell ||
                          (style.display == Display::InlineBlock && !style.inlineTable);
    if (!contains) {
        style.contentHidden = false;
    }
}

}  // namespace

bool acceptsValue(CssProperty property, std::string_view value) {
    if (isOneOf(value, {"inherit", "initial", "unset", "revert", "revert-layer"})) {
        return true;
    }
    bool blockifies = false;
    bool inherits = false;
    switch (property) {
        case CssProperty::Display:
            // An invalid value leaves whatever it is given unchanged.
            return displayFromCss(value, Display::Contents, blockifies, inherits) !=
                       Display::Contents ||
                   displayFromCss(value, Display::None, blockifies, inherits) != Display::None;
        case CssProperty::WhiteSpace:
            return whiteSpaceFromCss(value, WhiteSpace::Pre) != WhiteSpace::Pre ||
                   whiteSpaceFromCss(value, WhiteSpace::NoWrap) != WhiteSpace::NoWrap;
        case CssProperty::TextTransform:
            return isOneOf(value, {"none", "uppercase", "lowercase", "capitalize", "math-auto"});
        case CssProperty::Visibility:
            return isOneOf(value, {"visible", "hidden", "collapse"});
        case CssProperty::ContentVisibility:
            return isOneOf(value, {"visible", "hidden", "auto"});
        case CssProperty::Position:
            return isOneOf(value, {"static", "relative", "absolute", "fixed", "sticky"});
        case CssProperty::Float:
            return isOneOf(value, {"none", "left", "right", "inline-start", "inline-end"});
        default:
            return true;
    }
}

std::string tagName(const Node* element) {
    const ElementData& e = element->v.element;
    if (e.tag != kTagUnknown) {
        return std::string(knownTagName(e.tag));
    }
    std::string name(unknownTagName(e));
    for (char& c : name) {
        c = ascii::toLower(c);
    }
    return name;
}

ElementStyle StyleResolver::compute(const Node* node, bool& costly) {
    ElementStyle style;
    costly = false;
    if (node->v.element.tag_namespace == kNamespaceHtml) {
        applyHtmlDefaults(node, style);
    } else {
        applyForeignDefaults(node, style);
    }
    if (node->v.element.tag == kTagTable && node->v.element.tag_namespace == kNamespaceHtml &&
        inQuirksMode(node)) {
        style.whiteSpace = WhiteSpace::Normal;
    }
    const char* inlineCss = attributeValue(node, "style");
    if (inlineCss == nullptr && m_rules.empty()) {
        settle(style);
        return style;
    }
    costly = true;
    CascadedStyle cascaded;
    if (!m_rules.empty()) {
        m_rules.applyTo(node, ancestorKeysOf(node), siblingMemory(), cascaded);
    }
    if (inlineCss != nullptr) {
        applyDeclarations(inlineCss, kInlineStyleSpecificity, kInlineStyleOrder, cascaded);
    }
    applyCascade(node, cascaded, style);
    if (node->v.element.tag == kTagInput && node->v.element.tag_namespace == kNamespaceHtml) {
        // A hidden input has no box whatever the page says (an important default).
        const char* type = attributeValue(node, "type");
        if (type != nullptr && equalsNoCase(ascii::trim(type), "hidden")) {
            style.display = Display::None;
        }
    }
    settle(style);
    return style;
}

bool StyleResolver::inQuirksMode(const Node* element) const {
    if (m_quirks < 0) {
        const Node* node = element;
        while (node->parent != nullptr) {
            node = node->parent;
        }
        m_quirks =
            node->type == kNodeDocument && node->v.document.doc_type_quirks_mode == kQuirks ? 1 : 0;
    }
    return m_quirks == 1;
}

ElementStyle StyleResolver::styleOf(const Node* element) {
    if (const ElementStyle* known = remembered(element); known != nullptr) {
        return *known;
    }
    const ElementData& data = element->v.element;
    // A form's style depends on its parent and a table's on the document's mode.
    const bool tagDecides = m_rules.empty() && data.attributes.length == 0 &&
                            data.tag_namespace == kNamespaceHtml && data.tag < kTagUnknown &&
                            data.tag != kTagForm && data.tag != kTagTable;
    if (tagDecides && m_styleOfTag[data.tag].has_value()) {
        return *m_styleOfTag[data.tag];
    }
    bool costly = false;
    ElementStyle style = compute(element, costly);
    if (tagDecides && !costly && !style.displayInherits) {
        m_styleOfTag[data.tag] = style;
    }
    if (style.displayInherits) {
        // display:inherit takes the parent's value, which may be inherited
        // in turn: up the ancestors without recursion.
        for (const Node* parent = element->parent;
             parent != nullptr && parent->type == kNodeElement; parent = parent->parent) {
            const ElementStyle* known = remembered(parent);
            bool parentCostly = false;
            const ElementStyle parentStyle =
                known != nullptr ? *known : compute(parent, parentCostly);
            if (!parentStyle.displayInherits || known != nullptr) {
                style.display = parentStyle.display;
                style.blockifiesChildren = parentStyle.blockifiesChildren;
                break;
            }
        }
        style.displayInherits = false;
        blockifyWhereNeeded(element, style);
        settle(style);
    }
    if (costly) {
        Remembered& entry = m_remembered[entryOf(element)];
        entry.style = style;
        entry.styled = true;
    }
    return style;
}

void StyleResolver::forgetElements() {
    m_remembered.clear();
    m_keyLinks.clear();
    m_siblings.clear();
}

void StyleResolver::forgetElementsAfter(std::size_t count) {
    if (count < m_remembered.size()) {
        m_remembered.resize(count);
        while (!m_keyLinks.empty() && m_keyLinks.back().owner >= count) {
            m_keyLinks.pop_back();
        }
    }
    if (!m_siblings.empty()) {
        m_siblings.clear();
    }
}

SiblingMemory& StyleResolver::siblingMemory() {
    const std::uint64_t changes = m_treeChanges.load(std::memory_order_relaxed);
    if (changes != m_siblingsLearntAt) {
        m_siblings.clear();
        m_siblingsLearntAt = changes;
    }
    return m_siblings;
}

AncestorKeys StyleResolver::ancestorKeysOf(const Node* element) {
    const Node* parent = element->parent;
    if (!m_rules.asksOfAncestors() || parent == nullptr || parent->type != kNodeElement) {
        return {};
    }
    const std::uint32_t head = m_remembered[entryOf(parent)].ancestorKeys;
    m_keysFound.clear();
    for (std::uint32_t link = head; link != 0; link = m_keyLinks[link - 1].next) {
        m_keysFound.push_back(m_keyLinks[link - 1].key);
    }
    return {m_keysFound, head != 0 ? m_keyLinks[head - 1].mask : 0};
}

std::size_t StyleResolver::entryOf(const Node* element) {
    if (const Remembered* known = rememberedEntry(element); known != nullptr) {
        return static_cast<std::size_t>(known - m_remembered.data());
    }
    // Up to the nearest ancestor remembered, without recursion: a page may
    // nest elements deeper than the stack would go.
    m_unknownAncestors.clear();
    std::uint32_t keys = 0;
    for (const Node* node = element;;) {
        m_unknownAncestors.push_back(node);
        const Node* parent = node->parent;
        if (!m_rules.asksOfAncestors() || parent == nullptr || parent->type != kNodeElement) {
            break;
        }
        if (const Remembered* known = rememberedEntry(parent); known != nullptr) {
            keys = known->ancestorKeys;
            break;
        }
        node = parent;
    }
    for (auto node = m_unknownAncestors.rbegin(); node != m_unknownAncestors.rend(); ++node) {
        keys = withOwnKeys(*node, keys);
        Remembered& entry = m_remembered.emplace_back();
        entry.element = *node;
        entry.ancestorKeys = keys;
        (*node)->v.element.style_slot = static_cast<std::uint32_t>(m_remembered.size());
    }
    return m_remembered.size() - 1;
}

std::uint32_t StyleResolver::withOwnKeys(const Node* element, std::uint32_t keys) {
    if (!m_rules.asksOfAncestors()) {
        return keys;
    }
    m_ownKeys.clear();
    m_rules.appendAncestorKeysOf(element, m_ownKeys);
    for (const AncestorKey key : m_ownKeys) {
        const std::uint64_t mask = keys != 0 ? m_keyLinks[keys - 1].mask : 0;
        bool known = false;
        if ((mask & AncestorKeys::bit(key)) != 0) {
            for (std::uint32_t link = keys; link != 0 && !known; link = m_keyLinks[link - 1].next) {
                known = m_keyLinks[link - 1].key == key;
            }
        }
        if (known) {
            continue;
        }
        // The cells of a row, and rows of the same classes, add the same key
        // to the same list: they share the link made for the first of them.
        std::uint32_t& made = m_recentLinks[(keys * 0x9E3779B1U + key) % m_recentLinks.size()];
        if (made == 0 || made > m_keyLinks.size() || m_keyLinks[made - 1].key != key ||
            m_keyLinks[made - 1].next != keys) {
            m_keyLinks.push_back({key, keys, mask | AncestorKeys::bit(key),
                                  static_cast<std::uint32_t>(m_remembered.size())});
            made = static_cast<std::uint32_t>(m_keyLinks.size());
        }
        keys = made;
    }
    return keys;
}

}  // namespace tabrivo::detail
