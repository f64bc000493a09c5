#pragma once
// The one-line progress display on a terminal: files done of total, the
// throughput and the current file.

#include <chrono>
#include <ostream>
#include <string>

#include <cli/batch.h>

namespace tabrivo::cli {

// What the progress line knows of the terminal it is drawn on.
struct Terminal {
    std::size_t columns = 80;
    bool dumb = false;  // no control sequences: a plain carriage return only
};

// The terminal on file descriptor `fd`: its width from the terminal itself,
// else from COLUMNS, else 80; dumb when TERM is "dumb".
Terminal terminalOf(int fd);

// `text` with each control character (a line break in a file name) written as
// \xNN, so that it stays on one line.
std::string printableLine(const std::string& text);

class ProgressLine {
public:
    ProgressLine(std::ostream& out, Terminal terminal);
    // Redraws the line in place, at most ten times a second. The line stays
    // shorter than the terminal is wide, so it never wraps.
    void update(const BatchProgress& progress);
    // Removes the line so that another message can be printed.
    void clear();
    // Prints the summary in place of the line.
    void finish(std::size_t converted, std::size_t failed);

private:
    std::string lineFor(const BatchProgress& progress, double seconds) const;

    std::ostream& m_out;
    Terminal m_terminal;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastDraw;
    std::size_t m_shownLength = 0;  // 0: no line shown
};

}  // namespace tabrivo::cli
