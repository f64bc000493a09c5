#pragma once
// The data formats: strict JSON, JSON Lines and CSV, written from the table model.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <engine/error_trap.h>
#include <engine/html_document.h>
#include <engine/table_model.h>

namespace tabrivo {

enum class DataFormat {
    kJson,       // one RFC 8259 array of tables per source
    kJsonLines,  // one table a line, with the source's path
    kCsv,        // one RFC 4180 file per table
};

struct ExportOptions {
    DataFormat format = DataFormat::kJson;
    bool grid = false;  // spans expanded into a rectangle of slots
};

// Appends `text` as a JSON string; bytes that are not UTF-8 become U+FFFD.
void appendJsonString(std::string& out, std::string_view text);

// Appends one table as a JSON object: "index", "caption", "header_rows" and
// "rows" (arrays of cell texts), with "source" first when it is given.
void appendJsonTable(std::string& out, const Table& table, bool grid, std::string_view source = {});

// Names and texts written as string members before a table's own (where a
// JSON Lines line's table comes from).
using JsonOrigin = std::vector<std::pair<std::string_view, std::string_view>>;
void appendJsonTable(std::string& out, const Table& table, bool grid, const JsonOrigin& origin);

// Appends one table as CSV records (CR LF after each, every record as long as
// the longest; a text with a comma, a quote or a line break is quoted).
void appendCsvTable(std::string& out, const Table& table, bool grid);

// The bytes appendJsonTable and appendCsvTable write for the table, from the
// measures of its caption and of its cells (numbered as TableGrid numbers
// them): what a result will hold, known before it is written.
std::uint64_t jsonTableBytes(const Table& table, const TextMeasure& caption,
                             const std::vector<TextMeasure>& cells, bool grid,
                             const JsonOrigin& origin = {});
std::uint64_t csvTableBytes(const Table& table, const std::vector<TextMeasure>& cells, bool grid);

// Where an export goes: one output for the document (JSON, JSON Lines) or one
// per table (CSV).
class ExportTarget {
public:
    virtual ~ExportTarget() = default;
    // Starts the next output: the document's, or table `index`'s.
    virtual PieceSink& open(std::size_t index) = 0;
    // The output opened last is complete.
    virtual void close() = 0;
};

// Writes the document's tables in the format to `target`. `source` is the
// path JSON Lines names. Throws what reading or writing throws.
void exportTables(const HtmlDocument& document, const ExportOptions& options,
                  std::string_view source, ExportTarget& target);

// Converts one HTML file. The results go to `outputPath`, for CSV to
// OUTPUT.N.csv beside it (OUTPUT being `outputPath` without its extension),
// each replaced whole or not at all; a page's CSV files are replaced as a set
// (once every table's is written, the new ones are put in place and those of
// tables the page no longer has, from OUTPUT.COUNT.csv to the first number
// without one, removed). With `lines` the JSON Lines are appended to it instead. Every failure goes
// to `reporter`, naming the path and the reason, and never reaches the caller.
void exportFile(const std::string& sourcePath, const std::string& outputPath,
                const ExportOptions& options, FailureReporter& reporter,
                std::string* lines = nullptr);

// The path of table `index`'s CSV file for the output path `outputPath`.
std::string csvTablePath(const std::string& outputPath, std::size_t index);

}  // namespace tabrivo
