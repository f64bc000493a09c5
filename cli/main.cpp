// tabrivo-convert: the conversion without a window, for scripts and large batches.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <mutex>
#include <new>
#include <stop_token>
#include <system_error>
#include <thread>

#include <cli/batch.h>
#include <cli/cli_options.h>
#include <cli/progress_line.h>
#include <cli/standard_streams.h>
#include <cli/warc_command.h>
#include <engine/atomic_file.h>
#include <engine/data_export.h>
#include <engine/memory_reuse.h>
#include <engine/unique_fd.h>
#include <files/folder_scan.h>
#include <files/tree_walk.h>

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// A conversion ended by a signal leaves no temporary file behind.
extern "C" void onTerminatingSignal(int signal) {
    tabrivo::removeUnfinishedOutputs();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

int usageError(const std::string& message) {
    std::cerr << "tabrivo-convert: " << tabrivo::cli::printableLine(message) << "\n"
              << "Try 'tabrivo-convert --help' for more information.\n";
    return kExitUsage;
}

constexpr char kMissing[] = "does not exist";
constexpr char kNotAFolder[] = "is not a folder";

// What keeps `path` from being used as a folder, as the end of a message
// naming it (kMissing, kNotAFolder, or the system's reason); empty when it is one.
std::string folderProblem(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return errno == ENOENT || errno == ENOTDIR
                   ? std::string(kMissing)
                   : std::string("cannot be reached: ") + std::strerror(errno);
    }
    return S_ISDIR(info.st_mode) ? std::string() : std::string(kNotAFolder);
}

// Appends the paths listed in `listPath` ("-": standard input), one a line or
// NUL-separated. Returns the reason it could not be read, or an empty text.
std::string readFileList(const std::string& listPath, bool nullSeparated,
                         std::vector<std::string>& sources) {
    tabrivo::UniqueFd file;
    int fd = STDIN_FILENO;
    if (listPath != "-") {
        file = tabrivo::UniqueFd(::open(listPath.c_str(), O_RDONLY | O_CLOEXEC));
        if (!file.valid()) {
            return std::strerror(errno);
        }
        fd = file.get();
    }
    std::string text;
    try {
        text = tabrivo::cli::readToEnd(fd, "the file list");
    } catch (const std::system_error& error) {
        return error.code().message();
    }
    const char separator = nullSeparated ? '\0' : '\n';
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string entry = text.substr(start, end - start);
        if (!nullSeparated && !entry.empty() && entry.back() == '\r') {
            entry.pop_back();
        }
        if (!entry.empty()) {
            sources.push_back(std::move(entry));
        }
        start = end + 1;
    }
    return {};
}

}  // namespace

// Memory that runs out for one file fails that file (see runBatch); here it
// is what the run as a whole needed (the list of files, say).
int main(int argc, char** argv) try {
    using namespace tabrivo;
    keepFreedMemoryForNextDocuments();
    cli::ParseResult parsed = cli::parseOptions(argc, argv);
    if (!parsed.error.empty()) {
        return usageError(parsed.error);
    }
    cli::Options& options = parsed.options;
    if (options.help) {
        std::cout << cli::usageText();
        return 0;
    }
    if (options.version) {
        std::cout << "tabrivo-convert " TABRIVO_VERSION "\n";
        return 0;
    }
    const bool toStandardOutput = options.outputDir == "-";
    if (toStandardOutput) {
        options.outputDir.reset();  // the plan's result paths are then only names
    }
    if (options.outputDir) {
        const std::string problem = folderProblem(*options.outputDir);
        if (!problem.empty()) {
            const char* named = problem == kNotAFolder ? "the output path" : "the output folder";
            return usageError(named + (" \"" + *options.outputDir + "\" ") + problem);
        }
    }
    for (const cli::Input& input : options.inputs) {
        // A folder that is there but cannot be listed is reported by the walk,
        // and the other sources still convert.
        const std::string problem = input.tree ? folderProblem(input.path) : std::string();
        if (problem == kMissing || problem == kNotAFolder) {
            const char* named = problem == kNotAFolder ? "the path" : "the folder";
            return usageError(named + (" \"" + input.path + "\" to search ") + problem);
        }
    }

    auto report = [](const std::string& line) {
        std::cerr << "tabrivo-convert: " << cli::printableLine(line) << std::endl;
    };
    std::vector<std::string> sources;
    cli::LineReporter scanFailures;
    for (const cli::Input& input : options.inputs) {
        if (input.tree) {
            walkTreeFiles(
                input.path, extensionPattern(options.extension),
                [&](std::string path) { sources.push_back(std::move(path)); }, scanFailures);
        } else {
            sources.push_back(input.path);
        }
    }
    for (const std::string& list : options.filesFrom) {
        const std::string reason = readFileList(list, options.nullSeparated, sources);
        if (!reason.empty()) {
            std::string message = "cannot read the file list \"";
            message.append(list).append("\": ").append(reason);
            return usageError(message);
        }
    }

    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(signal, onTerminatingSignal);
    }
    if (options.warc) {
        return cli::convertWarcFiles(sources, options.outputDir, toStandardOutput, options.grid,
                                     report)
                   ? 0
                   : kExitFailed;
    }
    const std::string extension = options.format == "tabrivo" ? ".json" : "." + options.format;
    cli::BatchPlan plan = cli::planBatch(std::move(sources), options.outputDir, extension);
    if (toStandardOutput) {
        plan.clashes.clear();  // nothing is written to those paths
        plan.writesResults = false;
    } else {
        cli::markNewResults(plan, extension);
    }
    for (const std::string& line : scanFailures.lines()) {
        report(line);
    }
    for (const std::string& line : plan.clashes) {
        report(line);
    }
    const unsigned jobs =
        options.jobs != 0 ? options.jobs : std::max(1U, std::thread::hardware_concurrency());

    // The first write to standard output that fails stops the run.
    cli::StandardOutput standardOutput(STDOUT_FILENO);
    std::stop_source stopRun;
    cli::BatchResult fromStandardInput;
    if (options.standardInput) {
        cli::LineReporter reporter;
        if (cli::convertStandardInput(options.format, options.grid, standardOutput, reporter)) {
            fromStandardInput.converted = 1;
        } else {
            fromStandardInput.failed = 1;
        }
        for (const std::string& line : reporter.lines()) {
            report(line);
        }
        if (standardOutput.error() != 0) {
            stopRun.request_stop();
        }
    }

    const bool showProgress =
        !options.quiet && cli::progressLineFits(toStandardOutput || options.standardInput);
    cli::ProgressLine progressLine(std::cerr, cli::terminalOf(STDERR_FILENO));
    std::function<void(const cli::BatchProgress&)> onProgress;
    if (showProgress) {
        onProgress = [&progressLine](const cli::BatchProgress& progress) {
            progressLine.update(progress);
        };
    }
    auto onError = [&](const std::string& line) {
        progressLine.clear();  // errors stand on lines of their own, above the progress
        report(line);
    };
    cli::ItemConverter convert;
    if (options.format != "tabrivo") {
        ExportOptions exportOptions;
        exportOptions.format = options.format == "json"    ? DataFormat::kJson
                               : options.format == "jsonl" ? DataFormat::kJsonLines
                                                           : DataFormat::kCsv;
        exportOptions.grid = options.grid;
        convert = [&, exportOptions](const cli::BatchItem& item, FailureReporter& reporter) {
            if (!toStandardOutput) {
                exportFile(item.source, item.output, exportOptions, reporter);
                return;
            }
            std::string lines;  // one file's lines reach standard output together
            exportFile(item.source, item.output, exportOptions, reporter, &lines);
            if (!standardOutput.write(lines)) {
                stopRun.request_stop();
            }
        };
    }
    cli::BatchResult result =
        cli::runBatch(plan, jobs, onError, onProgress, convert, stopRun.get_token());
    result.converted += fromStandardInput.converted;
    result.failed += fromStandardInput.failed + scanFailures.lines().size();
    const std::string outputFailure = standardOutput.failureLine();
    if (!outputFailure.empty()) {
        onError(outputFailure);
    }
    if (showProgress) {
        progressLine.finish(result.converted, result.failed);
    }
    const bool allWell =
        result.failed == 0 && plan.clashes.empty() && result.flushed && outputFailure.empty();
    return allWell ? 0 : kExitFailed;
} catch (const std::bad_alloc&) {
    std::cerr << "tabrivo-convert: " << tabrivo::kNotEnoughMemory << std::endl;
    return kExitFailed;
}
