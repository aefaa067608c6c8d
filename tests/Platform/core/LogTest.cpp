// What zed::log and its variants write to standard error.
#include "Platform/core/Log.h"

#include <cerrno>
#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace zed::test {
namespace {

std::string said(const std::function<void()>& speak) {
    testing::internal::CaptureStderr();
    speak();
    return testing::internal::GetCapturedStderr();
}

} // namespace

TEST(Log, EachCallWritesOneWholeLine) {
    const std::string longText(100000, 'x');
    const struct {
        const char* what;
        std::function<void()> speak;
        std::string line;
    } cases[] = {
        {"named", [] { zed::log("cannot open %s", "/x"); }, "zed-test: cannot open /x\n"},
        {"errno", [] { zed::logErrno(ENOENT, "cannot open %s", "/x"); },
         "zed-test: cannot open /x: No such file or directory\n"},
        {"no error", [] { zed::logErrno(0, "fine"); }, "zed-test: fine\n"},
        {"plain", [] { zed::logPlain("error:%d, %s", -1, "m"); }, "error:-1, m\n"},
        {"NUL", [] { zed::log("a%cb", 0); }, std::string("zed-test: a\0b\n", 14)},
        {"long", [&] { zed::log("%s", longText.c_str()); }, "zed-test: " + longText + "\n"},
    };
    zed::setLogName("zed-test");
    for (const auto& c : cases) {
        errno = EBUSY;
        EXPECT_EQ(said(c.speak), c.line) << c.what;
        EXPECT_EQ(errno, EBUSY) << c.what;
    }
    zed::setLogName(nullptr);
    EXPECT_EQ(said([] { zed::log("x"); }), std::string(program_invocation_short_name) + ": x\n");
}

} // namespace zed::test
