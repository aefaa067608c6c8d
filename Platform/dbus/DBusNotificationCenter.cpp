#include "DBusNotificationCenter.h"

#include "DBusClient.h"
#include "Platform/core/Log.h"

#include <exception>

namespace zed {

DBusNotificationCenter::DBusNotificationCenter(BusPtr bus) : bus_(std::move(bus)) {}

DBusNotificationCenter::~DBusNotificationCenter() {
    deliverSoon_.reset();
    deliverLate_.reset();
    waiting_.clear();
    observers_.clear(); // drop the match slots before the connection
}

bool DBusNotificationCenter::addObserver(const void* observer, const std::string& name,
                                         const std::string& object, Callback callback) {
    if (!bus_) {
        return false;
    }
    std::string rule = std::string("type='signal',path='") + kPath + "',interface='" + kInterface +
                       "',member='" + kMember + "'";
    if (!name.empty()) {
        rule += ",arg0=" + matchRuleQuote(name);
    }
    if (!object.empty()) {
        rule += ",arg1=" + matchRuleQuote(object);
    }
    Observer& o =
        observers_.emplace_back(Observer{this, observer, name, object, std::move(callback), {}});
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_add_match(bus_.get(), &slot, rule.c_str(), &onSignal, &o);
    if (r < 0) {
        zed::logErrno(-r, "cannot observe the notification \"%s\"", name.c_str());
        observers_.pop_back();
        return false;
    }
    o.slot.reset(slot);
    return true;
}

void DBusNotificationCenter::removeObserver(const void* observer, const std::string& name,
                                            const std::string& object) {
    auto removed = [&](const Observer& o) {
        return o.observer == observer && (name.empty() || o.name == name) &&
               (object.empty() || o.object == object);
    };
    waiting_.remove_if([&](const Waiting& w) { return removed(*w.observer); });
    observers_.remove_if(removed);
}

int DBusNotificationCenter::onSignal(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* o = static_cast<Observer*>(userdata);
    DBusNotificationCenter* self = o->center;
    const char* sender = sd_bus_message_get_sender(m);
    const char* name = nullptr;
    const char* object = nullptr;
    std::string error;
    std::optional<Dictionary> info;
    if (sd_bus_message_read(m, "ss", &name, &object) < 0) {
        error = "name and object are not strings";
    } else {
        info = readDictionary(m, &error);
    }
    if (!info) {
        zed::log("dropped a notification from %s whose payload does not decode (%s)",
                 sender ? sender : "an unknown sender", error.c_str());
        return 0;
    }
    if (const std::size_t size = registrybus::footprint(*info); size > kMaxPayloadBytes) {
        self->dropped(std::string("the notification \"") + name + "\" from " +
                      (sender ? sender : "an unknown sender") + ": about " + std::to_string(size) +
                      " bytes, more than " + std::to_string(kMaxPayloadBytes));
        return 0;
    }
    try {
        if (!self->hold(*o, name, object, std::move(*info))) {
            deliver(*o, name, object, *info); // no loop: delivered as it came
        }
    } catch (const std::exception& e) {
        zed::log("notification \"%s\" not delivered: %s", name, e.what());
    } catch (...) {
        zed::log("notification \"%s\" not delivered", name);
    }
    return 0;
}

void DBusNotificationCenter::dropped(const std::string& what) {
    // Said once per flood: a sender posting huge payloads must not flood the log too.
    if (droppedSinceSaid_++ == 0) {
        zed::log("dropped %s", what.c_str());
    }
}

bool DBusNotificationCenter::hold(Observer& o, const char* name, const char* object,
                                  Dictionary&& info) {
    sd_event* event = sd_bus_get_event(bus_.get());
    if (!event) {
        return false;
    }
    if (!deliverSoon_) {
        sd_event_source* soon = nullptr;
        sd_event_source* late = nullptr;
        if (sd_event_add_defer(event, &soon, &onDeliver, this) < 0) {
            return false;
        }
        deliverSoon_.reset(soon);
        if (sd_event_add_time_relative(event, &late, CLOCK_MONOTONIC, kMaxDelayUsec, 1,
                                       &onDeliverLate, this) < 0) {
            deliverSoon_.reset();
            return false;
        }
        deliverLate_.reset(late);
        // After the bus's own reading, so that a burst is read before any
        // of it is delivered; the timer keeps a loop that is never idle from
        // holding it back for long.
        sd_event_source_set_priority(deliverSoon_.get(), SD_EVENT_PRIORITY_NORMAL + 1);
        sd_event_source_set_priority(deliverLate_.get(), SD_EVENT_PRIORITY_NORMAL);
        sd_event_source_set_enabled(deliverSoon_.get(), SD_EVENT_OFF);
        sd_event_source_set_enabled(deliverLate_.get(), SD_EVENT_OFF);
    }
    // The last of a burst wins, in the place of its own arrival.
    waiting_.remove_if(
        [&](const Waiting& w) { return w.observer == &o && w.name == name && w.object == object; });
    if (waiting_.size() >= kMaxWaiting) {
        dropped("the notification \"" + waiting_.front().name +
                "\": too many notifications are waiting");
        waiting_.pop_front();
    }
    waiting_.push_back(Waiting{&o, name, object, std::move(info)});
    int enabled = SD_EVENT_OFF;
    sd_event_source_get_enabled(deliverSoon_.get(), &enabled);
    if (enabled == SD_EVENT_OFF) {
        sd_event_source_set_enabled(deliverSoon_.get(), SD_EVENT_ONESHOT);
        sd_event_source_set_time_relative(deliverLate_.get(), kMaxDelayUsec);
        sd_event_source_set_enabled(deliverLate_.get(), SD_EVENT_ONESHOT);
    }
    return true;
}

int DBusNotificationCenter::onDeliver(sd_event_source*, void* userdata) {
    static_cast<DBusNotificationCenter*>(userdata)->deliverWaiting();
    return 0;
}

int DBusNotificationCenter::onDeliverLate(sd_event_source*, std::uint64_t, void* userdata) {
    static_cast<DBusNotificationCenter*>(userdata)->deliverWaiting();
    return 0;
}

void DBusNotificationCenter::deliverWaiting() {
    sd_event_source_set_enabled(deliverSoon_.get(), SD_EVENT_OFF);
    sd_event_source_set_enabled(deliverLate_.get(), SD_EVENT_OFF);
    if (droppedSinceSaid_ > 1) {
        zed::log("dropped %zu notifications in all", droppedSinceSaid_);
    }
    droppedSinceSaid_ = 0;
    // One at a time: an observer may remove observers (and what waits for them).
    while (!waiting_.empty()) {
        Waiting w = std::move(waiting_.front());
        waiting_.pop_front();
        deliver(*w.observer, w.name, w.object, w.info);
    }
}

void DBusNotificationCenter::deliver(Observer& o, const std::string& name,
                                     const std::string& object, const Dictionary& info) {
    try {
        o.callback(name, object, &info);
    } catch (const std::exception& e) {
        zed::log("notification observer failed: %s", e.what());
    } catch (...) {
        zed::log("notification observer failed");
    }
}

bool DBusNotificationCenter::post(const std::string& name, const std::string& object,
                                  const Dictionary* userInfo, bool) {
    if (!bus_) {
        zed::log("no session bus; the notification \"%s\" was not sent", name.c_str());
        return false;
    }
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_signal(bus_.get(), &raw, kPath, kInterface, kMember);
    MessagePtr m(raw);
    if (r >= 0) {
        r = sd_bus_message_append(m.get(), "ss", name.c_str(), object.c_str());
    }
    if (r >= 0) {
        r = appendDictionary(m.get(), userInfo ? *userInfo : Dictionary{});
    }
    if (r >= 0) {
        r = sd_bus_send(bus_.get(), m.get(), nullptr);
    }
    if (r >= 0) {
        // Deliver now: a poster that exits right after must not lose it.
        r = sd_bus_flush(bus_.get());
    }
    if (r < 0) {
        zed::logErrno(-r, "cannot send the notification \"%s\"", name.c_str());
        return false;
    }
    return true;
}

} // namespace zed
