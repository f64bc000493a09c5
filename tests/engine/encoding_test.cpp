// Source encodings: byte-order marks, meta declarations, labels, detection of
// undeclared text and the decoding itself.

#include <gtest/gtest.h>

#include <filesystem>

#include <string>

#include <engine/convert.h>
#include <engine/encoding.h>

#include "test_support.h"

namespace tabrivo {
namespace {

using namespace std::string_literals;

// "中文表格测试" in UTF-8 and in GBK.
const std::string kChineseUtf8 = "\u4E2D\u6587\u8868\u683C\u6D4B\u8BD5";
const std::string kChineseGbk = "\xD6\xD0\xCE\xC4\xB1\xED\xB8\xF1\xB2\xE2\xCA\xD4";

// UTF-16 code units of ASCII text plus "é", little or big endian.
std::string utf16(const std::u16string& text, bool littleEndian) {
    std::string out;
    for (const char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        out += littleEndian ? std::string{low, high} : std::string{high, low};
    }
    return out;
}

SniffedEncoding named(const std::string& name) {
    SniffedEncoding encoding;
    encoding.name = name;
    return encoding;
}

// --- Byte-order marks ---

TEST(ByteOrderMark, utf8Bom_isRemovedAndTextDecoded) {
    const std::string bytes =
        "\xEF\xBB\xBF"
        "caf\xC3\xA9";
    const SniffedEncoding sniffed = sniffEncoding(bytes);
    EXPECT_EQ(sniffed.name, "UTF-8");
    EXPECT_EQ(sniffed.source, EncodingSource::ByteOrderMark);
    EXPECT_EQ(sniffed.bomLength, 3U);
    EXPECT_EQ(htmlBytesToUtf8(bytes), "caf\u00E9");
}

TEST(ByteOrderMark, utf16LeBom_isRemovedAndTextDecoded) {
    const std::string bytes = "\xFF\xFE"s + utf16(u"<td>caf\u00E9</td>", true);
    const SniffedEncoding sniffed = sniffEncoding(bytes);
    EXPECT_EQ(sniffed.name, "UTF-16LE");
    EXPECT_EQ(sniffed.bomLength, 2U);
    EXPECT_EQ(htmlBytesToUtf8(bytes), "<td>caf\u00E9</td>");
}

TEST(ByteOrderMark, utf16BeBom_isRemovedAndTextDecoded) {
    const std::string bytes = "\xFE\xFF"s + utf16(u"<td>caf\u00E9</td>", false);
    const SniffedEncoding sniffed = sniffEncoding(bytes);
    EXPECT_EQ(sniffed.name, "UTF-16BE");
    EXPECT_EQ(sniffed.bomLength, 2U);
    EXPECT_EQ(htmlBytesToUtf8(bytes), "<td>caf\u00E9</td>");
}

TEST(ByteOrderMark, bom_winsOverMetaDeclaration) {
    const std::string bytes = "\xEF\xBB\xBF<meta charset=\"windows-1252\">caf\xC3\xA9";
    EXPECT_EQ(sniffEncoding(bytes).name, "UTF-8");
    EXPECT_EQ(htmlBytesToUtf8(bytes), "<meta charset=\"windows-1252\">caf\u00E9");
}

TEST(ByteOrderMark, utf16LeDocument_convertsToUtf8Output) {
    const std::string bytes =
        "\xFF\xFE"s + utf16(u"<table><tr><td>caf\u00E9</td><td>x</td></tr></table>", true);
    EXPECT_EQ(convertHtmlToText(bytes), "{\r\n\t{\r\n\t\"caf\u00E9\", \r\n\t\"x\"\r\n\t}\r\n}");
}

// --- Meta declarations ---

TEST(MetaDeclaration, metaCharset_isFound) {
    EXPECT_EQ(prescanMetaCharset("<html><head><meta charset=\"windows-1251\">"), "windows-1251");
    EXPECT_EQ(prescanMetaCharset("<meta charset=koi8-r>"), "KOI8-R");
    EXPECT_EQ(prescanMetaCharset("<META CHARSET='Shift_JIS'>"), "Shift_JIS");
}

TEST(MetaDeclaration, httpEquivContent_isFound) {
    EXPECT_EQ(prescanMetaCharset(
                  "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">"),
              "windows-1251");
    // The attributes may come in either order.
    EXPECT_EQ(prescanMetaCharset(
                  "<meta content=\"text/html; charset=iso-8859-2\" http-equiv=\"content-type\">"),
              "ISO-8859-2");
}

TEST(MetaDeclaration, contentWithoutHttpEquiv_isIgnored) {
    EXPECT_EQ(prescanMetaCharset("<meta content=\"text/html; charset=windows-1251\">"), "");
    EXPECT_EQ(prescanMetaCharset(
                  "<meta http-equiv=\"refresh\" content=\"text/html; charset=windows-1251\">"),
              "");
}

TEST(MetaDeclaration, utf16Label_meansUtf8) {
    EXPECT_EQ(prescanMetaCharset("<meta charset=\"utf-16\">"), "UTF-8");
    EXPECT_EQ(prescanMetaCharset("<meta charset=\"utf-16be\">"), "UTF-8");
}

TEST(MetaDeclaration, unknownLabel_isIgnored) {
    EXPECT_EQ(prescanMetaCharset("<meta charset=\"no-such-encoding\">"), "");
    // The next declaration still counts.
    EXPECT_EQ(prescanMetaCharset("<meta charset=\"no-such-encoding\"><meta charset=\"latin2\">"),
              "ISO-8859-2");
}

TEST(MetaDeclaration, declarationInsideComment_isIgnored) {
    EXPECT_EQ(prescanMetaCharset("<!-- <meta charset=\"windows-1251\"> -->"), "");
}

TEST(MetaDeclaration, declaredEncoding_decidesDecoding) {
    const std::string bytes = "<meta charset=\"windows-1251\"><td>\xCF\xF0\xE8\xE2\xE5\xF2</td>";
    const SniffedEncoding sniffed = sniffEncoding(bytes);
    EXPECT_EQ(sniffed.name, "windows-1251");
    EXPECT_EQ(sniffed.source, EncodingSource::MetaDeclaration);
    EXPECT_EQ(htmlBytesToUtf8(bytes),
              "<meta charset=\"windows-1251\"><td>\u041F\u0440\u0438\u0432\u0435\u0442</td>");
}

TEST(MetaDeclaration, latin1Declared_decodesAsWindows1252) {
    // 0x80 is "€" in windows-1252, not the C1 control ISO-8859-1 would give.
    const std::string bytes = "<meta charset=\"iso-8859-1\">\x80 caf\xE9";
    EXPECT_EQ(htmlBytesToUtf8(bytes), "<meta charset=\"iso-8859-1\">\u20AC caf\u00E9");
}

// --- Labels ---

TEST(EncodingLabel, latin1Family_mapsToWindows1252) {
    EXPECT_EQ(encodingForLabel("latin1"), "windows-1252");
    EXPECT_EQ(encodingForLabel("iso-8859-1"), "windows-1252");
    EXPECT_EQ(encodingForLabel("ascii"), "windows-1252");
    EXPECT_EQ(encodingForLabel("us-ascii"), "windows-1252");
}

TEST(EncodingLabel, chineseAndJapaneseLabels_mapToCanonicalNames) {
    EXPECT_EQ(encodingForLabel("gb2312"), "GBK");
    EXPECT_EQ(encodingForLabel("shift_jis"), "Shift_JIS");
    EXPECT_EQ(encodingForLabel("sjis"), "Shift_JIS");
}

TEST(EncodingLabel, caseAndSurroundingWhitespace_areIgnored) {
    EXPECT_EQ(encodingForLabel(" UTF8 "), "UTF-8");
    EXPECT_EQ(encodingForLabel("\tWindows-1251\n"), "windows-1251");
}

TEST(EncodingLabel, unknownLabel_givesEmpty) {
    EXPECT_EQ(encodingForLabel("no-such-encoding"), "");
    EXPECT_EQ(encodingForLabel(""), "");
    EXPECT_EQ(encodingForLabel("utf 8"), "");
}

// --- Undeclared text ---

TEST(UndeclaredText, windows1252Bytes_decodeAsWindows1252) {
    EXPECT_EQ(htmlBytesToUtf8("<td>caf\xE9</td>"), "<td>caf\u00E9</td>");
}

TEST(UndeclaredText, validUtf8_staysUtf8) {
    const std::string bytes = "<td>caf\xC3\xA9 \xE2\x82\xAC</td>";
    const SniffedEncoding sniffed = sniffEncoding(bytes);
    EXPECT_EQ(sniffed.name, "UTF-8");
    EXPECT_EQ(sniffed.source, EncodingSource::Detected);
    EXPECT_EQ(htmlBytesToUtf8(bytes), bytes);
}

TEST(UndeclaredText, undeclaredWindows1252Document_convertsToUtf8Output) {
    EXPECT_EQ(convertHtmlToText("<table><tr><td>caf\xE9</td></tr></table>"),
              "{\r\n\t{\r\n\t\"caf\u00E9\"\r\n\t}\r\n}");
}

// --- Decoding ---

TEST(Decoding, nulBytes_areKept) {
    EXPECT_EQ(decodeToUtf8("a\0b\0"s, named("UTF-8")), "a\0b\0"s);
    EXPECT_EQ(decodeToUtf8("a\0\xE9"s, named("windows-1252")), "a\0\u00E9"s);
    EXPECT_EQ(decodeToUtf8(utf16(u"a\0b"s, true), named("UTF-16LE")), "a\0b"s);
    EXPECT_EQ(decodeToUtf8("a\0\xA4"s, named("ISO-8859-15")), "a\0\u20AC"s);
}

// Pages with NUL bytes, each beside the browser's conversion of it (written by
// the shared oracle): the parser drops a NUL from text but reads it as U+FFFD
// in a tag name, an attribute value or raw text, and a newline after <pre>
// and NULs is skipped; a UTF-16 page without a byte-order mark is no markup
// at all to the browser, its NULs beside every "<".
TEST(Decoding, pagesWithNulBytes_convertAsTheBrowserDoes) {
    const std::filesystem::path dir =
        std::filesystem::path(TABRIVO_TEST_DATA_DIR) / "encoding" / "nul";
    int pages = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".html") {
            continue;
        }
        std::filesystem::path expected = entry.path();
        expected.replace_extension(".json");
        EXPECT_EQ(convertHtmlToText(test::readFileBytes(entry.path())),
                  test::readFileBytes(expected))
            << entry.path().filename();
        ++pages;
    }
    EXPECT_GE(pages, 17);
}

TEST(Decoding, invalidUtf8_becomesReplacementCharacter) {
    const std::string replacement = "\uFFFD";
    EXPECT_EQ(decodeToUtf8("a\xFF"
                           "b",
                           named("UTF-8")),
              "a" + replacement + "b");
    // A truncated sequence is one replacement; the byte after it is read again.
    EXPECT_EQ(decodeToUtf8("a\xE2\x82z", named("UTF-8")), "a" + replacement + "z");
    // An encoded surrogate is three ill-formed bytes.
    EXPECT_EQ(decodeToUtf8("\xED\xA0\x80", named("UTF-8")),
              replacement + replacement + replacement);
    EXPECT_EQ(htmlBytesToUtf8("<meta charset=\"utf-8\">\xC0\xAF"),
              "<meta charset=\"utf-8\">" + replacement + replacement);
}

TEST(Decoding, windows1252HighBytes_mapToTheirCharacters) {
    EXPECT_EQ(decodeToUtf8("\x80", named("windows-1252")), "\u20AC");
    EXPECT_EQ(decodeToUtf8("\x93q\x94 \x85", named("windows-1252")), "\u201Cq\u201D \u2026");
    EXPECT_EQ(decodeToUtf8("\xFF", named("windows-1252")), "\u00FF");
}

TEST(Decoding, gbkDocument_decodesToChinese) {
    const std::string bytes = "<meta charset=\"gb2312\"><td>" + kChineseGbk + "</td>";
    EXPECT_EQ(sniffEncoding(bytes).name, "GBK");
    EXPECT_EQ(htmlBytesToUtf8(bytes), "<meta charset=\"gb2312\"><td>" + kChineseUtf8 + "</td>");
}

TEST(Decoding, shiftJisDocument_decodesToJapanese) {
    const std::string bytes = "<meta charset=\"shift_jis\">\x93\xFA\x96\x7B\x8C\xEA";
    EXPECT_EQ(htmlBytesToUtf8(bytes), "<meta charset=\"shift_jis\">\u65E5\u672C\u8A9E");
}

TEST(Decoding, emptyInput_givesEmptyText) {
    EXPECT_EQ(htmlBytesToUtf8(""), "");
    EXPECT_EQ(decodeToUtf8("", named("UTF-16LE")), "");
    EXPECT_EQ(decodeToUtf8("", named("GBK")), "");
}

}  // namespace
}  // namespace tabrivo
