#pragma once
// The tables of the web pages a WARC file holds: every HTML response and
// resource record, read with the charset its HTTP header declares.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <engine/table_model.h>
#include <warc/warc_reader.h>

namespace tabrivo {

struct WarcCounts {
    std::uint64_t seen = 0;
    std::uint64_t converted = 0;
    std::uint64_t failed = 0;
    std::map<std::string, std::uint64_t> skipped;  // by record type ("non-HTML response", ...)

    // "12 records: 4 converted, skipped 4 request, 4 warcinfo, 0 failed".
    std::string summary() const;
};

using WarcTablesVisit = std::function<void(const WarcRecord&, const std::vector<Table>&)>;
using WarcFailureVisit = std::function<void(const WarcFailure&)>;

// The pages of a WARC file with their tables, one at a time.
class WarcTableReader {
public:
    // Throws std::system_error when the file cannot be opened.
    explicit WarcTableReader(const std::string& path, std::string newline = "\n",
                             std::size_t recordLimit = WarcReader::kDefaultRecordLimit);

    // The next page's record and tables; false at the end. The records
    // passed over are counted, and each that failed goes to `onFailure`.
    bool next(WarcRecord& record, std::vector<Table>& tables, const WarcFailureVisit& onFailure);
    const WarcCounts& counts() const { return m_counts; }

private:
    WarcReader m_reader;
    std::string m_newline;
    WarcCounts m_counts;
};

// Reads every record of the file in order; the tables of each page go to
// `onTables` (with `newline` for a text's line breaks), each record that
// cannot be read or converted to `onFailure`. Throws std::system_error when
// the file cannot be opened or read.
WarcCounts readWarcTables(const std::string& path, const WarcTablesVisit& onTables,
                          const WarcFailureVisit& onFailure, std::string_view newline = "\n",
                          std::size_t recordLimit = WarcReader::kDefaultRecordLimit);

// One JSON Lines line per table, each naming the record it came from.
void appendWarcJsonLines(std::string& out, const WarcRecord& record,
                         const std::vector<Table>& tables, bool grid);

}  // namespace tabrivo
