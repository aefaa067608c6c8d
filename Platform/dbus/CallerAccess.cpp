#include "CallerAccess.h"

#include "Platform/core/Log.h"

#include <exception>

namespace zed::registryserver {

struct CallerAccess::Query {
    CallerAccess* owner;
    Answer answer;
    SlotPtr slot;
    std::list<std::unique_ptr<Query>>::iterator self;
};

CallerAccess::CallerAccess(sd_bus* bus) : bus_(bus) {}

CallerAccess::~CallerAccess() {
    queries_.clear(); // their slots: no answer arrives for a gone owner
}

bool CallerAccess::allows(std::optional<uid_t> uid) const {
    if (!check_) {
        return true;
    }
    return uid && check_(*uid);
}

bool CallerAccess::queryUid(const char* sender, Answer answer) {
    if (!sender || !*sender) {
        zed::log("a call without a sender: its user is unknown");
        return false;
    }
    auto q = std::make_unique<Query>(Query{this, std::move(answer), nullptr, {}});
    Query* raw = q.get();
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_call_method_async(bus_, &slot, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                     "org.freedesktop.DBus", "GetConnectionUnixUser", &onUid, raw,
                                     "s", sender);
    if (r < 0) {
        zed::logErrno(-r, "cannot ask the bus who %s is", sender);
        return false;
    }
    raw->slot.reset(slot);
    queries_.push_front(std::move(q));
    raw->self = queries_.begin();
    return true;
}

int CallerAccess::onUid(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* q = static_cast<Query*>(userdata);
    CallerAccess* self = q->owner;
    // Taken out before the answer runs: it may query again or destroy things.
    std::unique_ptr<Query> done = std::move(*q->self);
    self->queries_.erase(q->self);
    std::optional<uid_t> uid;
    std::uint32_t value = 0;
    if (sd_bus_message_is_method_error(m, nullptr)) {
        const sd_bus_error* e = sd_bus_message_get_error(m);
        zed::log("the bus does not say who a caller is: %s",
                 e && e->message ? e->message : "unknown error");
    } else if (sd_bus_message_read(m, "u", &value) >= 0) {
        uid = static_cast<uid_t>(value);
    } else {
        zed::log("the bus answered with no uid");
    }
    try {
        done->answer(uid);
    } catch (const std::exception& e) {
        zed::log("a call failed: %s", e.what());
    } catch (...) {
        zed::log("a call failed");
    }
    return 0;
}

} // namespace zed::registryserver
