#include "MouseStatus.h"

#include "DBusClient.h"
#include "DBusRegistry.h"
#include "Platform/core/DriverInterface.h"
#include "Platform/core/Log.h"

#include <algorithm>
#include <cstring>

namespace zed {

namespace {

// Short: the pane asks every few seconds and shows the answer, nothing waits on it.
constexpr std::uint64_t kProbeTimeoutUsec = 1'000'000;

// A connection that works, opened anew when the last one went; no message
// when there is no bus, as the status line says so.
sd_bus* usable(BusPtr& bus, BusKind kind) {
    if (bus && sd_bus_is_open(bus.get()) > 0) {
        return bus.get();
    }
    bus.reset();
    sd_bus* opened = nullptr;
    const int r =
        kind == BusKind::Session ? sd_bus_open_user(&opened) : sd_bus_open_system(&opened);
    if (r < 0) {
        return nullptr;
    }
    bus.reset(opened);
    return opened;
}

bool nameOwned(sd_bus* bus, const char* name) {
    if (!bus) {
        return false;
    }
    BusError error;
    sd_bus_message* raw = nullptr;
    sd_bus_message* call = nullptr;
    int r =
        sd_bus_message_new_method_call(bus, &call, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                       "org.freedesktop.DBus", "NameHasOwner");
    MessagePtr request(call);
    if (r >= 0) {
        r = sd_bus_message_append(call, "s", name);
    }
    if (r >= 0) {
        r = sd_bus_call(bus, call, kProbeTimeoutUsec, error.get(), &raw);
    }
    MessagePtr reply(raw);
    int owned = 0;
    return r >= 0 && sd_bus_message_read(reply.get(), "b", &owned) >= 0 && owned != 0;
}

bool isOurMouse(const Dictionary& properties) {
    const Value* vendor = lookup(properties, driver::kVendorIdKey);
    const Value* product = lookup(properties, driver::kProductIdKey);
    const auto vendorId = vendor ? vendor->toInt64() : std::nullopt;
    const auto productId = product ? product->toInt64() : std::nullopt;
    return vendorId == kTovikVendorId && productId &&
           std::ranges::find(kCopperhoundProductIds, *productId) !=
               std::end(kCopperhoundProductIds);
}

} // namespace

void announceAgent(sd_bus* sessionBus) {
    if (!sessionBus) {
        return;
    }
    const int r = sd_bus_request_name(sessionBus, kAgentBusName, 0);
    if (r < 0) {
        zed::log("cannot own %s (%s); the settings pane will say that no agent runs", kAgentBusName,
                 std::strerror(-r));
    }
}

namespace {

// Longer than the probe's: a tracker started on demand may ask its desktop first.
constexpr std::uint64_t kFrontTimeoutUsec = 3'000'000;

class AgentFrontApplicationQuery : public FrontApplicationQuery {
public:
    FrontApplication ask() override {
        FrontApplication front;
        sd_bus* bus = usable(bus_, BusKind::Session);
        if (!bus) {
            return front;
        }
        BusError error;
        sd_bus_message* call = nullptr;
        sd_bus_message* raw = nullptr;
        int r = sd_bus_message_new_method_call(bus, &call, kAgentBusName, kAgentObjectPath,
                                               kAgentInterface, "FrontApplication");
        MessagePtr request(call);
        if (r >= 0) {
            r = sd_bus_call(bus, call, kFrontTimeoutUsec, error.get(), &raw);
        }
        MessagePtr reply(raw);
        const char* app = nullptr;
        const char* why = nullptr;
        if (r < 0) {
            // An agent of a version without the object runs all the same.
            front.agentRuns = nameOwned(bus, kAgentBusName);
            if (front.agentRuns) {
                front.why = "the agent does not answer which window is in front";
            }
            return front;
        }
        front.agentRuns = true;
        if (sd_bus_message_read(reply.get(), "ss", &app, &why) >= 0 && app && why) {
            front.application = app;
            front.why = why;
        }
        return front;
    }

private:
    BusPtr bus_;
};

} // namespace

std::unique_ptr<FrontApplicationServer>
FrontApplicationServer::serve(sd_bus* sessionBus, FrontApplicationSource source) {
    static const sd_bus_vtable vtable[] = {SD_BUS_VTABLE_START(0),
                                           SD_BUS_METHOD("FrontApplication", "", "ss",
                                                         &FrontApplicationServer::onFront,
                                                         SD_BUS_VTABLE_UNPRIVILEGED),
                                           SD_BUS_VTABLE_END};
    if (!sessionBus) {
        return nullptr;
    }
    auto server = std::make_unique<FrontApplicationServer>(std::move(source));
    sd_bus_slot* slot = nullptr;
    const int r = sd_bus_add_object_vtable(sessionBus, &slot, kAgentObjectPath, kAgentInterface,
                                           vtable, server.get());
    if (r < 0) {
        zed::log("cannot serve %s (%s); the settings pane cannot ask for the window in front",
                 kAgentObjectPath, std::strerror(-r));
        return nullptr;
    }
    server->slot_.reset(slot);
    return server;
}

int FrontApplicationServer::onFront(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    FrontApplication front;
    try {
        front = static_cast<FrontApplicationServer*>(userdata)->source_();
    } catch (...) {
        return sd_bus_error_set(error, SD_BUS_ERROR_FAILED, "the agent failed to ask");
    }
    return sd_bus_reply_method_return(m, "ss", front.application.c_str(), front.why.c_str());
}

std::unique_ptr<FrontApplicationQuery> makeAgentFrontApplicationQuery() {
    return std::make_unique<AgentFrontApplicationQuery>();
}

MouseStatusProbe::MouseStatusProbe(Platform::Kind kind)
    : simulated_(kind == Platform::Kind::Simulator) {}

MouseStatusProbe::~MouseStatusProbe() = default;

MouseStatus MouseStatusProbe::probe() {
    MouseStatus status;
    status.simulated = simulated_;
    sd_bus* session = usable(session_, BusKind::Session);
    status.agentRunning = nameOwned(session, kAgentBusName);
    sd_bus* registryBus = simulated_ ? session : usable(system_, BusKind::System);
    status.driverRunning = nameOwned(registryBus, registrybus::kBusName);
    if (!status.driverRunning) {
        return status;
    }
    // A registry of its own, on a new reference to the connection: it reads
    // the provider's services once and goes.
    DBusRegistry registry(BusPtr(sd_bus_ref(registryBus)), kProbeTimeoutUsec);
    std::vector<io_service_t> devices;
    registry.getMatchingServices(driver::kUsbDeviceClassName, &devices);
    for (const io_service_t device : devices) {
        if (const auto properties = registry.copyProperties(device);
            properties && isOurMouse(*properties)) {
            ++status.mice;
        }
    }
    return status;
}

} // namespace zed
