#include "Platform/core/RunLoop.h"

#include "Platform/core/LoopInbox.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdexcept>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace zed::test {

using zed::RunLoop;

namespace {
// Runs the loop until exit() or until the deadline passes.
int runFor(RunLoop& loop, double seconds) {
    auto guard = loop.addTimer(RunLoop::now() + seconds, [&] { loop.exit(-1); });
    return loop.run();
}
} // namespace

TEST(RunLoop, OneShotTimersFireOnceInTimeOrder) {
    RunLoop loop;
    std::vector<int> fired;
    const double start = RunLoop::now();
    auto late = loop.addTimer(start + 0.06, [&] {
        fired.push_back(2);
        loop.exit(0);
    });
    auto early = loop.addTimer(start + 0.02, [&] { fired.push_back(1); });
    EXPECT_EQ(runFor(loop, 5), 0);
    EXPECT_EQ(fired, (std::vector<int>{1, 2}));
    EXPECT_GE(RunLoop::now() - start, 0.06);
}

TEST(RunLoop, DetachedTimersOutliveTheirHandleAndCancelledOnesNeverFire) {
    RunLoop loop;
    int detachedFired = 0;
    int cancelledFired = 0;
    loop.addTimer(RunLoop::now() + 0.01, [&] { ++detachedFired; })->detach();
    {
        auto cancelled = loop.addTimer(RunLoop::now() + 0.01, [&] { ++cancelledFired; });
    }
    auto end = loop.addTimer(RunLoop::now() + 0.05, [&] { loop.exit(0); });
    EXPECT_EQ(runFor(loop, 5), 0);
    EXPECT_EQ(detachedFired, 1);
    EXPECT_EQ(cancelledFired, 0);
}

TEST(RunLoop, PendingTimersListArmedOneShotsUntilTheyFireOrAreCancelled) {
    RunLoop loop;
    const double now = RunLoop::now();
    loop.addTimer(now + 15, [] {})->detach();
    auto cancelled = loop.addTimer(now + 20, [] {});
    auto soon = loop.addTimer(now + 0.01, [&] { loop.exit(0); });
    EXPECT_EQ(loop.pendingTimers(), (std::vector<double>{now + 0.01, now + 15, now + 20}));
    cancelled.reset();
    EXPECT_EQ(runFor(loop, 5), 0);
    EXPECT_EQ(loop.pendingTimers(), std::vector<double>{now + 15});
}

TEST(RunLoop, RepeatingTimersRepeat) {
    RunLoop loop;
    int ticks = 0;
    auto tick = loop.addRepeatingTimer(0.005, [&] {
        if (++ticks == 5) {
            loop.exit(0);
        }
    });
    EXPECT_EQ(runFor(loop, 5), 0);
    EXPECT_EQ(ticks, 5);
}

TEST(RunLoop, FileDescriptorsAndSignalsAreDelivered) {
    RunLoop loop;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string got;
    auto reader = loop.addFd(fds[0], 0x001 /* EPOLLIN */, [&](std::uint32_t) {
        char buf[16];
        ssize_t n = read(fds[0], buf, sizeof buf);
        got.append(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
        raise(SIGUSR1);
    });
    bool signalled = false;
    auto sig = loop.addSignal(SIGUSR1, [&] {
        signalled = true;
        loop.exit(0);
    });
    ASSERT_TRUE(sig);
    ASSERT_EQ(write(fds[1], "ping", 4), 4);
    EXPECT_EQ(runFor(loop, 5), 0);
    EXPECT_EQ(got, "ping");
    EXPECT_TRUE(signalled);
    close(fds[0]);
    close(fds[1]);
}

TEST(RunLoop, AThrowingCallbackIsReportedAndTheLoopGoesOn) {
    RunLoop loop;
    auto bad = loop.addTimer(RunLoop::now(), [] { throw std::runtime_error("boom"); });
    auto good = loop.addTimer(RunLoop::now() + 0.01, [&] { loop.exit(7); });
    testing::internal::CaptureStderr();
    EXPECT_EQ(runFor(loop, 5), 7);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("boom"), std::string::npos);
}

TEST(LoopInbox, WorkPostedFromOtherThreadsRunsOnTheLoopsThreadInEachPostersOrder) {
    RunLoop loop;
    zed::LoopInbox inbox;
    // Posted before the loop listens: kept until it does.
    std::vector<std::pair<int, int>> ran;
    bool onLoopThread = true;
    const auto loopThread = std::this_thread::get_id();
    inbox.post([&] { ran.emplace_back(-1, 0); });
    ASSERT_TRUE(inbox.attach(loop));
    constexpr int kPosters = 4;
    constexpr int kEach = 500;
    std::vector<std::thread> posters;
    for (int p = 0; p < kPosters; ++p) {
        posters.emplace_back([&, p] {
            for (int i = 0; i < kEach; ++i) {
                inbox.post([&, p, i] {
                    onLoopThread = onLoopThread && std::this_thread::get_id() == loopThread;
                    ran.emplace_back(p, i);
                    if (ran.size() == 1 + kPosters * kEach) {
                        loop.exit(0);
                    }
                });
            }
        });
    }
    EXPECT_EQ(runFor(loop, 10), 0);
    for (auto& t : posters) {
        t.join();
    }
    EXPECT_TRUE(onLoopThread);
    ASSERT_EQ(ran.size(), 1u + kPosters * kEach);
    EXPECT_EQ(ran.front(), std::make_pair(-1, 0));
    std::vector<int> next(kPosters, 0);
    for (std::size_t k = 1; k < ran.size(); ++k) {
        auto [p, i] = ran[k];
        EXPECT_EQ(i, next[p]++) << "poster " << p;
    }
}

} // namespace zed::test
