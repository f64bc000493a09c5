// The html5lib tree-construction tests: every document case (scripting off,
// no fragment context) of every file, the whole tree compared.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <engine/node_util_p.h>
#include <engine/tree_builder_p.h>

namespace {

using tabrivo::detail::buildHtmlTree;
using tabrivo::detail::elementName;
using tabrivo::detail::HtmlTree;

const std::filesystem::path kDir =
    std::filesystem::path(TABRIVO_SHARED_DIR) / "html5lib-tests/tree-construction";

struct Case {
    std::size_t line = 0;
    std::string data;
    std::string document;
    bool fragment = false;
    bool scriptOn = false;
};

std::vector<Case> readCases(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    std::vector<Case> cases;
    std::string section;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const bool startsCase = line == "#data" && (i == 0 || lines[i - 1].empty());
        if (startsCase) {
            if (!cases.empty() && !cases.back().document.empty() &&
                cases.back().document.size() >= 2 &&
                cases.back().document.substr(cases.back().document.size() - 2) == "\n\n") {
                cases.back().document.pop_back();  // the blank line between cases
            }
            cases.push_back({});
            cases.back().line = i + 1;
            section = "#data";
            continue;
        }
        if (cases.empty()) {
            continue;
        }
        Case& current = cases.back();
        if (!line.empty() && line[0] == '#' &&
            (line == "#errors" || line == "#new-errors" || line == "#document" ||
             line == "#document-fragment" || line == "#script-on" || line == "#script-off")) {
            section = line;
            current.fragment = current.fragment || line == "#document-fragment";
            current.scriptOn = current.scriptOn || line == "#script-on";
            continue;
        }
        if (section == "#data") {
            current.data += (current.data.empty() && lines[i - 1] == "#data" ? "" : "\n") + line;
        } else if (section == "#document") {
            current.document += line + "\n";
        }
    }
    if (!cases.empty() && cases.back().document.size() >= 2 &&
        cases.back().document.substr(cases.back().document.size() - 2) == "\n\n") {
        cases.back().document.pop_back();
    }
    return cases;
}

std::string serialize(const HtmlTree& tree) {
    std::string out;
    auto line = [&](std::size_t depth, const std::string& text) {
        out += "| " + std::string(depth * 2, ' ') + text + "\n";
    };
    const tabrivo::detail::Node* document = tree.document();
    const tabrivo::detail::DocumentData& doc = document->v.document;
    auto doctype = [&] {
        std::string text = "<!DOCTYPE " + std::string(doc.name);
        if (tree.doctypeHasIds()) {
            text += " \"" + std::string(doc.public_identifier) + "\" \"" +
                    std::string(doc.system_identifier) + "\"";
        }
        line(0, text + ">");
    };
    // Iteratively, children in order: (node, depth), last pushed first out.
    std::vector<std::pair<const tabrivo::detail::Node*, std::size_t>> stack;
    for (unsigned i = doc.children.length; i-- > 0;) {
        stack.emplace_back(static_cast<const tabrivo::detail::Node*>(doc.children.data[i]), 0);
    }
    std::size_t topLevel = 0;
    while (!stack.empty()) {
        const auto [node, depth] = stack.back();
        stack.pop_back();
        if (depth == 0) {
            if (doc.has_doctype && topLevel == tree.doctypeIndex()) {
                doctype();
            }
            ++topLevel;
        }
        switch (node->type) {
            case tabrivo::detail::kNodeText:
            case tabrivo::detail::kNodeWhitespace:
            case tabrivo::detail::kNodeCdata:
                line(depth, "\"" + std::string(tabrivo::detail::nodeText(node)) + "\"");
                break;
            case tabrivo::detail::kNodeComment:
                line(depth, "<!-- " + std::string(tabrivo::detail::nodeText(node)) + " -->");
                break;
            case tabrivo::detail::kNodeElement:
            case tabrivo::detail::kNodeTemplate: {
                const tabrivo::detail::ElementData& element = node->v.element;
                std::string prefix =
                    element.tag_namespace == tabrivo::detail::kNamespaceSvg      ? "svg "
                    : element.tag_namespace == tabrivo::detail::kNamespaceMathml ? "math "
                                                                                 : "";
                line(depth, "<" + prefix + std::string(elementName(node)) + ">");
                std::vector<std::string> attributes;
                for (unsigned i = 0; i < element.attributes.length; ++i) {
                    const auto* attribute =
                        static_cast<const tabrivo::detail::Attribute*>(element.attributes.data[i]);
                    const char* ns =
                        attribute->attr_namespace == tabrivo::detail::kAttributeNamespaceXlink
                            ? "xlink "
                        : attribute->attr_namespace == tabrivo::detail::kAttributeNamespaceXml
                            ? "xml "
                        : attribute->attr_namespace == tabrivo::detail::kAttributeNamespaceXmlns
                            ? "xmlns "
                            : "";
                    attributes.push_back(ns + std::string(attribute->name) + "=\"" +
                                         attribute->value + "\"");
                }
                std::sort(attributes.begin(), attributes.end());
                for (const std::string& attribute : attributes) {
                    line(depth + 1, attribute);
                }
                std::size_t childDepth = depth + 1;
                if (node->type == tabrivo::detail::kNodeTemplate) {
                    line(depth + 1, "content");
                    childDepth = depth + 2;
                }
                for (unsigned i = element.children.length; i-- > 0;) {
                    stack.emplace_back(
                        static_cast<const tabrivo::detail::Node*>(element.children.data[i]),
                        childDepth);
                }
                break;
            }
            case tabrivo::detail::kNodeDocument:
                break;
        }
    }
    if (doc.has_doctype && topLevel <= tree.doctypeIndex()) {
        doctype();
    }
    return out;
}

class TreeConstructionFile : public testing::TestWithParam<std::string> {};

TEST_P(TreeConstructionFile, DocumentCasesPass) {
    int runs = 0;
    int passed = 0;
    for (const Case& c : readCases(kDir / GetParam())) {
        if (c.fragment || c.scriptOn) {
            continue;
        }
        ++runs;
        std::string text = c.data;
        const auto tree = buildHtmlTree(text);
        const std::string got = serialize(*tree);
        if (got == c.document) {
            ++passed;
        } else {
            ADD_FAILURE() << GetParam() << ":" << c.line << "\ninput: " << c.data << "\nwant:\n"
                          << c.document << "got:\n"
                          << got;
        }
    }
    std::cout << GetParam() << ": " << passed << " of " << runs << " cases pass\n";
}

std::vector<std::string> datFiles() {
    std::vector<std::string> names;
    if (!std::filesystem::is_directory(kDir)) {
        return names;  // no shared test data here: nothing to run
    }
    for (const auto& entry : std::filesystem::directory_iterator(kDir)) {
        if (entry.path().extension() == ".dat") {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string testName(const testing::TestParamInfo<std::string>& info) {
    std::string name = info.param.substr(0, info.param.find('.'));
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(TreeConstructionFile);
INSTANTIATE_TEST_SUITE_P(Html5lib, TreeConstructionFile, testing::ValuesIn(datFiles()), testName);

}  // namespace
