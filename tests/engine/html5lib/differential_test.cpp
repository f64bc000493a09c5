// The engine's parser against gumbo, compared on what the conversion writes
// (tables, rows, cells, cell text), over the shared corpus and every html5lib
// input. A difference fails unless it is listed as one where the browser
// agrees with the engine's parser.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <engine/convert.h>

#include "gumbo_reference.h"

namespace {

const std::filesystem::path kShared(TABRIVO_SHARED_DIR);

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::set<std::string> knownDifferences() {
    std::set<std::string> names;
    std::ifstream in(std::filesystem::path(TABRIVO_TEST_DATA_DIR) / "parser/known_differences.txt");
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] != '#') {
            names.insert(line.substr(0, line.find(' ')));
        }
    }
    return names;
}

struct Input {
    std::string name;
    std::string bytes;
};

std::vector<Input> corpusInputs() {
    std::vector<Input> inputs;
    if (!std::filesystem::is_directory(kShared / "corpus/public")) {
        return inputs;
    }
    for (const auto& entry : std::filesystem::directory_iterator(kShared / "corpus/public")) {
        if (entry.path().extension() == ".html" || entry.path().extension() == ".htm") {
            inputs.push_back({entry.path().filename().string(), readFile(entry.path())});
        }
    }
    std::sort(inputs.begin(), inputs.end(),
              [](const Input& a, const Input& b) { return a.name < b.name; });
    return inputs;
}

// The #data of every tree-construction case, fragments and scripted ones too.
std::vector<Input> html5libInputs() {
    std::vector<Input> inputs;
    const auto dir = kShared / "html5lib-tests/tree-construction";
    std::vector<std::filesystem::path> files;
    if (!std::filesystem::is_directory(dir)) {
        return inputs;
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() == ".dat") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i] != "#data" || (i > 0 && !lines[i - 1].empty())) {
                continue;
            }
            std::string data;
            std::size_t j = i + 1;
            for (; j < lines.size() && lines[j] != "#errors" && lines[j] != "#new-errors" &&
                   lines[j] != "#document" && lines[j] != "#document-fragment";
                 ++j) {
                data += (j == i + 1 ? "" : "\n") + lines[j];
            }
            inputs.push_back(
                {file.filename().string() + ":" + std::to_string(i + 1), std::move(data)});
        }
    }
    return inputs;
}

void compareAll(const std::vector<Input>& inputs) {
    const std::set<std::string> known = knownDifferences();
    const tabrivo::ParseOptions withGumbo = tabrivo::testing::gumboParseOptions();
    int same = 0;
    int listed = 0;
    for (const Input& input : inputs) {
        const std::string gumbo = tabrivo::convertHtmlToText(input.bytes, withGumbo);
        const std::string ours = tabrivo::convertHtmlToText(input.bytes);
        if (gumbo == ours) {
            ++same;
        } else if (known.count(input.name) != 0) {
            ++listed;
        } else {
            ADD_FAILURE() << input.name << "\ninput: " << input.bytes.substr(0, 400) << "\ngumbo:\n"
                          << gumbo.substr(0, 2000) << "\nours:\n"
                          << ours.substr(0, 2000);
        }
    }
    std::cout << same << " of " << inputs.size() << " inputs convert alike; " << listed
              << " differ as listed\n";
}

// Inputs the differential fuzzer found where gumbo and the engine's parser
// differ, each beside the browser's conversion (made by the oracle), which the
// engine's must equal.
TEST(ParserDifferential, BrowserConfirmedDifferences) {
    const auto dir = std::filesystem::path(TABRIVO_TEST_DATA_DIR) / "parser/browser_confirmed";
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".html") {
            continue;
        }
        auto expected = entry.path();
        expected.replace_extension(".json");
        EXPECT_EQ(tabrivo::convertHtmlToText(readFile(entry.path())), readFile(expected))
            << entry.path().filename();
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

TEST(ParserDifferential, SharedCorpus) {
    compareAll(corpusInputs());
}

TEST(ParserDifferential, Html5libInputs) {
    compareAll(html5libInputs());
}

}  // namespace
