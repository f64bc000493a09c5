#include "gumbo_guard.h"

#include <cassert>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

// Where a failed check returns to, while this thread runs the parser. The
// parser's frames are C and own nothing: all it allocated is in the arena
// its caller frees.
thread_local std::jmp_buf* activeParse = nullptr;
thread_local char failedCheck[512];

}  // namespace

#if defined(__GLIBC__)
// The C library's assertion handler, which the parser calls through; this
// definition takes its place for the whole program. Outside a parse it
// reports and aborts as the library's own does.
// NOLINTNEXTLINE(bugprone-reserved-identifier,readability-identifier-naming,cert-dcl37-c,cert-dcl51-cpp)
extern "C" void __assert_fail(const char* assertion, const char* file, unsigned int line,
                              const char* function) noexcept {
    if (activeParse != nullptr) {
        std::snprintf(failedCheck, sizeof failedCheck, "%s:%u: %s", file, line, assertion);
        std::longjmp(*activeParse, 1);  // NOLINT(cert-err52-cpp): no C++ frame is left
    }
    std::fprintf(stderr, "%s:%u: %s: Assertion `%s' failed.\n", file, line, function, assertion);
    std::abort();
}
#endif

namespace tabrivo::detail {

GumboOutput* parseHtml(const GumboOptions& options, const char* text, std::size_t size) {
    std::jmp_buf returnPoint;
    if (setjmp(returnPoint) != 0) {  // NOLINT(cert-err52-cpp)
        activeParse = nullptr;
        throw std::runtime_error(std::string("The HTML parser failed an internal check (") +
                                 failedCheck + ") on this file; it is not converted");
    }
    activeParse = &returnPoint;
    GumboOutput* output = gumbo_parse_with_options(&options, text, size);
    activeParse = nullptr;
    return output;
}

}  // namespace tabrivo::detail
