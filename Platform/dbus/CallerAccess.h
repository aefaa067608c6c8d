// Who a caller of the registry server is and whether it may control the
// device: the uid comes from the bus daemon (the credentials it took when the
// caller connected), never from /proc, where a process can change what is
// read; the owner decides which uids may. Without a check, everybody may:
// the simulator on a session bus serves its own user only.
#pragma once

#include "Platform/dbus/DBusValue.h"

#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

namespace zed::registryserver {

class CallerAccess {
public:
    using Check = std::function<bool(uid_t)>;
    // Called with the caller's uid, or nothing when the bus could not say.
    using Answer = std::function<void(std::optional<uid_t>)>;

    explicit CallerAccess(sd_bus* bus);
    ~CallerAccess();
    CallerAccess(const CallerAccess&) = delete;
    CallerAccess& operator=(const CallerAccess&) = delete;

    void setCheck(Check check) { check_ = std::move(check); }
    bool restricted() const { return static_cast<bool>(check_); }
    // Whether a caller of that uid may control the device now (a seat's
    // active user changes). An unknown uid may only when nothing is checked.
    bool allows(std::optional<uid_t> uid) const;

    // Asks the bus daemon for the uid behind `sender` (a unique name). The
    // answer comes from the run loop; queries still open when this object
    // goes are dropped unanswered. False with a message when it cannot ask.
    bool queryUid(const char* sender, Answer answer);

private:
    struct Query;
    static int onUid(sd_bus_message* m, void* userdata, sd_bus_error* error);

    sd_bus* bus_;
    Check check_;
    std::list<std::unique_ptr<Query>> queries_;
};

} // namespace zed::registryserver
