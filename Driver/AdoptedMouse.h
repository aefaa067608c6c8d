// One mouse the driver has adopted: its evdev device, read and grabbed, its
// events put through the transform and written to its virtual pointer, on
// the driver's sd-event loop.
#pragma once

#include "Driver/DriverSettings.h"
#include "Driver/InputEvent.h"
#include "Driver/MouseIdentity.h"
#include "Driver/Transform.h"
#include "Driver/VirtualPointer.h"
#include "Platform/core/RunLoop.h"
#include "Platform/core/UniqueFd.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct libevdev;
struct sd_event;

namespace zed::driver {

class AdoptedMouse {
public:
    struct Callbacks {
        std::function<void(std::uint32_t word)> message; // a driver message word for the agent
        // The device vanished (or its descriptor was revoked): everything is
        // released already; called once, from a deferred event of the loop, so
        // the owner may destroy this object there.
        std::function<void()> lost;
    };

    // How long a grab waits before it is tried again while another program
    // holds one (nothing tells us when that program lets go).
    static constexpr double kGrabRetrySeconds = 0.25;

    // Opens the node, creates the virtual pointer, grabs when no button is held
    // (retrying), attaches to the sd-event loop. Null with *error on failure.
    static std::unique_ptr<AdoptedMouse> open(sd_event* loop, const MouseIdentity& id,
                                              Callbacks callbacks, std::string* error);
    // Releases everything (the message callback may get an overlay-end word
    // from here), ungrabs.
    ~AdoptedMouse();
    AdoptedMouse(const AdoptedMouse&) = delete;
    AdoptedMouse& operator=(const AdoptedMouse&) = delete;

    void setSettings(const DriverSettings& settings);
    void suspend(); // before sleep: release everything, end gestures, close the fd
    void resume();  // after resume: reopen and grab again
    const MouseIdentity& identity() const { return id_; }

    // Whether the mouse's events go to the virtual pointer alone now.
    bool grabbed() const { return grabbed_; }
    const VirtualPointer& virtualPointer() const { return *pointer_; }

private:
    struct EvdevDeleter {
        void operator()(libevdev* dev) const;
    };

    AdoptedMouse(sd_event* loop, MouseIdentity id, Callbacks callbacks);

    // Opens the node and reads its description; false with *error.
    bool openNode(std::string* error);
    bool attach(std::string* error);
    void closeNode();

    void onReadable(std::uint32_t revents);
    // Reads everything queued; false once the device failed (lost() was
    // called then and this object may be gone).
    bool readQueued();
    // After SYN_DROPPED: takes libevdev's synchronisation events and releases
    // what was released meanwhile; false once the device failed.
    bool resynchronise();
    // Reads and drops what is queued; false once the device failed.
    bool discardQueued();
    // The buttons the device holds now, as libevdev last saw them.
    std::vector<std::uint16_t> buttonsDown() const;

    // Grabs when nothing is held, else waits for the release or the timer;
    // false once the device failed.
    bool tryGrab();
    void armRetry();
    void ungrab();

    // Writes the transform's output and hands its words on.
    void flush();
    void releaseAll();
    // The device is gone: releases everything, closes it and tells the owner
    // from a deferred event of the loop, so that nothing up the stack runs on
    // a destroyed object.
    void lose(const char* why);

    sd_event* loop_;
    MouseIdentity id_;
    Callbacks callbacks_;
    Transform transform_;
    Output out_;
    std::vector<InputEvent> frame_;
    std::vector<std::uint16_t> buttonCodes_; // every key code the source has
    std::unique_ptr<VirtualPointer> pointer_;
    UniqueFd fd_;
    std::unique_ptr<libevdev, EvdevDeleter> dev_;
    // Sources after what they use, so that they go first.
    RunLoop::SourcePtr io_;
    RunLoop::SourcePtr retry_;
    RunLoop::SourcePtr deferredLoss_;
    bool grabbed_ = false;
    bool lost_ = false;
    bool suspended_ = false;
    bool grabFailureReported_ = false;
    bool emitFailureReported_ = false;
};

} // namespace zed::driver
