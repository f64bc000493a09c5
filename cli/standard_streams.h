#pragma once
// tabrivo-convert's standard streams: results written to standard output by
// several workers, HTML read from standard input ("-" as a source), and
// whether a progress line may be drawn.

#include <mutex>
#include <string>
#include <string_view>

#include <engine/data_export.h>
#include <engine/error_trap.h>

namespace tabrivo::cli {

// Standard output shared by the workers. Each piece is written whole, one at
// a time; after the first write that fails nothing more is written, so a run
// whose output has gone stops instead of failing once per file.
class StandardOutput {
public:
    explicit StandardOutput(int fd);
    // False, writing nothing, once a write has failed.
    bool write(std::string_view bytes);
    // The errno of the first write that failed, 0 while none has.
    int error() const;
    // The line that says why the output failed; empty when none failed or
    // when the reader went away (a closed pipe, as `| head` leaves it), which
    // ends the run without a word.
    std::string failureLine() const;

private:
    int m_fd;
    mutable std::mutex m_mutex;
    int m_error = 0;
};

// Everything read from `fd` to its end. Throws std::system_error naming
// `what` when the read fails.
std::string readToEnd(int fd, const std::string& what);

// Whether a progress line may be drawn on standard error: it is a terminal,
// and when results go to standard output that is not the same terminal (the
// line would land in the data).
bool progressLineFits(bool resultsToStandardOutput);

// The name JSON Lines give the HTML read from standard input.
inline constexpr std::string_view kStandardInputName = "-";

// Converts the HTML on standard input into `format` (tabrivo, json or jsonl)
// and writes the result to `out`. Failures go to `reporter`, a line each.
// Returns whether it converted (a result that could not be written counts,
// since `out` tells of it).
bool convertStandardInput(std::string_view format, bool grid, StandardOutput& out,
                          FailureReporter& reporter);

}  // namespace tabrivo::cli
