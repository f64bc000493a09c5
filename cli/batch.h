#pragma once
// A batch of conversions: which source goes to which output, and running them
// on several workers.

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include <engine/atomic_file.h>
#include <engine/error_trap.h>

namespace tabrivo::cli {

// Collects failures (of one conversion, of a folder scan) as single lines.
class LineReporter : public FailureReporter {
public:
    void showFailure(const FailureReport& report) override {
        m_lines.push_back(report.description);
    }
    // Reports the exception being handled (call only inside a catch) as the
    // failure of the file at `path`.
    void reportCurrentException(const std::string& path) noexcept;
    const std::vector<std::string>& lines() const { return m_lines; }
    // Whether anything failed, a failure whose line could not be made included.
    bool failed() const { return !m_lines.empty() || m_failedWithoutLine; }

private:
    std::vector<std::string> m_lines;
    bool m_failedWithoutLine = false;
};

struct BatchItem {
    std::string source;  // absolute
    std::string output;
    TargetStatus outputStatus = TargetStatus::Unknown;
};

struct BatchPlan {
    // Items that share an output path form one group, converted in the order
    // given, so the later source's result is the one that stays.
    std::vector<std::vector<BatchItem>> groups;
    // Whether the results go to their output paths (not to standard output):
    // then a source whose result would replace it is refused, a failure of
    // its own, when its turn comes.
    bool writesResults = true;
    // One line per output path that several sources give.
    std::vector<std::string> clashes;
    std::size_t itemCount = 0;
};

// The clash rule's line for sources, in the order they are converted, that
// give the same result: the later one's result is the one kept.
std::string clashLine(const std::vector<std::string_view>& sources, std::string_view output);

// A source named twice is converted once. Results are named with
// `extension` in place of ".json".
BatchPlan planBatch(std::vector<std::string> sources, const std::optional<std::string>& outputDir,
                    std::string_view extension = ".json");

// Marks the results that will be new files, as a listing of their folders
// shows them now, so that the workers need not look each one up (the first
// of each group only: the later ones replace it). A folder is listed when
// several results go there and it holds not too many other entries.
void markNewResults(BatchPlan& plan, std::string_view extension = ".json");

struct BatchProgress {
    std::size_t done = 0;
    std::size_t total = 0;
    std::uint64_t bytesDone = 0;
    std::string current;
};

struct BatchResult {
    std::size_t converted = 0;
    std::size_t failed = 0;
    bool flushed = true;  // false when the results could not be flushed to disk
};

// Converts one item, reporting its failures to the reporter (called from the
// workers, several at a time).
using ItemConverter = std::function<void(const BatchItem&, FailureReporter&)>;

// Converts every item (with `convert`, by default into the Tabrivo text
// format), then flushes the file systems written to, once each,
// before returning. Each failure is handed to `onError` as one line naming
// the path and the reason; `onProgress` (optional) follows each item. Both are
// called from the workers, one call at a time. Once `stop` is requested no
// further item is started (those under way finish).
BatchResult runBatch(const BatchPlan& plan, unsigned jobs,
                     const std::function<void(const std::string&)>& onError,
                     const std::function<void(const BatchProgress&)>& onProgress = {},
                     const ItemConverter& convert = {}, std::stop_token stop = {});

}  // namespace tabrivo::cli
