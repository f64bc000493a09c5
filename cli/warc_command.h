#pragma once
// tabrivo-convert --warc: the tables of the pages in web archives, as JSON Lines.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tabrivo::cli {

// Where a WARC file's lines go without "-o -": NAME.jsonl beside it, or in
// `outputDir`, NAME being its file name without ".gz" and ".warc".
std::string warcOutputPath(const std::string& warcPath,
                           const std::optional<std::string>& outputDir);

// Converts each archive in turn (one named twice once); `toStandardOutput`
// writes every line there, else each archive's lines replace its NAME.jsonl
// whole. Failures (a file, or a record with its offset), each archive's counts
// and, by the clash rule, each NAME.jsonl that several archives give (the
// later one's is kept) go to `report`, a line each. Returns whether nothing
// failed and no result was given twice.
bool convertWarcFiles(const std::vector<std::string>& paths,
                      const std::optional<std::string>& outputDir, bool toStandardOutput, bool grid,
                      const std::function<void(const std::string&)>& report);

}  // namespace tabrivo::cli
