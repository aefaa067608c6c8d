// Internal preconditions of the pane. A broken one is a programming error:
// report it the way the platform's runtime assertion does and stop, in every
// build type.
#pragma once

#include "Platform/core/Log.h"

#include <cstdlib>

namespace zed::detail {

[[noreturn]] inline void paneAssertionFailed(const char* file, unsigned line, const char* text) {
    zed::log("%s:%u: failed assertion `%s'", file, line, text);
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
