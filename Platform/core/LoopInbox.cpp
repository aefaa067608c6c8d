#include "LoopInbox.h"

#include "Log.h"

#include <cerrno>
#include <cstdint>
#include <exception>
#include <sys/epoll.h>
#include <sys/eventfd.h>

namespace zed {

LoopInbox::LoopInbox() : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!wake_) {
        zed::logErrno(errno, "cannot make a wake-up descriptor");
    }
}

LoopInbox::~LoopInbox() {
    detach();
}

bool LoopInbox::attach(RunLoop& loop) {
    if (!wake_) {
        return false;
    }
    source_ = loop.addFd(wake_.get(), EPOLLIN, [this](std::uint32_t) { drain(); });
    return static_cast<bool>(source_);
}

void LoopInbox::detach() {
    source_.reset();
}

void LoopInbox::post(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        work_.push_back(std::move(work));
    }
    const std::uint64_t one = 1;
    // Only a counter at its limit refuses, and then the loop is woken already.
    [[maybe_unused]] const ssize_t n = ::write(wake_.get(), &one, sizeof one);
}

void LoopInbox::drain() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(wake_.get(), &count, sizeof count);
    std::deque<std::function<void()>> now;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        now.swap(work_);
    }
    for (auto& work : now) {
        try {
            work();
        } catch (const std::exception& e) {
            zed::log("work handed to the loop failed: %s", e.what());
        } catch (...) {
            zed::log("work handed to the loop failed");
        }
    }
}

} // namespace zed
