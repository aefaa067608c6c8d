// zed-driver's command line: what it accepts, and how it refuses the rest.
#include "SimulatorHarness.h"

#include <gtest/gtest.h>

namespace zed::test {

using zed::test::ProgramResult;
using zed::test::runProgram;

namespace {

ProgramResult driver(const std::vector<std::string>& args) {
    std::vector<std::string> argv{ZED_DRIVER};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv);
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(DriverCommandLine, HelpGoesToStandardOutput) {
    const auto r = driver({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(has(r.out, "Usage: zed-driver")) << r.out;
    EXPECT_TRUE(has(r.out, "--list"));
    EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST(DriverCommandLine, WrongOptionsGetTheUsageOnStandardErrorAndStatusTwo) {
    const std::vector<std::vector<std::string>> wrong{
        {"--frobnicate"}, {"list"},
        {"--user"},       {"--user", "no-such-user-here"},
        {"--user="},      {"--list", "--user", "root"}};
    for (const auto& args : wrong) {
        const auto r = driver(args);
        SCOPED_TRACE(args.front() + (args.size() > 1 ? " " + args[1] : ""));
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(has(r.err, "zed-driver: ")) << r.err;
        EXPECT_TRUE(has(r.err, "Usage: zed-driver")) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    EXPECT_TRUE(has(driver({"--user", "no-such-user-here"}).err, "no-such-user-here"));
}

TEST(DriverCommandLine, ANamedUserMustExist) {
    // root exists everywhere; without a bus the run itself fails, but not
    // with the usage status.
    zed::test::ScopedEnv noBus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zed-test-bus");
    const auto r = driver({"--user", "root"});
    EXPECT_NE(r.exitCode, 2) << r.err;
}

TEST(DriverCommandLine, WithoutASystemBusItSaysSoAndFails) {
    zed::test::ScopedEnv noBus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zed-test-bus");
    const auto r = driver({});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(has(r.err, "zed-driver: no system bus")) << r.err;
}

} // namespace zed::test
