// The main thread's event loop (sd-event): timers, file descriptors, POSIX
// signals and D-Bus connections. Callbacks run one at a time on the thread that
// calls run().
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

struct sd_event;
struct sd_event_source;
struct sd_bus;

namespace zed {

class RunLoop {
public:
    // A registered source; destroying the handle removes it from the loop
    // unless it was detached.
    class Source {
    public:
        explicit Source(sd_event_source* s) : s_(s) {}
        Source(const Source&) = delete;
        Source& operator=(const Source&) = delete;
        ~Source();
        // Leaves the source to the loop (a one-shot timer that nobody needs
        // to cancel); the loop frees it when it is done or destroyed.
        void detach();

    private:
        sd_event_source* s_;
    };
    using SourcePtr = std::unique_ptr<Source>;

    RunLoop();
    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    bool valid() const { return event_ != nullptr; }
    sd_event* event() const { return event_; }

    // Seconds on the loop's clock (monotonic); timers fire at such times.
    static double now();

    // Each returns null (with a message on standard error) when the source
    // cannot be added.
    SourcePtr addTimer(double fireAt, std::function<void()> callback);
    SourcePtr addRepeatingTimer(double interval, std::function<void()> callback);
    SourcePtr addFd(int fd, std::uint32_t events, std::function<void(std::uint32_t)> callback);
    // Runs the callback once, after every event already waiting has been
    // dispatched and before the loop waits again.
    SourcePtr addBeforeWait(std::function<void()> callback);
    // Blocks the signal for the process first so the loop receives it.
    SourcePtr addSignal(int signo, std::function<void()> callback);
    // Dispatches the connection's messages from this loop.
    bool attachBus(sd_bus* bus);

    // When the one-shot timers that are armed now will fire, earliest first.
    std::vector<double> pendingTimers() const;

    // Runs until exit() is called; returns its code (or a negative errno).
    int run();
    // Runs at most one iteration, waiting up to timeoutSeconds for an event.
    bool runOnce(double timeoutSeconds);
    void exit(int code);

private:
    sd_event* event_ = nullptr;
    std::map<const sd_event_source*, double> timers_;
};

} // namespace zed
