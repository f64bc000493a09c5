#pragma once
// The HTTP response a WARC "response" record holds: status, headers and body.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tabrivo {

struct HttpResponse {
    int status = 0;
    std::string mediaType;  // the Content-Type's type/subtype in lower case, or empty
    std::string charset;    // the Content-Type's charset parameter, or empty
    // The codings still applied to the body, in the order they were applied:
    // its Content-Encoding, then its Transfer-Encoding other than chunked.
    std::vector<std::string> codings;
    std::string body;  // with chunked transfer coding undone, the other codings not
};

// Parses a response; nothing when the status line or the headers are malformed
// or a chunked body is broken. The body's codings are left for undoCodings().
std::optional<HttpResponse> parseHttpResponse(std::string_view message);

// Splits a Content-Type value into its media type (lower case) and charset.
void parseContentType(std::string_view value, std::string& mediaType, std::string& charset);

// Whether a media type is one a browser renders as HTML.
bool isHtmlMediaType(std::string_view mediaType);

}  // namespace tabrivo
