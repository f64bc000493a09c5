#pragma once
// Command-line options of tabrivo-convert.

#include <optional>
#include <string>
#include <vector>

namespace tabrivo::cli {

struct Options {
    std::vector<std::string> sources;  // in the order given
    std::optional<std::string> outputDir;
    std::vector<std::string> filesFrom;  // list files ("-" is standard input)
    unsigned jobs = 0;                   // 0: one per core
    bool quiet = false;
    bool help = false;
    bool version = false;
};

struct ParseResult {
    Options options;
    std::string error;  // non-empty for a usage error
};

ParseResult parseOptions(int argc, char** argv);
std::string usageText();

}  // namespace tabrivo::cli
