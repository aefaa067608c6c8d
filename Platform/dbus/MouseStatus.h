// What the settings pane shows at a glance: whether the mouse's driver runs,
// how many of the maker's mice it serves, and whether the user's agent runs
// (it owns a name on the session bus while it does).
#pragma once

#include "DBusValue.h"
#include "Platform.h"

#include <functional>
#include <memory>

namespace zed {

// Owned by the agent on its session bus for as long as it runs.
inline constexpr const char* kAgentBusName = "com.tovik.ZED.Agent";

// For the agent: owns kAgentBusName, so that the pane can tell it runs. Says
// on standard error when it cannot; the agent works on without it.
void announceAgent(sd_bus* sessionBus);

// The agent's object for the pane: FrontApplication() -> (s application,
// s why), the application in front or an empty name with the reason it
// cannot tell (empty while it has not heard yet).
inline constexpr const char* kAgentObjectPath = "/com/tovik/ZED/Agent";
inline constexpr const char* kAgentInterface = "com.tovik.ZED.Agent";
using FrontApplicationSource = std::function<FrontApplication()>;
// For the agent: serves the object while it lives.
class FrontApplicationServer {
public:
    // Null with a message when the bus refuses the object.
    static std::unique_ptr<FrontApplicationServer> serve(sd_bus* sessionBus,
                                                         FrontApplicationSource source);
    explicit FrontApplicationServer(FrontApplicationSource source) : source_(std::move(source)) {}
    FrontApplicationServer(const FrontApplicationServer&) = delete;
    FrontApplicationServer& operator=(const FrontApplicationServer&) = delete;

private:
    static int onFront(sd_bus_message* m, void* userdata, sd_bus_error* error);
    FrontApplicationSource source_;
    SlotPtr slot_; // after the source: no call reaches a source that is gone
};
// For the pane: asks the agent on the user's session bus.
std::unique_ptr<FrontApplicationQuery> makeAgentFrontApplicationQuery();

struct MouseStatus {
    bool simulated = false;     // the driver is the simulated mouse
    bool driverRunning = false; // its registry answers on its bus
    int mice = 0;               // the maker's mice it serves
    bool agentRunning = false;
    bool operator==(const MouseStatus&) const = default;
};

// Asks the buses, each call bounded; blocking, so for a worker thread. Keeps
// its connections between probes and opens them again after a bus went.
class MouseStatusProbe {
public:
    explicit MouseStatusProbe(Platform::Kind kind);
    ~MouseStatusProbe();
    MouseStatusProbe(const MouseStatusProbe&) = delete;
    MouseStatusProbe& operator=(const MouseStatusProbe&) = delete;

    MouseStatus probe();

private:
    bool simulated_;
    BusPtr session_;
    BusPtr system_; // unused by the simulated mouse, whose registry is on the session bus
};

} // namespace zed
