#pragma once
// A batch of conversions: which source goes to which output, and running them
// on several workers.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tabrivo::cli {

struct BatchItem {
    std::string source;  // absolute
    std::string output;
};

struct BatchPlan {
    // Items that share an output path form one group, converted in the order
    // given, so the later source's result is the one that stays.
    std::vector<std::vector<BatchItem>> groups;
    std::vector<std::string> warnings;
    std::size_t itemCount = 0;
};

BatchPlan planBatch(const std::vector<std::string>& sources,
                    const std::optional<std::string>& outputDir);

struct BatchProgress {
    std::size_t done = 0;
    std::size_t total = 0;
    std::uint64_t bytesDone = 0;
    std::string current;
};

struct BatchResult {
    std::size_t converted = 0;
    std::size_t failed = 0;
};

// Converts every item. Each failure is handed to `onError` as one line naming
// the path and the reason; `onProgress` (optional) follows each item. Both are
// called from the workers, one call at a time.
BatchResult runBatch(const BatchPlan& plan, unsigned jobs,
                     const std::function<void(const std::string&)>& onError,
                     const std::function<void(const BatchProgress&)>& onProgress = {});

}  // namespace tabrivo::cli
