// One agent per user: the lock in the runtime folder is held by the first
// claim, found taken (naming its holder) by any other, and free again once
// the holder is gone. Where it cannot be placed there is no guard, not a crash.
#include "Platform/desktop/AgentLock.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace zed::test {

using zed::AgentLock;

namespace {

class AgentLockTest : public testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/zed-agent-lock-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string dir_;
};

} // namespace

TEST_F(AgentLockTest, ALeftoverFileOfAnEndedAgentDoesNotKeepTheNextOut) {
    // What a killed agent leaves: its process id, no lock.
    std::ofstream(dir_ + "/zed-agent.lock") << "999999\n";
    AgentLock lock = AgentLock::claim(dir_.c_str());
    EXPECT_EQ(lock.state(), AgentLock::State::Held);
    std::ifstream in(dir_ + "/zed-agent.lock");
    pid_t written = 0;
    in >> written;
    EXPECT_EQ(written, getpid()) << "a second agent would name the wrong process";
}

TEST_F(AgentLockTest, WithoutARuntimeFolderThereIsNoGuard) {
    EXPECT_EQ(AgentLock::claim(nullptr).state(), AgentLock::State::Unplaced);
    EXPECT_EQ(AgentLock::claim("").state(), AgentLock::State::Unplaced);
    const std::string gone = dir_ + "/no-such-folder";
    AgentLock missing = AgentLock::claim(gone.c_str());
    EXPECT_EQ(missing.state(), AgentLock::State::Unplaced);
    EXPECT_EQ(missing.error(), ENOENT);
    // A link where the file belongs is not followed (another user's trap).
    std::filesystem::create_symlink(dir_ + "/elsewhere", dir_ + "/zed-agent.lock");
    EXPECT_EQ(AgentLock::claim(dir_.c_str()).state(), AgentLock::State::Unplaced);
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/elsewhere"));
}

} // namespace zed::test
