#include "nesting_guard.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <initializer_list>

namespace tabrivo::detail {
namespace {

bool isOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    for (const std::string_view candidate : names) {
        if (name == candidate) {
            return true;
        }
    }
    return false;
}

bool isFormatting(std::string_view name) {
    return isOneOf(name, {"a", "b", "big", "code", "em", "font", "i", "nobr", "s", "small",
                          "strike", "strong", "tt", "u"});
}

// Elements the parser never leaves open, or merges into the document's own.
bool isNeverOpen(std::string_view name) {
    return isOneOf(name,
                   {"area",   "base",  "basefont", "bgsound", "br",     "col",  "embed", "frame",
                    "hr",     "image", "img",      "input",   "keygen", "link", "meta",  "param",
                    "source", "track", "wbr",      "html",    "head",   "body"});
}

// Elements the scope checks do not look past; the cells and the like also
// start a new stretch of the formatting list.
bool isBoundary(std::string_view name) {
    return isOneOf(name,
                   {"table", "td", "th", "caption", "applet", "marquee", "object", "template"});
}

// Elements the adoption agency keeps open when it closes a formatting
// element below them (they move out of it instead).
bool isSpecial(std::string_view name) {
    return isBoundary(name) ||
           isOneOf(name, {"address",   "article",    "aside",    "blockquote", "button", "center",
                          "dd",        "details",    "dir",      "div",        "dl",     "dt",
                          "fieldset",  "figcaption", "figure",   "footer",     "form",   "h1",
                          "h2",        "h3",         "h4",       "h5",         "h6",     "header",
                          "hgroup",    "iframe",     "li",       "listing",    "main",   "menu",
                          "nav",       "noembed",    "noframes", "noscript",   "ol",     "p",
                          "plaintext", "pre",        "script",   "section",    "select", "style",
                          "summary",   "tbody",      "textarea", "tfoot",      "thead",  "title",
                          "tr",        "ul",         "xmp"});
}

// Start tags that close an open paragraph.
bool closesParagraph(std::string_view name) {
    return isOneOf(
        name, {"address", "article", "aside", "blockquote", "center",     "details",   "dialog",
               "dir",     "div",     "dl",    "fieldset",   "figcaption", "figure",    "footer",
               "header",  "hgroup",  "main",  "menu",       "nav",        "ol",        "p",
               "section", "summary", "ul",    "h1",         "h2",         "h3",        "h4",
               "h5",      "h6",      "pre",   "listing",    "form",       "plaintext", "table",
               "hr",      "xmp",     "li",    "dd",         "dt"});
}

bool isHeading(std::string_view name) {
    return isOneOf(name, {"h1", "h2", "h3", "h4", "h5", "h6"});
}

// Start tags that take the parser out of SVG or MathML content.
bool leavesForeignContent(std::string_view name) {
    return isOneOf(
        name,
        {"b",      "big",  "blockquote", "body",  "br",   "center", "code",    "dd",   "div",
         "dl",     "dt",   "em",         "embed", "h1",   "h2",     "h3",      "h4",   "h5",
         "h6",     "head", "hr",         "i",     "img",  "li",     "listing", "menu", "meta",
         "nobr",   "ol",   "p",          "pre",   "ruby", "s",      "small",   "span", "strong",
         "strike", "sub",  "sup",        "table", "tt",   "u",      "ul",      "var"});
}

}  // namespace

std::size_t NestingGuard::depthSinceBoundary() const {
    return m_boundaries.empty() ? m_open.size() : m_open.size() - m_boundaries.back() - 1;
}

std::size_t NestingGuard::formattingSinceMarker() const {
    return m_markers.empty() ? m_formatting.size() : m_formatting.size() - m_markers.back() - 1;
}

std::size_t NestingGuard::findOpen(std::string_view name,
                                   std::initializer_list<std::string_view> stops) const {
    const auto topmost = [this](std::string_view of) -> std::ptrdiff_t {
        const auto found = m_openAt.find(std::string(of));
        return found == m_openAt.end() || found->second.empty()
                   ? -1
                   : static_cast<std::ptrdiff_t>(found->second.back());
    };
    const std::ptrdiff_t at = topmost(name);
    const std::ptrdiff_t boundary =
        m_boundaries.empty() ? -1 : static_cast<std::ptrdiff_t>(m_boundaries.back());
    if (at < 0 || at < boundary) {
        return m_open.size();
    }
    for (const std::string_view stop : stops) {
        if (topmost(stop) > at) {
            return m_open.size();
        }
    }
    return static_cast<std::size_t>(at);
}

void NestingGuard::push(const std::string& name, bool boundary) {
    m_openAt[name].push_back(m_open.size());
    if (boundary) {
        m_boundaries.push_back(m_open.size());
        if (name != "table") {
            m_markers.push_back(m_formatting.size());
            m_formatting.push_back({});
        }
    }
    m_open.push_back({name, boundary});
}

void NestingGuard::popTo(std::size_t index) {
    while (m_open.size() > index) {
        const Open& top = m_open.back();
        if (top.boundary) {
            m_boundaries.pop_back();
            if (top.name != "table") {
                // Leaving a cell clears the formatting list back to its marker.
                m_formatting.resize(m_markers.back());
                m_markers.pop_back();
            }
        }
        m_openAt[top.name].pop_back();
        m_open.pop_back();
    }
}

std::size_t NestingGuard::findOpenAnywhere(const std::string& name) const {
    const auto found = m_openAt.find(name);
    return found == m_openAt.end() || found->second.empty() ? m_open.size() : found->second.back();
}

void NestingGuard::popToTable() {
    const auto tables = m_openAt.find("table");
    if (tables != m_openAt.end() && !tables->second.empty()) {
        popTo(tables->second.back() + 1);
    }
}

void NestingGuard::removeFormatting(std::string_view name) {
    for (std::size_t i = m_formatting.size(); i-- > 0;) {
        if (m_formatting[i].name.empty()) {
            return;
        }
        if (m_formatting[i].name == name) {
            m_formatting.erase(m_formatting.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

void NestingGuard::closeFormatting(const std::string& name) {
    removeFormatting(name);
    const std::size_t element = findOpen(name);
    if (element >= m_open.size()) {
        return;
    }
    // Blocks opened inside it stay open (the adoption agency moves them out),
    // so it is popped only when nothing of the kind is above it.
    for (std::size_t i = element + 1; i < m_open.size(); ++i) {
        if (isSpecial(m_open[i].name)) {
            return;
        }
    }
    popTo(element);
}

bool NestingGuard::inIntegrationPoint(std::size_t foreign) const {
    for (const char* point :
         {"mi", "mo", "mn", "ms", "mtext", "annotation-xml", "foreignobject", "desc", "title"}) {
        const std::size_t at = findOpen(point);
        if (at < m_open.size() && at > foreign) {
            return true;
        }
    }
    return false;
}

bool NestingGuard::leaveOut(const std::string& name) {
    ++m_leftOut[name];
    return false;
}

bool NestingGuard::keepStartTag(const std::string& name, std::string_view attributes,
                                bool selfClosing) {
    // Foreign content ends at an HTML tag; its self-closing tags stay empty.
    const std::size_t foreign = std::min(findOpen("svg"), findOpen("math"));
    if (foreign < m_open.size() && !inIntegrationPoint(foreign)) {
        if (leavesForeignContent(name)) {
            popTo(foreign);
        } else {
            // An SVG or MathML element, whatever its name: none of the HTML
            // rules below apply to it.
            if (selfClosing) {
                return true;
            }
            if (name == "select") {
                // One of that name has no meaning, and the parser fails its
                // own checks on one inside a table.
                return leaveOut(name);
            }
            if (depthSinceBoundary() >= kMaxOpenElements) {
                return leaveOut(name);
            }
            push(name, false);
            return true;
        }
    }
    if (isOneOf(name, {"tr", "tbody", "thead", "tfoot", "colgroup", "td", "th", "caption"})) {
        popToTable();  // closes an open cell or row
    } else if (name == "table") {
        // A table directly in a table closes it.
        if (!m_open.empty() && m_open.back().name == "table") {
            popTo(m_open.size() - 1);
        }
    }
    if (closesParagraph(name)) {
        const std::size_t paragraph = findOpen("p", {"button"});
        if (paragraph < m_open.size()) {
            popTo(paragraph);
        }
    }
    if (name == "li") {
        const std::size_t item = findOpen("li", {"ol", "ul"});
        if (item < m_open.size()) {
            popTo(item);
        }
    } else if (name == "dd" || name == "dt") {
        const std::size_t term = std::min(findOpen("dd", {"dl"}), findOpen("dt", {"dl"}));
        if (term < m_open.size()) {
            popTo(term);
        }
    } else if (isHeading(name) && !m_open.empty() && isHeading(m_open.back().name)) {
        popTo(m_open.size() - 1);
    } else if (name == "option" || name == "optgroup") {
        if (!m_open.empty() && m_open.back().name == "option") {
            popTo(m_open.size() - 1);
        }
        if (name == "optgroup" && !m_open.empty() && m_open.back().name == "optgroup") {
            popTo(m_open.size() - 1);
        }
    } else if (isOneOf(name, {"a", "nobr"})) {
        closeFormatting(name);  // a second one closes the first
    } else if (isOneOf(name, {"button", "select"})) {
        const std::size_t earlier = findOpen(name);
        if (earlier < m_open.size()) {
            popTo(earlier);
        }
    }
    if (isNeverOpen(name)) {
        return true;
    }
    if (isBoundary(name)) {
        push(name, true);
        return true;
    }
    if (depthSinceBoundary() >= kMaxOpenElements) {
        return leaveOut(name);
    }
    if (isFormatting(name)) {
        const std::size_t key = std::hash<std::string_view>{}(attributes);
        // The parser keeps at most three identical formatting elements.
        std::size_t identical = 0;
        std::size_t earliest = m_formatting.size();
        for (std::size_t i = m_formatting.size(); i-- > 0 && !m_formatting[i].name.empty();) {
            if (m_formatting[i].name == name && m_formatting[i].key == key) {
                ++identical;
                earliest = i;
            }
        }
        if (identical >= 3) {
            m_formatting.erase(m_formatting.begin() + static_cast<std::ptrdiff_t>(earliest));
        } else if (formattingSinceMarker() >= kMaxFormattingElements) {
            return leaveOut(name);
        }
        m_formatting.push_back({name, key});
    }
    push(name, false);
    return true;
}

bool NestingGuard::keepEndTag(const std::string& name) {
    const auto leftOut = m_leftOut.find(name);
    if (leftOut != m_leftOut.end() && leftOut->second > 0) {
        --leftOut->second;
        return false;
    }
    if (isFormatting(name)) {
        closeFormatting(name);
        return true;
    }
    std::size_t open = m_open.size();
    if (isBoundary(name)) {
        // A cell's end tag does not reach out of its table.
        const std::size_t table = findOpenAnywhere("table");
        const std::size_t element = findOpenAnywhere(name);
        if (element < m_open.size() &&
            (name == "table" || table == m_open.size() || element > table)) {
            open = element;
        }
    } else if (isOneOf(name, {"tr", "tbody", "thead", "tfoot"})) {
        popToTable();
    } else {
        open = findOpen(name);
    }
    if (open < m_open.size()) {
        popTo(open);
    }
    return true;
}

}  // namespace tabrivo::detail
