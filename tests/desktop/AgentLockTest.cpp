// One agent per user: the lock in the runtime folder is held by the first
// claim, found taken (naming its holder) by any other, and free again once
// the holder is gone. Where it cannot be placed there is no guard, not a crash.
#include "Platform/desktop/AgentLock.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

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

TEST_F(AgentLockTest, TheFirstHoldsItOthersFindItTakenUntilTheFirstIsGone) {
    {
        AgentLock first = AgentLock::claim(dir_.c_str());
        ASSERT_EQ(first.state(), AgentLock::State::Held);
        EXPECT_EQ(first.path(), dir_ + "/zed-agent.lock");

        // Each claim opens the file anew, so a second one in this process
        // meets the first as another agent would.
        AgentLock second = AgentLock::claim(dir_.c_str());
        EXPECT_EQ(second.state(), AgentLock::State::Taken);
        EXPECT_EQ(second.holder(), getpid());
        AgentLock third = AgentLock::claim(dir_.c_str());
        EXPECT_EQ(third.state(), AgentLock::State::Taken);

        // Moving the holder keeps the lock.
        AgentLock moved = std::move(first);
        EXPECT_EQ(AgentLock::claim(dir_.c_str()).state(), AgentLock::State::Taken);
    }
    AgentLock next = AgentLock::claim(dir_.c_str());
    EXPECT_EQ(next.state(), AgentLock::State::Held) << "the lock outlived its holder";
}

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
