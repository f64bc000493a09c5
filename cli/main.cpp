// tabrivo-convert: the conversion without a window, for scripts and large batches.

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <thread>

#include <cli/batch.h>
#include <cli/cli_options.h>
#include <cli/progress_line.h>
#include <engine/atomic_file.h>
#include <files/path_helpers.h>

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// A conversion ended by a signal leaves no temporary file behind.
extern "C" void onTerminatingSignal(int signal) {
    tabrivo::removeUnfinishedOutputs();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Control characters (a newline in a file name) would break a message's line.
std::string oneLine(const std::string& text) {
    std::string line;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20) {
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

int usageError(const std::string& message) {
    std::cerr << "tabrivo-convert: " << message << "\n"
              << "Try 'tabrivo-convert --help' for more information.\n";
    return kExitUsage;
}

// Appends the paths listed one a line in `listPath` ("-": standard input).
bool readFileList(const std::string& listPath, std::vector<std::string>& sources) {
    std::ifstream file;
    std::istream* in = &std::cin;
    if (listPath != "-") {
        file.open(listPath);
        if (!file) {
            return false;
        }
        in = &file;
    }
    std::string line;
    while (std::getline(*in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            sources.push_back(line);
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tabrivo;
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
    for (const std::string& list : options.filesFrom) {
        if (!readFileList(list, options.sources)) {
            return usageError("cannot read the file list \"" + list + "\"");
        }
    }
    if (options.sources.empty()) {
        return usageError("no input files");
    }
    if (options.outputDir && !FolderExists(*options.outputDir)) {
        return usageError("the output folder \"" + *options.outputDir + "\" does not exist");
    }

    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(signal, onTerminatingSignal);
    }
    const cli::BatchPlan plan = cli::planBatch(options.sources, options.outputDir);
    for (const std::string& warning : plan.warnings) {
        std::cerr << "tabrivo-convert: warning: " << warning << '\n';
    }
    const unsigned jobs =
        options.jobs != 0 ? options.jobs : std::max(1U, std::thread::hardware_concurrency());

    const bool showProgress = !options.quiet && ::isatty(STDERR_FILENO) != 0;
    cli::ProgressLine progressLine(std::cerr);
    std::function<void(const cli::BatchProgress&)> onProgress;
    if (showProgress) {
        onProgress = [&progressLine](const cli::BatchProgress& progress) {
            progressLine.update(progress);
        };
    }
    auto onError = [&progressLine](const std::string& line) {
        progressLine.clear();  // errors stand on lines of their own, above the progress
        std::cerr << "tabrivo-convert: " << oneLine(line) << std::endl;
    };
    const cli::BatchResult result = cli::runBatch(plan, jobs, onError, onProgress);
    if (showProgress) {
        progressLine.finish(result.converted, result.failed);
    }
    return result.failed == 0 ? 0 : kExitFailed;
}
