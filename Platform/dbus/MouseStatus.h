// What the settings pane shows at a glance: whether the mouse's driver runs,
// how many of the maker's mice it serves, and whether the user's agent runs
// (it owns a name on the session bus while it does).
#pragma once

#include "DBusValue.h"
#include "Platform.h"

namespace zed {

// Owned by the agent on its session bus for as long as it runs.
inline constexpr const char* kAgentBusName = "com.tovik.ZED.Agent";

// For the agent: owns kAgentBusName, so that the pane can tell it runs. Says
// on standard error when it cannot; the agent works on without it.
void announceAgent(sd_bus* sessionBus);

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
