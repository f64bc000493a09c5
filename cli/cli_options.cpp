#include <cli/cli_options.h>

#include <getopt.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <iterator>
#include <string_view>

namespace tabrivo::cli {
namespace {

// A file name given on the command line; "-" is standard input, read once
// however often it is named.
void addSource(Options& options, const char* name) {
    if (std::string_view(name) == "-") {
        options.standardInput = true;
    } else {
        options.inputs.push_back({name, false});
    }
}

}  // namespace

std::string usageText() {
    return "Usage: tabrivo-convert [options] FILE...\n"
           "Writes the tables of each HTML file to a .json text file.\n"
           "\n"
           "By default each result goes beside its source file (report.html gives report.json).\n"
           "The result is the Tabrivo text format, not strict JSON: a brace block per table\n"
           "row and one quoted line per cell, with the cell texts written as they are (no\n"
           "escaping), so a JSON parser may refuse it.\n"
           "\n"
           "A FILE of \"-\" reads HTML from standard input; its result goes to standard\n"
           "output (tabrivo, json or jsonl; the jsonl lines name \"-\" as their \"source\"),\n"
           "before the other files' results.\n"
           "\n"
           "Options may come before or after the file names; \"--\" ends the options.\n"
           "  -o, --output-dir DIR   write every result into DIR instead\n"
           "  -r, --recursive DIR    also convert the HTML files of the folder tree DIR\n"
           "                         (the folder's own files first, then each level below;\n"
           "                         names beginning with \"~\" or \".\" and links to folders\n"
           "                         are left out; a folder that cannot be listed is\n"
           "                         reported and the others still convert)\n"
           "  -e, --extension EXT    the extension the tree's files have, wildcards\n"
           "                         allowed (default: " +
           std::string(kDefaultExtension) +
           ")\n"
           "      --files-from FILE  also convert the files listed in FILE, one path a line\n"
           "                         (\"-\" reads the list from standard input)\n"
           "  -0, --null             the lists of --files-from are separated by NUL\n"
           "                         characters (as find -print0 writes them)\n"
           "  -f, --format FORMAT    tabrivo (the default, the text format above),\n"
           "                         json (one strict JSON file per source: an array of\n"
           "                         tables, each {\"index\", \"caption\", \"header_rows\",\n"
           "                         \"rows\"}), jsonl (one line per table, with its\n"
           "                         \"source\"; \"-o -\" writes the lines to standard\n"
           "                         output) or csv\n"
           "                         (one RFC 4180 file per table, NAME.N.csv, N from 0)\n"
           "  -g, --grid             expand row and column spans: every slot a cell\n"
           "                         covers holds its text (json, jsonl and csv)\n"
           "      --warc             the files are web archives (WARC 1.0 or 1.1, plain or\n"
           "                         .gz): the tables of their HTML pages go as JSON Lines,\n"
           "                         each line naming its \"uri\", \"record\", \"date\" and\n"
           "                         HTTP \"status\", to NAME.jsonl (or with \"-o -\" to\n"
           "                         standard output)\n"
           "  -j, --jobs N           convert N files at a time (default: one per core)\n"
           "  -q, --quiet            no progress display (there is none either when results\n"
           "                         go to standard output on the terminal that would show it)\n"
           "  -h, --help             show this help and exit\n"
           "  -V, --version          show the version and exit\n"
           "\n"
           "Exit status: 0 when every file converted, 1 when any failed, a folder could not\n"
           "be listed or two sources gave the same result (the later one's result is kept),\n"
           "2 for a usage error. A reader of standard output that stops reading (| head)\n"
           "ends the run quietly; any other failure to write there ends it with a message.\n";
}

ParseResult parseOptions(int argc, char** argv) {
    enum { kFilesFrom = 1000, kVersion, kWarc };
    static const char* const kFormats[] = {"tabrivo", "json", "jsonl", "csv"};
    static const option kLongOptions[] = {
        {"output-dir", required_argument, nullptr, 'o'},
        {"recursive", required_argument, nullptr, 'r'},
        {"extension", required_argument, nullptr, 'e'},
        {"files-from", required_argument, nullptr, kFilesFrom},
        {"null", no_argument, nullptr, '0'},
        {"jobs", required_argument, nullptr, 'j'},
        {"format", required_argument, nullptr, 'f'},
        {"grid", no_argument, nullptr, 'g'},
        {"warc", no_argument, nullptr, kWarc},
        {"quiet", no_argument, nullptr, 'q'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, kVersion},
        {nullptr, 0, nullptr, 0},
    };
    ParseResult result;
    Options& options = result.options;
    optind = 0;  // restart getopt for repeated calls (tests)
    opterr = 0;
    int option = 0;
    // "-" first: file names come back in their place among the options (code
    // 1), whatever POSIXLY_CORRECT says.
    while ((option = getopt_long(argc, argv, "-o:r:e:0j:f:gqhV", kLongOptions, nullptr)) != -1) {
        switch (option) {
            case 1:
                addSource(options, optarg);
                break;
            case 'o':
                options.outputDir = optarg;
                break;
            case 'r':
                options.inputs.push_back({optarg, true});
                break;
            case 'e':
                options.extension = optarg;
                break;
            case kFilesFrom:
                options.filesFrom.emplace_back(optarg);
                break;
            case '0':
                options.nullSeparated = true;
                break;
            case 'j': {
                const char* end = optarg + std::strlen(optarg);
                unsigned jobs = 0;
                const auto parsed = std::from_chars(optarg, end, jobs);
                if (parsed.ec != std::errc() || parsed.ptr != end || jobs == 0 || jobs > 1024) {
                    result.error = std::string("invalid number of jobs: '") + optarg +
                                   "' (give a whole number from 1 to 1024)";
                    return result;
                }
                options.jobs = jobs;
                break;
            }
            case 'f':
                if (std::find(std::begin(kFormats), std::end(kFormats), std::string_view(optarg)) ==
                    std::end(kFormats)) {
                    result.error = std::string("unknown format: '") + optarg +
                                   "' (give tabrivo, json, jsonl or csv)";
                    return result;
                }
                options.format = optarg;
                break;
            case 'g':
                options.grid = true;
                break;
            case kWarc:
                options.warc = true;
                break;
            case 'q':
                options.quiet = true;
                break;
            case 'h':
                options.help = true;
                break;
            case 'V':
            case kVersion:
                options.version = true;
                break;
            default: {
                // getopt sets optopt to the option (a letter, or the long
                // option's code) when its value is missing, to 0 when unknown.
                const bool letter = optopt > 0 && optopt < 128;
                const char* given = argv[optind - 1];
                const std::string name = letter && std::strncmp(given, "--", 2) != 0
                                             ? std::string("-") + static_cast<char>(optopt)
                                             : std::string(given);
                const bool missingValue =
                    optopt == kFilesFrom || (letter && std::strchr("orejf", optopt) != nullptr);
                result.error =
                    missingValue ? "option " + name + " needs a value" : "unknown option " + name;
                return result;
            }
        }
    }
    for (int i = optind; i < argc; ++i) {  // the names after "--"
        addSource(options, argv[i]);
    }
    if (options.help || options.version) {
        return result;
    }
    if (options.warc) {
        // Web archives give JSON Lines only.
        if (options.format != "tabrivo" && options.format != "jsonl") {
            result.error = "--warc writes JSON Lines; it takes no other --format";
            return result;
        }
        options.format = "jsonl";
    }
    if (options.inputs.empty() && options.filesFrom.empty() && !options.standardInput) {
        result.error = "no input files";
    } else if (options.standardInput && options.warc) {
        result.error = "--warc reads WARC files, not standard input (-)";
    } else if (options.standardInput &&
               std::find(options.filesFrom.begin(), options.filesFrom.end(), "-") !=
                   options.filesFrom.end()) {
        result.error =
            "standard input cannot be both a source (-) and a file list (--files-from -)";
    } else if (options.standardInput && options.format == "csv") {
        result.error = "--format csv writes a file per table, so it cannot take standard input (-)";
    } else if (options.warc && std::any_of(options.inputs.begin(), options.inputs.end(),
                                           [](const Input& input) { return input.tree; })) {
        result.error = "--warc takes WARC files, not folder trees (-r)";
    } else if (options.grid && options.format == "tabrivo") {
        result.error = "--grid needs a data format (--format json, jsonl or csv)";
    } else if (options.outputDir == "-" && options.format != "jsonl") {
        result.error = "only --format jsonl can be written to standard output (-o -)";
    }
    return result;
}

}  // namespace tabrivo::cli
