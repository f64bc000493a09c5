#include <cli/warc_command.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <map>
#include <new>
#include <set>
#include <system_error>

#include <cli/batch.h>
#include <engine/atomic_file.h>
#include <engine/error_trap.h>
#include <files/path_helpers.h>
#include <warc/warc_tables.h>

namespace tabrivo::cli {
namespace {

void dropSuffix(std::string& name, std::string_view suffix) {
    if (name.size() > suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        name.resize(name.size() - suffix.size());
    }
}

std::string comparablePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

// The archives to convert, an archive named twice once, and by the clash
// rule one line for each result several archives give.
std::vector<std::string> planArchives(const std::vector<std::string>& paths,
                                      const std::optional<std::string>& outputDir,
                                      bool toStandardOutput, std::vector<std::string>& clashes) {
    std::vector<std::string> archives;
    std::set<std::string> seen;
    std::map<std::string, std::vector<std::string_view>> sourcesOfResult;
    std::vector<std::string> resultOrder;
    for (const std::string& path : paths) {
        if (!seen.insert(comparablePath(path)).second) {
            continue;
        }
        archives.push_back(path);
        const std::string result = comparablePath(warcOutputPath(path, outputDir));
        auto [found, inserted] = sourcesOfResult.try_emplace(result);
        if (inserted) {
            resultOrder.push_back(result);
        }
        found->second.emplace_back(path);
    }
    for (const std::string& result : resultOrder) {
        const std::vector<std::string_view>& sources = sourcesOfResult[result];
        if (sources.size() > 1 && !toStandardOutput) {
            clashes.push_back(
                clashLine(sources, warcOutputPath(std::string(sources[0]), outputDir)));
        }
    }
    return archives;
}

}  // namespace

std::string warcOutputPath(const std::string& warcPath,
                           const std::optional<std::string>& outputDir) {
    std::string name = GetFileNamePart(warcPath);
    dropSuffix(name, ".gz");
    dropSuffix(name, ".warc");
    const std::string folder = outputDir ? *outputDir + "/" : GetFolderPart(warcPath);
    return CollapseDoubleBackslashes(folder + name + ".jsonl");
}

bool convertWarcFiles(const std::vector<std::string>& paths,
                      const std::optional<std::string>& outputDir, bool toStandardOutput, bool grid,
                      const std::function<void(const std::string&)>& report) {
    std::vector<std::string> clashes;
    const std::vector<std::string> archives =
        planArchives(paths, outputDir, toStandardOutput, clashes);
    for (const std::string& line : clashes) {
        report(line);
    }
    bool allWell = clashes.empty();
    std::string lines;
    for (const std::string& path : archives) {
        try {
            std::optional<AtomicOutputFile> output;
            if (!toStandardOutput) {
                output.emplace(warcOutputPath(path, outputDir));
            }
            const WarcCounts counts = readWarcTables(
                path,
                [&](const WarcPage& page) {
                    lines.clear();
                    appendWarcJsonLines(lines, page, grid);
                    if (output) {
                        output->write(lines);
                        return;
                    }
                    std::cout.write(lines.data(), static_cast<std::streamsize>(lines.size()));
                    if (!std::cout) {
                        throw std::runtime_error(std::string("Cannot write to standard output: ") +
                                                 std::strerror(errno));
                    }
                },
                [&](const WarcFailure& failure) {
                    report("\"" + path + "\": the record at offset " +
                           std::to_string(failure.offset) +
                           " was not converted: " + failure.reason);
                });
            if (output) {
                output->commit();
            } else {
                std::cout.flush();
            }
            report("\"" + path + "\": " + counts.summary());
            allWell = allWell && counts.failed == 0;
        } catch (const std::bad_alloc&) {
            report(notEnoughMemoryFor(path));
            allWell = false;
        } catch (const std::exception& error) {
            report(error.what());
            allWell = false;
        }
    }
    return allWell;
}

}  // namespace tabrivo::cli
