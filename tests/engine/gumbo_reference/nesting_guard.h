#pragma once
// Keeps hostile nesting from making the parse quadratic.
//
// The HTML parsing algorithm walks the stack of open elements down to the
// nearest table cell or similar boundary for many tags, and the list of
// active formatting elements back to the cell for every formatting tag and
// piece of text. Tens of thousands of unclosed <div>, <b class=...> or <a>
// inside one cell therefore take the parser minutes, and formatting
// elements left open across blocks are rebuilt around every later piece of
// text. This guard follows the open elements from the tags alone, roughly as
// the parser will (it never needs to be exact: it only decides when a tag is
// left out), and leaves out start tags that would open more than
// kMaxOpenElements elements, or more than kMaxFormattingElements formatting
// elements, inside one cell, with their end tags. Browsers stop nesting at
// 512 elements too; no real page comes near these numbers inside one cell.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "tag_info.h"

namespace tabrivo::testing {

class NestingGuard {
public:
    static constexpr std::size_t kMaxOpenElements = 512;
    static constexpr std::size_t kMaxFormattingElements = 64;

    // Whether a start tag is kept; `attributes` is its attribute text, which
    // tells identical formatting elements apart.
    bool keepStartTag(TagInfo tag, std::string_view attributes, bool selfClosing);
    // Whether an end tag is kept: the end tags of left-out elements are left out.
    bool keepEndTag(TagInfo tag);
    // Whether what comes next is SVG or MathML content, where CDATA
    // sections are text.
    bool inForeignContent() const;
    // Whether the last start tag kept opened an SVG or MathML element, which
    // holds no raw text whatever its name (an SVG <title>, say).
    bool lastStartWasForeign() const { return m_lastStartWasForeign; }

private:
    static constexpr std::uint32_t kMarker = static_cast<std::uint32_t>(-1);
    struct Open {
        TagInfo tag;
        bool boundary = false;  // a table, cell or other scope boundary
    };
    struct Formatting {
        std::uint32_t id = kMarker;  // the marker a cell starts the list with
        std::size_t key = 0;
    };

    std::size_t depthSinceBoundary() const;
    std::size_t formattingSinceMarker() const;
    // Where the element `id` is open nearest the top, or the stack size.
    std::size_t topmost(std::uint32_t id) const;
    // The same, not looking past a boundary nor past any of `stops`.
    std::size_t findOpen(std::uint32_t id, std::initializer_list<std::uint32_t> stops = {}) const;
    // Whether SVG or MathML content opened at `foreign` holds HTML again here.
    bool inIntegrationPoint(std::size_t foreign) const;
    void push(TagInfo tag);
    void popTo(std::size_t index);  // pops the element at `index` and everything above it
    void popToTable();
    void removeFormatting(std::uint32_t id);
    void closeFormatting(std::uint32_t id);
    bool leaveOut(std::uint32_t id);

    std::vector<Open> m_open;
    // Where each tag is open on the stack, and where the boundaries and
    // integration points are, so that no look-up walks the stack.
    std::vector<std::vector<std::size_t>> m_openAt;
    std::vector<std::size_t> m_boundaries;
    std::vector<std::size_t> m_integrationPoints;
    std::vector<Formatting> m_formatting;
    std::vector<std::size_t> m_markers;
    std::vector<std::size_t> m_leftOut;  // per tag, end tags still to leave out
    bool m_lastStartWasForeign = false;
};

}  // namespace tabrivo::testing
