// The real agent on the desktop's platform: a second agent of the same user
// (the same runtime folder) ends at once, naming the one that runs, and
// leaves it running; an agent of another runtime folder is not kept out.
#include "SimulatorHarness.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

using namespace zed::test;

namespace {

class SingleAgent : public testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/zed-single-agent-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        for (const char* sub : {"run-a", "run-b", "config"}) {
            std::filesystem::create_directories(dir_ + "/" + sub);
        }
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    bool start(ChildProcess& agent, const std::string& runtime) {
        return agent.start({ZED_AGENT}, {{"ZED_PLATFORM", ""},
                                         {"XDG_RUNTIME_DIR", dir_ + "/" + runtime},
                                         {"XDG_CONFIG_HOME", dir_ + "/config"}});
    }

    std::string dir_;
};

} // namespace

TEST_F(SingleAgent, ASecondAgentOfTheUserEndsAtOnceAndTheFirstRunsOn) {
    ChildProcess first("first", dir_);
    ASSERT_TRUE(start(first, "run-a"));
    const std::string lock = dir_ + "/run-a/zed-agent.lock";
    ASSERT_TRUE(waitFor([&] { return readFile(lock) == std::to_string(first.pid()) + "\n"; }, 60))
        << first.err();

    ChildProcess second("second", dir_);
    ASSERT_TRUE(start(second, "run-a"));
    EXPECT_EQ(second.wait(60), 0) << second.err();
    EXPECT_NE(second.err().find("another agent of this user runs already (process " +
                                std::to_string(first.pid())),
              std::string::npos)
        << second.err();
    EXPECT_EQ(first.wait(1), -1) << "the first agent ended: " << first.err();

    // Another runtime folder is another user's session: no guard between them.
    ChildProcess other("other", dir_);
    ASSERT_TRUE(start(other, "run-b"));
    EXPECT_EQ(other.wait(2), -1) << "the agent of another runtime folder ended: " << other.err();
    EXPECT_EQ(other.stop(SIGTERM, 60), 0) << other.err();
    EXPECT_EQ(first.stop(SIGTERM, 60), 0) << first.err();
}
