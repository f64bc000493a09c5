#pragma once
// Command-line options of tabrivo-convert.

#include <optional>
#include <string>
#include <vector>

namespace tabrivo::cli {

// A source named on the command line: one file, or a folder tree to search.
struct Input {
    std::string path;
    bool tree = false;  // given with -r/--recursive
};

inline constexpr char kDefaultExtension[] = "htm*";

struct Options {
    std::vector<Input> inputs;                  // in the order given
    bool standardInput = false;                 // "-" among the sources: HTML on standard input
    std::optional<std::string> outputDir;       // "-": JSON Lines to standard output
    std::vector<std::string> filesFrom;         // list files ("-" is standard input)
    bool nullSeparated = false;                 // lists are separated by NUL, not line breaks
    std::string extension = kDefaultExtension;  // of the files a tree gives
    unsigned jobs = 0;                          // 0: one per core
    std::string format = "tabrivo";             // tabrivo, json, jsonl or csv
    bool grid = false;                          // spans expanded (not in the tabrivo format)
    bool warc = false;                          // the files are web archives
    bool quiet = false;
    bool help = false;
    bool version = false;
};

struct ParseResult {
    Options options;
    std::string error;  // non-empty for a usage error
};

// Options may come before, between or after the file names; "--" ends them.
ParseResult parseOptions(int argc, char** argv);
std::string usageText();

}  // namespace tabrivo::cli
