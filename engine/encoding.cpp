#include <engine/encoding.h>

#include <uchardet/uchardet.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <array>
#include <memory>
#include <unordered_map>
#include <vector>

#include <engine/ascii.h>
#include <engine/utf8.h>

namespace tabrivo {
namespace {

// Browsers read a declaration in the first kilobyte unconditionally, and keep
// looking while the markup is still plainly head content.
constexpr std::size_t kPrescanUnconditional = 1024;
constexpr std::size_t kPrescanHeadLimit = std::size_t{64} * 1024;

struct EncodingLabels {
    const char* name;
    std::initializer_list<const char*> labels;
};

const std::unordered_map<std::string, std::string>& labelTable() {
    static const auto table = [] {
        const EncodingLabels entries[] = {
            {"UTF-8",
             {"unicode-1-1-utf-8", "unicode11utf8", "unicode20utf8", "utf-8", "utf8",
              "x-unicode20utf8"}},
            {"IBM866", {"866", "cp866", "csibm866", "ibm866"}},
            {"ISO-8859-2",
             {"csisolatin2", "iso-8859-2", "iso-ir-101", "iso8859-2", "iso88592", "iso_8859-2",
              "iso_8859-2:1987", "l2", "latin2"}},
            {"ISO-8859-3",
             {"csisolatin3", "iso-8859-3", "iso-ir-109", "iso8859-3", "iso88593", "iso_8859-3",
              "iso_8859-3:1988", "l3", "latin3"}},
            {"ISO-8859-4",
             {"csisolatin4", "iso-8859-4", "iso-ir-110", "iso8859-4", "iso88594", "iso_8859-4",
              "iso_8859-4:1988", "l4", "latin4"}},
            {"ISO-8859-5",
             {"csisolatincyrillic", "cyrillic", "iso-8859-5", "iso-ir-144", "iso8859-5", "iso88595",
              "iso_8859-5", "iso_8859-5:1988"}},
            {"ISO-8859-6",
             {"arabic", "asmo-708", "csiso88596e", "csiso88596i", "csisolatinarabic", "ecma-114",
              "iso-8859-6", "iso-8859-6-e", "iso-8859-6-i", "iso-ir-127", "iso8859-6", "iso88596",
              "iso_8859-6", "iso_8859-6:1987"}},
            {"ISO-8859-7",
             {"csisolatingreek", "ecma-118", "elot_928", "greek", "greek8", "iso-8859-7",
              "iso-ir-126", "iso8859-7", "iso88597", "iso_8859-7", "iso_8859-7:1987",
              "sun_eu_greek"}},
            {"ISO-8859-8",
             {"csiso88598e", "csisolatinhebrew", "hebrew", "iso-8859-8", "iso-8859-8-e",
              "iso-ir-138", "iso8859-8", "iso88598", "iso_8859-8", "iso_8859-8:1988", "visual"}},
            {"ISO-8859-8-I", {"csiso88598i", "iso-8859-8-i", "logical"}},
            {"ISO-8859-10",
             {"csisolatin6", "iso-8859-10", "iso-ir-157", "iso8859-10", "iso885910", "l6",
              "latin6"}},
            {"ISO-8859-13", {"iso-8859-13", "iso8859-13", "iso885913"}},
            {"ISO-8859-14", {"iso-8859-14", "iso8859-14", "iso885914"}},
            {"ISO-8859-15",
             {"csisolatin9", "iso-8859-15", "iso8859-15", "iso885915", "iso_8859-15", "l9"}},
            {"ISO-8859-16", {"iso-8859-16"}},
            {"KOI8-R", {"cskoi8r", "koi", "koi8", "koi8-r", "koi8_r"}},
            {"KOI8-U", {"koi8-ru", "koi8-u"}},
            {"macintosh", {"csmacintosh", "mac", "macintosh", "x-mac-roman"}},
            {"windows-874",
             {"dos-874", "iso-8859-11", "iso8859-11", "iso885911", "tis-620", "windows-874"}},
            {"windows-1250", {"cp1250", "windows-1250", "x-cp1250"}},
            {"windows-1251", {"cp1251", "windows-1251", "x-cp1251"}},
            {"windows-1252",
             {"ansi_x3.4-1968", "ascii", "cp1252", "cp819", "csisolatin1", "ibm819", "iso-8859-1",
              "iso-ir-100", "iso8859-1", "iso88591", "iso_8859-1", "iso_8859-1:1987", "l1",
              "latin1", "us-ascii", "windows-1252", "x-cp1252"}},
            {"windows-1253", {"cp1253", "windows-1253", "x-cp1253"}},
            {"windows-1254",
             {"cp1254", "csisolatin5", "iso-8859-9", "iso-ir-148", "iso8859-9", "iso88599",
              "iso_8859-9", "iso_8859-9:1989", "l5", "latin5", "windows-1254", "x-cp1254"}},
            {"windows-1255", {"cp1255", "windows-1255", "x-cp1255"}},
            {"windows-1256", {"cp1256", "windows-1256", "x-cp1256"}},
            {"windows-1257", {"cp1257", "windows-1257", "x-cp1257"}},
            {"windows-1258", {"cp1258", "windows-1258", "x-cp1258"}},
            {"x-mac-cyrillic", {"x-mac-cyrillic", "x-mac-ukrainian"}},
            {"GBK",
             {"chinese", "csgb2312", "csiso58gb231280", "gb2312", "gb_2312", "gb_2312-80", "gbk",
              "iso-ir-58", "x-gbk"}},
            {"gb18030", {"gb18030"}},
            {"Big5", {"big5", "big5-hkscs", "cn-big5", "csbig5", "x-x-big5"}},
            {"EUC-JP", {"cseucpkdfmtjapanese", "euc-jp", "x-euc-jp"}},
            {"ISO-2022-JP", {"csiso2022jp", "iso-2022-jp"}},
            {"Shift_JIS",
             {"csshiftjis", "ms932", "ms_kanji", "shift-jis", "shift_jis", "sjis", "windows-31j",
              "x-sjis"}},
            {"EUC-KR",
             {"cseuckr", "csksc56011987", "euc-kr", "iso-ir-149", "korean", "ks_c_5601-1987",
              "ks_c_5601-1989", "ksc5601", "ksc_5601", "windows-949"}},
            {"replacement",
             {"csiso2022kr", "hz-gb-2312", "iso-2022-cn", "iso-2022-cn-ext", "iso-2022-kr",
              "replacement"}},
            {"UTF-16BE", {"unicodefffe", "utf-16be"}},
            {"UTF-16LE",
             {"csunicode", "iso-10646-ucs-2", "ucs-2", "unicode", "unicodefeff", "utf-16",
              "utf-16le"}},
            {"x-user-defined", {"x-user-defined"}},
        };
        std::unordered_map<std::string, std::string> map;
        for (const auto& entry : entries) {
            for (const char* label : entry.labels) {
                map.emplace(label, entry.name);
            }
        }
        return map;
    }();
    return table;
}

// ICU's converter for an encoding whose decoder matches the browser's.
const char* icuConverterName(const std::string& encoding) {
    static const std::unordered_map<std::string, const char*> names = {
        {"IBM866", "ibm-866_P100-1995"},
        {"ISO-8859-8-I", "ISO-8859-8"},
        {"GBK", "GB18030"},
        {"gb18030", "GB18030"},
        {"Big5", "Big5-HKSCS"},
        {"Shift_JIS", "windows-31j"},
        {"EUC-KR", "windows-949"},
    };
    const auto found = names.find(encoding);
    return found != names.end() ? found->second : encoding.c_str();
}

bool isAsciiWhitespace(unsigned char c) {
    return ascii::isSpace(static_cast<char>(c));
}
bool isAsciiAlpha(unsigned char c) {
    return ascii::isAlpha(static_cast<char>(c));
}
using ascii::toLower;

bool startsWithNoCase(std::string_view text, std::size_t pos, std::string_view prefix) {
    return pos <= text.size() && ascii::equalsLowered(text.substr(pos, prefix.size()), prefix);
}

std::string trimAsciiWhitespace(std::string_view text) {
    return std::string(ascii::trim(text));
}

// The "get an attribute" step of the prescan. Returns false when there is none.
bool prescanAttribute(std::string_view bytes, std::size_t& pos, std::string& name,
                      std::string& value) {
    name.clear();
    value.clear();
    const std::size_t end = bytes.size();
    auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    while (pos < end && (isAsciiWhitespace(at(pos)) || at(pos) == '/')) {
        ++pos;
    }
    if (pos >= end || at(pos) == '>') {
        return false;
    }
    for (;;) {
        if (pos >= end) {
            return false;
        }
        const unsigned char c = at(pos);
        if (c == '=' && !name.empty()) {
            ++pos;
            break;
        }
        if (isAsciiWhitespace(c)) {
            while (pos < end && isAsciiWhitespace(at(pos))) {
                ++pos;
            }
            if (pos >= end || at(pos) != '=') {
                return true;
            }
            ++pos;
            break;
        }
        if (c == '/' || c == '>') {
            return true;
        }
        name.push_back(toLower(static_cast<char>(c)));
        ++pos;
    }
    while (pos < end && isAsciiWhitespace(at(pos))) {
        ++pos;
    }
    if (pos >= end) {
        return false;
    }
    if (at(pos) == '"' || at(pos) == '\'') {
        const unsigned char quote = at(pos++);
        while (pos < end && at(pos) != quote) {
            value.push_back(toLower(bytes[pos]));
            ++pos;
        }
        if (pos >= end) {
            return false;
        }
        ++pos;
        return true;
    }
    if (at(pos) == '>') {
        return true;
    }
    while (pos < end && !isAsciiWhitespace(at(pos)) && at(pos) != '>') {
        value.push_back(toLower(bytes[pos]));
        ++pos;
    }
    return pos < end;
}

// The charset named in a meta element's content attribute, or empty.
std::string charsetFromContent(std::string_view content) {
    std::size_t pos = 0;
    for (;;) {
        const std::size_t found = content.find("charset", pos);
        if (found == std::string_view::npos) {
            return {};
        }
        pos = found + 7;
        while (pos < content.size() &&
               isAsciiWhitespace(static_cast<unsigned char>(content[pos]))) {
            ++pos;
        }
        if (pos >= content.size() || content[pos] != '=') {
            continue;
        }
        ++pos;
        while (pos < content.size() &&
               isAsciiWhitespace(static_cast<unsigned char>(content[pos]))) {
            ++pos;
        }
        if (pos >= content.size()) {
            return {};
        }
        if (content[pos] == '"' || content[pos] == '\'') {
            const std::size_t close = content.find(content[pos], pos + 1);
            if (close == std::string_view::npos) {
                return {};
            }
            return std::string(content.substr(pos + 1, close - pos - 1));
        }
        std::size_t stop = pos;
        while (stop < content.size() &&
               !isAsciiWhitespace(static_cast<unsigned char>(content[stop])) &&
               content[stop] != ';') {
            ++stop;
        }
        return std::string(content.substr(pos, stop - pos));
    }
}

// Tags that may appear before the body without ending the search for a declaration.
bool isHeadContentTag(std::string_view tag) {
    static constexpr std::array<std::string_view, 11> kTags = {
        "html",  "head", "meta",     "title",    "link",  "script",
        "style", "base", "noscript", "template", "object"};
    return std::find(kTags.begin(), kTags.end(), tag) != kTags.end();
}

std::string uchardetGuess(std::string_view bytes) {
    std::unique_ptr<std::remove_pointer_t<uchardet_t>, decltype(&uchardet_delete)> detector(
        uchardet_new(), &uchardet_delete);
    if (!detector) {
        return {};
    }
    // The detector settles long before the end of a big file.
    const std::size_t sample = std::min<std::size_t>(bytes.size(), std::size_t{256} * 1024);
    if (uchardet_handle_data(detector.get(), bytes.data(), sample) != 0) {
        return {};
    }
    uchardet_data_end(detector.get());
    const char* guess = uchardet_get_charset(detector.get());
    return guess != nullptr ? std::string(guess) : std::string();
}

std::string detectUndeclared(std::string_view bytes) {
    if (isValidUtf8(bytes)) {
        return "UTF-8";
    }
    std::string guess = uchardetGuess(bytes);
    std::transform(guess.begin(), guess.end(), guess.begin(), [](char c) { return toLower(c); });
    std::string encoding = encodingForLabel(guess);
    // Detectors name the Latin-1 family loosely; browsers read it as windows-1252.
    if (encoding.empty() || encoding == "UTF-8" || encoding == "UTF-16LE" ||
        encoding == "UTF-16BE" || encoding == "replacement") {
        return "windows-1252";
    }
    if (encoding == "gb18030") {
        return "GBK";
    }
    return encoding;
}

constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string decodeSingleByte(std::string_view bytes, bool userDefined) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    std::size_t next = 0;
    while (next < bytes.size()) {
        // ASCII goes over as it is, a run at a time.
        std::size_t end = next;
        while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) < 0x80U) {
            ++end;
        }
        out.append(bytes.data() + next, end - next);
        if (end == bytes.size()) {
            break;
        }
        const auto c = static_cast<unsigned char>(bytes[end]);
        next = end + 1;
        if (userDefined) {
            appendUtf8(out, 0xF780U + c - 0x80U);
        } else if (c < 0xA0) {
            appendUtf8(out, kWindows1252High[c - 0x80]);
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

std::string decodeWithIcu(std::string_view bytes, const std::string& encoding) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, decltype(&ucnv_close)> source(
        ucnv_open(icuConverterName(encoding), &status), &ucnv_close);
    if (U_FAILURE(status) || !source) {
        return decodeSingleByte(bytes, false);
    }
    status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, decltype(&ucnv_close)> target(ucnv_open("UTF-8", &status),
                                                              &ucnv_close);
    if (U_FAILURE(status) || !target) {
        return decodeSingleByte(bytes, false);
    }
    std::string out;
    out.resize(bytes.size() * 3 + 16);
    std::array<UChar, 4096> pivot{};
    UChar* pivotSource = pivot.data();
    UChar* pivotTarget = pivot.data();
    const char* in = bytes.data();
    const char* inEnd = bytes.data() + bytes.size();
    char* outPos = out.data();
    for (;;) {
        status = U_ZERO_ERROR;
        char* outEnd = out.data() + out.size();
        ucnv_convertEx(target.get(), source.get(), &outPos, outEnd, &in, inEnd, pivot.data(),
                       &pivotSource, &pivotTarget, pivot.data() + pivot.size(), false, true,
                       &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            const std::size_t used = static_cast<std::size_t>(outPos - out.data());
            out.resize(out.size() * 2);
            outPos = out.data() + used;
            continue;
        }
        break;
    }
    if (U_FAILURE(status)) {
        return decodeSingleByte(bytes, false);
    }
    out.resize(static_cast<std::size_t>(outPos - out.data()));
    return out;
}

}  // namespace

std::string encodingForLabel(std::string_view label) {
    std::string key = trimAsciiWhitespace(label);
    std::transform(key.begin(), key.end(), key.begin(), [](char c) { return toLower(c); });
    const auto& table = labelTable();
    const auto found = table.find(key);
    return found != table.end() ? found->second : std::string();
}

std::string prescanMetaCharset(std::string_view bytes) {
    const std::size_t end = std::min(bytes.size(), kPrescanHeadLimit);
    const std::string_view view = bytes.substr(0, end);
    std::size_t pos = 0;
    std::string name;
    std::string value;
    std::string tag;
    while (pos < end) {
        if (view[pos] != '<') {
            ++pos;
            continue;
        }
        if (view.compare(pos, 4, "<!--") == 0) {
            const std::size_t close = view.find("-->", pos + 2);
            if (close == std::string_view::npos) {
                return {};
            }
            pos = close + 3;
            continue;
        }
        if (startsWithNoCase(view, pos, "<meta") && pos + 5 < end &&
            (isAsciiWhitespace(static_cast<unsigned char>(view[pos + 5])) ||
             view[pos + 5] == '/')) {
            pos += 6;
            bool gotPragma = false;
            int needPragma = -1;  // -1 unset, 0 false, 1 true
            std::string charset;
            std::vector<std::string> seen;
            while (prescanAttribute(view, pos, name, value)) {
                if (std::find(seen.begin(), seen.end(), name) != seen.end()) {
                    continue;
                }
                seen.push_back(name);
                if (name == "http-equiv") {
                    gotPragma = gotPragma || value == "content-type";
                } else if (name == "content") {
                    if (charset.empty()) {
                        const std::string label = charsetFromContent(value);
                        if (!label.empty()) {
                            charset = encodingForLabel(label);
                            needPragma = charset.empty() ? needPragma : 1;
                        }
                    }
                } else if (name == "charset") {
                    charset = encodingForLabel(value);
                    needPragma = 0;
                }
            }
            if (needPragma == -1 || (needPragma == 1 && !gotPragma) || charset.empty()) {
                continue;
            }
            if (charset == "UTF-16LE" || charset == "UTF-16BE") {
                return "UTF-8";
            }
            if (charset == "x-user-defined") {
                return "windows-1252";
            }
            return charset;
        }
        const bool endTag = pos + 1 < end && view[pos + 1] == '/';
        const std::size_t nameStart = pos + (endTag ? 2 : 1);
        if (nameStart < end && isAsciiAlpha(static_cast<unsigned char>(view[nameStart]))) {
            tag.clear();
            pos = nameStart;
            while (pos < end && !isAsciiWhitespace(static_cast<unsigned char>(view[pos])) &&
                   view[pos] != '>' && view[pos] != '/') {
                tag.push_back(toLower(view[pos]));
                ++pos;
            }
            if (pos >= kPrescanUnconditional && !endTag && !isHeadContentTag(tag)) {
                return {};  // the body has begun: a later declaration no longer counts
            }
            while (prescanAttribute(view, pos, name, value)) {
            }
            continue;
        }
        if (pos + 1 < end &&
            (view[pos + 1] == '!' || view[pos + 1] == '/' || view[pos + 1] == '?')) {
            const std::size_t close = view.find('>', pos + 1);
            if (close == std::string_view::npos) {
                return {};
            }
            pos = close + 1;
            continue;
        }
        ++pos;
    }
    return {};
}

SniffedEncoding sniffEncoding(std::string_view bytes) {
    auto starts = [&](std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; };
    if (starts("\xEF\xBB\xBF")) {
        return {"UTF-8", EncodingSource::ByteOrderMark, 3};
    }
    if (starts("\xFE\xFF")) {
        return {"UTF-16BE", EncodingSource::ByteOrderMark, 2};
    }
    if (starts("\xFF\xFE")) {
        return {"UTF-16LE", EncodingSource::ByteOrderMark, 2};
    }
    std::string declared = prescanMetaCharset(bytes);
    if (!declared.empty()) {
        return {std::move(declared), EncodingSource::MetaDeclaration, 0};
    }
    return {detectUndeclared(bytes), EncodingSource::Detected, 0};
}

SniffedEncoding sniffEncoding(std::string_view bytes, std::string_view transportLabel) {
    SniffedEncoding sniffed = sniffEncoding(bytes);
    if (sniffed.source == EncodingSource::ByteOrderMark) {
        return sniffed;
    }
    std::string transport = encodingForLabel(transportLabel);
    if (transport.empty()) {
        return sniffed;
    }
    return {std::move(transport), EncodingSource::Transport, 0};
}

std::string decodeToUtf8(std::string_view bytes, const SniffedEncoding& encoding) {
    bytes.remove_prefix(std::min(encoding.bomLength, bytes.size()));
    const std::string& name = encoding.name;
    if (name == "UTF-8") {
        return repairUtf8(bytes);
    }
    if (name == "windows-1252") {
        return decodeSingleByte(bytes, false);
    }
    if (name == "x-user-defined") {
        return decodeSingleByte(bytes, true);
    }
    if (name == "replacement") {
        return bytes.empty() ? std::string() : std::string("\xEF\xBF\xBD");
    }
    return decodeWithIcu(bytes, name);
}

std::string htmlBytesToUtf8(std::string_view bytes) {
    return decodeToUtf8(bytes, sniffEncoding(bytes));
}

std::string htmlBytesToUtf8(std::string_view bytes, std::string_view transportLabel) {
    return decodeToUtf8(bytes, sniffEncoding(bytes, transportLabel));
}

SourceText htmlFileBytesToUtf8(SourceText bytes) {
    const SniffedEncoding encoding = sniffEncoding(bytes.view());
    if (encoding.name == "UTF-8" && isValidUtf8(bytes.view().substr(encoding.bomLength))) {
        bytes.removePrefix(encoding.bomLength);
        return bytes;
    }
    SourceText text(decodeToUtf8(bytes.view(), encoding));
    text.answerForFileOf(bytes);
    return text;
}

std::string htmlFileBytesToUtf8(std::string bytes) {
    return htmlFileBytesToUtf8(SourceText(std::move(bytes))).toString();
}

}  // namespace tabrivo
