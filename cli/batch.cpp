#include <cli/batch.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <unordered_map>

#include <engine/convert.h>
#include <engine/output_flush.h>
#include <files/folder_names.h>
#include <files/output_path.h>

namespace tabrivo::cli {
namespace {

// Whether the path is absolute and already in lexically normal form (no
// empty, "." or ".." component, no trailing separator): most given paths are,
// and a batch plans thousands of them before any is converted.
bool isNormalAbsolute(std::string_view path) {
#ifdef _WIN32
    (void)path;
    return false;
#else
    if (path.size() < 2 || path.front() != '/' || path.back() == '/') {
        return false;
    }
    std::size_t begin = 1;
    while (begin <= path.size()) {
        std::size_t end = path.find('/', begin);
        end = end == std::string_view::npos ? path.size() : end;
        const std::string_view component = path.substr(begin, end - begin);
        if (component.empty() || component == "." || component == "..") {
            return false;
        }
        begin = end + 1;
    }
    return true;
#endif
}

std::string absolutePath(std::string path) {
    if (isNormalAbsolute(path)) {
        return path;
    }
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

std::uint64_t fileSize(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

// The result-over-source rule, checked by the worker just before the item is
// converted: the check looks at the file system, and done for every item
// while planning it kept the other workers waiting.
bool resultLeavesSourceAlone(const BatchItem& item, FailureReporter& reporter) {
    try {
        refuseResultOverSource(item.source, item.output, item.outputStatus);
        return true;
    } catch (const std::runtime_error& refusal) {
        FailureReport failure;
        failure.description = refusal.what();
        reporter.showFailure(failure);
        return false;
    }
}

}  // namespace

void LineReporter::reportCurrentException(const std::string& path) noexcept {
    try {
        try {
            throw;
        } catch (const std::bad_alloc&) {
            m_lines.push_back(notEnoughMemoryFor(path));
        } catch (...) {
            m_lines.push_back("Cannot convert \"" + path + "\": " + describeCurrentException());
        }
    } catch (...) {
        m_failedWithoutLine = true;  // not even the line fits: the file fails all the same
    }
}

BatchPlan planBatch(std::vector<std::string> sources, const std::optional<std::string>& outputDir,
                    std::string_view extension) {
    BatchPlan plan;
    plan.groups.reserve(sources.size());
    std::unordered_map<std::string, std::size_t> groupOfOutput;
    groupOfOutput.reserve(sources.size());
    const std::string outputFolder = outputDir ? absolutePath(*outputDir) : std::string();
    for (std::string& given : sources) {
        BatchItem item;
        item.source = absolutePath(std::move(given));
        item.output = outputDir ? outputPathInFolder(outputFolder, item.source)
                                : outputPathBesideSource(item.source);
        if (extension != ".json" && item.output.ends_with(".json")) {
            item.output.resize(item.output.size() - 5);
            item.output.append(extension);
        }
        const auto [found, inserted] = groupOfOutput.emplace(item.output, plan.groups.size());
        if (inserted) {
            plan.groups.emplace_back();
        }
        std::vector<BatchItem>& group = plan.groups[found->second];
        const bool repeated = std::any_of(group.begin(), group.end(), [&](const BatchItem& other) {
            return other.source == item.source;
        });
        if (!repeated) {
            group.push_back(std::move(item));
            ++plan.itemCount;
        }
    }
    for (const std::vector<BatchItem>& group : plan.groups) {
        if (group.size() < 2) {
            continue;
        }
        std::vector<std::string_view> groupSources;
        for (const BatchItem& item : group) {
            groupSources.emplace_back(item.source);
        }
        plan.clashes.push_back(clashLine(groupSources, group.front().output));
    }
    return plan;
}

std::string clashLine(const std::vector<std::string_view>& sources, std::string_view output) {
    std::string line;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        line += i == 0 ? "" : i + 1 == sources.size() ? " and " : ", ";
        line.append("\"").append(sources[i]).append("\"");
    }
    line.append(" give the same result \"").append(output).append("\"; the result of \"");
    return line.append(sources.back()).append("\" is kept");
}

void markNewResults(BatchPlan& plan, std::string_view extension) {
    // A listing costs about what a few look-ups do, and each entry a little.
    constexpr std::size_t kListFromResults = 4;
    constexpr std::size_t kEntriesPerResult = 16;
    // Keyed by views into the items' own output paths, which stay put meanwhile.
    std::unordered_map<std::string_view, std::vector<BatchItem*>> firstResultsByFolder;
    for (std::vector<BatchItem>& group : plan.groups) {
        firstResultsByFolder[folderOfFileView(group.front().output)].push_back(&group.front());
    }
    for (const auto& [folder, items] : firstResultsByFolder) {
        if (items.size() < kListFromResults) {
            continue;
        }
        const std::optional<FolderNames> names =
            FolderNames::read(std::string(folder), extension, items.size() * kEntriesPerResult);
        if (!names) {
            continue;
        }
        for (BatchItem* item : items) {
            if (names->surelyLacks(fileNameView(item->output))) {
                item->outputStatus = TargetStatus::KnownAbsent;
            }
        }
    }
}

BatchResult runBatch(const BatchPlan& plan, unsigned jobs,
                     const std::function<void(const std::string&)>& onError,
                     const std::function<void(const BatchProgress&)>& onProgress,
                     const ItemConverter& convert, std::stop_token stop) {
    std::mutex mutex;  // guards the result, the progress and the callbacks
    BatchResult result;
    BatchProgress progress;
    progress.total = plan.itemCount;
    std::atomic<std::size_t> nextGroup{0};
    OutputFlush flush;

    auto worker = [&] {
        for (;;) {
            const std::size_t index = nextGroup.fetch_add(1);
            if (index >= plan.groups.size()) {
                return;
            }
            for (const BatchItem& item : plan.groups[index]) {
                if (stop.stop_requested()) {
                    return;
                }
                LineReporter reporter;
                try {
                    if (!plan.writesResults || resultLeavesSourceAlone(item, reporter)) {
                        if (convert) {
                            convert(item, reporter);
                        } else {
                            ConvertVelquist(item.source, item.output, reporter, {}, nullptr,
                                            item.outputStatus);
                        }
                    }
                } catch (...) {
                    // The file fails; the run goes on with the next (on this
                    // thread, whose end would otherwise end the program).
                    reporter.reportCurrentException(item.source);
                }
                // Only a progress display shows the bytes done.
                const std::uint64_t bytes = onProgress ? fileSize(item.source) : 0;
                std::lock_guard lock(mutex);
                if (!reporter.failed()) {
                    ++result.converted;
                } else {
                    ++result.failed;
                }
                ++progress.done;
                progress.bytesDone += bytes;
                try {
                    for (const std::string& line : reporter.lines()) {
                        onError(line);
                    }
                    flush.note(item.output);
                    progress.current = item.source;
                    if (onProgress) {
                        onProgress(progress);
                    }
                } catch (const std::bad_alloc&) {
                    // The file is counted; its line or its progress is what
                    // memory did not allow.
                }
            }
        }
    };

    const unsigned workerCount =
        std::max(1U, std::min<unsigned>(jobs, static_cast<unsigned>(plan.groups.size())));
    if (workerCount == 1) {
        worker();
    } else {
        std::vector<std::jthread> workers;
        workers.reserve(workerCount);
        for (unsigned i = 0; i < workerCount; ++i) {
            workers.emplace_back(worker);
        }
    }
    try {
        flush.flush();
    } catch (const std::system_error& error) {
        result.flushed = false;
        onError(error.what());
    }
    return result;
}

}  // namespace tabrivo::cli
