#include "DBusNotificationCenter.h"

#include <cstdio>
#include <cstring>
#include <exception>

namespace zed {

DBusNotificationCenter::DBusNotificationCenter(BusPtr bus) : bus_(std::move(bus)) {}

DBusNotificationCenter::~DBusNotificationCenter() {
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
        observers_.emplace_back(Observer{observer, name, object, std::move(callback), {}});
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_add_match(bus_.get(), &slot, rule.c_str(), &onSignal, &o);
    if (r < 0) {
        std::fprintf(stderr, "zed: cannot observe the notification \"%s\": %s\n", name.c_str(),
                     std::strerror(-r));
        observers_.pop_back();
        return false;
    }
    o.slot.reset(slot);
    return true;
}

void DBusNotificationCenter::removeObserver(const void* observer, const std::string& name,
                                            const std::string& object) {
    observers_.remove_if([&](const Observer& o) {
        return o.observer == observer && (name.empty() || o.name == name) &&
               (object.empty() || o.object == object);
    });
}

int DBusNotificationCenter::onSignal(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* o = static_cast<Observer*>(userdata);
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
        const char* sender = sd_bus_message_get_sender(m);
        std::fprintf(stderr,
                     "zed: dropped a notification from %s whose payload does not decode (%s)\n",
                     sender ? sender : "an unknown sender", error.c_str());
        return 0;
    }
    try {
        o->callback(name, object, &*info);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zed: notification observer failed: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "zed: notification observer failed\n");
    }
    return 0;
}

bool DBusNotificationCenter::post(const std::string& name, const std::string& object,
                                  const Dictionary* userInfo, bool) {
    if (!bus_) {
        std::fprintf(stderr, "zed: no session bus; the notification \"%s\" was not sent\n",
                     name.c_str());
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
        std::fprintf(stderr, "zed: cannot send the notification \"%s\": %s\n", name.c_str(),
                     std::strerror(-r));
        return false;
    }
    return true;
}

} // namespace zed
