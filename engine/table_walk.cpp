#include <engine/html_document_p.h>

// The table walk: the document's tables in document order, a table's rows in
// the order the DOM's table.rows gives, and a row's cells.

namespace tabrivo {

using detail::isHtmlElement;
using detail::kNoRun;
using detail::piecesOf;
using detail::Run;
using detail::TableEntry;
using detail::walkElements;

bool HtmlDocument::forEachTable(const std::function<bool(ElementRef)>& visit) const {
    Impl& impl = *m_impl;
    for (const TableEntry& entry : impl.tables) {
        if (entry.run == kNoRun) {
            if (!visit(ElementRef(entry.table))) {
                return false;
            }
            continue;
        }
        const Run& run = impl.runs[entry.run];
        const bool finished =
            impl.forEachPiece(run, run.rows.rowsWithTables,
                              [&](const std::vector<const GumboNode*>&, const GumboNode* piece) {
                                  std::vector<const GumboNode*> nested;
                                  walkElements(piece, [&](const GumboNode* element) {
                                      if (isHtmlElement(element, GUMBO_TAG_TABLE)) {
                                          nested.push_back(element);
                                      }
                                  });
                                  for (const GumboNode* table : nested) {
                                      if (!visit(ElementRef(table))) {
                                          return false;
                                      }
                                  }
                                  return true;
                              });
        if (!finished) {
            return false;
        }
    }
    return true;
}

bool HtmlDocument::forEachRow(ElementRef table,
                              const std::function<bool(ElementRef)>& visit) const {
    const auto* tableNode = static_cast<const GumboNode*>(table.m_node);
    if (tableNode == nullptr) {
        return true;
    }
    Impl& impl = *m_impl;
    auto visitRow = [&](const GumboNode* row) {
        const auto run = impl.runOfPlaceholder.find(row);
        if (run == impl.runOfPlaceholder.end()) {
            return visit(ElementRef(row));
        }
        const Run& rowRun = impl.runs[run->second];
        return impl.forEachPiece(rowRun, piecesOf(rowRun.rows),
                                 [&](const std::vector<const GumboNode*>& rows, const GumboNode*) {
                                     for (const GumboNode* pieceRow : rows) {
                                         if (!visit(ElementRef(pieceRow))) {
                                             return false;
                                         }
                                     }
                                     return true;
                                 });
    };
    auto visitRowsOf = [&](const GumboNode* group) {
        const GumboVector& groupChildren = group->v.element.children;
        for (unsigned i = 0; i < groupChildren.length; ++i) {
            const auto* child = static_cast<const GumboNode*>(groupChildren.data[i]);
            if (isHtmlElement(child, GUMBO_TAG_TR) && !visitRow(child)) {
                return false;
            }
        }
        return true;
    };
    const GumboVector& children = tableNode->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(children.data[i]);
        if (isHtmlElement(child, GUMBO_TAG_THEAD) && !visitRowsOf(child)) {
            return false;
        }
    }
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(children.data[i]);
        if ((isHtmlElement(child, GUMBO_TAG_TR) && !visitRow(child)) ||
            (isHtmlElement(child, GUMBO_TAG_TBODY) && !visitRowsOf(child))) {
            return false;
        }
    }
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(children.data[i]);
        if (isHtmlElement(child, GUMBO_TAG_TFOOT) && !visitRowsOf(child)) {
            return false;
        }
    }
    return true;
}

std::vector<ElementRef> HtmlDocument::cells(ElementRef row) const {
    std::vector<ElementRef> cells;
    const auto* rowNode = static_cast<const GumboNode*>(row.m_node);
    if (rowNode == nullptr) {
        return cells;
    }
    const GumboVector& children = rowNode->v.element.children;
    cells.reserve(children.length);
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(children.data[i]);
        if (isHtmlElement(child, GUMBO_TAG_TD) || isHtmlElement(child, GUMBO_TAG_TH)) {
            cells.push_back(ElementRef(child));
        }
    }
    return cells;
}

}  // namespace tabrivo
