#include "nesting_guard.h"

#include <algorithm>
#include <functional>
#include <initializer_list>

namespace tabrivo::testing {

std::size_t NestingGuard::depthSinceBoundary() const {
    return m_boundaries.empty() ? m_open.size() : m_open.size() - m_boundaries.back() - 1;
}

std::size_t NestingGuard::formattingSinceMarker() const {
    return m_markers.empty() ? m_formatting.size() : m_formatting.size() - m_markers.back() - 1;
}

std::size_t NestingGuard::topmost(std::uint32_t id) const {
    return id < m_openAt.size() && !m_openAt[id].empty() ? m_openAt[id].back() : m_open.size();
}

std::size_t NestingGuard::findOpen(std::uint32_t id,
                                   std::initializer_list<std::uint32_t> stops) const {
    const std::size_t at = topmost(id);
    if (at == m_open.size() || (!m_boundaries.empty() && at < m_boundaries.back())) {
        return m_open.size();
    }
    for (const std::uint32_t stop : stops) {
        const std::size_t stopAt = topmost(stop);
        if (stopAt != m_open.size() && stopAt > at) {
            return m_open.size();
        }
    }
    return at;
}

bool NestingGuard::inForeignContent() const {
    const std::size_t foreign = std::min(findOpen(kSvg), findOpen(kMath));
    return foreign < m_open.size() && !inIntegrationPoint(foreign);
}

bool NestingGuard::inIntegrationPoint(std::size_t foreign) const {
    return !m_integrationPoints.empty() && m_integrationPoints.back() > foreign;
}

void NestingGuard::push(TagInfo tag) {
    if (tag.id >= m_openAt.size()) {
        m_openAt.resize(tag.id + 1);
    }
    m_openAt[tag.id].push_back(m_open.size());
    const bool boundary = tag.has(kScopeBoundary);
    if (boundary) {
        m_boundaries.push_back(m_open.size());
        if (tag.id != kTable) {
            m_markers.push_back(m_formatting.size());
            m_formatting.push_back({});
        }
    }
    if (tag.has(kIntegrationPoint)) {
        m_integrationPoints.push_back(m_open.size());
    }
    m_open.push_back({tag, boundary});
}

void NestingGuard::popTo(std::size_t index) {
    while (m_open.size() > index) {
        const Open& top = m_open.back();
        if (top.boundary) {
            m_boundaries.pop_back();
            if (top.tag.id != kTable) {
                // Leaving a cell clears the formatting list back to its marker.
                m_formatting.resize(m_markers.back());
                m_markers.pop_back();
            }
        }
        if (top.tag.has(kIntegrationPoint)) {
            m_integrationPoints.pop_back();
        }
        m_openAt[top.tag.id].pop_back();
        m_open.pop_back();
    }
}

void NestingGuard::popToTable() {
    const std::size_t table = topmost(kTable);
    if (table < m_open.size()) {
        popTo(table + 1);
    }
}

void NestingGuard::removeFormatting(std::uint32_t id) {
    for (std::size_t i = m_formatting.size(); i-- > 0 && m_formatting[i].id != kMarker;) {
        if (m_formatting[i].id == id) {
            m_formatting.erase(m_formatting.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

void NestingGuard::closeFormatting(std::uint32_t id) {
    removeFormatting(id);
    const std::size_t element = findOpen(id);
    if (element >= m_open.size()) {
        return;
    }
    // Blocks opened inside it stay open (the adoption agency moves them out),
    // so it is popped only when nothing of the kind is above it.
    for (std::size_t i = element + 1; i < m_open.size(); ++i) {
        if (m_open[i].tag.has(kSpecial)) {
            return;
        }
    }
    popTo(element);
}

bool NestingGuard::leaveOut(std::uint32_t id) {
    if (id >= m_leftOut.size()) {
        m_leftOut.resize(id + 1);
    }
    ++m_leftOut[id];
    return false;
}

bool NestingGuard::keepStartTag(TagInfo tag, std::string_view attributes, bool selfClosing) {
    const std::uint32_t id = tag.id;
    m_lastStartWasForeign = false;
    const std::size_t foreign = std::min(findOpen(kSvg), findOpen(kMath));
    if (foreign < m_open.size() && !inIntegrationPoint(foreign)) {
        if (tag.has(kLeavesForeign)) {
            popTo(foreign);
        } else {
            m_lastStartWasForeign = true;
            // An SVG or MathML element, whatever its name: none of the HTML
            // rules below apply to it.
            if (selfClosing) {
                return true;
            }
            if (id == kSelect) {
                // One of that name has no meaning, and the parser fails its
                // own checks on one inside a table.
                return leaveOut(id);
            }
            if (depthSinceBoundary() >= kMaxOpenElements) {
                return leaveOut(id);
            }
            push(TagInfo{id, tag.flags & kIntegrationPoint});
            return true;
        }
    }
    if (id == kTr || id == kTbody || id == kThead || id == kTfoot || id == kColgroup || id == kTd ||
        id == kTh || id == kCaption) {
        popToTable();  // closes an open cell or row
    } else if (id == kTable && !m_open.empty() && m_open.back().tag.id == kTable) {
        popTo(m_open.size() - 1);  // a table directly in a table closes it
    }
    if (tag.has(kClosesParagraph)) {
        const std::size_t paragraph = findOpen(kP, {kButton});
        if (paragraph < m_open.size()) {
            popTo(paragraph);
        }
    }
    if (id == kLi) {
        const std::size_t item = findOpen(kLi, {kOl, kUl});
        if (item < m_open.size()) {
            popTo(item);
        }
    } else if (id == kDd || id == kDt) {
        const std::size_t term = std::min(findOpen(kDd, {kDl}), findOpen(kDt, {kDl}));
        if (term < m_open.size()) {
            popTo(term);
        }
    } else if (tag.has(kHeading) && !m_open.empty() && m_open.back().tag.has(kHeading)) {
        popTo(m_open.size() - 1);
    } else if (id == kOption || id == kOptgroup) {
        if (!m_open.empty() && m_open.back().tag.id == kOption) {
            popTo(m_open.size() - 1);
        }
        if (id == kOptgroup && !m_open.empty() && m_open.back().tag.id == kOptgroup) {
            popTo(m_open.size() - 1);
        }
    } else if (id == kA || id == kNobr) {
        closeFormatting(id);  // a second one closes the first
    } else if (id == kButton || id == kSelect) {
        const std::size_t earlier = findOpen(id);
        if (earlier < m_open.size()) {
            popTo(earlier);
        }
    }
    if (tag.has(kNeverOpen)) {
        return true;
    }
    if (tag.has(kScopeBoundary)) {
        push(tag);
        return true;
    }
    if (depthSinceBoundary() >= kMaxOpenElements) {
        return leaveOut(id);
    }
    if (tag.has(kFormatting)) {
        const std::size_t key = std::hash<std::string_view>{}(attributes);
        // The parser keeps at most three identical formatting elements.
        std::size_t identical = 0;
        std::size_t earliest = m_formatting.size();
        for (std::size_t i = m_formatting.size(); i-- > 0 && m_formatting[i].id != kMarker;) {
            if (m_formatting[i].id == id && m_formatting[i].key == key) {
                ++identical;
                earliest = i;
            }
        }
        if (identical >= 3) {
            m_formatting.erase(m_formatting.begin() + static_cast<std::ptrdiff_t>(earliest));
        } else if (formattingSinceMarker() >= kMaxFormattingElements) {
            return leaveOut(id);
        }
        m_formatting.push_back({id, key});
    }
    push(tag);
    return true;
}

bool NestingGuard::keepEndTag(TagInfo tag) {
    const std::uint32_t id = tag.id;
    if (id < m_leftOut.size() && m_leftOut[id] > 0) {
        --m_leftOut[id];
        return false;
    }
    const std::size_t foreign = std::min(findOpen(kSvg), findOpen(kMath));
    if (foreign < m_open.size() && !inIntegrationPoint(foreign)) {
        // An SVG or MathML element of that name closes; otherwise the end tag
        // is read by the HTML rules.
        const std::size_t element = topmost(id);
        if (element < m_open.size() && element >= foreign) {
            popTo(element);
            return true;
        }
    }
    if (tag.has(kFormatting)) {
        closeFormatting(id);
        return true;
    }
    std::size_t open = m_open.size();
    if (tag.has(kScopeBoundary)) {
        // A cell's end tag does not reach out of its table.
        const std::size_t table = topmost(kTable);
        const std::size_t element = topmost(id);
        if (element < m_open.size() &&
            (id == kTable || table == m_open.size() || element > table)) {
            open = element;
        }
    } else if (id == kTr || id == kTbody || id == kThead || id == kTfoot) {
        // Closes the row or group when one is open in the current table.
        const std::size_t table = topmost(kTable);
        const std::size_t element = topmost(id);
        if (element < m_open.size() && (table == m_open.size() || element > table)) {
            open = element;
        }
    } else {
        open = findOpen(id);
    }
    if (open < m_open.size()) {
        popTo(open);
    }
    return true;
}

}  // namespace tabrivo::testing
