// The HID system of the simulated machine: the com.tovik.IOHIDSystem
// interface of the registry's "IOHIDSystem" service. Connections are the
// provider's handles; this client remembers which service each belongs to.
#pragma once

#include "DBusClient.h"
#include "DBusValue.h"
#include "Platform/core/IOKit.h"

#include <map>

namespace zed {

class DBusHidSystem : public HidSystem {
public:
    // Takes a connection that is (or will be) attached to the run loop.
    explicit DBusHidSystem(BusPtr bus,
                           std::uint64_t callTimeoutUsec = registrybus::kDefaultCallTimeoutUsec);
    ~DBusHidSystem() override;

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
    // The simulated HID system records events and holds no key: nothing to do.
    IOReturn releaseHeldKeys(io_connect_t connect) override;

    sd_bus* bus() const { return bus_.get(); }

private:
    // Calls a method of the connection's service; the reply must have the
    // given signature and starts with the status, which is returned.
    IOReturn call(io_connect_t connect, const char* member, const char* replySignature,
                  const std::function<int(sd_bus_message*)>& append, const char* what,
                  MessagePtr* reply);
    IOReturn callService(io_service_t service, const char* member, const char* replySignature,
                         const std::function<int(sd_bus_message*)>& append, const char* what,
                         MessagePtr* reply);

    BusPtr bus_;
    std::uint64_t timeout_;
    std::map<io_connect_t, io_service_t> connections_;
};

} // namespace zed
