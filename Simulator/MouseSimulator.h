// The simulated machine behind zed-mouse-sim serve: a device registry with an
// "IOHIDSystem" service and plugged mice (a USB device and its driver each),
// a login session, and the control interface its command line talks to.
// Everything the agent does to the driver and the HID system is recorded.
#pragma once

#include "Platform/core/IOKit.h"
#include "Platform/dbus/DBusValue.h"
#include "Platform/dbus/RegistryServer.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zed::sim {

class ControlObject;

inline constexpr const char* kControlPath = "/com/tovik/MouseSimulator";
inline constexpr const char* kControlInterface = "com.tovik.MouseSimulator";
inline constexpr const char* kErrorNoMouse = "com.tovik.MouseSimulator.Error.NoMouse";
inline constexpr const char* kErrorInvalid = "com.tovik.MouseSimulator.Error.InvalidArgument";

// The acceleration the HID system reports for a key until it is set.
inline constexpr double kStartingAcceleration = 0.6875;

struct SimulatorOptions {
    bool withHidSystem = true;
    bool loggedIn = true;
    bool onConsole = true;
};

class MouseSimulator : private registryserver::HidSystemCalls {
public:
    MouseSimulator(sd_bus* bus, SimulatorOptions options);
    ~MouseSimulator() override;
    MouseSimulator(const MouseSimulator&) = delete;
    MouseSimulator& operator=(const MouseSimulator&) = delete;

    // Registers every object, then takes the bus name. False with a message
    // when that fails (another simulator or a driver already owns the name).
    bool start();

    struct Mouse {
        io_service_t driver;
        io_service_t device;
        std::int32_t product;
    };
    // Adds a driver and then its USB device, so that whoever reacts to the
    // device's arrival already finds the driver.
    Mouse plug(std::int32_t vendor, std::int32_t product);
    // The mouse named by its driver's or its device's id; 0 names the last
    // plugged one. Removes the driver first, so that whoever reacts to the
    // device's removal no longer finds it.
    std::optional<Mouse> unplug(io_service_t id);
    std::optional<Mouse> sendMessage(io_service_t id, std::uint32_t word, std::uint64_t argument);
    void failNext(IOReturn status) { failNext_ = status; }
    // away, back (sends Activated), login, logout, none. False when unknown.
    bool changeSession(const std::string& change);
    // driver, hid, events, session or devices; empty when unknown.
    std::optional<std::vector<std::string>> show(const std::string& what) const;

private:
    // The HID system: every call is recorded.
    Opened open(std::uint32_t type) override;
    void close(std::uint32_t connect) override;
    IOReturn setMouseButtonMode(std::uint32_t connect, std::int32_t mode) override;
    IOReturn setAcceleration(std::uint32_t connect, const std::string& key, double value) override;
    Acceleration getAcceleration(std::uint32_t connect, const std::string& key) override;
    IOReturn postEvent(const registryserver::PostedEvent& event) override;

    // SetProperties that passed the bus boundary's checks.
    IOReturn driverSetProperties(const registryserver::ServiceObject& driver,
                                 const Dictionary& properties);
    IOReturn hidSetProperties(const Dictionary& properties);

    const Mouse* findMouse(io_service_t id) const;
    void record(std::deque<std::string>& log, std::string line);
    bool isOpen(std::uint32_t connect) const { return connects_.count(connect) != 0; }
    Dictionary sessionDictionary() const;

    SimulatorOptions options_;
    registryserver::RegistryServer server_;
    registryserver::LoginSessionObject* session_ = nullptr;
    std::unique_ptr<ControlObject> control_; // goes before the server's objects
    std::vector<Mouse> mice_;                // in plug order
    IOReturn failNext_ = kIOReturnSuccess;

    std::set<std::uint32_t> connects_;
    std::uint32_t nextConnect_;
    std::map<std::string, double> acceleration_;

    std::string userName_;
    std::int32_t userId_ = 0;
    bool sessionPresent_ = true;
    // How often the session was asked for: a client that checks the session
    // before acting can be seen to have asked.
    std::int64_t sessionQueries_ = 0;

    std::deque<std::string> driverLog_, hidLog_, eventLog_;
    std::int64_t seq_ = 0; // one sequence over all records: their order across logs
};

} // namespace zed::sim
