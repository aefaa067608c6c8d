// In-memory registry and recording HID system for unit tests. Notifications
// are delivered synchronously, from the call that causes them.
#pragma once

#include "Platform/core/IOKit.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zed {

class FakeRegistry : public Registry {
public:
    struct SetCall {
        io_service_t service;
        Dictionary properties;
    };

    std::size_t waitingMessages() const override { return backlog; }
    // What waitingMessages says: messages that arrived and wait.
    std::size_t backlog = 0;

    // Adds a service and tells the FirstMatch watchers it matches.
    io_service_t addService(const std::string& className, Dictionary properties);
    // Removes it and tells the Terminate watchers.
    void removeService(io_service_t service);
    // The provider leaves and comes back: every service terminates, then
    // arrives again under its old handle, as a restarted provider numbers them.
    void restartProvider();
    // Sends a general-interest message to the service's watchers.
    void sendMessage(io_service_t service, std::uint32_t messageType, std::uint64_t argument = 0);

    // The status of the next setProperties on any service, then success again.
    void failNextSet(IOReturn status) { nextSetStatus_ = status; }
    void setLookupStatus(IOReturn status) { lookupStatus_ = status; }
    void setRegistrationStatus(IOReturn status) { registrationStatus_ = status; }
    // Makes copyProperties of the service fail.
    void setUnreadable(io_service_t service) { unreadable_.push_back(service); }

    const std::vector<SetCall>& setCalls() const { return setCalls_; }
    void clearSetCalls() { setCalls_.clear(); }
    std::vector<Dictionary> setCallsOn(io_service_t service) const;
    int interestWatchers(io_service_t service) const;
    int matchingWatchers() const;

    IOReturn getMatchingServices(const std::string& className,
                                 std::vector<io_service_t>* services) override;
    std::optional<Dictionary> copyProperties(io_service_t service) override;
    IOReturn setProperties(io_service_t service, const Dictionary& properties) override;
    IOReturn addMatchingNotification(MatchEvent event, const std::string& className,
                                     const Dictionary& matching, MatchingCallback callback,
                                     void* refCon, std::shared_ptr<ServiceIterator>* iterator,
                                     NotificationPtr* registration) override;
    IOReturn addInterestNotification(io_service_t service, InterestCallback callback, void* refCon,
                                     NotificationPtr* registration) override;

private:
    struct Service {
        io_service_t id;
        std::string className;
        Dictionary properties;
    };
    struct Watch : RegistryWatch {
        io_service_t service = 0;
    };

    static bool matches(const Service& s, const std::string& className, const Dictionary& match);
    void notifyMatching(MatchEvent event, const Service& s);
    std::vector<std::shared_ptr<Watch>> live() const { return liveWatches(watches_); }

    std::vector<Service> services_;
    std::vector<std::shared_ptr<Watch>> watches_;
    std::vector<SetCall> setCalls_;
    std::vector<io_service_t> unreadable_;
    io_service_t nextId_ = 0x1000;
    IOReturn nextSetStatus_ = kIOReturnSuccess;
    IOReturn lookupStatus_ = kIOReturnSuccess;
    IOReturn registrationStatus_ = kIOReturnSuccess;
};

class FakeHidSystem : public HidSystem {
public:
    struct Event {
        std::uint32_t type;
        std::int16_t x, y;
        NXEventData data;
        std::uint32_t dataVersion;
        std::uint32_t flags;
        std::uint32_t options;
        io_connect_t connect;
    };
    struct AccelerationCall {
        std::string key;
        double value;
    };

    // The acceleration the HID system reports until it is set.
    double acceleration = 0.6875;
    IOReturn openStatus = kIOReturnSuccess;
    IOReturn getAccelerationStatus = kIOReturnSuccess;

    std::vector<std::int32_t> buttonModes;
    std::vector<AccelerationCall> accelerationSets;
    std::vector<Event> events;
    // One entry per releaseHeldKeys on an open connection: how many events
    // had been posted before it.
    std::vector<std::size_t> heldKeyReleases;
    int opens = 0;
    int closes = 0;
    io_connect_t lastConnect = 0;

    int openConnections() const { return opens - closes; }
    // The HID system restarted: the connections opened so far are gone and
    // answer kIOReturnNotOpen; new ones work.
    void dropConnections() { droppedUpTo_ = nextConnect_; }
    // When set, every post answers this and records nothing.
    IOReturn postStatus = kIOReturnSuccess;

    IOReturn open(io_service_t hidSystem, std::uint32_t type, io_connect_t* connect) override;
    void close(io_connect_t connect) override;
    IOReturn setMouseButtonMode(io_connect_t connect, std::int32_t mode) override;
    IOReturn setAccelerationWithKey(io_connect_t connect, const std::string& key,
                                    double acceleration) override;
    IOReturn getAccelerationWithKey(io_connect_t connect, const std::string& key,
                                    double* acceleration) override;
    IOReturn postEvent(io_connect_t connect, std::uint32_t eventType, std::int16_t x,
                       std::int16_t y, const NXEventData& data, std::uint32_t dataVersion,
                       std::uint32_t eventFlags, std::uint32_t options) override;
    IOReturn releaseHeldKeys(io_connect_t connect) override;

private:
    bool isGone(io_connect_t connect) const { return connect == 0 || connect <= droppedUpTo_; }

    io_connect_t nextConnect_ = 0x2000;
    io_connect_t droppedUpTo_ = 0;
};

} // namespace zed
