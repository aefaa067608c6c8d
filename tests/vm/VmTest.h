// Tests that need the kernel's input devices. scripts/vm-test runs them in a
// virtual machine with ZED_VM=1, where a missing device or bus is a failure;
// anywhere else they are skipped without one.
#pragma once

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace zed::test {

inline bool inTestVm() {
    const char* vm = std::getenv("ZED_VM");
    return vm && std::string(vm) == "1";
}

// Why the node cannot be used here, or empty.
inline std::string nodeMissing(const char* node) {
    if (::access(node, R_OK | W_OK) != 0) {
        return std::string("needs ") + node + " (run scripts/vm-test)";
    }
    return {};
}

} // namespace zed::test

// Skips the test for the reason, or fails it inside the test machine.
#define ZED_REQUIRE_OR_SKIP(why)                                                                   \
    do {                                                                                           \
        const std::string zedWhy = (why);                                                          \
        if (!zedWhy.empty()) {                                                                     \
            if (::zed::test::inTestVm()) {                                                         \
                FAIL() << zedWhy;                                                                  \
            }                                                                                      \
            GTEST_SKIP() << zedWhy;                                                                \
        }                                                                                          \
    } while (false)
