#include <engine/html_document_p.h>

#include <engine/ascii.h>

#include <algorithm>
#include <cstdint>
#include <optional>

// The table walk: the document's tables in document order, a table's rows in
// the order the DOM's table.rows gives, and a row's cells.

namespace tabrivo {

using detail::Attribute;
using detail::isHtmlElement;
using detail::Node;

namespace {

// The HTML standard's rules for parsing non-negative integers: leading white
// space, an optional "+", then digits up to the first other character. A
// value too large for the caller's range is clamped to `ceiling`.
std::optional<unsigned> parseNonNegative(const char* text, unsigned ceiling) {
    const char* at = text;
    while (ascii::isSpace(*at)) {
        ++at;
    }
    bool negative = false;
    if (*at == '-' || *at == '+') {
        negative = *at == '-';
        ++at;
    }
    if (*at < '0' || *at > '9') {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (; *at >= '0' && *at <= '9'; ++at) {
        value = std::min<std::uint64_t>(value * 10 + static_cast<unsigned>(*at - '0'),
                                        std::uint64_t{ceiling} + 1);
    }
    if (negative && value != 0) {
        return std::nullopt;
    }
    return static_cast<unsigned>(std::min<std::uint64_t>(value, ceiling));
}

const Node* nodeOf(const void* node) {
    return static_cast<const Node*>(node);
}

}  // namespace

bool HtmlDocument::forEachTable(const std::function<bool(ElementRef)>& visit,
                                const std::function<void()>& whileParsing) const {
    Impl& impl = *m_impl;
    if (impl.live) {
        impl.whileParsing = &whileParsing;
        std::optional<bool> finished;
        try {
            finished = impl.forEachLiveTable(visit);
        } catch (...) {
            impl.whileParsing = nullptr;
            throw;
        }
        impl.whileParsing = nullptr;
        if (finished) {
            return *finished;
        }
    }
    for (const Node* entry : impl.tables) {
        if (!visit(ElementRef(entry))) {
            return false;
        }
    }
    return true;
}

bool HtmlDocument::forEachRow(ElementRef table,
                              const std::function<bool(ElementRef)>& visit) const {
    const auto* tableNode = static_cast<const Node*>(table.m_node);
    if (tableNode == nullptr) {
        return true;
    }
    Impl& impl = *m_impl;
    if (impl.live && tableNode == impl.liveTable) {
        return impl.forEachLiveRow(tableNode, visit);
    }
    auto visitRow = [&](const Node* row) { return visit(ElementRef(row)); };
    auto visitRowsOf = [&](const Node* group) {
        const detail::PointerVector& groupChildren = group->v.element.children;
        for (unsigned i = 0; i < groupChildren.length; ++i) {
            const auto* child = static_cast<const Node*>(groupChildren.data[i]);
            if (isHtmlElement(child, detail::kTagTr) && !visitRow(child)) {
                return false;
            }
        }
        return true;
    };
    const detail::PointerVector& children = tableNode->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* child = static_cast<const Node*>(children.data[i]);
        if (isHtmlElement(child, detail::kTagThead) && !visitRowsOf(child)) {
            return false;
        }
    }
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* child = static_cast<const Node*>(children.data[i]);
        if ((isHtmlElement(child, detail::kTagTr) && !visitRow(child)) ||
            (isHtmlElement(child, detail::kTagTbody) && !visitRowsOf(child))) {
            return false;
        }
    }
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* child = static_cast<const Node*>(children.data[i]);
        if (isHtmlElement(child, detail::kTagTfoot) && !visitRowsOf(child)) {
            return false;
        }
    }
    return true;
}

std::vector<ElementRef> HtmlDocument::cells(ElementRef row) const {
    std::vector<ElementRef> cells;
    this->cells(row, cells);
    return cells;
}

void HtmlDocument::cells(ElementRef row, std::vector<ElementRef>& into) const {
    into.clear();
    const auto* rowNode = static_cast<const Node*>(row.m_node);
    if (rowNode == nullptr) {
        return;
    }
    const detail::PointerVector& children = rowNode->v.element.children;
    into.reserve(children.length);
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* child = static_cast<const Node*>(children.data[i]);
        if (isHtmlElement(child, detail::kTagTd) || isHtmlElement(child, detail::kTagTh)) {
            into.push_back(ElementRef(child));
        }
    }
}

void HtmlDocument::cellShape(ElementRef cell, CellShape& shape) const {
    shape = CellShape{};
    const Node* node = nodeOf(cell.m_node);
    if (node == nullptr) {
        return;
    }
    constexpr unsigned kMaxColspan = 1000;
    constexpr unsigned kMaxRowspan = 65534;
    shape.header = isHtmlElement(node, detail::kTagTh);
    if (node->v.element.attributes.length == 0) {
        return;
    }
    if (const char* colspan = detail::attributeValue(node, "colspan")) {
        shape.colspan = std::max(1U, parseNonNegative(colspan, kMaxColspan).value_or(1));
    }
    if (const char* rowspan = detail::attributeValue(node, "rowspan")) {
        shape.rowspan = parseNonNegative(rowspan, kMaxRowspan).value_or(1);
    }
}

ElementRef HtmlDocument::rowGroup(ElementRef row) const {
    const Node* node = nodeOf(row.m_node);
    return node == nullptr || node->parent == nullptr ? ElementRef() : ElementRef(node->parent);
}

RowSection HtmlDocument::rowSection(ElementRef row) const {
    const ElementRef group = rowGroup(row);
    const Node* node = nodeOf(group.m_node);
    if (node == nullptr) {
        return RowSection::kBody;
    }
    if (isHtmlElement(node, detail::kTagThead)) {
        return RowSection::kHead;
    }
    return isHtmlElement(node, detail::kTagTfoot) ? RowSection::kFoot : RowSection::kBody;
}

ElementRef HtmlDocument::caption(ElementRef table) const {
    const Node* node = nodeOf(table.m_node);
    const Node* caption =
        node == nullptr ? nullptr : detail::firstChildElement(node, detail::kTagCaption);
    return caption == nullptr ? ElementRef() : ElementRef(caption);
}

std::vector<std::pair<std::string, std::string>> HtmlDocument::attributes(
    ElementRef element) const {
    std::vector<std::pair<std::string, std::string>> pairs;
    const Node* node = nodeOf(element.m_node);
    if (node == nullptr) {
        return pairs;
    }
    const detail::PointerVector& attributes = node->v.element.attributes;
    pairs.reserve(attributes.length);
    for (unsigned i = 0; i < attributes.length; ++i) {
        const auto* attribute = static_cast<const Attribute*>(attributes.data[i]);
        pairs.emplace_back(attribute->name, attribute->value);
    }
    return pairs;
}

}  // namespace tabrivo
