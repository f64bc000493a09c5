#include <cli/warc_command.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>

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
    bool allWell = true;
    std::string lines;
    for (const std::string& path : paths) {
        try {
            std::optional<AtomicOutputFile> output;
            if (!toStandardOutput) {
                output.emplace(warcOutputPath(path, outputDir));
            }
            const WarcCounts counts = readWarcTables(
                path,
                [&](const WarcRecord& record, const std::vector<Table>& tables) {
                    lines.clear();
                    appendWarcJsonLines(lines, record, tables, grid);
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
