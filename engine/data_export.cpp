#include <engine/data_export.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <stdexcept>

#include <engine/convert.h>
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

// Calls `visit` with each row's texts: the cells' own, or the grid's slots.
template <typename Visit>
void forEachTextRow(const Table& table, bool grid, Visit&& visit) {
    std::vector<std::string_view> texts;
    if (grid) {
        const TableGrid expanded(table);
        texts.resize(expanded.width());
        for (std::size_t y = 0; y < expanded.height(); ++y) {
            for (std::size_t x = 0; x < expanded.width(); ++x) {
                texts[x] = expanded.textAt(y, x);
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

// JSON and JSON Lines: one output for the whole document.
class JsonWriter : public WholeTableVisitor {
public:
    JsonWriter(const ExportOptions& options, std::string_view source, ExportTarget& target)
        : m_options(options), m_source(source), m_target(target) {}

    bool table(Table& table) override {
        if (m_sink == nullptr) {
            m_sink = &m_target.open(0);
            m_sink->start(m_options.format == DataFormat::kJson ? "[\n" : "");
        }
        m_text.clear();
        if (m_options.format == DataFormat::kJson && table.index > 0) {
            m_text += ",\n";
        }
        appendJsonTable(m_text, table, m_options.grid,
                        m_options.format == DataFormat::kJsonLines ? m_source : "");
        if (m_options.format == DataFormat::kJsonLines) {
            m_text += '\n';
        }
        m_sink->append(m_text);
        return true;
    }

    bool restartTables() override {
        m_sink = nullptr;  // the next table starts the output afresh
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
    const ExportOptions& m_options;
    std::string_view m_source;
    ExportTarget& m_target;
    PieceSink* m_sink = nullptr;
    std::string m_text;
};

class CsvWriter : public WholeTableVisitor {
public:
    CsvWriter(bool grid, ExportTarget& target) : m_grid(grid), m_target(target) {}

    bool table(Table& table) override {
        m_text.clear();
        appendCsvTable(m_text, table, m_grid);
        m_target.open(table.index).start(m_text);
        m_target.close();
        return true;
    }

    // Each table's file is written again, whole.
    bool restartTables() override { return true; }

private:
    bool m_grid;
    ExportTarget& m_target;
    std::string m_text;
};

// Files replaced whole, or JSON Lines gathered in a text.
class FileTarget : public ExportTarget {
public:
    FileTarget(const HtmlDocument& document, const std::string& outputPath, DataFormat format,
               std::string* lines)
        : m_document(document), m_outputPath(outputPath), m_format(format), m_lines(lines) {}

    PieceSink& open(std::size_t index) override {
        if (m_lines != nullptr) {
            return m_linesSink;
        }
        m_file.emplace(m_format == DataFormat::kCsv ? csvTablePath(m_outputPath, index)
                                                    : m_outputPath);
        return *m_file;
    }

    void close() override {
        m_document.throwIfSourceFileChanged();  // what was read is kept only if whole
        if (m_lines != nullptr) {
            m_lines->append(m_linesSink.take());
        } else if (m_file) {
            m_file->commit();
            m_file.reset();
        }
    }

private:
    const HtmlDocument& m_document;
    const std::string& m_outputPath;
    DataFormat m_format;
    std::string* m_lines;
    StringSink m_linesSink;
    std::optional<AtomicFileSink> m_file;
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
    });
    out += "]}";
}

void appendCsvTable(std::string& out, const Table& table, bool grid) {
    std::size_t width = 0;
    if (!grid) {
        for (const TableRow& row : table.rows) {
            width = std::max(width, row.cells.size());
        }
    }
    forEachTextRow(table, grid, [&](const std::vector<std::string_view>& texts) {
        const std::size_t fields = std::max(width, texts.size());
        if (fields == 1 && (texts.empty() || texts[0].empty())) {
            out += "\"\"\r\n";  // an empty line would read as a record of no fields
            return;
        }
        for (std::size_t i = 0; i < fields; ++i) {
            if (i > 0) {
                out += ',';
            }
            if (i < texts.size()) {
                appendCsvField(out, texts[i]);
            }
        }
        out += "\r\n";
    });
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
        try {
            exportTables(*document, options, sourcePath, target);
        } catch (const std::length_error& tooLarge) {
            throw std::length_error(std::string(tooLarge.what()) + ", in \"" + sourcePath + "\"");
        }
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
