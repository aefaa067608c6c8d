#include "RunLoop.h"

#include "Log.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <exception>
#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>
#include <utility>

namespace zed {

namespace {

constexpr std::uint64_t kUsecPerSec = 1000000;
// How late a timer may fire, so that the loop can wake once for several:
// sd-event's default (an accuracy of 0) lets it slip by up to 250 ms.
constexpr std::uint64_t kTimerAccuracyUsec = 1000;

std::uint64_t toUsec(double seconds) {
    return seconds <= 0 ? 0
                        : static_cast<std::uint64_t>(seconds * static_cast<double>(kUsecPerSec));
}

// Runs a callback without letting an exception cross the C library.
template <typename F> int guarded(const char* what, F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        zed::log("%s callback failed: %s", what, e.what());
    } catch (...) {
        zed::log("%s callback failed", what);
    }
    return 0;
}

template <typename Fn> void destroyCallback(void* userdata) {
    std::unique_ptr<Fn> owned(static_cast<Fn*>(userdata));
}

// Hands ownership of the callback to the source; it is freed with the source.
template <typename Fn> RunLoop::SourcePtr adopt(sd_event_source* s, std::unique_ptr<Fn> callback) {
    sd_event_source_set_userdata(s, callback.get());
    sd_event_source_set_destroy_callback(s, &destroyCallback<Fn>);
    callback.release();
    return std::make_unique<RunLoop::Source>(s);
}

void report(const char* what, int r) {
    zed::logErrno(-r, "cannot add %s to the run loop", what);
}

} // namespace

RunLoop::Source::~Source() {
    if (s_) {
        sd_event_source_disable_unref(s_);
    }
}

void RunLoop::Source::detach() {
    if (s_) {
        sd_event_source_set_floating(s_, 1);
        sd_event_source_unref(s_);
        s_ = nullptr;
    }
}

RunLoop::RunLoop() {
    int r = sd_event_new(&event_);
    if (r < 0) {
        zed::logErrno(-r, "cannot create the run loop");
        event_ = nullptr;
    }
}

RunLoop::~RunLoop() {
    if (event_) {
        sd_event_unref(event_);
    }
}

double RunLoop::now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

RunLoop::SourcePtr RunLoop::addTimer(double fireAt, std::function<void()> callback) {
    // Remembers its fire time in the loop while it is armed.
    struct OneShot {
        std::function<void()> fn;
        std::map<const sd_event_source*, double>* armed;
        const sd_event_source* source = nullptr;
        ~OneShot() {
            if (source) {
                armed->erase(source);
            }
        }
    };
    if (!event_) {
        return nullptr;
    }
    sd_event_source* s = nullptr;
    int r = sd_event_add_time(
        event_, &s, CLOCK_MONOTONIC, toUsec(fireAt), kTimerAccuracyUsec,
        [](sd_event_source*, uint64_t, void* userdata) {
            auto* shot = static_cast<OneShot*>(userdata);
            shot->armed->erase(std::exchange(shot->source, nullptr));
            return guarded("timer", [&] { shot->fn(); });
        },
        nullptr);
    if (r < 0) {
        report("a timer", r);
        return nullptr;
    }
    auto shot = std::make_unique<OneShot>();
    shot->fn = std::move(callback);
    shot->armed = &timers_;
    shot->source = s;
    timers_[s] = fireAt;
    return adopt(s, std::move(shot));
}

std::vector<double> RunLoop::pendingTimers() const {
    std::vector<double> out;
    for (const auto& [source, at] : timers_) {
        out.push_back(at);
    }
    std::sort(out.begin(), out.end());
    return out;
}

RunLoop::SourcePtr RunLoop::addRepeatingTimer(double interval, std::function<void()> callback) {
    struct Repeat {
        std::function<void()> fn;
        std::uint64_t interval;
    };
    if (!event_) {
        return nullptr;
    }
    auto state = std::make_unique<Repeat>(Repeat{std::move(callback), toUsec(interval)});
    if (state->interval == 0) {
        state->interval = 1;
    }
    sd_event_source* s = nullptr;
    int r = sd_event_add_time_relative(
        event_, &s, CLOCK_MONOTONIC, state->interval, kTimerAccuracyUsec,
        [](sd_event_source* src, uint64_t usec, void* userdata) {
            auto* rep = static_cast<Repeat*>(userdata);
            sd_event_source_set_time(src, usec + rep->interval);
            sd_event_source_set_enabled(src, SD_EVENT_ON);
            return guarded("timer", [&] { rep->fn(); });
        },
        nullptr);
    if (r < 0) {
        report("a repeating timer", r);
        return nullptr;
    }
    sd_event_source_set_enabled(s, SD_EVENT_ON);
    return adopt(s, std::move(state));
}

RunLoop::SourcePtr RunLoop::addFd(int fd, std::uint32_t events,
                                  std::function<void(std::uint32_t)> callback) {
    using Fn = std::function<void(std::uint32_t)>;
    if (!event_) {
        return nullptr;
    }
    sd_event_source* s = nullptr;
    int r = sd_event_add_io(
        event_, &s, fd, events,
        [](sd_event_source*, int, uint32_t revents, void* userdata) {
            return guarded("descriptor", [&] { (*static_cast<Fn*>(userdata))(revents); });
        },
        nullptr);
    if (r < 0) {
        report("a file descriptor", r);
        return nullptr;
    }
    return adopt(s, std::make_unique<Fn>(std::move(callback)));
}

RunLoop::SourcePtr RunLoop::addBeforeWait(std::function<void()> callback) {
    using Fn = std::function<void()>;
    if (!event_) {
        return nullptr;
    }
    sd_event_source* s = nullptr;
    int r = sd_event_add_defer(
        event_, &s,
        [](sd_event_source*, void* userdata) {
            return guarded("deferred", [&] { (*static_cast<Fn*>(userdata))(); });
        },
        nullptr);
    if (r >= 0) {
        // Last among what is ready: whatever is already waiting goes first.
        r = sd_event_source_set_priority(s, SD_EVENT_PRIORITY_IDLE);
    }
    if (r >= 0) {
        r = sd_event_source_set_enabled(s, SD_EVENT_ONESHOT);
    }
    if (r < 0) {
        sd_event_source_unref(s);
        report("a deferred callback", r);
        return nullptr;
    }
    return adopt(s, std::make_unique<Fn>(std::move(callback)));
}

RunLoop::SourcePtr RunLoop::addSignal(int signo, std::function<void()> callback) {
    using Fn = std::function<void()>;
    if (!event_) {
        return nullptr;
    }
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signo);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    sd_event_source* s = nullptr;
    int r = sd_event_add_signal(
        event_, &s, signo,
        [](sd_event_source*, const struct signalfd_siginfo*, void* userdata) {
            return guarded("signal", [&] { (*static_cast<Fn*>(userdata))(); });
        },
        nullptr);
    if (r < 0) {
        report("a signal", r);
        return nullptr;
    }
    return adopt(s, std::make_unique<Fn>(std::move(callback)));
}

bool RunLoop::attachBus(sd_bus* bus) {
    if (!event_ || !bus) {
        return false;
    }
    int r = sd_bus_attach_event(bus, event_, SD_EVENT_PRIORITY_NORMAL);
    if (r < 0 && r != -EBUSY) {
        report("a D-Bus connection", r);
        return false;
    }
    return true;
}

int RunLoop::run() {
    if (!event_) {
        return -EINVAL;
    }
    return sd_event_loop(event_);
}

bool RunLoop::runOnce(double timeoutSeconds) {
    if (!event_) {
        return false;
    }
    return sd_event_run(event_, toUsec(timeoutSeconds)) > 0;
}

void RunLoop::exit(int code) {
    if (event_) {
        sd_event_exit(event_, code);
    }
}

} // namespace zed
