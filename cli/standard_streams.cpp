#include <cli/standard_streams.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <system_error>

#include <engine/convert.h>
#include <engine/encoding.h>
#include <engine/html_document.h>
#include <engine/output_writer.h>

namespace tabrivo::cli {
namespace {

// The document's data, kept in memory until it is complete.
class TextTarget : public ExportTarget {
public:
    PieceSink& open(std::size_t /*index*/) override { return m_sink; }
    void close() override { m_text.append(m_sink.take()); }
    std::string take() { return std::move(m_text); }

private:
    StringSink m_sink;
    std::string m_text;
};

}  // namespace

StandardOutput::StandardOutput(int fd) : m_fd(fd) {}

bool StandardOutput::write(std::string_view bytes) {
    const std::lock_guard lock(m_mutex);
    while (m_error == 0 && !bytes.empty()) {
        const ssize_t written = ::write(m_fd, bytes.data(), bytes.size());
        if (written >= 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
        } else if (errno != EINTR) {
            m_error = errno;
        }
    }
    return m_error == 0;
}

int StandardOutput::error() const {
    const std::lock_guard lock(m_mutex);
    return m_error;
}

std::string StandardOutput::failureLine() const {
    const int error = this->error();
    if (error == 0 || error == EPIPE) {
        return {};
    }
    return std::string("Cannot write to standard output: ") + std::strerror(error) +
           "; the run stopped there";
}

std::string readToEnd(int fd, const std::string& what) {
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0) {
            return text;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::system_error(errno, std::generic_category(), "Cannot read " + what);
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

bool progressLineFits(bool resultsToStandardOutput) {
    if (::isatty(STDERR_FILENO) == 0) {
        return false;
    }
    if (!resultsToStandardOutput || ::isatty(STDOUT_FILENO) == 0) {
        return true;
    }
    struct stat output {};
    struct stat errors {};
    return ::fstat(STDOUT_FILENO, &output) == 0 && ::fstat(STDERR_FILENO, &errors) == 0 &&
           output.st_rdev != errors.st_rdev;
}

bool convertStandardInput(std::string_view format, bool grid, StandardOutput& out,
                          FailureReporter& reporter) {
    StepTrap trap(std::string(kConvertLocation), reporter);
    std::unique_ptr<HtmlDocument> document;
    const bool loaded = trap.run(convert_step::kLoadDocument, [&] {
        document = HtmlDocument::parse(
            htmlFileBytesToUtf8(readToEnd(STDIN_FILENO, "the HTML on standard input")));
    });
    if (!loaded) {
        return false;
    }
    std::string result;
    if (format == "tabrivo") {
        StringSink sink;
        if (!writeTables(*document, sink, trap)) {
            return false;
        }
        result = sink.take();
    } else {
        ExportOptions options;
        options.format = format == "json" ? DataFormat::kJson : DataFormat::kJsonLines;
        options.grid = grid;
        TextTarget target;
        if (!trap.run(convert_step::kWriteRowText,
                      [&] { exportTables(*document, options, kStandardInputName, target); })) {
            return false;
        }
        result = target.take();
    }
    out.write(result);
    return true;
}

}  // namespace tabrivo::cli
