// Internal preconditions of the pane. A broken one is a programming error:
// report it the way the platform's runtime assertion does and stop, in every
// build type.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace zed::detail {

[[noreturn]] inline void paneAssertionFailed(const char* file, unsigned line, const char* text) {
    std::fprintf(stderr, "%s:%u: failed assertion `%s'\n", file, line, text);
    std::fflush(stderr);
    std::abort();
}

} // namespace zed::detail

// `text` is what the message shows as the failed expression.
#define ZED_PANE_ASSERT(condition, text)                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            ::zed::detail::paneAssertionFailed(__FILE__, __LINE__, text);                          \
        }                                                                                          \
    } while (false)
