// WARC records read from plain and gzip files, damaged files read past their
// damage, the HTTP responses inside, their codings undone, the charset a
// response declares, and the pages' tables with their HTTP status.

#include <brotli/encode.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <charconv>
#include <optional>
#include <string>
#include <vector>

#include <engine/encoding.h>
#include <warc/content_coding.h>
#include <warc/http_response.h>
#include <warc/warc_reader.h>
#include <warc/warc_tables.h>
#include "test_support.h"

namespace tabrivo {
namespace {

std::string record(const std::string& type, const std::string& uri, const std::string& block,
                   long declaredLength = -1) {
    const long length = declaredLength >= 0 ? declaredLength : static_cast<long>(block.size());
    return "WARC/1.1\r\nWARC-Type: " + type + "\r\nWARC-Target-URI: " + uri +
           "\r\nWARC-Record-ID: <urn:uuid:" + uri +
           ">\r\nWARC-Date: 2026-12-08T00:00:00Z\r\n"
           "Content-Type: application/http; msgtype=response\r\nContent-Length: " +
           std::to_string(length) + "\r\n\r\n" + block + "\r\n\r\n";
}

// `text` compressed by zlib: gzip (15 + 16), zlib-wrapped (15) or raw (-15) deflate.
std::string deflated(const std::string& text, int windowBits) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&stream, text.size()) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// One gzip member holding `text`.
std::string gzipMember(const std::string& text) {
    return deflated(text, 15 + 16);
}

std::string brotli(const std::string& text) {
    std::string out(BrotliEncoderMaxCompressedSize(text.size()), '\0');
    std::size_t size = out.size();
    EXPECT_TRUE(BrotliEncoderCompress(BROTLI_DEFAULT_QUALITY, BROTLI_DEFAULT_WINDOW,
                                      BROTLI_MODE_TEXT, text.size(),
                                      reinterpret_cast<const std::uint8_t*>(text.data()), &size,
                                      reinterpret_cast<std::uint8_t*>(out.data())));
    out.resize(size);
    return out;
}

// What reading a file gives, one line an outcome: the record's URI, or
// "failure at OFFSET: reason".
std::vector<std::string> readAll(const std::string& bytes, std::size_t limit = 1 << 20) {
    const test::TempDir dir;
    test::writeFileBytes(dir.path() / "a.warc", bytes);
    WarcReader reader(dir.file("a.warc"), limit);
    std::vector<std::string> seen;
    WarcRecord read;
    WarcFailure failure;
    for (int guard = 0; guard < 100; ++guard) {
        switch (reader.next(read, failure)) {
            case WarcReader::Outcome::Record:
                seen.push_back(read.targetUri + " @" + std::to_string(read.offset));
                break;
            case WarcReader::Outcome::Failure:
                seen.push_back("failure @" + std::to_string(failure.offset) + ": " +
                               failure.reason);
                break;
            case WarcReader::Outcome::End:
                return seen;
        }
    }
    ADD_FAILURE() << "the reader never ended";
    return seen;
}

const std::string kFirst = record("warcinfo", "a", "software: test");
const std::string kSecond = record("response", "b", "HTTP/1.1 200 OK\r\n\r\n<table>");
const std::string kThird = record("response", "c", "x");

TEST(WarcReader, plainAndCompressed_giveEveryRecordWithItsOffset) {
    EXPECT_EQ(readAll(kFirst + kSecond),
              (std::vector<std::string>{"a @0", "b @" + std::to_string(kFirst.size())}));
    const std::string first = gzipMember(kFirst);
    EXPECT_EQ(readAll(first + gzipMember(kSecond)),
              (std::vector<std::string>{"a @0", "b @" + std::to_string(first.size())}));
}

TEST(WarcReader, recordFields_areTheHeaders) {
    const test::TempDir dir;
    test::writeFileBytes(dir.path() / "a.warc.gz", gzipMember(kSecond));
    WarcReader reader(dir.file("a.warc.gz"));
    WarcRecord read;
    WarcFailure failure;
    ASSERT_EQ(reader.next(read, failure), WarcReader::Outcome::Record);
    EXPECT_EQ(read.type, "response");
    EXPECT_EQ(read.recordId, "<urn:uuid:b>");
    EXPECT_EQ(read.date, "2026-12-08T00:00:00Z");
    EXPECT_EQ(read.block, "HTTP/1.1 200 OK\r\n\r\n<table>");
}

TEST(WarcReader, damage_isReportedWithItsOffsetAndReadingGoesOn) {
    const std::string shortLength = record("response", "b", "0123456789", 4);
    EXPECT_EQ(readAll(kFirst + shortLength + kThird),
              (std::vector<std::string>{
                  "a @0",
                  "failure @" + std::to_string(kFirst.size()) +
                      ": the record's Content-Length (4) does not match its content; offsets " +
                      std::to_string(kFirst.size()) + " to " +
                      std::to_string(kFirst.size() + shortLength.size()) + " were passed over",
                  "c @" + std::to_string(kFirst.size() + shortLength.size())}));

    const std::string first = gzipMember(kFirst);
    std::string broken = gzipMember(kSecond);
    broken[broken.size() / 2] = static_cast<char>(broken[broken.size() / 2] ^ 0x55);
    const std::vector<std::string> corrupt = readAll(first + broken + gzipMember(kThird));
    ASSERT_EQ(corrupt.size(), 3U);
    EXPECT_EQ(corrupt[1].substr(0, corrupt[1].find(':')),
              "failure @" + std::to_string(first.size()));
    EXPECT_EQ(corrupt[2], "c @" + std::to_string(first.size() + broken.size()));

    const std::string truncated = gzipMember(kSecond).substr(0, 20);
    EXPECT_EQ(readAll(first + truncated),
              (std::vector<std::string>{"a @0", "failure @" + std::to_string(first.size()) +
                                                    ": the gzip member is truncated"}));
    // A member cut short runs on into the next one, which is still read.
    const std::vector<std::string> cut = readAll(first + truncated + gzipMember(kThird));
    ASSERT_EQ(cut.size(), 3U);
    EXPECT_EQ(cut[2], "c @" + std::to_string(first.size() + truncated.size()));

    EXPECT_EQ(
        readAll("not a warc\r\n" + kThird),
        (std::vector<std::string>{
            "failure @0: expected a WARC/1.0 or WARC/1.1 record, found \"not a warc\"", "c @12"}));
}

TEST(WarcReader, recordOverTheLimit_isSkippedWithoutBeingHeld) {
    const std::string big = record("response", "b", std::string(5000, 'x'));
    EXPECT_EQ(readAll(kFirst + big + kThird, 1000),
              (std::vector<std::string>{
                  "a @0",
                  "failure @" + std::to_string(kFirst.size()) +
                      ": the record holds 5000 bytes, more than the 1000 a record may hold",
                  "c @" + std::to_string(kFirst.size() + big.size())}));
    const std::string first = gzipMember(kFirst);
    const std::string bigMember = gzipMember(big);
    EXPECT_EQ(readAll(first + bigMember + gzipMember(kThird), 1000),
              (std::vector<std::string>{
                  "a @0",
                  "failure @" + std::to_string(first.size()) +
                      ": the record holds 5000 bytes, more than the 1000 a record may hold",
                  "c @" + std::to_string(first.size() + bigMember.size())}));
}

// Six records, the second with a Content-Length 500 bytes too long, 1 GB too
// long (more than a record may hold) or 7 bytes too short: the other five are
// read, and the span passed over is one failure.
TEST(WarcReader, wrongContentLength_losesNoRecordAfterIt) {
    const std::string page = "HTTP/1.1 200 OK\r\n\r\n<table><td>x</table>";
    for (const long change : {500L, 1000000000L, -7L}) {
        std::vector<std::string> records;
        for (const char* uri : {"0", "1", "2", "3", "4", "5"}) {
            const bool lies = records.size() == 1;
            records.push_back(
                record("response", uri, page, lies ? static_cast<long>(page.size()) + change : -1));
        }
        const std::string declared = std::to_string(static_cast<long>(page.size()) + change);
        enum Layout { kPlain, kMemberEachRecord, kOneMember };
        for (const Layout layout : {kPlain, kMemberEachRecord, kOneMember}) {
            std::string file;
            std::vector<std::size_t> offsets;
            for (const std::string& each : records) {
                offsets.push_back(layout == kPlain ? file.size() : 0);
                file += layout == kMemberEachRecord ? gzipMember(each) : each;
                if (layout == kMemberEachRecord) {
                    offsets.back() = file.size() - gzipMember(each).size();
                }
            }
            if (layout == kOneMember) {
                file = gzipMember(file);
            }
            const std::string passedOver =
                layout == kOneMember
                    ? "reading went on at the next record header in the same gzip member"
                    : "offsets " + std::to_string(offsets[1]) + " to " +
                          std::to_string(offsets[2]) + " were passed over";
            std::vector<std::string> expected;
            for (std::size_t i = 0; i < records.size(); ++i) {
                expected.push_back(i == 1 ? "failure @" + std::to_string(offsets[1]) +
                                                ": the record's Content-Length (" + declared +
                                                ") does not match its content; " + passedOver
                                          : std::to_string(i) + " @" + std::to_string(offsets[i]));
            }
            EXPECT_EQ(readAll(file), expected) << "change " << change << ", layout " << layout;
        }
    }
}

TEST(HttpResponse, statusTypeCharsetAndBody) {
    const auto html = parseHttpResponse(
        "HTTP/1.1 200 OK\r\nContent-Type: Text/HTML; Charset=\"ISO-8859-2\"\r\n\r\n<p>");
    ASSERT_TRUE(html);
    EXPECT_EQ(html->status, 200);
    EXPECT_EQ(html->mediaType, "text/html");
    EXPECT_EQ(html->charset, "ISO-8859-2");
    EXPECT_EQ(html->body, "<p>");
    EXPECT_TRUE(isHtmlMediaType(html->mediaType));

    const auto chunked = parseHttpResponse(
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: "
        "chunked\r\n\r\n3\r\n<ta\r\n4;x=1\r\nble>\r\n0\r\n\r\n");
    ASSERT_TRUE(chunked);
    EXPECT_EQ(chunked->body, "<table>");

    for (const char* bad : {"", "GET / HTTP/1.1\r\n\r\n", "HTTP/1.1 2x0 OK\r\n\r\n",
                            "HTTP/1.1 200 OK\r\nno colon\r\n\r\n", "HTTP/1.1 200 OK\r\nA: b",
                            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"}) {
        EXPECT_FALSE(parseHttpResponse(bad)) << bad;
    }
}

// `body` in chunked transfer coding, in two chunks.
std::string chunked(const std::string& body) {
    const std::size_t half = body.size() / 2;
    std::string out;
    for (const std::string_view chunk :
         {std::string_view(body).substr(0, half), std::string_view(body).substr(half)}) {
        char size[17] = {};
        std::to_chars(size, size + 16, chunk.size(), 16);
        out.append(size).append("\r\n").append(chunk).append("\r\n");
    }
    return out + "0\r\n\r\n";
}

// Each coding a browser undoes, alone and stacked, and the ones that cannot
// be undone with the reason.
TEST(ContentCoding, isUndoneAsBrowsersDo) {
    const std::string page = "<table><tr><td>coded</td></tr></table>" + std::string(3000, ' ');
    struct Case {
        const char* headers;
        std::string body;
        const char* failure;  // empty when the body decodes to `page`
    };
    const std::string gzip = gzipMember(page);
    const Case cases[] = {
        {"Content-Encoding: gzip", gzip, ""},
        {"Content-Encoding: X-GZIP", gzip, ""},
        {"Content-Encoding: gzip", gzip + gzipMember(""), ""},
        {"Content-Encoding: deflate", deflated(page, 15), ""},
        {"Content-Encoding: deflate", deflated(page, -15), ""},
        {"Content-Encoding: br", brotli(page), ""},
        {"Content-Encoding: gzip, br", brotli(gzip), ""},
        {"Content-Encoding: gzip\r\nContent-Encoding: identity, br", brotli(gzip), ""},
        {"Transfer-Encoding: gzip, chunked", chunked(gzip), ""},
        {"Content-Encoding: zstd", page,
         "the HTTP response's body has the coding \"zstd\", which cannot be decoded (gzip, "
         "deflate and br can)"},
        {"Content-Encoding: gzip", page, "the HTTP response's gzip-coded body is damaged ("},
        {"Content-Encoding: gzip", gzip.substr(0, gzip.size() / 2),
         "the HTTP response's gzip-coded body ends early"},
        {"Content-Encoding: br", brotli(page).substr(1), "the HTTP response's br-coded body is"},
        {"Content-Encoding: br", brotli(page).substr(0, 10),
         "the HTTP response's br-coded body ends early"},
        {"Content-Encoding: gzip", gzipMember(std::string(5000, 'x')),
         "the HTTP response's body decoded from gzip holds more than the 4096 bytes a record may "
         "hold"},
        {"Content-Encoding: br", brotli(std::string(5000, 'x')),
         "the HTTP response's body decoded from br holds more than the 4096 bytes a record may "
         "hold"},
    };
    for (const Case& each : cases) {
        std::optional<HttpResponse> response = parseHttpResponse(
            "HTTP/1.1 200 OK\r\n" + std::string(each.headers) + "\r\n\r\n" + each.body);
        ASSERT_TRUE(response) << each.headers;
        const std::string failure = undoCodings(response->body, response->codings, 4096);
        if (std::string_view(each.failure).empty()) {
            EXPECT_EQ(failure, "") << each.headers;
            EXPECT_EQ(response->body, page) << each.headers;
        } else {
            EXPECT_TRUE(failure.starts_with(each.failure)) << each.headers << ": " << failure;
        }
    }
}

// A page's tables come with its HTTP status, error pages counted apart; a
// body that cannot be decoded is a failure, not a page without tables.
TEST(WarcTables, statusIsKeptAndUndecodableBodiesFail) {
    const std::string table = "<table><td>x</table>";
    const std::string html = "Content-Type: text/html\r\n";
    const std::string file =
        record("response", "ok", "HTTP/1.1 200 OK\r\n" + html + "\r\n" + table) +
        record(
            "response", "gzip",
            "HTTP/1.1 200 OK\r\n" + html + "Content-Encoding: gzip\r\n\r\n" + gzipMember(table)) +
        record(
            "response", "missing",
            "HTTP/1.1 404 Not Found\r\n" + html + "Content-Encoding: br\r\n\r\n" + brotli(table)) +
        record("response", "zstd",
               "HTTP/1.1 200 OK\r\n" + html + "Content-Encoding: zstd\r\n\r\n" + table) +
        "WARC/1.1\r\nWARC-Type: resource\r\nWARC-Target-URI: file\r\nContent-Type: "
        "text/html\r\nContent-Length: " +
        std::to_string(table.size()) + "\r\n\r\n" + table + "\r\n\r\n";
    const test::TempDir dir;
    test::writeFileBytes(dir.path() / "a.warc", file);
    std::string lines;
    std::vector<std::string> failures;
    const WarcCounts counts = readWarcTables(
        dir.file("a.warc"), [&](const WarcPage& page) { appendWarcJsonLines(lines, page, false); },
        [&](const WarcFailure& failure) { failures.push_back(failure.reason); });
    const std::string rows = R"("index":0,"caption":"","header_rows":0,"rows":[["x"]]})";
    EXPECT_EQ(
        lines,
        R"({"uri":"ok","record":"<urn:uuid:ok>","date":"2026-12-08T00:00:00Z","status":200,)" +
            rows + "\n" +
            R"({"uri":"gzip","record":"<urn:uuid:gzip>","date":"2026-12-08T00:00:00Z","status":200,)" +
            rows + "\n" +
            R"({"uri":"missing","record":"<urn:uuid:missing>","date":"2026-12-08T00:00:00Z","status":404,)" +
            rows + "\n" + R"({"uri":"file","record":"","date":"","status":null,)" + rows + "\n");
    EXPECT_EQ(failures, (std::vector<std::string>{
                            "the HTTP response's body has the coding \"zstd\", which cannot be "
                            "decoded (gzip, deflate and br can)"}));
    EXPECT_EQ(counts.summary(),
              "5 records: 4 converted (1 with an HTTP status other than 2xx), 1 failed");
}

TEST(TransportCharset, comesAfterTheByteOrderMarkAndBeforeMeta) {
    const std::string latin2 = "<meta charset=windows-1252><td>\xB1";  // a-ogonek in ISO-8859-2
    EXPECT_NE(htmlBytesToUtf8(latin2, "iso-8859-2").find("\xC4\x85"), std::string::npos);
    EXPECT_NE(htmlBytesToUtf8(latin2, "no-such-charset").find("\xC2\xB1"), std::string::npos);
    EXPECT_EQ(htmlBytesToUtf8("\xEF\xBB\xBF\xC3\xA9", "iso-8859-2"), "\xC3\xA9");
}

}  // namespace
}  // namespace tabrivo
