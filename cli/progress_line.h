#pragma once
// The one-line progress display on a terminal: files done of total, the
// throughput and the current file.

#include <chrono>
#include <ostream>

#include <cli/batch.h>

namespace tabrivo::cli {

class ProgressLine {
public:
    explicit ProgressLine(std::ostream& out);
    // Redraws the line, at most ten times a second.
    void update(const BatchProgress& progress);
    // Removes the line so that another message can be printed.
    void clear();
    // Prints the summary in place of the line.
    void finish(std::size_t converted, std::size_t failed);

private:
    std::ostream& m_out;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastDraw;
    bool m_shown = false;
};

}  // namespace tabrivo::cli
