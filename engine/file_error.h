#pragma once
// The one way a failed file operation is raised: what failed, on which path
// (quoted) and why (the system's message for the error number).

#include <string>
#include <string_view>
#include <system_error>

namespace tabrivo {

[[noreturn]] inline void throwFileError(int error, std::string_view what, const std::string& path) {
    throw std::system_error(error, std::generic_category(),
                            std::string(what) + " \"" + path + "\"");
}

}  // namespace tabrivo
