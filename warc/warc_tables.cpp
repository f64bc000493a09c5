#include <warc/warc_tables.h>

#include <exception>
#include <new>

#include <engine/data_export.h>
#include <engine/encoding.h>
#include <engine/html_document.h>
#include <warc/content_coding.h>
#include <warc/http_response.h>

namespace tabrivo {
namespace {

// What a record holds, as far as its tables go.
struct PageContent {
    std::string page;
    std::string charset;
    std::optional<int> httpStatus;
    std::string skippedAs;  // the reason it holds no HTML page, counted as skipped
    std::string failure;    // the reason it could not be read
};

// The page a record holds, its body decoded, and the charset it came with.
// The record's block is let go once the page is taken out of it.
PageContent pageOf(WarcRecord& record, std::size_t decodedLimit) {
    PageContent content;
    if (record.type == "response") {
        std::optional<HttpResponse> response = parseHttpResponse(record.block);
        std::string().swap(record.block);
        if (!response) {
            content.failure = "the HTTP response's header is malformed";
            return content;
        }
        if (!isHtmlMediaType(response->mediaType)) {
            content.skippedAs = "non-HTML response";
            return content;
        }
        content.failure = undoCodings(response->body, response->codings, decodedLimit);
        content.page = std::move(response->body);
        content.charset = std::move(response->charset);
        content.httpStatus = response->status;
        return content;
    }
    if (record.type == "resource") {
        std::string mediaType;
        parseContentType(record.contentType, mediaType, content.charset);
        if (!isHtmlMediaType(mediaType)) {
            content.skippedAs = "non-HTML resource";
            return content;
        }
        content.page = std::move(record.block);
        return content;
    }
    content.skippedAs = record.type.empty() ? std::string("untyped") : record.type;
    return content;
}

bool is2xx(int status) {
    return status >= 200 && status <= 299;
}

}  // namespace

std::string WarcCounts::summary() const {
    std::string text = std::to_string(seen) + (seen == 1 ? " record: " : " records: ") +
                       std::to_string(converted) + " converted";
    if (convertedNot2xx > 0) {
        text += " (" + std::to_string(convertedNot2xx) + " with an HTTP status other than 2xx)";
    }
    text += ", ";
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
    : m_reader(path, recordLimit), m_newline(std::move(newline)), m_recordLimit(recordLimit) {}

bool WarcTableReader::next(WarcPage& page, const WarcFailureVisit& onFailure) {
    WarcFailure failure;
    for (;;) {
        const WarcReader::Outcome outcome = m_reader.next(page.record, failure);
        if (outcome == WarcReader::Outcome::End) {
            return false;
        }
        ++m_counts.seen;
        if (outcome == WarcReader::Outcome::Failure) {
            ++m_counts.failed;
            onFailure(failure);
            continue;
        }
        PageContent content = pageOf(page.record, m_recordLimit);
        if (!content.failure.empty()) {
            ++m_counts.failed;
            onFailure({page.record.offset, content.failure});
            continue;
        }
        if (!content.skippedAs.empty()) {
            ++m_counts.skipped[content.skippedAs];
            continue;
        }
        try {
            const auto document =
                HtmlDocument::parse(htmlBytesToUtf8(content.page, content.charset));
            page.tables = readAllTables(*document, m_newline);
            page.httpStatus = content.httpStatus;
            ++m_counts.converted;
            if (page.httpStatus && !is2xx(*page.httpStatus)) {
                ++m_counts.convertedNot2xx;
            }
            return true;
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& error) {
            ++m_counts.failed;
            onFailure({page.record.offset, error.what()});
        }
    }
}

WarcCounts readWarcTables(const std::string& path, const WarcPageVisit& onPage,
                          const WarcFailureVisit& onFailure, std::string_view newline,
                          std::size_t recordLimit) {
    WarcTableReader reader(path, std::string(newline), recordLimit);
    WarcPage page;
    while (reader.next(page, onFailure)) {
        onPage(page);
    }
    return reader.counts();
}

void appendWarcJsonLines(std::string& out, const WarcPage& page, bool grid) {
    // The record's members and the status stand before the table's own.
    std::string head = "{\"uri\":";
    appendJsonString(head, page.record.targetUri);
    head += ",\"record\":";
    appendJsonString(head, page.record.recordId);
    head += ",\"date\":";
    appendJsonString(head, page.record.date);
    head += ",\"status\":";
    head += page.httpStatus ? std::to_string(*page.httpStatus) : std::string("null");
    head += ',';
    for (const Table& table : page.tables) {
        const std::size_t start = out.size();
        appendJsonTable(out, table, grid, JsonOrigin{});
        out.replace(start, 1, head);  // in place of the table's opening brace
        out += '\n';
    }
}

}  // namespace tabrivo
