#include <warc/content_coding.h>

#include <brotli/decode.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <new>

#include <engine/ascii.h>

namespace tabrivo {
namespace {

constexpr std::size_t kFirstOutput = std::size_t{64} * 1024;

// Makes room for more output in `out`, doubling it, but never past one byte
// more than `limit`: that byte, once written, tells that the data holds too much.
void growOutput(std::string& out, std::size_t limit) {
    const std::size_t cap = limit == SIZE_MAX ? limit : limit + 1;
    out.resize(std::min(cap, std::max(kFirstOutput, out.size() * 2)));
}

std::string reasonPrefix(std::string_view coding) {
    return "the HTTP response's " + std::string(coding) + "-coded body";
}

std::string tooLarge(std::string_view coding, std::size_t limit) {
    return "the HTTP response's body decoded from " + std::string(coding) +
           " holds more than the " + std::to_string(limit) + " bytes a record may hold";
}

bool isZlibWrapped(std::string_view data) {
    if (data.size() < 2) {
        return false;
    }
    const unsigned method = static_cast<unsigned char>(data[0]);
    const unsigned flags = static_cast<unsigned char>(data[1]);
    return (method & 0x0FU) == 8 && (method >> 4U) <= 7 && (method * 256 + flags) % 31 == 0;
}

bool startsGzipMember(std::string_view data) {
    return data.size() >= 2 && static_cast<unsigned char>(data[0]) == 0x1F &&
           static_cast<unsigned char>(data[1]) == 0x8B;
}

class InflateStream {
public:
    explicit InflateStream(int windowBits) {
        const int result = inflateInit2(&m_stream, windowBits);
        if (result == Z_MEM_ERROR) {
            throw std::bad_alloc();
        }
        m_started = result == Z_OK;
    }
    ~InflateStream() {
        if (m_started) {
            inflateEnd(&m_stream);
        }
    }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;

    bool started() const { return m_started; }
    z_stream& get() { return m_stream; }

private:
    z_stream m_stream{};
    bool m_started = false;
};

// gzip (several members one after another, as browsers read them) or
// deflate, zlib-wrapped or raw.
std::string inflateBody(std::string& body, std::string_view coding, bool gzip, std::size_t limit) {
    const int windowBits = gzip ? 15 + 16 : isZlibWrapped(body) ? 15 : -15;
    InflateStream inflater(windowBits);
    if (!inflater.started()) {
        return reasonPrefix(coding) + " cannot be decoded (zlib does not start)";
    }
    z_stream& stream = inflater.get();
    std::string out;
    std::size_t consumed = 0;
    std::size_t produced = 0;
    for (;;) {
        if (produced == out.size()) {
            if (out.size() > limit) {
                return tooLarge(coding, limit);
            }
            growOutput(out, limit);
        }
        const std::size_t inChunk = std::min<std::size_t>(body.size() - consumed, UINT_MAX);
        const std::size_t outChunk = std::min<std::size_t>(out.size() - produced, UINT_MAX);
        stream.next_in = reinterpret_cast<Bytef*>(body.data() + consumed);
        stream.avail_in = static_cast<uInt>(inChunk);
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
        stream.avail_out = static_cast<uInt>(outChunk);
        const int result = inflate(&stream, Z_NO_FLUSH);
        consumed += inChunk - stream.avail_in;
        produced += outChunk - stream.avail_out;
        if (result == Z_STREAM_END) {
            const std::string_view rest = std::string_view(body).substr(consumed);
            if (gzip && startsGzipMember(rest)) {
                inflateReset(&stream);
                continue;
            }
            break;  // bytes after the data are left alone, as browsers leave them
        }
        if (result == Z_MEM_ERROR) {
            throw std::bad_alloc();
        }
        if (result != Z_OK && result != Z_BUF_ERROR) {
            return reasonPrefix(coding) + " is damaged (" +
                   (stream.msg != nullptr ? stream.msg : "not " + std::string(coding) + " data") +
                   ")";
        }
        if (consumed == body.size() && produced < out.size()) {
            return reasonPrefix(coding) + " ends early";
        }
    }
    if (produced > limit) {
        return tooLarge(coding, limit);
    }
    out.resize(produced);
    body = std::move(out);
    return {};
}

struct BrotliDecoderDelete {
    void operator()(BrotliDecoderState* state) const { BrotliDecoderDestroyInstance(state); }
};

std::string unbrotliBody(std::string& body, std::size_t limit) {
    const std::unique_ptr<BrotliDecoderState, BrotliDecoderDelete> decoder(
        BrotliDecoderCreateInstance(nullptr, nullptr, nullptr));
    if (!decoder) {
        throw std::bad_alloc();
    }
    std::string out;
    std::size_t consumed = 0;
    std::size_t produced = 0;
    for (;;) {
        if (produced == out.size()) {
            if (out.size() > limit) {
                return tooLarge("br", limit);
            }
            growOutput(out, limit);
        }
        std::size_t inLeft = body.size() - consumed;
        const auto* in = reinterpret_cast<const std::uint8_t*>(body.data() + consumed);
        std::size_t outLeft = out.size() - produced;
        auto* next = reinterpret_cast<std::uint8_t*>(out.data() + produced);
        const BrotliDecoderResult result =
            BrotliDecoderDecompressStream(decoder.get(), &inLeft, &in, &outLeft, &next, nullptr);
        consumed = body.size() - inLeft;
        produced = out.size() - outLeft;
        if (result == BROTLI_DECODER_RESULT_SUCCESS) {
            break;
        }
        if (result == BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT) {
            return reasonPrefix("br") + " ends early";
        }
        if (result == BROTLI_DECODER_RESULT_ERROR) {
            std::string_view code =
                BrotliDecoderErrorString(BrotliDecoderGetErrorCode(decoder.get()));
            if (code.starts_with("_ERROR_")) {
                code.remove_prefix(7);
            }
            return reasonPrefix("br") + " is damaged (brotli's " + std::string(code) + ")";
        }
    }
    if (produced > limit) {
        return tooLarge("br", limit);
    }
    out.resize(produced);
    body = std::move(out);
    return {};
}

}  // namespace

std::vector<std::string> parseCodings(std::string_view value) {
    std::vector<std::string> codings;
    while (!value.empty()) {
        const std::size_t comma = value.find(',');
        std::string_view coding = value.substr(0, comma);
        value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
        coding = ascii::trim(coding.substr(0, coding.find(';')));
        if (!coding.empty() && !ascii::equalsIgnoringCase(coding, "identity")) {
            codings.push_back(ascii::toLower(coding));
        }
    }
    return codings;
}

std::string undoCodings(std::string& body, const std::vector<std::string>& codings,
                        std::size_t limit) {
    for (auto coding = codings.rbegin(); coding != codings.rend(); ++coding) {
        if (body.empty()) {
            return {};  // a response without a body (HEAD, 204, 304) has nothing coded
        }
        std::string reason;
        if (*coding == "gzip" || *coding == "x-gzip") {
            reason = inflateBody(body, *coding, true, limit);
        } else if (*coding == "deflate") {
            reason = inflateBody(body, *coding, false, limit);
        } else if (*coding == "br") {
            reason = unbrotliBody(body, limit);
        } else {
            reason = "the HTTP response's body has the coding \"" + *coding +
                     "\", which cannot be decoded (gzip, deflate and br can)";
        }
        if (!reason.empty()) {
            return reason;
        }
    }
    return {};
}

}  // namespace tabrivo
