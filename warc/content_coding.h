#pragma once
// The codings an HTTP body may be stored with in a web archive, undone as a
// browser undoes them: gzip (and its alias x-gzip), deflate (zlib-wrapped or
// raw, as browsers accept both), br and identity.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tabrivo {

// The codings a Content-Encoding or Transfer-Encoding value lists, in lower
// case, in the order they were applied; "identity" and empty entries are left out.
std::vector<std::string> parseCodings(std::string_view value);

// Undoes `codings` (in the order they were applied) on `body`, last applied
// first. The decoded body never grows past `limit` bytes: more is a failure,
// so that a small compressed body cannot take the memory of a huge one.
// Returns the reason the body could not be decoded (an unknown coding, damaged
// or incomplete data, too much data), or an empty string.
std::string undoCodings(std::string& body, const std::vector<std::string>& codings,
                        std::size_t limit);

}  // namespace tabrivo
