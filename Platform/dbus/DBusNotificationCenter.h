// Distributed notifications as the signal
// com.tovik.DistributedNotificationCenter.Notification(s name, s object, a{sv} userInfo)
// on the session bus.
#pragma once

#include "DBusValue.h"
#include "Platform/core/NotificationCenter.h"

#include <list>

namespace zed {

class RunLoop;

class DBusNotificationCenter : public NotificationCenter {
public:
    static constexpr const char* kPath = "/com/tovik/DistributedNotificationCenter";
    static constexpr const char* kInterface = "com.tovik.DistributedNotificationCenter";
    static constexpr const char* kMember = "Notification";

    // Takes a connection that is (or will be) attached to the run loop.
    explicit DBusNotificationCenter(BusPtr bus);
    ~DBusNotificationCenter() override;

    bool addObserver(const void* observer, const std::string& name, const std::string& object,
                     Callback callback) override;
    void removeObserver(const void* observer, const std::string& name,
                        const std::string& object) override;
    bool post(const std::string& name, const std::string& object, const Dictionary* userInfo,
              bool deliverImmediately) override;

    sd_bus* bus() const { return bus_.get(); }

private:
    struct Observer {
        const void* observer;
        std::string name;
        std::string object;
        Callback callback;
        SlotPtr slot;
    };
    static int onSignal(sd_bus_message* m, void* userdata, sd_bus_error* error);

    BusPtr bus_;
    std::list<Observer> observers_; // stable addresses: the slots point at them
};

} // namespace zed
