#include <engine/data_export.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include <engine/atomic_file.h>
#include <engine/convert.h>
#include <engine/file_error.h>
#include <engine/utf8.h>

namespace tabrivo {

using namespace convert_step;

namespace {

void appendEscapedUtf8(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::size_t plainFrom = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte != '"' && byte != '\\') {
            continue;
        }
        out.append(text, plainFrom, i - plainFrom);
        plainFrom = i + 1;
        switch (byte) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += "\\u00";
                out += kHex[byte >> 4];
                out += kHex[byte & 0xF];
        }
    }
    out.append(text, plainFrom, text.size() - plainFrom);
}

// Calls `visit` with each row's texts: the cells' own, or with `grid`, the
// grid's slots.
template <typename Visit>
void forEachTextRow(const Table& table, const TableGrid* grid, Visit&& visit) {
    std::vector<std::string_view> texts;
    if (grid != nullptr) {
        texts.resize(grid->width());
        for (std::size_t y = 0; y < grid->height(); ++y) {
            for (std::size_t x = 0; x < grid->width(); ++x) {
                texts[x] = grid->textAt(y, x);
            }
            visit(texts);
        }
        return;
    }
    for (const TableRow& row : table.rows) {
        texts.clear();
        for (const TableCell& cell : row.cells) {
            texts.emplace_back(cell.text);
        }
        visit(texts);
    }
}

// The same with the texts' measures (`cells` numbered as the grid numbers them).
template <typename Visit>
void forEachMeasureRow(const Table& table, const std::vector<TextMeasure>& cells,
                       const TableGrid* grid, Visit&& visit) {
    std::vector<const TextMeasure*> row;
    if (grid != nullptr) {
        static const TextMeasure kEmpty;
        row.resize(grid->width());
        for (std::size_t y = 0; y < grid->height(); ++y) {
            for (std::size_t x = 0; x < grid->width(); ++x) {
                const std::uint32_t number = grid->cellNumberAt(y, x);
                row[x] = number == TableGrid::kEmpty ? &kEmpty : &cells[number];
            }
            visit(row);
        }
        return;
    }
    std::size_t number = 0;
    for (const TableRow& tableRow : table.rows) {
        row.clear();
        for (std::size_t i = 0; i < tableRow.cells.size(); ++i) {
            row.push_back(&cells[number++]);
        }
        visit(row);
    }
}

std::uint64_t decimalDigits(std::uint64_t value) {
    std::uint64_t digits = 1;
    for (; value >= 10; value /= 10) {
        ++digits;
    }
    return digits;
}

std::uint64_t jsonStringBytes(const TextMeasure& text) {
    return 2 + text.jsonBytes;
}

// The bytes writeJsonTable writes for the table, from its texts' measures.
std::uint64_t jsonBytesOf(const Table& table, const TextMeasure& caption,
                          const std::vector<TextMeasure>& cells, const TableGrid* grid,
                          const JsonOrigin& origin) {
    std::uint64_t bytes = 1;  // {
    for (const auto& [name, text] : origin) {
        bytes +=
            jsonStringBytes(TextMeasure::of(name)) + 1 + jsonStringBytes(TextMeasure::of(text)) + 1;
    }
    bytes += std::string_view("\"index\":").size() + decimalDigits(table.index);
    bytes += std::string_view(",\"caption\":").size() + jsonStringBytes(caption);
    bytes += std::string_view(",\"header_rows\":").size() + decimalDigits(headerRowCount(table));
    bytes += std::string_view(",\"rows\":[").size() + std::string_view("]}").size();
    bool firstRow = true;
    forEachMeasureRow(table, cells, grid, [&](const std::vector<const TextMeasure*>& row) {
        bytes +=
            (firstRow ? 1 : 2) + 1 + (row.empty() ? 0 : row.size() - 1);  // [ or ,[ ] and commas
        firstRow = false;
        for (const TextMeasure* text : row) {
            bytes += jsonStringBytes(*text);
        }
    });
    return bytes;
}

std::uint64_t csvFieldBytes(const TextMeasure& text) {
    return text.csvQuoted ? 2 + text.bytes + text.quotes : text.bytes;
}

// The width of the table's CSV records without a grid: its longest row.
std::size_t csvWidth(const Table& table, const TableGrid* grid) {
    std::size_t width = 0;
    if (grid == nullptr) {
        for (const TableRow& row : table.rows) {
            width = std::max(width, row.cells.size());
        }
    }
    return width;
}

// The bytes writeCsvTable writes for the table, from its texts' measures.
std::uint64_t csvBytesOf(const Table& table, const std::vector<TextMeasure>& cells,
                         const TableGrid* grid) {
    const std::size_t width = csvWidth(table, grid);
    std::uint64_t bytes = 0;
    forEachMeasureRow(table, cells, grid, [&](const std::vector<const TextMeasure*>& row) {
        const std::size_t fields = std::max(width, row.size());
        if (fields == 1 && (row.empty() || row[0]->bytes == 0)) {
            bytes += 4;  // "" CR LF
            return;
        }
        bytes += (fields - 1) + 2;  // the commas, CR LF
        for (const TextMeasure* text : row) {
            bytes += csvFieldBytes(*text);
        }
    });
    return bytes;
}

void appendCsvField(std::string& out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out.append(text);
        return;
    }
    out += '"';
    for (const char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    out += '"';
}

// Writes the table as appendJsonTable does; `rowDone` is called after each
// row, so that a large table goes on a piece at a time.
template <typename RowDone>
void writeJsonTable(std::string& out, const Table& table, const TableGrid* grid,
                    const JsonOrigin& origin, RowDone&& rowDone) {
    out += '{';
    for (const auto& [name, text] : origin) {
        appendJsonString(out, name);
        out += ':';
        appendJsonString(out, text);
        out += ',';
    }
    out += "\"index\":";
    out += std::to_string(table.index);
    out += ",\"caption\":";
    appendJsonString(out, table.caption);
    out += ",\"header_rows\":";
    out += std::to_string(headerRowCount(table));
    out += ",\"rows\":[";
    bool firstRow = true;
    forEachTextRow(table, grid, [&](const std::vector<std::string_view>& texts) {
        out += firstRow ? "[" : ",[";
        firstRow = false;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            if (i > 0) {
                out += ',';
            }
            appendJsonString(out, texts[i]);
        }
        out += ']';
        rowDone();
    });
    out += "]}";
}

// Writes the table as appendCsvTable does, calling `rowDone` after each row.
template <typename RowDone>
void writeCsvTable(std::string& out, const Table& table, const TableGrid* grid, RowDone&& rowDone) {
    const std::size_t width = csvWidth(table, grid);
    forEachTextRow(table, grid, [&](const std::vector<std::string_view>& texts) {
        const std::size_t fields = std::max(width, texts.size());
        if (fields == 1 && (texts.empty() || texts[0].empty())) {
            out += "\"\"\r\n";  // an empty line would read as a record of no fields
        } else {
            for (std::size_t i = 0; i < fields; ++i) {
                if (i > 0) {
                    out += ',';
                }
                if (i < texts.size()) {
                    appendCsvField(out, texts[i]);
                }
            }
            out += "\r\n";
        }
        rowDone();
    });
}

// A table's text goes on to its output in pieces of about this size.
constexpr std::size_t kPieceBytes = std::size_t{1} << 16;

// JSON and JSON Lines: one output for the whole document.
class JsonWriter : public WholeTableVisitor {
public:
    JsonWriter(const ExportOptions& options, std::string_view source, ExportTarget& target)
        : m_options(options), m_target(target) {
        if (options.format == DataFormat::kJsonLines) {
            m_origin.emplace_back("source", source);
        }
        m_size.reset(frameBytes());
    }

    bool foresee(const TableMeasure& measured) override {
        std::optional<TableGrid> grid;
        if (m_options.grid) {
            grid.emplace(measured.table);
        }
        m_size.add(
            tableBytes(measured.table, measured.caption, measured.cells, grid ? &*grid : nullptr));
        return true;
    }

    bool table(Table& table) override {
        std::optional<TableGrid> grid;
        if (m_options.grid) {
            grid.emplace(table);
        }
        if (!table.foreseen) {
            m_size.add(tableBytes(table, TextMeasure::of(table.caption), measureCells(table),
                                  grid ? &*grid : nullptr));
        }
        if (m_sink == nullptr) {
            m_sink = &m_target.open(0);
            m_sink->start(m_options.format == DataFormat::kJson ? "[\n" : "");
        }
        m_text.clear();
        if (m_options.format == DataFormat::kJson && table.index > 0) {
            m_text += ",\n";
        }
        writeJsonTable(m_text, table, grid ? &*grid : nullptr, m_origin, [&] {
            if (m_text.size() >= kPieceBytes) {
                m_sink->append(m_text);
                m_text.clear();
            }
        });
        if (m_options.format == DataFormat::kJsonLines) {
            m_text += '\n';
        }
        m_sink->append(m_text);
        return true;
    }

    bool restartTables() override {
        m_sink = nullptr;  // the next table starts the output afresh
        m_size.reset(frameBytes());
        return true;
    }

    void finish() {
        if (m_sink == nullptr) {
            m_sink = &m_target.open(0);
            m_sink->start(m_options.format == DataFormat::kJson ? "[]\n" : "");
        } else if (m_options.format == DataFormat::kJson) {
            m_sink->append("\n]\n");
        }
        m_target.close();
    }

private:
    // What the document's result holds besides its tables: "[" LF and LF "]" LF.
    std::uint64_t frameBytes() const { return m_options.format == DataFormat::kJson ? 5 : 0; }

    // A table's bytes with what goes between tables: "," LF before, or LF after a line.
    std::uint64_t tableBytes(const Table& table, const TextMeasure& caption,
                             const std::vector<TextMeasure>& cells, const TableGrid* grid) const {
        const bool lines = m_options.format == DataFormat::kJsonLines;
        return jsonBytesOf(table, caption, cells, grid, m_origin) + (lines             ? 1
                                                                     : table.index > 0 ? 2
                                                                                       : 0);
    }

    const ExportOptions& m_options;
    JsonOrigin m_origin;
    ExportTarget& m_target;
    PieceSink* m_sink = nullptr;
    std::string m_text;
    ResultSize m_size;  // the whole result's, the tables told of before they come included
};

class CsvWriter : public WholeTableVisitor {
public:
    CsvWriter(bool grid, ExportTarget& target) : m_grid(grid), m_target(target) {}

    bool foresee(const TableMeasure& measured) override {
        std::optional<TableGrid> grid;
        if (m_grid) {
            grid.emplace(measured.table);
        }
        m_size.add(csvBytesOf(measured.table, measured.cells, grid ? &*grid : nullptr));
        return true;
    }

    bool table(Table& table) override {
        std::optional<TableGrid> grid;
        if (m_grid) {
            grid.emplace(table);
        }
        if (!table.foreseen) {
            m_size.add(csvBytesOf(table, measureCells(table), grid ? &*grid : nullptr));
        }
        PieceSink& sink = m_target.open(table.index);
        m_text.clear();
        bool started = false;
        const auto hand = [&] {
            if (started) {
                sink.append(m_text);
            } else {
                sink.start(m_text);
                started = true;
            }
            m_text.clear();
        };
        writeCsvTable(m_text, table, grid ? &*grid : nullptr, [&] {
            if (m_text.size() >= kPieceBytes) {
                hand();
            }
        });
        hand();
        m_target.close();
        return true;
    }

    // Each table's file is written again, whole (see CsvFileSet::open).
    bool restartTables() override {
        m_size.reset();
        return true;
    }

private:
    bool m_grid;
    ExportTarget& m_target;
    std::string m_text;
    ResultSize m_size;  // of all the tables' files
};

// A page's CSV files, replaced as a set: each new file is written whole first,
// and only once every table's is complete are they put in place and the files
// of tables the page no longer has removed. A failure before leaves the
// earlier set as it was.
class CsvFileSet {
public:
    explicit CsvFileSet(const std::string& outputPath) : m_outputPath(outputPath) {}

    // Starts table `index`'s file. A table handed again (the walk started
    // over) replaces its file and drops the ones after it.
    PieceSink& open(std::size_t index) {
        m_files.resize(index);
        m_files.push_back(std::make_unique<TableFile>(csvTablePath(m_outputPath, index)));
        return *m_files.back();
    }

    // The file opened last is complete. Beyond the first few, each is closed
    // under a temporary name, so that a page of many tables needs no
    // descriptor and buffer for each.
    void close() {
        if (m_files.size() > kKeptOpen) {
            m_files.back()->file.park();
        }
    }

    void commit() {
        for (const std::unique_ptr<TableFile>& table : m_files) {
            if (table) {
                table->file.commit();
            }
        }
        removeFrom(m_files.size());
    }

private:
    struct TableFile : PieceSink {
        explicit TableFile(std::string path) : file(std::move(path)) {}
        void start(std::string_view piece) override { file.write(piece); }
        void append(std::string_view piece) override { file.write(piece); }
        AtomicOutputFile file;
    };

    // Removes the files of tables from `index` on, up to the first number
    // without one (a folder of that name ends them too, as no result is one).
    void removeFrom(std::size_t index) const {
        for (;; ++index) {
            const std::string path = csvTablePath(m_outputPath, index);
            struct stat info {};
            if (::lstat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
                return;
            }
            if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
                throwFileError(
                    errno,
                    "Cannot remove the output file of a table the page no longer has:", path);
            }
        }
    }

    static constexpr std::size_t kKeptOpen = 16;
    const std::string& m_outputPath;
    std::vector<std::unique_ptr<TableFile>> m_files;  // by table index
};

// Files replaced whole, or JSON Lines gathered in a text.
class FileTarget : public ExportTarget {
public:
    FileTarget(const HtmlDocument& document, const std::string& outputPath, DataFormat format,
               std::string* lines)
        : m_document(document), m_outputPath(outputPath), m_format(format), m_lines(lines) {
        if (m_lines == nullptr && m_format == DataFormat::kCsv) {
            m_csv.emplace(m_outputPath);
        }
    }

    PieceSink& open(std::size_t index) override {
        if (m_lines != nullptr) {
            return m_linesSink;
        }
        if (m_csv) {
            return m_csv->open(index);
        }
        m_file.emplace(m_outputPath);
        return *m_file;
    }

    void close() override {
        m_document.throwIfSourceFileChanged();  // what was read is kept only if whole
        if (m_lines != nullptr) {
            // Moved, not copied, into an empty text: the lines are held once.
            if (m_lines->empty()) {
                *m_lines = m_linesSink.take();
            } else {
                m_lines->append(m_linesSink.take());
            }
        } else if (m_csv) {
            m_csv->close();
        } else if (m_file) {
            m_file->commit();
            m_file.reset();
        }
    }

    // Every output is complete: a CSV set is put in place.
    void finish() {
        if (m_csv) {
            m_document.throwIfSourceFileChanged();
            m_csv->commit();
        }
    }

private:
    const HtmlDocument& m_document;
    const std::string& m_outputPath;
    DataFormat m_format;
    std::string* m_lines;
    StringSink m_linesSink;
    std::optional<AtomicFileSink> m_file;
    std::optional<CsvFileSet> m_csv;
};

}  // namespace

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    if (isValidUtf8(text)) {
        appendEscapedUtf8(out, text);
    } else {
        appendEscapedUtf8(out, repairUtf8(text));
    }
    out += '"';
}

void appendJsonTable(std::string& out, const Table& table, bool grid, std::string_view source) {
    appendJsonTable(out, table, grid,
                    source.empty() ? JsonOrigin{} : JsonOrigin{{"source", source}});
}

void appendJsonTable(std::string& out, const Table& table, bool grid, const JsonOrigin& origin) {
    std::optional<TableGrid> expanded;
    if (grid) {
        expanded.emplace(table);
    }
    writeJsonTable(out, table, expanded ? &*expanded : nullptr, origin, [] {});
}

void appendCsvTable(std::string& out, const Table& table, bool grid) {
    std::optional<TableGrid> expanded;
    if (grid) {
        expanded.emplace(table);
    }
    writeCsvTable(out, table, expanded ? &*expanded : nullptr, [] {});
}

std::uint64_t jsonTableBytes(const Table& table, const TextMeasure& caption,
                             const std::vector<TextMeasure>& cells, bool grid,
                             const JsonOrigin& origin) {
    std::optional<TableGrid> expanded;
    if (grid) {
        expanded.emplace(table);
    }
    return jsonBytesOf(table, caption, cells, expanded ? &*expanded : nullptr, origin);
}

std::uint64_t csvTableBytes(const Table& table, const std::vector<TextMeasure>& cells, bool grid) {
    std::optional<TableGrid> expanded;
    if (grid) {
        expanded.emplace(table);
    }
    return csvBytesOf(table, cells, expanded ? &*expanded : nullptr);
}

void exportTables(const HtmlDocument& document, const ExportOptions& options,
                  std::string_view source, ExportTarget& target) {
    if (options.format == DataFormat::kCsv) {
        CsvWriter writer(options.grid, target);
        readTables(document, writer, "\n");
        return;
    }
    JsonWriter writer(options, source, target);
    readTables(document, writer, "\n");
    writer.finish();
}

void exportFile(const std::string& sourcePath, const std::string& outputPath,
                const ExportOptions& options, FailureReporter& reporter, std::string* lines) {
    StepTrap trap(std::string(kConvertLocation), reporter);
    trap.setSubject(sourcePath);
    std::unique_ptr<HtmlDocument> document;
    if (!trap.run(kLoadDocument, [&] { document = loadHtmlDocument(sourcePath); })) {
        return;
    }
    trap.run(kWriteRowText, [&] {
        FileTarget target(*document, outputPath, options.format, lines);
        exportTables(*document, options, sourcePath, target);
        target.finish();
    });
}

std::string csvTablePath(const std::string& outputPath, std::size_t index) {
    const std::size_t slash = outputPath.rfind('/');
    const std::size_t dot = outputPath.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return outputPath.substr(0, hasExtension ? dot : outputPath.size()) + "." +
           std::to_string(index) + ".csv";
}

}  // namespace tabrivo
