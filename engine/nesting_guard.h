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
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tabrivo::detail {

class NestingGuard {
public:
    static constexpr std::size_t kMaxOpenElements = 512;
    static constexpr std::size_t kMaxFormattingElements = 64;

    // Whether a start tag is kept; `attributes` is its attribute text, which
    // tells identical formatting elements apart.
    bool keepStartTag(const std::string& name, std::string_view attributes, bool selfClosing);
    // Whether an end tag is kept: the end tags of left-out elements are left out.
    bool keepEndTag(const std::string& name);

private:
    struct Open {
        std::string name;
        bool boundary = false;  // a table, cell or other scope boundary
    };
    struct Formatting {
        std::string name;  // empty for the marker a cell starts with
        std::size_t key = 0;
    };

    std::size_t depthSinceBoundary() const;
    std::size_t formattingSinceMarker() const;
    // The open element `name` nearest the top, not looking past a boundary
    // (nor past any of `stops`); the stack size when there is none.
    std::size_t findOpen(std::string_view name,
                         std::initializer_list<std::string_view> stops = {}) const;
    std::size_t findOpenAnywhere(const std::string& name) const;
    void popTo(std::size_t index);  // pops the element at `index` and everything above it
    void popToTable();
    void removeFormatting(std::string_view name);
    void closeFormatting(const std::string& name);
    // Whether SVG or MathML content opened at `foreign` holds HTML again here.
    bool inIntegrationPoint(std::size_t foreign) const;
    bool leaveOut(const std::string& name);

    void push(const std::string& name, bool boundary);

    std::vector<Open> m_open;
    // Where each name is open on the stack, and where the boundaries are, so
    // that no look-up walks the stack.
    std::unordered_map<std::string, std::vector<std::size_t>> m_openAt;
    std::vector<std::size_t> m_boundaries;
    std::vector<Formatting> m_formatting;
    std::vector<std::size_t> m_markers;
    std::unordered_map<std::string, std::size_t> m_leftOut;  // end tags still to leave out
};

}  // namespace tabrivo::detail
