#pragma once
// One pass over a document's markup before it is parsed: the rows of a large
// document's tables that can be parsed apart, and what is left out of the parse:
// tags nested too deeply and attributes beyond a tag's allowed number.
//
// A parser tree takes twenty and more times the size of its text, so a very
// large file cannot be held as one tree. Most of such a file is rows of
// top-level tables, and a run of rows parses the same way on its own as in
// its place, as long as nothing in it reaches outside the rows: no form,
// style sheet or body tag, no foreign or template content, no text or tags
// between the rows. This scanner follows the tokenizer and the table nesting
// closely enough to find such runs, and gives up on the whole document (the
// caller then parses it whole) wherever it cannot be sure.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tabrivo::detail {

struct RowRun {
    std::size_t begin = 0;  // the first row's (or cell's) start tag
    std::size_t end = 0;    // where the rows end: the tag or text after them
    // Offsets of row start tags inside the run where a new piece may start,
    // so that no piece is much longer than the piece size asked for.
    std::vector<std::size_t> cuts;
    std::string section;  // the row group the rows are in: "thead", "tbody" or "tfoot"
    // The rows that hold nested tables, as [begin, end) offsets starting at a
    // row's start tag, so that their tables can be found without the rest.
    std::vector<std::pair<std::size_t, std::size_t>> rowsWithTables;
};

struct ScanOptions {
    bool findRowRuns = false;
    std::size_t pieceBytes = 1;  // runs shorter than this are left in place
    std::size_t maxAttributes = static_cast<std::size_t>(-1);
};

// A stretch [begin, end) of the text to leave out, and what stands in its
// place so that the text around it cannot join into a new token (a "<"
// before a left-out tag must not meet the letters after it).
struct Removal {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string_view replacement;
};

struct MarkupScan {
    // The runs of rows of top-level tables that are at least a piece long, in
    // document order; nothing when not asked for, or when the document holds
    // markup that could make a run parse differently on its own.
    std::optional<std::vector<RowRun>> rowRuns;
    // What to leave out before parsing, in order: tags nested too deeply
    // (see NestingGuard), and attributes beyond the allowed number on a tag
    // (the parser checks each attribute against all the earlier ones, so
    // thousands on one tag would take it minutes).
    std::vector<Removal> removals;
};

// Follows the tokenizer through the text once.
MarkupScan scanMarkup(std::string_view text, const ScanOptions& options);

}  // namespace tabrivo::detail
