#include "Platform/core/Session.h"

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <pthread.h>
#include <pwd.h>
#include <thread>
#include <unistd.h>

namespace zed::test {

using zed::PosixProcessControl;

namespace {

// Blocks the signals for the life of the object, as a run-loop signal source does.
class BlockedSignals {
public:
    explicit BlockedSignals(std::initializer_list<int> signals) {
        sigset_t set;
        sigemptyset(&set);
        for (int s : signals) {
            sigaddset(&set, s);
        }
        pthread_sigmask(SIG_BLOCK, &set, &old_);
    }
    ~BlockedSignals() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }

private:
    sigset_t old_;
};

bool pending(int signo) {
    sigset_t set;
    sigpending(&set);
    return sigismember(&set, signo) == 1;
}

} // namespace

TEST(PosixProcessControl, AWakeSignalEndsTheSleepAndIsTaken) {
    BlockedSignals blocked{SIGUSR1, SIGUSR2};
    PosixProcessControl process;
    const int wake[] = {SIGUSR1, SIGUSR2};

    // Already pending when the sleep begins (it arrived between two polls).
    raise(SIGUSR2);
    EXPECT_EQ(process.sleep(60, wake), SIGUSR2);
    EXPECT_FALSE(pending(SIGUSR2)) << "taken, not left for someone else";

    // Arriving during the sleep, sent to the process from elsewhere.
    std::thread sender([] {
        usleep(100000);
        kill(getpid(), SIGUSR1);
    });
    EXPECT_EQ(process.sleep(60, wake), SIGUSR1);
    sender.join();

    // A signal it does not wake for stays pending.
    raise(SIGUSR2);
    const int onlyUsr1[] = {SIGUSR1};
    EXPECT_EQ(process.sleep(0, onlyUsr1), 0);
    EXPECT_TRUE(pending(SIGUSR2));
    EXPECT_EQ(process.sleep(0, wake), SIGUSR2);
}

TEST(PosixProcessControl, LooksUsersUpAndSetsTheEnvironment) {
    PosixProcessControl process;
    const passwd* self = getpwuid(geteuid());
    ASSERT_TRUE(self);
    const auto user = process.userById(geteuid());
    ASSERT_TRUE(user);
    EXPECT_EQ(user->name, self->pw_name);
    EXPECT_EQ(user->uid, self->pw_uid);
    EXPECT_EQ(user->gid, self->pw_gid);
    EXPECT_EQ(user->home, self->pw_dir);
    EXPECT_FALSE(process.userById(static_cast<uid_t>(-2)));

    process.setEnvironment("ZED_PROCESS_TEST", std::string("/home/x"));
    ASSERT_TRUE(std::getenv("ZED_PROCESS_TEST"));
    EXPECT_STREQ(std::getenv("ZED_PROCESS_TEST"), "/home/x");
    process.setEnvironment("ZED_PROCESS_TEST", std::nullopt);
    EXPECT_FALSE(std::getenv("ZED_PROCESS_TEST"));
}

} // namespace zed::test
