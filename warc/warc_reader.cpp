#include <warc/warc_reader.h>

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
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
// in the file where the record at the current position starts.
class WarcReader::Input {
public:
    Input(const std::string& path)
        : m_path(path), m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (!m_fd.valid()) {
            throwFileError(errno, "Cannot open the WARC file", path);
        }
        fillInput();
        m_compressed = m_inLength >= 2 && static_cast<unsigned char>(m_in[0]) == 0x1F &&
                       static_cast<unsigned char>(m_in[1]) == 0x8B;
        if (m_compressed) {
            m_stream.zalloc = Z_NULL;
            m_stream.zfree = Z_NULL;
            m_stream.opaque = Z_NULL;
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

    // Where the next byte's record starts: its gzip member, or the byte itself.
    std::uint64_t position() {
        if (m_compressed) {
            fillOutput();
            return m_outMember;
        }
        return m_plainOffset;
    }

    // A line up to and including its LF (or the end of the file); false at
    // the end. Longer lines than `limit` are cut there.
    bool readLine(std::string& line, std::size_t limit) {
        line.clear();
        while (line.size() < limit) {
            if (!available()) {
                return !line.empty();
            }
            const char c = m_out[m_outPosition++];
            ++m_plainOffset;
            line.push_back(c);
            if (c == '\n') {
                return true;
            }
        }
        return true;
    }

    // Appends up to `count` bytes to `into` (or drops them when `into` is
    // null); returns how many there were.
    std::size_t read(std::string* into, std::size_t count) {
        std::size_t done = 0;
        while (done < count && available()) {
            const std::size_t take = std::min(count - done, m_outLength - m_outPosition);
            if (into != nullptr) {
                into->append(m_out.data() + m_outPosition, take);
            }
            m_outPosition += take;
            m_plainOffset += take;
            done += take;
        }
        return done;
    }

    // After damage in a compressed file: go on at the next gzip member.
    void skipToNextMember() {
        m_outPosition = m_outLength = 0;
        if (!m_compressed) {
            return;
        }
        inflateReset(&m_stream);
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
            const ssize_t got =
                ::read(m_fd.get(), m_in.data() + m_inLength, m_in.size() - m_inLength);
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
    std::uint64_t m_plainOffset = 0;  // bytes handed out so far
    std::uint64_t m_memberStart = 0;
    std::uint64_t m_outMember = 0;  // the member the bytes in m_out came from
    bool m_memberOpen = false;
};

WarcReader::WarcReader(const std::string& path, std::size_t recordLimit)
    : m_input(std::make_unique<Input>(path)), m_recordLimit(recordLimit) {}

WarcReader::~WarcReader() = default;

void WarcReader::resync() {
    std::string line;
    for (;;) {
        try {
            const std::uint64_t at = m_input->position();
            if (!m_input->readLine(line, kMaxHeaderLine)) {
                return;
            }
            if (isVersionLine(withoutLineEnd(line))) {
                m_pendingVersionAt = at;
                return;
            }
        } catch (const DamagedInput&) {
            m_input->skipToNextMember();
        }
    }
}

WarcReader::Outcome WarcReader::next(WarcRecord& record, WarcFailure& failure) {
    std::uint64_t offset = 0;
    try {
        std::string line;
        if (m_pendingVersionAt) {
            offset = *m_pendingVersionAt;
            m_pendingVersionAt.reset();
        } else {
            // Records are separated by empty lines.
            do {
                offset = m_input->position();
                if (!m_input->readLine(line, kMaxHeaderLine)) {
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
                const bool bracketed =
                    value.size() >= 2 && value.front() == '<' && value.back() == '>';
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
        if (*length > m_recordLimit) {
            m_input->read(nullptr, *length);
            failure = {offset, "the record holds " + std::to_string(*length) +
                                   " bytes, more than the " + std::to_string(m_recordLimit) +
                                   " a record may hold"};
            return Outcome::Failure;
        }
        record.block.reserve(*length);
        if (m_input->read(&record.block, *length) != *length) {
            failure = {offset, "the file ends inside the record (its Content-Length is " +
                                   std::to_string(*length) + ")"};
            return Outcome::Failure;
        }
        // The block is followed by CR LF CR LF; anything else means the
        // Content-Length was wrong.
        std::string trailer;
        m_input->read(&trailer, 4);
        if (trailer != "\r\n\r\n") {
            failure = {offset, "the record's Content-Length (" + std::to_string(*length) +
                                   ") does not match its content"};
            resync();
            return Outcome::Failure;
        }
        return Outcome::Record;
    } catch (const DamagedInput& damage) {
        failure = {damage.offset, damage.what()};
        m_input->skipToNextMember();
        resync();
        return Outcome::Failure;
    }
}

}  // namespace tabrivo
