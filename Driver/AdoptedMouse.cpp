#include "AdoptedMouse.h"

#include "Platform/core/Log.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <sys/epoll.h>
#include <systemd/sd-event.h>

namespace zed::driver {

namespace {

constexpr std::uint64_t kUsecPerSecond = 1000000;

void setError(std::string* error, std::string text) {
    if (error) {
        *error = std::move(text);
    }
}

} // namespace

void AdoptedMouse::EvdevDeleter::operator()(libevdev* dev) const {
    libevdev_free(dev);
}

AdoptedMouse::AdoptedMouse(sd_event* loop, MouseIdentity id, Callbacks callbacks)
    : loop_(loop), id_(std::move(id)), callbacks_(std::move(callbacks)) {}

std::unique_ptr<AdoptedMouse> AdoptedMouse::open(sd_event* loop, const MouseIdentity& id,
                                                 Callbacks callbacks, std::string* error) {
    if (!loop) {
        setError(error, "no event loop");
        return nullptr;
    }
    std::unique_ptr<AdoptedMouse> mouse(new AdoptedMouse(loop, id, std::move(callbacks)));
    std::string why;
    if (!mouse->openNode(&why)) {
        setError(error, why);
        return nullptr;
    }
    mouse->pointer_ = VirtualPointer::create(mouse->dev_.get(), mouse->id_, &why);
    if (!mouse->pointer_) {
        setError(error, why);
        return nullptr;
    }
    if (!mouse->attach(&why)) {
        setError(error, why);
        return nullptr;
    }
    // A device that fails while the grab drains it is reported through
    // `lost` from the loop, like any later failure.
    mouse->tryGrab();
    return mouse;
}

AdoptedMouse::~AdoptedMouse() {
    if (pointer_) {
        releaseAll();
    }
    ungrab();
}

bool AdoptedMouse::openNode(std::string* error) {
    UniqueFd fd(::open(id_.node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        setError(error, id_.node + ": " + std::strerror(errno));
        return false;
    }
    libevdev* dev = nullptr;
    const int r = libevdev_new_from_fd(fd.get(), &dev);
    if (r < 0) {
        setError(error, id_.node + ": not an evdev device: " + std::strerror(-r));
        return false;
    }
    dev_.reset(dev);
    fd_ = std::move(fd);
    buttonCodes_.clear();
    for (unsigned code = 0; code <= KEY_MAX; ++code) {
        if (libevdev_has_event_code(dev, EV_KEY, code)) {
            buttonCodes_.push_back(static_cast<std::uint16_t>(code));
        }
    }
    return true;
}

bool AdoptedMouse::attach(std::string* error) {
    sd_event_source* source = nullptr;
    const int r = sd_event_add_io(
        loop_, &source, fd_.get(), EPOLLIN,
        [](sd_event_source*, int, std::uint32_t revents, void* self) {
            // No exception may cross the C library; ours throw none but
            // allocation failures, which end the program either way.
            static_cast<AdoptedMouse*>(self)->onReadable(revents);
            return 0;
        },
        this);
    if (r < 0) {
        setError(error, id_.node + ": cannot watch the device: " + std::strerror(-r));
        return false;
    }
    io_ = std::make_unique<RunLoop::Source>(source);
    return true;
}

void AdoptedMouse::closeNode() {
    io_.reset();
    retry_.reset();
    frame_.clear();
    grabbed_ = false; // closing the last descriptor ends the grab
    dev_.reset();
    fd_.reset();
}

void AdoptedMouse::onReadable(std::uint32_t revents) {
    if (!readQueued()) {
        return; // lost: this object may be gone
    }
    if (revents & (EPOLLHUP | EPOLLERR)) {
        lose("the device hung up");
    }
}

bool AdoptedMouse::readQueued() {
    for (;;) {
        input_event ev{};
        const int r = libevdev_next_event(dev_.get(), LIBEVDEV_READ_FLAG_NORMAL, &ev);
        if (r == -EAGAIN) {
            return true;
        }
        if (r == LIBEVDEV_READ_STATUS_SYNC) {
            if (!resynchronise()) {
                return false;
            }
            continue;
        }
        if (r < 0) {
            lose(std::strerror(-r));
            return false;
        }
        const bool endOfFrame = ev.type == EV_SYN && ev.code == SYN_REPORT;
        if (!grabbed_) {
            // The desktop reads the mouse itself until the grab: libevdev
            // keeps the button state, a release lets the grab be tried.
            if (endOfFrame && !tryGrab()) {
                return false;
            }
            continue;
        }
        frame_.push_back({ev.type, ev.code, ev.value});
        if (endOfFrame) {
            transform_.frame(frame_, out_);
            frame_.clear();
            flush();
        }
    }
}

bool AdoptedMouse::resynchronise() {
    // The partial frame is stale: the device's state comes next, through
    // libevdev's synchronisation events, which bring its state up to date.
    frame_.clear();
    for (;;) {
        input_event ev{};
        const int r = libevdev_next_event(dev_.get(), LIBEVDEV_READ_FLAG_SYNC, &ev);
        if (r == LIBEVDEV_READ_STATUS_SYNC) {
            continue;
        }
        if (r == -EAGAIN) {
            break;
        }
        lose(std::strerror(-r));
        return false;
    }
    if (grabbed_) {
        const std::vector<std::uint16_t> down = buttonsDown();
        transform_.resync(down, out_);
        flush();
    }
    return true;
}

std::vector<std::uint16_t> AdoptedMouse::buttonsDown() const {
    std::vector<std::uint16_t> down;
    for (std::uint16_t code : buttonCodes_) {
        if (libevdev_get_event_value(dev_.get(), EV_KEY, code) != 0) {
            down.push_back(code);
        }
    }
    return down;
}

bool AdoptedMouse::discardQueued() {
    for (;;) {
        input_event ev{};
        int r = libevdev_next_event(dev_.get(), LIBEVDEV_READ_FLAG_NORMAL, &ev);
        if (r == LIBEVDEV_READ_STATUS_SYNC) {
            do {
                r = libevdev_next_event(dev_.get(), LIBEVDEV_READ_FLAG_SYNC, &ev);
            } while (r == LIBEVDEV_READ_STATUS_SYNC);
        }
        if (r == -EAGAIN) {
            return true;
        }
        if (r < 0) {
            lose(std::strerror(-r));
            return false;
        }
    }
}

bool AdoptedMouse::tryGrab() {
    if (grabbed_ || suspended_ || !dev_) {
        return true;
    }
    // A button held now was pressed for the desktop: its release must reach
    // the desktop too, or the desktop keeps it held.
    if (!buttonsDown().empty()) {
        armRetry();
        return true;
    }
    const int r = libevdev_grab(dev_.get(), LIBEVDEV_GRAB);
    if (r < 0) {
        // Once per spell of failures: the retry comes four times a second.
        if (!grabFailureReported_) {
            zed::log("%s (%s): cannot grab it%s: %s; trying again", id_.node.c_str(),
                     id_.name.c_str(), r == -EBUSY ? " (another program holds it)" : "",
                     std::strerror(-r));
            grabFailureReported_ = true;
        }
        armRetry();
        return true;
    }
    grabbed_ = true;
    retry_.reset();
    if (grabFailureReported_) {
        zed::log("%s (%s): grabbed at last", id_.node.c_str(), id_.name.c_str());
        grabFailureReported_ = false;
    }
    // What was queued before the grab went to the desktop as well.
    if (!discardQueued()) {
        return false;
    }
    // A press that raced the grab may have reached the desktop: let its
    // release reach it too, and try again.
    if (!buttonsDown().empty()) {
        ungrab();
        armRetry();
    }
    return true;
}

void AdoptedMouse::armRetry() {
    if (retry_) {
        return;
    }
    sd_event_source* source = nullptr;
    const int r = sd_event_add_time_relative(
        loop_, &source, CLOCK_MONOTONIC,
        static_cast<std::uint64_t>(kGrabRetrySeconds * kUsecPerSecond), 0,
        [](sd_event_source*, std::uint64_t, void* userdata) {
            auto* self = static_cast<AdoptedMouse*>(userdata);
            self->retry_.reset();
            self->tryGrab();
            return 0;
        },
        this);
    if (r < 0) {
        zed::logErrno(-r, "%s: cannot arm the grab retry", id_.node.c_str());
        return;
    }
    retry_ = std::make_unique<RunLoop::Source>(source);
}

void AdoptedMouse::ungrab() {
    if (grabbed_ && dev_) {
        libevdev_grab(dev_.get(), LIBEVDEV_UNGRAB);
    }
    grabbed_ = false;
}

void AdoptedMouse::flush() {
    if (!out_.events.empty() && !pointer_->emit(out_.events) && !emitFailureReported_) {
        zed::logErrno(errno, "%s: cannot write to the virtual pointer", id_.node.c_str());
        emitFailureReported_ = true;
    }
    const std::vector<std::uint32_t> words = std::move(out_.words);
    out_.clear();
    if (callbacks_.message) {
        for (std::uint32_t word : words) {
            callbacks_.message(word);
        }
    }
}

void AdoptedMouse::releaseAll() {
    transform_.releaseAll(out_);
    flush();
}

void AdoptedMouse::setSettings(const DriverSettings& settings) {
    transform_.setSettings(settings);
}

void AdoptedMouse::suspend() {
    if (suspended_) {
        return;
    }
    releaseAll();
    ungrab();
    closeNode();
    suspended_ = true;
}

void AdoptedMouse::resume() {
    if (!suspended_ || lost_) {
        return;
    }
    suspended_ = false;
    std::string why;
    if (!openNode(&why) || !attach(&why)) {
        closeNode();
        lose(why.c_str());
        return;
    }
    tryGrab();
}

void AdoptedMouse::lose(const char* why) {
    if (lost_) {
        return;
    }
    lost_ = true;
    zed::log("%s (%s) is gone: %s", id_.node.c_str(), id_.name.c_str(), why);
    releaseAll();
    closeNode();
    // The owner destroys this object when told: from a callback of its own,
    // so that no caller up the stack (resume, a read) runs on a dead object.
    sd_event_source* source = nullptr;
    const int r = sd_event_add_defer(
        loop_, &source,
        [](sd_event_source*, void* userdata) {
            auto* self = static_cast<AdoptedMouse*>(userdata);
            const std::function<void()> lost = self->callbacks_.lost;
            if (lost) {
                lost(); // last: this object may be gone now
            }
            return 0;
        },
        this);
    if (r < 0) {
        zed::logErrno(-r, "%s: cannot report the loss", id_.node.c_str());
        return;
    }
    deferredLoss_ = std::make_unique<RunLoop::Source>(source);
}

} // namespace zed::driver
