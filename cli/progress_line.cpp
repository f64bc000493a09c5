#include <cli/progress_line.h>

#include <sys/ioctl.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tabrivo::cli {
namespace {

constexpr std::size_t kBarWidth = 24;
constexpr std::size_t kRoomForBar = 60;  // narrower terminals get no bar

// The last `room` bytes of the name at most, cut at a character boundary.
std::string nameThatFits(const std::string& path, std::size_t room) {
    std::string name = printableLine(path.substr(path.rfind('/') + 1));
    if (name.size() <= room) {
        return name;
    }
    if (room < 4) {
        return {};
    }
    std::size_t start = name.size() - (room - 3);
    while (start < name.size() && (static_cast<unsigned char>(name[start]) & 0xC0) == 0x80) {
        ++start;  // not in the middle of a UTF-8 sequence
    }
    std::string fitted = "...";
    fitted.append(name, start);
    return fitted;
}

}  // namespace

Terminal terminalOf(int fd) {
    Terminal terminal;
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        terminal.columns = size.ws_col;
    } else if (const char* columns = std::getenv("COLUMNS")) {
        std::size_t value = 0;
        const char* end = columns + std::strlen(columns);
        const auto parsed = std::from_chars(columns, end, value);
        if (parsed.ec == std::errc() && parsed.ptr == end && value > 0) {
            terminal.columns = value;
        }
    }
    const char* term = std::getenv("TERM");
    terminal.dumb = term != nullptr && std::strcmp(term, "dumb") == 0;
    return terminal;
}

std::string printableLine(const std::string& text) {
    std::string line;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            static constexpr char kHex[] = "0123456789abcdef";
            line += "\\x";
            line += kHex[(c >> 4) & 0xF];
            line += kHex[c & 0xF];
        } else {
            line += c;
        }
    }
    return line;
}

ProgressLine::ProgressLine(std::ostream& out, Terminal terminal)
    : m_out(out), m_terminal(terminal), m_start(std::chrono::steady_clock::now()) {}

std::string ProgressLine::lineFor(const BatchProgress& progress, double seconds) const {
    // One column is left free: writing the last one makes some terminals wrap.
    const std::size_t room = m_terminal.columns > 1 ? m_terminal.columns - 1 : 0;
    const double megabytesPerSecond =
        seconds > 0 ? static_cast<double>(progress.bytesDone) / 1e6 / seconds : 0.0;
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "%zu/%zu files  %.1f MB/s  ", progress.done,
                  progress.total, megabytesPerSecond);
    std::string line;
    if (room >= kRoomForBar) {
        const std::size_t filled =
            progress.total == 0 ? kBarWidth : progress.done * kBarWidth / progress.total;
        line.reserve(kBarWidth + 3);
        line.push_back('[');
        line.append(filled, '#');
        line.append(kBarWidth - filled, '-');
        line.append("] ");
    }
    line += numbers;
    if (line.size() >= room) {
        return line.substr(0, room);
    }
    return line + nameThatFits(progress.current, room - line.size());
}

void ProgressLine::update(const BatchProgress& progress) {
    const auto now = std::chrono::steady_clock::now();
    if (m_shownLength > 0 && progress.done < progress.total &&
        now - m_lastDraw < std::chrono::milliseconds(100)) {
        return;
    }
    m_lastDraw = now;
    const std::string line =
        lineFor(progress, std::chrono::duration<double>(now - m_start).count());
    if (m_terminal.dumb) {
        // No erase sequence: spaces cover what the longer line before left.
        const std::size_t cover = m_shownLength > line.size() ? m_shownLength - line.size() : 0;
        m_out << '\r' << line << std::string(cover, ' ');
    } else {
        m_out << "\r\033[K" << line;
    }
    m_out << std::flush;
    m_shownLength = std::max<std::size_t>(line.size(), 1);
}

void ProgressLine::clear() {
    if (m_shownLength == 0) {
        return;
    }
    if (m_terminal.dumb) {
        m_out << '\r' << std::string(m_shownLength, ' ') << '\r';
    } else {
        m_out << "\r\033[K";
    }
    m_out << std::flush;
    m_shownLength = 0;
}

void ProgressLine::finish(std::size_t converted, std::size_t failed) {
    clear();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    char summary[128];
    std::snprintf(summary, sizeof summary, "%zu converted, %zu failed in %.2f s\n", converted,
                  failed, seconds);
    m_out << summary << std::flush;
}

}  // namespace tabrivo::cli
