#pragma once
// The tables of the web pages a WARC file holds: every HTML response and
// resource record, its body decoded as its HTTP header says (chunked,
// gzip, deflate, br), read with the charset that header declares.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <engine/table_model.h>
#include <warc/warc_reader.h>

namespace tabrivo {

struct WarcCounts {
    std::uint64_t seen = 0;
    std::uint64_t converted = 0;
    // Of those converted, the responses whose HTTP status is not 2xx (error
    // pages, redirects): converted, and marked apart.
    std::uint64_t convertedNot2xx = 0;
    std::uint64_t failed = 0;
    std::map<std::string, std::uint64_t> skipped;  // by record type ("non-HTML response", ...)

    // "12 records: 4 converted (1 with an HTTP status other than 2xx),
    // skipped 4 request, 4 warcinfo, 0 failed"; the part in brackets only
    // when there are such responses.
    std::string summary() const;
};

// A page a WARC file holds.
struct WarcPage {
    WarcRecord record;  // its block let go once the page is read
    // The HTTP status of a response record; none for a resource record,
    // which holds no HTTP response.
    std::optional<int> httpStatus;
    std::vector<Table> tables;
};

using WarcPageVisit = std::function<void(const WarcPage&)>;
using WarcFailureVisit = std::function<void(const WarcFailure&)>;

// The pages of a WARC file with their tables, one at a time.
class WarcTableReader {
public:
    // Throws std::system_error when the file cannot be opened.
    explicit WarcTableReader(const std::string& path, std::string newline = "\n",
                             std::size_t recordLimit = WarcReader::kDefaultRecordLimit);

    // The next page; false at the end. The records passed over are counted,
    // and each that failed goes to `onFailure`: one that cannot be read, an
    // HTTP response whose header is malformed or whose body cannot be decoded
    // (an unknown coding, damaged data, more than `recordLimit` bytes once decoded).
    bool next(WarcPage& page, const WarcFailureVisit& onFailure);
    const WarcCounts& counts() const { return m_counts; }

private:
    WarcReader m_reader;
    std::string m_newline;
    std::size_t m_recordLimit;
    WarcCounts m_counts;
};

// Reads every record of the file in order; each page goes to `onPage` (with
// `newline` for a text's line breaks), each record that cannot be read or
// converted to `onFailure`. Throws std::system_error when the file cannot be
// opened or read.
WarcCounts readWarcTables(const std::string& path, const WarcPageVisit& onPage,
                          const WarcFailureVisit& onFailure, std::string_view newline = "\n",
                          std::size_t recordLimit = WarcReader::kDefaultRecordLimit);

// One JSON Lines line per table, each naming the record it came from and the
// page's HTTP status ("status", null for a resource record).
void appendWarcJsonLines(std::string& out, const WarcPage& page, bool grid);

}  // namespace tabrivo
