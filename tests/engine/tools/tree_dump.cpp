// Prints the trees the engine's parser and gumbo build for HTML files, one
// line a node as tools/dom_dump.js prints the browser's, so that the three can
// be compared (see fuzz/review_differences.py).
//
//   tabrivo_tree_dump ours FILE...         the engine's parser
//   tabrivo_tree_dump gumbo FILE...        gumbo's
//   tabrivo_tree_dump decode DIR FILE...   DIR/NAME: a UTF-8 byte-order mark and the text as the
//                                          converter decodes FILE, so that every parser, the
//                                          browser included, reads the same characters
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include <engine/data_export.h>
#include <engine/encoding.h>
#include <engine/html_document_p.h>
#include <engine/node_util_p.h>

#include "gumbo_reference.h"

namespace {

using tabrivo::detail::Node;

std::string readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void dump(const Node* parent, int depth, std::string& out) {
    const tabrivo::detail::PointerVector& children = parent->type == tabrivo::detail::kNodeDocument
                                                         ? parent->v.document.children
                                                         : parent->v.element.children;
    const std::string indent = "| " + std::string(static_cast<std::size_t>(2 * depth), ' ');
    for (unsigned i = 0; i < children.length; ++i) {
        const Node* child = tabrivo::detail::childAt(children, i);
        switch (child->type) {
            case tabrivo::detail::kNodeElement:
            case tabrivo::detail::kNodeTemplate: {
                const tabrivo::detail::Namespace ns = child->v.element.tag_namespace;
                const char* prefix = ns == tabrivo::detail::kNamespaceMathml ? "math "
                                     : ns == tabrivo::detail::kNamespaceSvg  ? "svg "
                                                                             : "";
                out += indent + "<" + prefix + tabrivo::detail::tagName(child) + ">\n";
                dump(child, depth + 1, out);
                break;
            }
            case tabrivo::detail::kNodeText:
            case tabrivo::detail::kNodeWhitespace:
            case tabrivo::detail::kNodeCdata:
                out += indent;
                tabrivo::appendJsonString(out, tabrivo::detail::nodeText(child));
                out += "\n";
                break;
            default:
                break;  // comments and the DOCTYPE are not compared
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string_view mode = argc > 1 ? argv[1] : "";
    if (mode == "decode" && argc > 2) {
        for (int i = 3; i < argc; ++i) {
            const std::filesystem::path out =
                std::filesystem::path(argv[2]) / std::filesystem::path(argv[i]).filename();
            std::ofstream(out, std::ios::binary)
                << "\xEF\xBB\xBF" << tabrivo::htmlFileBytesToUtf8(readFile(argv[i]));
        }
        return 0;
    }
    if (mode != "ours" && mode != "gumbo") {
        std::cerr << "usage: tabrivo_tree_dump ours|gumbo FILE... | decode DIR FILE...\n";
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        const std::string text = tabrivo::htmlFileBytesToUtf8(readFile(argv[i]));
        std::string out;
        if (mode == "gumbo") {
            dump(tabrivo::testing::parseWithGumbo(text)->document(), 0, out);
        } else {
            dump(tabrivo::detail::buildHtmlTree(text)->document(), 0, out);
        }
        std::cout << "== " << std::filesystem::path(argv[i]).filename().string() << "\n" << out;
    }
    return 0;
}
