#pragma once
// Reads the records of a WARC file (versions 1.0 and 1.1), plain or gzip
// compressed record by record, one at a time: memory follows the largest
// record, never the file. A record that cannot be read is reported with its
// offset and the reason, and reading goes on with the next one. A record
// whose Content-Length is wrong loses no record after it: reading goes on at
// the next record header ("WARC/1.0" or "WARC/1.1" at a line start, where
// the start of a gzip member is a line start), and the span passed over is
// reported. In a gzip file a record's block ends in the member it began in.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tabrivo {

struct WarcRecord {
    std::uint64_t offset = 0;  // where the record starts in the file (its gzip member's start)
    std::string type;          // WARC-Type: response, resource, request, ...
    std::string targetUri;     // WARC-Target-URI
    std::string recordId;      // WARC-Record-ID
    std::string date;          // WARC-Date
    std::string contentType;   // the Content-Type of the block
    std::string block;         // the record's content block
};

struct WarcFailure {
    std::uint64_t offset = 0;
    std::string reason;
};

class WarcReader {
public:
    enum class Outcome { Record, Failure, End };

    // Records larger than this are reported and skipped, not held in memory.
    static constexpr std::size_t kDefaultRecordLimit = std::size_t{512} * 1024 * 1024;

    // Opens the file; a name ending in ".gz" or gzip's magic bytes mean a
    // compressed file. Throws std::system_error naming the path.
    explicit WarcReader(const std::string& path, std::size_t recordLimit = kDefaultRecordLimit);
    ~WarcReader();
    WarcReader(const WarcReader&) = delete;
    WarcReader& operator=(const WarcReader&) = delete;

    // Reads the next record into `record`, or describes why the next one
    // could not be read in `failure`; End once the file is read whole.
    Outcome next(WarcRecord& record, WarcFailure& failure);

private:
    class Input;
    Outcome readRecord(WarcRecord& record, WarcFailure& failure);
    Outcome readBlock(WarcRecord& record, std::uint64_t length, WarcFailure& failure);
    Outcome tooLarge(const WarcRecord& record, std::uint64_t length, WarcFailure& failure) const;
    // Reports a wrong Content-Length once reading has been moved on past the
    // record, with the span of the file passed over.
    Outcome lengthIsWrong(const WarcRecord& record, std::uint64_t length, bool endedEarly,
                          WarcFailure& failure);
    // Reads on to the next version line after damage; the record that starts
    // there is read by the next call.
    void resync();

    std::unique_ptr<Input> m_input;
    std::size_t m_recordLimit;
    std::optional<std::uint64_t> m_pendingVersionAt;
    // Where the data of a gzip member (or of a file read once) was found to
    // end, as a position in the decompressed data, once a block ran past it.
    struct KnownEnd {
        std::uint64_t member = 0;
        std::uint64_t at = 0;
    };
    std::optional<KnownEnd> m_knownEnd;
    // Damage met while looking for where a failure's span ends, reported by the next call.
    std::optional<WarcFailure> m_pendingFailure;
};

}  // namespace tabrivo
