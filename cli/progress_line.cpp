#include <cli/progress_line.h>

#include <cstdio>
#include <string>

namespace tabrivo::cli {
namespace {

constexpr int kBarWidth = 24;
constexpr std::size_t kNameWidth = 40;

std::string shortName(const std::string& path) {
    std::string name = path.substr(path.rfind('/') + 1);
    if (name.size() > kNameWidth) {
        name = "..." + name.substr(name.size() - (kNameWidth - 3));
    }
    return name;
}

}  // namespace

ProgressLine::ProgressLine(std::ostream& out)
    : m_out(out), m_start(std::chrono::steady_clock::now()) {}

void ProgressLine::update(const BatchProgress& progress) {
    const auto now = std::chrono::steady_clock::now();
    if (m_shown && progress.done < progress.total &&
        now - m_lastDraw < std::chrono::milliseconds(100)) {
        return;
    }
    m_lastDraw = now;
    const double seconds = std::chrono::duration<double>(now - m_start).count();
    const double megabytesPerSecond =
        seconds > 0 ? static_cast<double>(progress.bytesDone) / 1e6 / seconds : 0.0;
    const int filled = progress.total == 0
                           ? kBarWidth
                           : static_cast<int>(progress.done * kBarWidth / progress.total);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '-');
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, " %zu/%zu files  %.1f MB/s  ", progress.done,
                  progress.total, megabytesPerSecond);
    m_out << "\r\033[K[" << bar << ']' << numbers << shortName(progress.current) << std::flush;
    m_shown = true;
}

void ProgressLine::clear() {
    if (m_shown) {
        m_out << "\r\033[K" << std::flush;
        m_shown = false;
    }
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
