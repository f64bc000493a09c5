#pragma once
// Source encoding: what a browser would decode an HTML file's bytes as, and
// the decoding itself (the parser reads UTF-8 only).

#include <cstddef>
#include <string>
#include <string_view>

#include <engine/source_text.h>

namespace tabrivo {

enum class EncodingSource { ByteOrderMark, MetaDeclaration, Detected, Default, Transport };

struct SniffedEncoding {
    std::string name;  // the encoding's canonical name, e.g. "UTF-8", "windows-1252"
    EncodingSource source = EncodingSource::Default;
    std::size_t bomLength = 0;  // bytes of byte-order mark to skip
};

// Byte-order mark first, then a <meta charset> / http-equiv declaration near
// the top of the file, then detection of undeclared text (valid UTF-8 stays
// UTF-8), windows-1252 as the last resort.
SniffedEncoding sniffEncoding(std::string_view bytes);
// The same for bytes that came with a charset from their transport (the
// charset of an HTTP Content-Type): a known label is taken after a byte-order
// mark and before a <meta> declaration, as browsers take it.
SniffedEncoding sniffEncoding(std::string_view bytes, std::string_view transportLabel);

// Maps an encoding label ("latin1", " UTF8 ", "gb2312", ...) to its canonical
// name; empty when the label is unknown.
std::string encodingForLabel(std::string_view label);

// The declaration found by the meta prescan (canonical name), or empty.
std::string prescanMetaCharset(std::string_view bytes);

// Decodes to UTF-8 text, replacing malformed input with U+FFFD. NUL
// characters stay, as in the browser: the parser drops them from text and
// reads them as U+FFFD in names, attribute values and raw text. Never fails
// for any input.
std::string decodeToUtf8(std::string_view bytes, const SniffedEncoding& encoding);

// sniffEncoding + decodeToUtf8.
std::string htmlBytesToUtf8(std::string_view bytes);
std::string htmlBytesToUtf8(std::string_view bytes, std::string_view transportLabel);
// The same for a file's bytes that the caller gives up: well-formed UTF-8 is
// passed on without a copy (a mapped file stays mapped).
SourceText htmlFileBytesToUtf8(SourceText bytes);
std::string htmlFileBytesToUtf8(std::string bytes);

}  // namespace tabrivo
