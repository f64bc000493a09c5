#include <cli/cli_options.h>

#include <getopt.h>

#include <charconv>
#include <cstring>

namespace tabrivo::cli {

std::string usageText() {
    return "Usage: tabrivo-convert [options] FILE...\n"
           "Writes the tables of each HTML file to a .json text file.\n"
           "\n"
           "By default each result goes beside its source file (report.html gives report.json).\n"
           "\n"
           "Options:\n"
           "  -o, --output-dir DIR   write every result into DIR instead\n"
           "      --files-from FILE  also convert the files listed in FILE, one path a line\n"
           "                         (\"-\" reads the list from standard input)\n"
           "  -j, --jobs N           convert N files at a time (default: one per core)\n"
           "  -q, --quiet            no progress display\n"
           "  -h, --help             show this help and exit\n"
           "      --version          show the version and exit\n"
           "\n"
           "Exit status: 0 when every file converted, 1 when any failed, 2 for a usage error.\n";
}

ParseResult parseOptions(int argc, char** argv) {
    enum { kFilesFrom = 1000, kVersion };
    static const option kLongOptions[] = {
        {"output-dir", required_argument, nullptr, 'o'},
        {"files-from", required_argument, nullptr, kFilesFrom},
        {"jobs", required_argument, nullptr, 'j'},
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
    while ((option = getopt_long(argc, argv, "+o:j:qh", kLongOptions, nullptr)) != -1) {
        switch (option) {
            case 'o':
                options.outputDir = optarg;
                break;
            case kFilesFrom:
                options.filesFrom.emplace_back(optarg);
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
            case 'q':
                options.quiet = true;
                break;
            case 'h':
                options.help = true;
                break;
            case kVersion:
                options.version = true;
                break;
            default: {
                const std::string name = optopt != 0 ? std::string("-") + static_cast<char>(optopt)
                                                     : std::string(argv[optind - 1]);
                result.error = (option == ':' || (optopt != 0 && std::strchr("oj", optopt)))
                                   ? "option " + name + " needs a value"
                                   : "unknown option " + name;
                return result;
            }
        }
    }
    for (int i = optind; i < argc; ++i) {
        options.sources.emplace_back(argv[i]);
    }
    if (!options.help && !options.version && options.sources.empty() && options.filesFrom.empty()) {
        result.error = "no input files";
    }
    return result;
}

}  // namespace tabrivo::cli
