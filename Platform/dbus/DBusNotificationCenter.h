// Distributed notifications as the signal
// com.tovik.DistributedNotificationCenter.Notification(s name, s object, a{sv} userInfo)
// on the session bus. On a connection attached to a run loop, what arrives is
// delivered from the loop once the bus has nothing more to read: a burst of
// the same notification reaches each observer once, with the last payload,
// and what waits for delivery stays bounded however fast others post.
#pragma once

#include "DBusValue.h"
#include "Platform/core/NotificationCenter.h"

#include <cstddef>
#include <list>
#include <systemd/sd-event.h>

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

    // Far beyond any settings dictionary (32 mappings of 4 KiB): a larger
    // payload is dropped unread by the observers.
    static constexpr std::size_t kMaxPayloadBytes = 256 * 1024;
    // Distinct notifications waiting for delivery; the oldest goes first.
    static constexpr std::size_t kMaxWaiting = 64;
    // How long a waiting notification may be held back by a busy loop.
    static constexpr std::uint64_t kMaxDelayUsec = 20'000;

private:
    struct Observer {
        DBusNotificationCenter* center;
        const void* observer;
        std::string name;
        std::string object;
        Callback callback;
        SlotPtr slot;
    };
    struct Waiting {
        Observer* observer;
        std::string name;
        std::string object;
        Dictionary info;
    };
    struct SourceUnref {
        void operator()(sd_event_source* s) const { sd_event_source_disable_unref(s); }
    };
    using SourcePtr = std::unique_ptr<sd_event_source, SourceUnref>;

    static int onSignal(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int onDeliver(sd_event_source* s, void* userdata);
    static int onDeliverLate(sd_event_source* s, std::uint64_t usec, void* userdata);
    // Queues the notification for the loop; false when there is no loop to
    // deliver it from.
    bool hold(Observer& o, const char* name, const char* object, Dictionary&& info);
    void deliverWaiting();
    static void deliver(Observer& o, const std::string& name, const std::string& object,
                        const Dictionary& info);
    // `what` was dropped; said for the first of a flood only.
    void dropped(const std::string& what);

    BusPtr bus_;
    std::list<Observer> observers_; // stable addresses: the slots point at them
    std::list<Waiting> waiting_;    // in order of their last arrival
    SourcePtr deliverSoon_;         // when the loop has nothing more urgent
    SourcePtr deliverLate_;         // in any case, kMaxDelayUsec after the first
    std::size_t droppedSinceSaid_ = 0;
};

} // namespace zed
