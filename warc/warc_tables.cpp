#include <warc/warc_tables.h>

#include <exception>

#include <engine/data_export.h>
#include <engine/encoding.h>
#include <engine/html_document.h>
#include <warc/http_response.h>

namespace tabrivo {
namespace {

// The page a record holds and the charset it came with; false (with the
// reason) when the record holds no HTML page.
bool pageOf(const WarcRecord& record, std::string& page, std::string& charset,
            std::string& skippedAs, std::string& failure) {
    if (record.type == "response") {
        std::optional<HttpResponse> response = parseHttpResponse(record.block);
        if (!response) {
            failure = "the HTTP response's header is malformed";
            return false;
        }
        if (!isHtmlMediaType(response->mediaType)) {
            skippedAs = "non-HTML response";
            return false;
        }
        page = std::move(response->body);
        charset = std::move(response->charset);
        return true;
    }
    if (record.type == "resource") {
        std::string mediaType;
        parseContentType(record.contentType, mediaType, charset);
        if (!isHtmlMediaType(mediaType)) {
            skippedAs = "non-HTML resource";
            return false;
        }
        page = record.block;
        return true;
    }
    skippedAs = record.type.empty() ? std::string("untyped") : record.type;
    return false;
}

}  // namespace

std::string WarcCounts::summary() const {
    std::string text = std::to_string(seen) + (seen == 1 ? " record: " : " records: ") +
                       std::to_string(converted) + " converted, ";
    if (!skipped.empty()) {
        text += "skipped";
        const char* separator = " ";
        for (const auto& [type, count] : skipped) {
            text.append(separator).append(std::to_string(count)).append(" ").append(type);
            separator = ", ";
        }
        text += ", ";
    }
    return text + std::to_string(failed) + " failed";
}

WarcTableReader::WarcTableReader(const std::string& path, std::string newline,
                                 std::size_t recordLimit)
    : m_reader(path, recordLimit), m_newline(std::move(newline)) {}

bool WarcTableReader::next(WarcRecord& record, std::vector<Table>& tables,
                           const WarcFailureVisit& onFailure) {
    WarcFailure failure;
    for (;;) {
        const WarcReader::Outcome outcome = m_reader.next(record, failure);
        if (outcome == WarcReader::Outcome::End) {
            return false;
        }
        ++m_counts.seen;
        if (outcome == WarcReader::Outcome::Failure) {
            ++m_counts.failed;
            onFailure(failure);
            continue;
        }
        std::string page;
        std::string charset;
        std::string skippedAs;
        std::string reason;
        if (!pageOf(record, page, charset, skippedAs, reason)) {
            if (!reason.empty()) {
                ++m_counts.failed;
                onFailure({record.offset, reason});
            } else {
                ++m_counts.skipped[skippedAs];
            }
            continue;
        }
        try {
            const auto document = HtmlDocument::parse(htmlBytesToUtf8(page, charset));
            tables = readAllTables(*document, m_newline);
            ++m_counts.converted;
            return true;
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& error) {
            ++m_counts.failed;
            onFailure({record.offset, error.what()});
        }
    }
}

WarcCounts readWarcTables(const std::string& path, const WarcTablesVisit& onTables,
                          const WarcFailureVisit& onFailure, std::string_view newline,
                          std::size_t recordLimit) {
    WarcTableReader reader(path, std::string(newline), recordLimit);
    WarcRecord record;
    std::vector<Table> tables;
    while (reader.next(record, tables, onFailure)) {
        onTables(record, tables);
    }
    return reader.counts();
}

void appendWarcJsonLines(std::string& out, const WarcRecord& record,
                         const std::vector<Table>& tables, bool grid) {
    const JsonOrigin origin = {
        {"uri", record.targetUri}, {"record", record.recordId}, {"date", record.date}};
    for (const Table& table : tables) {
        appendJsonTable(out, table, grid, origin);
        out += '\n';
    }
}

}  // namespace tabrivo
