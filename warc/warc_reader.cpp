#include <warc/warc_reader.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <vector>

#include <engine/ascii.h>
#include <engine/file_error.h>
#include <engine/unique_fd.h>

namespace tabrivo {
namespace {

constexpr std::size_t kBufferSize = std::size_t{256} * 1024;
constexpr std::size_t kMaxHeaderLine = std::size_t{64} * 1024;
constexpr std::size_t kMaxHeaderLines = 1000;
constexpr std::string_view kBlockEnd = "\r\n\r\n";

// A failure in the bytes themselves (a broken gzip member); the reader
// reports it and goes on after it.
struct DamagedInput : std::runtime_error {
    DamagedInput(const std::string& reason, std::uint64_t memberOffset)
        : std::runtime_error(reason), offset(memberOffset) {}
    std::uint64_t offset;  // where the damaged gzip member starts
};

bool isVersionLine(std::string_view line) {
    return line == "WARC/1.0" || line == "WARC/1.1";
}

std::string_view withoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    return line;
}

}  // namespace

// The file's bytes, decompressed when it is gzip compressed, with the offset
// in the file where the record at the current position starts. Bytes read
// may be put back to be read again.
class WarcReader::Input {
public:
    explicit Input(const std::string& path)
        : m_path(path), m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (!m_fd.valid()) {
            throwFileError(errno, "Cannot open the WARC file", path);
        }
        struct stat info {};
        m_seekable = ::fstat(m_fd.get(), &info) == 0 && S_ISREG(info.st_mode);
        fillInput();
        m_compressed = m_inLength >= 2 && static_cast<unsigned char>(m_in[0]) == 0x1F &&
                       static_cast<unsigned char>(m_in[1]) == 0x8B;
        if (m_compressed) {
            if (inflateInit2(&m_stream, 15 + 16) != Z_OK) {
                throw std::runtime_error("Cannot start decompressing \"" + path + "\"");
            }
            m_inflating = true;
        }
    }
    ~Input() {
        if (m_inflating) {
            inflateEnd(&m_stream);
        }
    }
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    bool compressed() const { return m_compressed; }
    // Whether the file can be read at any offset (a regular file, not a pipe).
    bool seekable() const { return m_seekable; }

    // Where the next byte's record starts: its gzip member, or the byte itself.
    std::uint64_t position() {
        if (replayLeft() > 0) {
            return m_compressed ? m_replayMember : m_plainOffset - replayLeft();
        }
        if (m_compressed) {
            fillOutput();
            return m_outPosition < m_outLength ? m_outMember : m_inOffset + m_inPosition;
        }
        return m_plainOffset;
    }

    // Whether every byte has been read.
    bool atEnd() { return replayLeft() == 0 && !available(); }

    // How many bytes come before the next one, decompressed.
    std::uint64_t streamPosition() const { return m_plainOffset - replayLeft(); }
    // The gzip member the last byte read came from (its offset).
    std::uint64_t lastMember() const { return m_lastMember; }

    // A line up to and including its LF (or the end of the file, or with
    // `endsWithMember` the end of its gzip member); false at the end. Longer
    // lines than `limit` are cut there.
    bool readLine(std::string& line, std::size_t limit, bool endsWithMember = false) {
        line.clear();
        while (line.size() < limit) {
            std::string_view piece = nextPiece();
            if (piece.empty()) {
                return !line.empty();
            }
            if (endsWithMember && !line.empty() && pieceMember() != m_lastMember) {
                return true;
            }
            piece = piece.substr(0, limit - line.size());
            const std::size_t lineFeed = piece.find('\n');
            if (lineFeed != std::string_view::npos) {
                piece = piece.substr(0, lineFeed + 1);
            }
            line.append(piece);
            consume(piece.size());
            if (lineFeed != std::string_view::npos) {
                return true;
            }
        }
        return true;
    }

    // Appends up to `count` bytes to `into` (or drops them when `into` is
    // null); returns how many there were. `withinMember` stops at the end of
    // the gzip member the last byte read came from.
    std::size_t read(std::string* into, std::size_t count, bool withinMember = false) {
        std::size_t done = 0;
        while (done < count) {
            const std::uint64_t member = m_lastMember;
            std::string_view piece = nextPiece();
            if (piece.empty() || (withinMember && m_compressed && pieceMember() != member)) {
                break;
            }
            piece = piece.substr(0, count - done);
            if (into != nullptr) {
                into->append(piece);
            }
            consume(piece.size());
            done += piece.size();
        }
        return done;
    }

    // The `count` bytes at `offset` of a plain file that can be read at any
    // offset, fewer at its end.
    std::string peek(std::uint64_t offset, std::size_t count) {
        if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) - count) {
            return {};  // past any file's end
        }
        std::string bytes(count, '\0');
        std::size_t got = 0;
        while (got < count) {
            const ssize_t result = ::pread(m_fd.get(), bytes.data() + got, count - got,
                                           static_cast<off_t>(offset + got));
            if (result < 0 && errno == EINTR) {
                continue;
            }
            if (result < 0) {
                throwFileError(errno, "Cannot read the WARC file", m_path);
            }
            if (result == 0) {
                break;
            }
            got += static_cast<std::size_t>(result);
        }
        bytes.resize(got);
        return bytes;
    }

    // Puts back the last bytes read, to be read again.
    void unread(std::string bytes) {
        if (replayLeft() > 0) {
            bytes.append(m_replay, m_replayPosition);
        }
        m_replay = std::move(bytes);
        m_replayPosition = 0;
        m_replayMember = m_lastMember;
    }

    // After damage in a compressed file: go on at the next gzip member after
    // the damaged one's start. The damage may show only in the bytes of the
    // members after it (a member cut short runs on into them), so they are
    // looked at again where they are still at hand.
    void skipToNextMember(std::uint64_t damagedMember) {
        m_replay.clear();
        m_replayPosition = 0;
        m_outPosition = m_outLength = 0;
        if (!m_compressed) {
            return;
        }
        inflateReset(&m_stream);
        m_memberOpen = false;
        const std::uint64_t from = damagedMember + 1;
        if (from >= m_inOffset && from <= m_inOffset + m_inLength) {
            m_inPosition = static_cast<std::size_t>(from - m_inOffset);
        } else if (m_seekable && from < m_inOffset + m_inPosition) {
            m_inOffset = from;  // read again from there
            m_inPosition = m_inLength = 0;
        }
        for (;;) {
            for (std::size_t i = m_inPosition; i + 2 < m_inLength; ++i) {
                if (static_cast<unsigned char>(m_in[i]) == 0x1F &&
                    static_cast<unsigned char>(m_in[i + 1]) == 0x8B && m_in[i + 2] == 8) {
                    m_inPosition = i;
                    m_memberStart = m_inOffset + i;
                    m_memberOpen = false;
                    return;
                }
            }
            // Keep the last two bytes: a magic may straddle the refill.
            const std::size_t kept = m_inLength - m_inPosition >= 2 ? 2 : m_inLength - m_inPosition;
            m_inPosition = m_inLength - kept;
            if (!fillInput()) {
                m_inPosition = m_inLength;
                return;
            }
        }
    }

private:
    std::size_t replayLeft() const { return m_replay.size() - m_replayPosition; }

    // The bytes that are read next, without taking them: the put back bytes
    // first; empty at the end of the file.
    std::string_view nextPiece() {
        if (replayLeft() > 0) {
            return std::string_view(m_replay).substr(m_replayPosition);
        }
        if (!available()) {
            return {};
        }
        return {m_out.data() + m_outPosition, m_outLength - m_outPosition};
    }

    // The gzip member the bytes of nextPiece() come from.
    std::uint64_t pieceMember() const { return replayLeft() > 0 ? m_replayMember : m_outMember; }

    void consume(std::size_t count) {
        m_lastMember = pieceMember();
        if (replayLeft() > 0) {
            m_replayPosition += count;
            if (replayLeft() == 0) {
                std::string().swap(m_replay);
                m_replayPosition = 0;
            }
            return;  // the replayed bytes were counted when first read
        }
        m_outPosition += count;
        m_plainOffset += count;
    }

    bool available() {
        if (m_outPosition < m_outLength) {
            return true;
        }
        fillOutput();
        return m_outPosition < m_outLength;
    }

    // Moves unread input to the front and reads more; false at the end of the file.
    bool fillInput() {
        if (m_inPosition > 0) {
            std::copy(m_in.begin() + static_cast<std::ptrdiff_t>(m_inPosition),
                      m_in.begin() + static_cast<std::ptrdiff_t>(m_inLength), m_in.begin());
            m_inOffset += m_inPosition;
            m_inLength -= m_inPosition;
            m_inPosition = 0;
        }
        for (;;) {
            char* const into = m_in.data() + m_inLength;
            const std::size_t room = m_in.size() - m_inLength;
            // A file that can be read at any offset is, so that bytes can be read again.
            const ssize_t got = m_seekable ? ::pread(m_fd.get(), into, room,
                                                     static_cast<off_t>(m_inOffset + m_inLength))
                                           : ::read(m_fd.get(), into, room);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                throwFileError(errno, "Cannot read the WARC file", m_path);
            }
            m_inLength += static_cast<std::size_t>(got);
            return got > 0;
        }
    }

    void fillOutput() {
        if (m_outPosition < m_outLength) {
            return;
        }
        m_outPosition = m_outLength = 0;
        if (!m_compressed) {
            if (m_inPosition == m_inLength && !fillInput()) {
                return;
            }
            const std::size_t take = std::min(m_out.size(), m_inLength - m_inPosition);
            std::copy_n(m_in.begin() + static_cast<std::ptrdiff_t>(m_inPosition), take,
                        m_out.begin());
            m_inPosition += take;
            m_outLength = take;
            return;
        }
        while (m_outLength == 0) {
            if (m_inPosition == m_inLength && !fillInput()) {
                if (m_memberOpen) {
                    m_memberOpen = false;
                    throw DamagedInput("the gzip member is truncated", m_memberStart);
                }
                return;  // the end of the file, between members
            }
            if (!m_memberOpen) {
                m_memberStart = m_inOffset + m_inPosition;
                m_memberOpen = true;
            }
            m_stream.next_in = reinterpret_cast<Bytef*>(m_in.data() + m_inPosition);
            m_stream.avail_in = static_cast<uInt>(m_inLength - m_inPosition);
            m_stream.next_out = reinterpret_cast<Bytef*>(m_out.data());
            m_stream.avail_out = static_cast<uInt>(m_out.size());
            const int result = inflate(&m_stream, Z_NO_FLUSH);
            m_inPosition = m_inLength - m_stream.avail_in;
            m_outLength = m_out.size() - m_stream.avail_out;
            m_outMember = m_memberStart;
            if (result == Z_STREAM_END) {
                inflateReset(&m_stream);
                m_memberOpen = false;
            } else if (result != Z_OK && result != Z_BUF_ERROR) {
                m_memberOpen = false;
                throw DamagedInput(std::string("the gzip member is damaged (") +
                                       (m_stream.msg != nullptr ? m_stream.msg : "bad data") + ")",
                                   m_memberStart);
            }
        }
    }

    std::string m_path;
    UniqueFd m_fd;
    bool m_seekable = false;
    bool m_compressed = false;
    bool m_inflating = false;
    z_stream m_stream{};
    std::vector<char> m_in = std::vector<char>(kBufferSize);
    std::size_t m_inPosition = 0;
    std::size_t m_inLength = 0;
    std::uint64_t m_inOffset = 0;  // the file offset of m_in[0]
    std::vector<char> m_out = std::vector<char>(kBufferSize);
    std::size_t m_outPosition = 0;
    std::size_t m_outLength = 0;
    std::uint64_t m_outMember = 0;    // the member the bytes in m_out came from
    std::uint64_t m_plainOffset = 0;  // bytes handed out so far, put back ones once
    std::uint64_t m_memberStart = 0;
    bool m_memberOpen = false;
    std::uint64_t m_lastMember = 0;  // the member the last byte handed out came from
    std::string m_replay;            // bytes put back, read before m_out
    std::size_t m_replayPosition = 0;
    std::uint64_t m_replayMember = 0;  // the member the put back bytes came from
};

WarcReader::WarcReader(const std::string& path, std::size_t recordLimit)
    : m_input(std::make_unique<Input>(path)), m_recordLimit(recordLimit) {}

WarcReader::~WarcReader() = default;

void WarcReader::resync() {
    std::string line;
    for (;;) {
        try {
            const std::uint64_t at = m_input->position();
            if (!m_input->readLine(line, kMaxHeaderLine, true)) {
                return;
            }
            if (isVersionLine(withoutLineEnd(line))) {
                m_pendingVersionAt = at;
                return;
            }
        } catch (const DamagedInput& damage) {
            m_input->skipToNextMember(damage.offset);
        }
    }
}

WarcReader::Outcome WarcReader::next(WarcRecord& record, WarcFailure& failure) {
    if (m_pendingFailure) {
        failure = std::move(*m_pendingFailure);
        m_pendingFailure.reset();
        return Outcome::Failure;
    }
    try {
        return readRecord(record, failure);
    } catch (const DamagedInput& damage) {
        failure = {damage.offset, damage.what()};
        m_input->skipToNextMember(damage.offset);
        resync();
        return Outcome::Failure;
    }
}

WarcReader::Outcome WarcReader::readRecord(WarcRecord& record, WarcFailure& failure) {
    std::uint64_t offset = 0;
    std::string line;
    if (m_pendingVersionAt) {
        offset = *m_pendingVersionAt;
        m_pendingVersionAt.reset();
    } else {
        // Records are separated by empty lines.
        do {
            offset = m_input->position();
            if (!m_input->readLine(line, kMaxHeaderLine, true)) {
                return Outcome::End;
            }
        } while (withoutLineEnd(line).empty());
        if (!isVersionLine(withoutLineEnd(line))) {
            failure = {offset, "expected a WARC/1.0 or WARC/1.1 record, found \"" +
                                   std::string(withoutLineEnd(line).substr(0, 40)) + "\""};
            resync();
            return Outcome::Failure;
        }
    }
    record = WarcRecord{};
    record.offset = offset;
    std::optional<std::uint64_t> length;
    for (std::size_t count = 0;; ++count) {
        if (count == kMaxHeaderLines || !m_input->readLine(line, kMaxHeaderLine)) {
            failure = {offset, "the record's header does not end"};
            resync();
            return Outcome::Failure;
        }
        const std::string_view field = withoutLineEnd(line);
        if (field.empty()) {
            break;
        }
        const std::size_t colon = field.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string name = ascii::toLower(ascii::trim(field.substr(0, colon)));
        const std::string_view value = ascii::trim(field.substr(colon + 1));
        if (name == "content-length") {
            std::uint64_t parsed = 0;
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), parsed);
            if (error != std::errc() || end != value.data() + value.size()) {
                failure = {offset, "the record's Content-Length is not a number"};
                resync();
                return Outcome::Failure;
            }
            length = parsed;
        } else if (name == "warc-type") {
            record.type = ascii::toLower(value);
        } else if (name == "warc-target-uri") {
            // WARC 1.0 writers put the address between angle brackets.
            const bool bracketed = value.size() >= 2 && value.front() == '<' && value.back() == '>';
            record.targetUri = bracketed ? value.substr(1, value.size() - 2) : value;
        } else if (name == "warc-record-id") {
            record.recordId = value;
        } else if (name == "warc-date") {
            record.date = value;
        } else if (name == "content-type") {
            record.contentType = value;
        }
    }
    if (!length) {
        failure = {offset, "the record has no Content-Length"};
        resync();
        return Outcome::Failure;
    }
    return readBlock(record, *length, failure);
}

WarcReader::Outcome WarcReader::readBlock(WarcRecord& record, std::uint64_t length,
                                          WarcFailure& failure) {
    const bool held = length <= m_recordLimit;
    const bool compressed = m_input->compressed();
    if (!compressed && m_input->seekable()) {
        // The block must be followed by CR LF CR LF where its length says it
        // ends; that is looked at first, so that a wrong length reads nothing.
        const std::string end = m_input->peek(m_input->position() + length, kBlockEnd.size());
        if (end != kBlockEnd) {
            resync();
            return lengthIsWrong(record, length, end.size() < kBlockEnd.size(), failure);
        }
        if (held) {
            record.block.reserve(length);
        }
        if (m_input->read(held ? &record.block : nullptr, length) != length) {
            failure = {record.offset, "the file ends inside the record (its Content-Length is " +
                                          std::to_string(length) + ")"};
            return Outcome::Failure;
        }
        m_input->read(nullptr, kBlockEnd.size());
        return held ? Outcome::Record : tooLarge(record, length, failure);
    }
    // Where the data of the block's member ends, when that is known already,
    // tells a length that is too long without reading the block again.
    if (m_knownEnd && m_knownEnd->member == m_input->lastMember() &&
        m_input->streamPosition() + length > m_knownEnd->at) {
        resync();
        return lengthIsWrong(record, length, true, failure);
    }
    if (held) {
        // In a compressed file a block ends in the gzip member it began in;
        // the end of the member may stand for the CR LF CR LF after it.
        record.block.reserve(length);
        const std::size_t got = m_input->read(&record.block, length, compressed);
        if (got < length) {
            m_knownEnd = KnownEnd{m_input->lastMember(), m_input->streamPosition()};
        }
        std::string end;
        if (got == length) {
            m_input->read(&end, kBlockEnd.size(), compressed);
            if (compressed ? kBlockEnd.starts_with(end) : end == kBlockEnd) {
                return Outcome::Record;
            }
        }
        // The next record header is looked for from where the block began.
        record.block += end;
        m_input->unread(std::move(record.block));
        resync();
        return lengthIsWrong(record, length, got < length || end.size() < kBlockEnd.size(),
                             failure);
    }
    // Larger than a record may hold, and the bytes cannot be looked at twice:
    // they are dropped, but a record header at a line start among them means
    // the length is wrong, and reading goes on there.
    std::uint64_t left = length;
    std::string line;
    while (left > 0) {
        const std::uint64_t at = m_input->position();
        if (!m_input->readLine(
                line, static_cast<std::size_t>(std::min<std::uint64_t>(left, kMaxHeaderLine)),
                true)) {
            m_knownEnd = KnownEnd{m_input->lastMember(), m_input->streamPosition()};
            return lengthIsWrong(record, length, true, failure);
        }
        left -= line.size();
        if (line.ends_with('\n') && isVersionLine(withoutLineEnd(line))) {
            m_pendingVersionAt = at;
            return lengthIsWrong(record, length, false, failure);
        }
    }
    std::string end;
    m_input->read(&end, kBlockEnd.size(), compressed);
    if (compressed ? kBlockEnd.starts_with(end) : end == kBlockEnd) {
        return tooLarge(record, length, failure);
    }
    resync();
    return lengthIsWrong(record, length, end.size() < kBlockEnd.size(), failure);
}

WarcReader::Outcome WarcReader::tooLarge(const WarcRecord& record, std::uint64_t length,
                                         WarcFailure& failure) const {
    failure = {record.offset, "the record holds " + std::to_string(length) +
                                  " bytes, more than the " + std::to_string(m_recordLimit) +
                                  " a record may hold"};
    return Outcome::Failure;
}

WarcReader::Outcome WarcReader::lengthIsWrong(const WarcRecord& record, std::uint64_t length,
                                              bool endedEarly, WarcFailure& failure) {
    std::uint64_t resumesAt = 0;
    bool nothingAfter = false;
    if (m_pendingVersionAt) {
        resumesAt = *m_pendingVersionAt;
    } else {
        try {
            nothingAfter = m_input->atEnd();
            resumesAt = m_input->position();
        } catch (const DamagedInput& damage) {
            resumesAt = damage.offset;
            m_pendingFailure = WarcFailure{damage.offset, damage.what()};
            m_input->skipToNextMember(damage.offset);
            resync();
        }
    }
    if (endedEarly && nothingAfter) {
        failure = {record.offset, "the file ends inside the record (its Content-Length is " +
                                      std::to_string(length) + ")"};
    } else if (resumesAt == record.offset) {
        // A file compressed as one gzip stream: its records have no offsets of their own.
        failure = {record.offset, "the record's Content-Length (" + std::to_string(length) +
                                      ") does not match its content; reading went on at the "
                                      "next record header in the same gzip member"};
    } else {
        failure = {record.offset, "the record's Content-Length (" + std::to_string(length) +
                                      ") does not match its content; offsets " +
                                      std::to_string(record.offset) + " to " +
                                      std::to_string(resumesAt) + " were passed over"};
    }
    return Outcome::Failure;
}

}  // namespace tabrivo
