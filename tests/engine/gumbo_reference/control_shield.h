#pragma once
// gumbo replaces C0 and C1 control characters (other than white space) with
// U+FFFD, where the browser and the engine's parser keep them. Before gumbo
// parses, they are moved to a private-use range (U+10FF00 + the code) and
// moved back in the tree it gives.

#include <string>

namespace tabrivo::testing {

// Returns whether anything was moved.
bool shieldControlCharacters(std::string& text);
void unshieldControlCharacters(std::string& text);

}  // namespace tabrivo::testing
