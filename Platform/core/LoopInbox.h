// Work handed to a run loop from other threads: each posted function runs on
// the loop's own thread, in the order posted. Posting never blocks on the
// loop, so a thread that must stay responsive can hand work to one that may
// be held up.
#pragma once

#include "RunLoop.h"
#include "UniqueFd.h"

#include <deque>
#include <functional>
#include <mutex>

namespace zed {

class LoopInbox {
public:
    LoopInbox();
    ~LoopInbox();
    LoopInbox(const LoopInbox&) = delete;
    LoopInbox& operator=(const LoopInbox&) = delete;

    // False (with a message) when the wake-up descriptor could not be made.
    bool valid() const { return static_cast<bool>(wake_); }
    // On the loop's thread: from now on what is posted runs there (what was
    // posted before too). False with a message when the loop refuses.
    bool attach(RunLoop& loop);
    // On the loop's thread, before the loop goes: nothing more runs.
    void detach();
    // From any thread. Functions posted to an inbox that is never attached
    // again are dropped with it.
    void post(std::function<void()> work);

private:
    void drain();

    UniqueFd wake_; // an eventfd: readable while work waits
    RunLoop::SourcePtr source_;
    std::mutex mutex_;
    std::deque<std::function<void()>> work_;
};

} // namespace zed
