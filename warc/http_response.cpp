#include <warc/http_response.h>

#include <charconv>

#include <engine/ascii.h>
#include <warc/content_coding.h>

namespace tabrivo {
namespace {

constexpr std::size_t kMaxHeaderBytes = std::size_t{256} * 1024;

// The next line of `text` from `pos` without its CR LF or LF; nothing when
// no line end follows.
std::optional<std::string_view> takeLine(std::string_view text, std::size_t& pos) {
    const std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    pos = end + 1;
    return line;
}

// Undoes chunked transfer coding; nothing when a chunk is malformed.
std::optional<std::string> unchunk(std::string_view body) {
    std::string out;
    std::size_t pos = 0;
    for (;;) {
        const std::optional<std::string_view> sizeLine = takeLine(body, pos);
        if (!sizeLine) {
            return std::nullopt;
        }
        const std::string_view digits = ascii::trim(sizeLine->substr(0, sizeLine->find(';')));
        std::size_t size = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), size, 16);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
            size > body.size() - pos) {
            return std::nullopt;
        }
        if (size == 0) {
            return out;  // trailers, if any, are not needed
        }
        out.append(body.substr(pos, size));
        pos += size;
        if (body.substr(pos, 2) == "\r\n") {
            pos += 2;
        } else if (body.substr(pos, 1) == "\n") {
            pos += 1;
        } else {
            return std::nullopt;
        }
    }
}

}  // namespace

void parseContentType(std::string_view value, std::string& mediaType, std::string& charset) {
    const std::size_t semicolon = value.find(';');
    mediaType = ascii::toLower(ascii::trim(value.substr(0, semicolon)));
    charset.clear();
    std::string_view parameters =
        semicolon == std::string_view::npos ? std::string_view() : value.substr(semicolon + 1);
    while (!parameters.empty()) {
        const std::size_t next = parameters.find(';');
        const std::string_view parameter = parameters.substr(0, next);
        parameters =
            next == std::string_view::npos ? std::string_view() : parameters.substr(next + 1);
        const std::size_t equals = parameter.find('=');
        if (equals == std::string_view::npos ||
            !ascii::equalsLowered(ascii::trim(parameter.substr(0, equals)), "charset")) {
            continue;
        }
        std::string_view quoted = ascii::trim(parameter.substr(equals + 1));
        if (quoted.size() >= 2 && quoted.front() == '"' && quoted.back() == '"') {
            quoted = quoted.substr(1, quoted.size() - 2);
        }
        charset = quoted;
        return;
    }
}

bool isHtmlMediaType(std::string_view mediaType) {
    return mediaType == "text/html" || mediaType == "application/xhtml+xml";
}

std::optional<HttpResponse> parseHttpResponse(std::string_view message) {
    std::size_t pos = 0;
    const std::optional<std::string_view> statusLine = takeLine(message, pos);
    if (!statusLine || !statusLine->starts_with("HTTP/") || statusLine->size() < 12) {
        return std::nullopt;
    }
    HttpResponse response;
    const std::size_t space = statusLine->find(' ');
    const std::string_view code = statusLine->substr(space + 1, 3);
    const auto [end, error] =
        std::from_chars(code.data(), code.data() + code.size(), response.status);
    if (space == std::string_view::npos || error != std::errc() || end != code.data() + 3) {
        return std::nullopt;
    }
    bool chunked = false;
    std::vector<std::string> transferCodings;
    for (;;) {
        const std::optional<std::string_view> field = takeLine(message, pos);
        if (!field || pos > kMaxHeaderBytes) {
            return std::nullopt;  // the header never ends
        }
        if (field->empty()) {
            break;
        }
        const std::size_t colon = field->find(':');
        if (colon == std::string_view::npos || colon == 0) {
            return std::nullopt;
        }
        const std::string_view name = ascii::trim(field->substr(0, colon));
        const std::string_view value = ascii::trim(field->substr(colon + 1));
        if (ascii::equalsLowered(name, "content-type")) {
            parseContentType(value, response.mediaType, response.charset);
        } else if (ascii::equalsLowered(name, "content-encoding")) {
            for (std::string& coding : parseCodings(value)) {
                response.codings.push_back(std::move(coding));
            }
        } else if (ascii::equalsLowered(name, "transfer-encoding")) {
            for (std::string& coding : parseCodings(value)) {
                if (coding == "chunked") {
                    chunked = true;
                } else {
                    transferCodings.push_back(std::move(coding));
                }
            }
        }
    }
    // Transfer codings are applied after the content codings.
    response.codings.insert(response.codings.end(), transferCodings.begin(), transferCodings.end());
    if (chunked) {
        std::optional<std::string> body = unchunk(message.substr(pos));
        if (!body) {
            return std::nullopt;
        }
        response.body = std::move(*body);
    } else {
        response.body = message.substr(pos);
    }
    return response;
}

}  // namespace tabrivo
