// The two registry services of one adopted mouse: its "IOUSBDevice" and its
// driver service, both showing the ids of the product the driver presents.
// The maker's mice present their own ids. Any other adopted mouse presents
// the seven-button model (the agent knows no other), and shows what it really
// is under keys of its own: kSourceVendorKey, kSourceProductKey and
// kSourceNameKey. The driver service takes the agent's settings: a payload is
// validated whole, and only an accepted one is shown and applied.
#pragma once

#include "Driver/MouseIdentity.h"
#include "Platform/core/IOKit.h"
#include "Platform/dbus/RegistryServer.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace zed::driver {

struct DriverSettings;
class DriverProperties;

inline constexpr const char* kSourceVendorKey = "ZEDSourceVendor";
inline constexpr const char* kSourceProductKey = "ZEDSourceProduct";
inline constexpr const char* kSourceNameKey = "ZEDSourceName";

// What both services show of the mouse: the presented ids (64-bit integers)
// and, for another maker's mouse, the real ones and its name.
Dictionary presentedIds(const MouseIdentity& id);

class MouseServices {
public:
    using Applied = std::function<void(const DriverSettings&)>;

    // Publishes both services; `applied` is called with the new settings
    // after every accepted SetProperties. Null with a message on failure
    // (nothing stays published then).
    static std::unique_ptr<MouseServices> publish(registryserver::RegistryServer& server,
                                                  const MouseIdentity& id, Applied applied);
    ~MouseServices(); // removes both services
    MouseServices(const MouseServices&) = delete;
    MouseServices& operator=(const MouseServices&) = delete;

    // A driver message word, to the interested connections the server's
    // authorisation allows.
    void sendMessage(std::uint32_t word);

    io_service_t driverService() const { return driver_; }
    io_service_t deviceService() const { return device_; }

private:
    struct Key {
        explicit Key() = default;
    };

public:
    MouseServices(Key, registryserver::RegistryServer& server, Dictionary ids, Applied applied);

private:
    IOReturn setProperties(registryserver::ServiceObject& service, const Dictionary& changes);

    registryserver::RegistryServer& server_;
    Dictionary ids_;
    Applied applied_;
    std::unique_ptr<DriverProperties> properties_;
    io_service_t driver_ = 0;
    io_service_t device_ = 0;
};

} // namespace zed::driver
