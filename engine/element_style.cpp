#include "element_style.h"

#include <array>
#include <cstring>
#include <string>

namespace tabrivo::detail {
namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool isCssSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string_view trim(std::string_view text) {
    while (!text.empty() && isCssSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isCssSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

const char* attribute(const GumboNode* element, const char* name) {
    const GumboAttribute* attr = gumbo_get_attribute(&element->v.element.attributes, name);
    return attr != nullptr ? attr->value : nullptr;
}

// The name of an element the parser does not know, from its source text "<name ...".
std::string_view unknownTagName(const GumboElement& element) {
    std::string_view source(element.original_tag.data, element.original_tag.length);
    if (source.empty() || source.front() != '<') {
        return {};
    }
    source.remove_prefix(1);
    std::size_t end = 0;
    while (end < source.size() && !isCssSpace(source[end]) && source[end] != '/' &&
           source[end] != '>') {
        ++end;
    }
    return source.substr(0, end);
}

struct TagDefaults {
    std::array<Display, GUMBO_TAG_LAST + 1> display{};
    std::array<bool, GUMBO_TAG_LAST + 1> replaced{};
};

const TagDefaults& tagDefaults() {
    static const TagDefaults defaults = [] {
        TagDefaults d;
        d.display.fill(Display::Inline);
        for (GumboTag tag :
             {GUMBO_TAG_HEAD, GUMBO_TAG_TITLE, GUMBO_TAG_BASE, GUMBO_TAG_LINK, GUMBO_TAG_META,
              GUMBO_TAG_STYLE, GUMBO_TAG_SCRIPT, GUMBO_TAG_TEMPLATE, GUMBO_TAG_NOEMBED,
              GUMBO_TAG_NOFRAMES, GUMBO_TAG_PARAM, GUMBO_TAG_RP, GUMBO_TAG_DATALIST,
              GUMBO_TAG_AREA, GUMBO_TAG_SOURCE, GUMBO_TAG_TRACK, GUMBO_TAG_COL,
              GUMBO_TAG_COLGROUP, GUMBO_TAG_BASEFONT, GUMBO_TAG_FRAMESET, GUMBO_TAG_FRAME}) {
            d.display[tag] = Display::None;
        }
        for (GumboTag tag :
             {GUMBO_TAG_HTML, GUMBO_TAG_BODY, GUMBO_TAG_ADDRESS, GUMBO_TAG_BLOCKQUOTE,
              GUMBO_TAG_CENTER, GUMBO_TAG_DIV, GUMBO_TAG_FIGURE,
              GUMBO_TAG_FIGCAPTION, GUMBO_TAG_FOOTER, GUMBO_TAG_FORM, GUMBO_TAG_HEADER,
              GUMBO_TAG_HR, GUMBO_TAG_LEGEND, GUMBO_TAG_LISTING, GUMBO_TAG_MAIN, GUMBO_TAG_P,
              GUMBO_TAG_PLAINTEXT, GUMBO_TAG_PRE, GUMBO_TAG_XMP, GUMBO_TAG_ARTICLE,
              GUMBO_TAG_ASIDE, GUMBO_TAG_H1, GUMBO_TAG_H2, GUMBO_TAG_H3, GUMBO_TAG_H4,
              GUMBO_TAG_H5, GUMBO_TAG_H6, GUMBO_TAG_HGROUP, GUMBO_TAG_NAV, GUMBO_TAG_SECTION,
              GUMBO_TAG_DIR, GUMBO_TAG_DD, GUMBO_TAG_DL, GUMBO_TAG_DT, GUMBO_TAG_MENU,
              GUMBO_TAG_OL, GUMBO_TAG_UL, GUMBO_TAG_LI, GUMBO_TAG_DETAILS, GUMBO_TAG_SUMMARY,
              GUMBO_TAG_FIELDSET, GUMBO_TAG_OPTGROUP, GUMBO_TAG_OPTION}) {
            d.display[tag] = Display::Block;
        }
        d.display[GUMBO_TAG_TABLE] = Display::Table;
        d.display[GUMBO_TAG_CAPTION] = Display::TableCaption;
        d.display[GUMBO_TAG_THEAD] = Display::TableRowGroup;
        d.display[GUMBO_TAG_TBODY] = Display::TableRowGroup;
        d.display[GUMBO_TAG_TFOOT] = Display::TableRowGroup;
        d.display[GUMBO_TAG_TR] = Display::TableRow;
        d.display[GUMBO_TAG_TD] = Display::TableCell;
        d.display[GUMBO_TAG_TH] = Display::TableCell;
        for (GumboTag tag : {GUMBO_TAG_MARQUEE, GUMBO_TAG_BUTTON, GUMBO_TAG_METER,
                             GUMBO_TAG_PROGRESS, GUMBO_TAG_INPUT, GUMBO_TAG_TEXTAREA,
                             GUMBO_TAG_SELECT}) {
            d.display[tag] = Display::InlineBlock;
        }
        for (GumboTag tag :
             {GUMBO_TAG_IMG, GUMBO_TAG_IMAGE, GUMBO_TAG_VIDEO, GUMBO_TAG_AUDIO, GUMBO_TAG_CANVAS,
              GUMBO_TAG_IFRAME, GUMBO_TAG_EMBED, GUMBO_TAG_INPUT, GUMBO_TAG_TEXTAREA,
              GUMBO_TAG_SELECT, GUMBO_TAG_METER, GUMBO_TAG_PROGRESS, GUMBO_TAG_APPLET,
              GUMBO_TAG_KEYGEN}) {
            d.replaced[tag] = true;
        }
        return d;
    }();
    return defaults;
}

Display displayFromCss(std::string_view value, Display current) {
    static constexpr std::pair<std::string_view, Display> kValues[] = {
        {"none", Display::None},
        {"inline", Display::Inline},
        {"block", Display::Block},
        {"list-item", Display::Block},
        {"flex", Display::Block},
        {"grid", Display::Block},
        {"flow-root", Display::Block},
        {"block flow", Display::Block},
        {"inline-block", Display::InlineBlock},
        {"inline-flex", Display::InlineBlock},
        {"inline-grid", Display::InlineBlock},
        {"inline-table", Display::InlineBlock},
        {"table", Display::Table},
        {"table-row-group", Display::TableRowGroup},
        {"table-header-group", Display::TableRowGroup},
        {"table-footer-group", Display::TableRowGroup},
        {"table-row", Display::TableRow},
        {"table-cell", Display::TableCell},
        {"table-caption", Display::TableCaption},
        {"contents", Display::Contents},
    };
    for (const auto& [name, display] : kValues) {
        if (equalsNoCase(value, name)) {
            return display;
        }
    }
    return current;  // an invalid value is ignored
}

WhiteSpace whiteSpaceFromCss(std::string_view value, WhiteSpace current) {
    static constexpr std::pair<std::string_view, WhiteSpace> kValues[] = {
        {"normal", WhiteSpace::Normal},   {"nowrap", WhiteSpace::NoWrap},
        {"pre", WhiteSpace::Pre},         {"pre-wrap", WhiteSpace::PreWrap},
        {"pre-line", WhiteSpace::PreLine}, {"break-spaces", WhiteSpace::BreakSpaces},
    };
    for (const auto& [name, ws] : kValues) {
        if (equalsNoCase(value, name)) {
            return ws;
        }
    }
    return current;
}

// Applies the declarations of an inline style attribute that matter for the
// rendered text. Later declarations win, !important ones over the others.
void applyInlineStyle(std::string_view css, ElementStyle& style) {
    bool importantDisplay = false;
    bool importantVisibility = false;
    bool importantWhiteSpace = false;
    while (!css.empty()) {
        std::size_t end = 0;
        char quote = 0;
        int depth = 0;
        for (; end < css.size(); ++end) {
            const char c = css[end];
            if (quote != 0) {
                quote = c == quote ? 0 : quote;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '(') {
                ++depth;
            } else if (c == ')' && depth > 0) {
                --depth;
            } else if (c == ';' && depth == 0) {
                break;
            }
        }
        const std::string_view declaration = css.substr(0, end);
        css.remove_prefix(end < css.size() ? end + 1 : end);
        const std::size_t colon = declaration.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string_view property = trim(declaration.substr(0, colon));
        std::string_view value = trim(declaration.substr(colon + 1));
        bool important = false;
        if (const std::size_t bang = value.rfind('!'); bang != std::string_view::npos &&
                                                       equalsNoCase(trim(value.substr(bang + 1)),
                                                                    "important")) {
            important = true;
            value = trim(value.substr(0, bang));
        }
        if (equalsNoCase(property, "display")) {
            if (important || !importantDisplay) {
                style.display = displayFromCss(value, style.display);
                importantDisplay = importantDisplay || important;
            }
        } else if (equalsNoCase(property, "visibility")) {
            if (important || !importantVisibility) {
                if (equalsNoCase(value, "hidden") || equalsNoCase(value, "collapse")) {
                    style.visibility = Visibility::Hidden;
                } else if (equalsNoCase(value, "visible")) {
                    style.visibility = Visibility::Visible;
                }
                importantVisibility = importantVisibility || important;
            }
        } else if (equalsNoCase(property, "white-space")) {
            if (important || !importantWhiteSpace) {
                style.whiteSpace = whiteSpaceFromCss(value, style.whiteSpace);
                importantWhiteSpace = importantWhiteSpace || important;
            }
        }
    }
}

}  // namespace

ElementStyle styleOf(const GumboNode* node) {
    ElementStyle style;
    const GumboElement& element = node->v.element;
    if (element.tag_namespace != GUMBO_NAMESPACE_HTML) {
        // Foreign content: an <svg> or <math> root is an inline box.
        style.contentsRendered = element.tag_namespace == GUMBO_NAMESPACE_MATHML;
        return style;
    }
    const GumboTag tag = element.tag;
    const TagDefaults& defaults = tagDefaults();
    style.display = defaults.display[tag];
    style.contentsRendered = !defaults.replaced[tag];
    style.paragraph = tag == GUMBO_TAG_P;
    style.lineBreak = tag == GUMBO_TAG_BR;
    switch (tag) {
        case GUMBO_TAG_PRE:
        case GUMBO_TAG_LISTING:
        case GUMBO_TAG_XMP:
        case GUMBO_TAG_PLAINTEXT:
        case GUMBO_TAG_TEXTAREA:
            style.whiteSpace = WhiteSpace::Pre;
            break;
        case GUMBO_TAG_NOBR:
            style.whiteSpace = WhiteSpace::NoWrap;
            break;
        case GUMBO_TAG_TD:
        case GUMBO_TAG_TH:
            if (attribute(node, "nowrap") != nullptr) {
                style.whiteSpace = WhiteSpace::NoWrap;
            }
            break;
        case GUMBO_TAG_UNKNOWN: {
            // Elements newer than the parser's tag table arrive by name.
            const std::string_view name = unknownTagName(element);
            if (equalsNoCase(name, "dialog")) {
                style.display = attribute(node, "open") != nullptr ? Display::Block : Display::None;
            } else if (equalsNoCase(name, "search")) {
                style.display = Display::Block;
            }
            break;
        }
        case GUMBO_TAG_INPUT: {
            const char* type = attribute(node, "type");
            if (type != nullptr && equalsNoCase(trim(type), "hidden")) {
                style.display = Display::None;
            }
            break;
        }
        case GUMBO_TAG_AUDIO:
            if (attribute(node, "controls") == nullptr) {
                style.display = Display::None;
            }
            break;
        default:
            break;
    }
    if (attribute(node, "hidden") != nullptr) {
        style.display = Display::None;
    }
    if (const char* css = attribute(node, "style"); css != nullptr) {
        applyInlineStyle(css, style);
    }
    return style;
}

}  // namespace tabrivo::detail
