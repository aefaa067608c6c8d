#include "MouseSimulator.h"

#include "ControlObject.h"
#include "JsonLines.h"
#include "Platform/core/DriverInterface.h"
#include "Platform/core/Log.h"
#include "Platform/dbus/DBusClient.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <unistd.h>
#include <utility>

namespace zed::sim {

using namespace registrybus;
using registryserver::ServiceObject;

namespace {

// Old records are dropped beyond this, so a long demo cannot grow without end.
constexpr std::size_t kMaxRecords = 100000;

std::string hex(const std::uint8_t* p, std::size_t n) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        out += kHex[p[i] >> 4];
        out += kHex[p[i] & 0xF];
    }
    return out;
}

std::string currentUserName() {
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_name) {
        return pw->pw_name;
    }
    if (const char* user = std::getenv("USER"); user && *user) {
        return user;
    }
    return std::to_string(getuid());
}

} // namespace

MouseSimulator::MouseSimulator(sd_bus* bus, SimulatorOptions options)
    : options_(options), server_(bus),
      // Connection handles differ from one run to the next, so a client still
      // holding one from an earlier simulator is told it is not open.
      nextConnect_(0x1000 + ((static_cast<std::uint32_t>(getpid()) & 0xFFF) << 12)),
      userName_(currentUserName()), userId_(static_cast<std::int32_t>(getuid())) {}

MouseSimulator::~MouseSimulator() = default;

bool MouseSimulator::start() {
    if (options_.withHidSystem) {
        server_.addHidSystem(*this, [this](const ServiceObject&, const Dictionary& d) {
            return hidSetProperties(d);
        });
    }
    if (!server_.serveObjectManager()) {
        return false;
    }
    session_ = server_.serveLoginSession([this]() -> std::optional<Dictionary> {
        ++sessionQueries_;
        if (!sessionPresent_) {
            return std::nullopt;
        }
        return sessionDictionary();
    });
    if (!session_) {
        return false;
    }
    control_ = ControlObject::create(server_.bus(), *this);
    if (!control_) {
        return false;
    }
    // Last: a client that sees the name owned finds everything in place.
    const int r = server_.requestName(kBusName);
    if (r < 0) {
        zed::log("cannot take the name %s: %s%s", kBusName, std::strerror(-r),
                 r == -EEXIST ? " (another simulator or a driver already serves it)" : "");
        return false;
    }
    return true;
}

MouseSimulator::Mouse MouseSimulator::plug(std::int32_t vendor, std::int32_t product) {
    const Dictionary ids{{driver::kVendorIdKey, Value(vendor)},
                         {driver::kProductIdKey, Value(product)}};
    Mouse m{};
    m.product = product;
    if (const ServiceObject* d = server_.addService(
            driver::kDriverClassName, ids, [this](const ServiceObject& s, const Dictionary& p) {
                return driverSetProperties(s, p);
            })) {
        m.driver = d->id();
    }
    // A USB device takes no properties: the server answers unsupported.
    if (const ServiceObject* u = server_.addService(driver::kUsbDeviceClassName, ids)) {
        m.device = u->id();
    }
    mice_.push_back(m);
    std::printf("zed-mouse-sim: plugged mouse %u (product %d, USB device %u)\n", m.driver, product,
                m.device);
    std::fflush(stdout);
    return m;
}

const MouseSimulator::Mouse* MouseSimulator::findMouse(io_service_t id) const {
    if (id == 0) {
        return mice_.empty() ? nullptr : &mice_.back();
    }
    for (const Mouse& m : mice_) {
        if (m.driver == id || m.device == id) {
            return &m;
        }
    }
    return nullptr;
}

std::optional<MouseSimulator::Mouse> MouseSimulator::unplug(io_service_t id) {
    const Mouse* found = findMouse(id);
    if (!found) {
        return std::nullopt;
    }
    const Mouse m = *found;
    std::erase_if(mice_, [&](const Mouse& x) { return x.driver == m.driver; });
    server_.removeService(m.driver);
    server_.removeService(m.device);
    std::printf("zed-mouse-sim: unplugged mouse %u\n", m.driver);
    std::fflush(stdout);
    return m;
}

std::optional<MouseSimulator::Mouse>
MouseSimulator::sendMessage(io_service_t id, std::uint32_t word, std::uint64_t argument) {
    const Mouse* m = findMouse(id);
    if (!m) {
        return std::nullopt;
    }
    server_.emitMessage(m->driver, word, argument);
    return *m;
}

Dictionary MouseSimulator::sessionDictionary() const {
    return Dictionary{{"kCGSSessionUserNameKey", Value(userName_)},
                      {"kCGSSessionUserIDKey", Value(userId_)},
                      {"kCGSessionLoginDoneKey", Value(options_.loggedIn)},
                      {"kCGSessionOnConsoleKey", Value(options_.onConsole)}};
}

bool MouseSimulator::changeSession(const std::string& change) {
    if (change == "away") {
        options_.onConsole = false;
    } else if (change == "back") {
        sessionPresent_ = true;
        options_.onConsole = true;
    } else if (change == "login") {
        sessionPresent_ = true;
        options_.loggedIn = true;
    } else if (change == "logout") {
        options_.loggedIn = false;
    } else if (change == "none") {
        sessionPresent_ = false;
    } else {
        return false;
    }
    // Before Activated, so that the agent's handler of it finds the session back.
    session_->emitChanged(sessionPresent_ ? std::optional(sessionDictionary()) : std::nullopt);
    if (change == "back") {
        session_->emitActivated();
    }
    return true;
}

void MouseSimulator::record(std::deque<std::string>& log, std::string line) {
    if (log.size() >= kMaxRecords) {
        log.pop_front();
    }
    log.push_back(std::move(line));
}

std::optional<std::vector<std::string>> MouseSimulator::show(const std::string& what) const {
    const std::deque<std::string>* log = what == "driver"   ? &driverLog_
                                         : what == "hid"    ? &hidLog_
                                         : what == "events" ? &eventLog_
                                                            : nullptr;
    if (log) {
        return std::vector<std::string>(log->begin(), log->end());
    }
    if (what == "session") {
        return std::vector<std::string>{JsonObject()
                                            .add("present", sessionPresent_)
                                            .add("user", userName_)
                                            .add("uid", userId_)
                                            .add("loginDone", options_.loggedIn)
                                            .add("onConsole", options_.onConsole)
                                            .add("queries", sessionQueries_)
                                            .text()};
    }
    if (what == "devices") {
        std::vector<std::string> out;
        for (const ServiceObject* s : server_.services()) {
            out.push_back(JsonObject()
                              .add("id", s->id())
                              .add("class", s->className())
                              .addRaw("properties", typedJson(s->properties()))
                              .text());
        }
        return out;
    }
    return std::nullopt;
}

// --- What the registry server hands over ---

IOReturn MouseSimulator::driverSetProperties(const ServiceObject& driver,
                                             const Dictionary& properties) {
    const IOReturn status = std::exchange(failNext_, kIOReturnSuccess);
    const Value* product = lookup(driver.properties(), driver::kProductIdKey);
    record(driverLog_, JsonObject()
                           .add("seq", ++seq_)
                           .add("driver", driver.id())
                           .add("product", product ? product->toInt32().value_or(0) : 0)
                           .add("status", status)
                           .addRaw("properties", typedJson(properties))
                           .text());
    return status;
}

IOReturn MouseSimulator::hidSetProperties(const Dictionary& properties) {
    const IOReturn status = kIOReturnSuccess;
    record(hidLog_, JsonObject()
                        .add("seq", ++seq_)
                        .add("call", "SetProperties")
                        .add("status", status)
                        .addRaw("properties", typedJson(properties))
                        .text());
    return status;
}

MouseSimulator::Opened MouseSimulator::open(std::uint32_t type) {
    IOReturn status = kIOReturnBadArgument;
    std::uint32_t connect = 0;
    if (type == kIOHIDParamConnectType) {
        status = kIOReturnSuccess;
        connect = nextConnect_++;
        connects_.insert(connect);
    }
    record(hidLog_, JsonObject()
                        .add("seq", ++seq_)
                        .add("call", "Open")
                        .add("type", type)
                        .add("status", status)
                        .add("connect", connect)
                        .text());
    return {status, connect};
}

void MouseSimulator::close(std::uint32_t connect) {
    const IOReturn status = connects_.erase(connect) ? kIOReturnSuccess : kIOReturnNotOpen;
    record(hidLog_, JsonObject()
                        .add("seq", ++seq_)
                        .add("call", "Close")
                        .add("connect", connect)
                        .add("status", status)
                        .text());
}

IOReturn MouseSimulator::setMouseButtonMode(std::uint32_t connect, std::int32_t mode) {
    const IOReturn status = isOpen(connect) ? kIOReturnSuccess : kIOReturnNotOpen;
    record(hidLog_, JsonObject()
                        .add("seq", ++seq_)
                        .add("call", "SetMouseButtonMode")
                        .add("connect", connect)
                        .add("mode", mode)
                        .add("status", status)
                        .text());
    return status;
}

IOReturn MouseSimulator::setAcceleration(std::uint32_t connect, const std::string& key,
                                         double value) {
    const IOReturn status = isOpen(connect) ? kIOReturnSuccess : kIOReturnNotOpen;
    if (status == kIOReturnSuccess) {
        acceleration_[key] = value;
    }
    record(hidLog_, JsonObject()
                        .add("seq", ++seq_)
                        .add("call", "SetAccelerationWithKey")
                        .add("connect", connect)
                        .add("key", key)
                        .add("value", value)
                        .add("status", status)
                        .text());
    return status;
}

MouseSimulator::Acceleration MouseSimulator::getAcceleration(std::uint32_t connect,
                                                             const std::string& key) {
    const IOReturn status = isOpen(connect) ? kIOReturnSuccess : kIOReturnNotOpen;
    double value = 0;
    if (status == kIOReturnSuccess) {
        auto it = acceleration_.find(key);
        value = it == acceleration_.end() ? kStartingAcceleration : it->second;
    }
    record(hidLog_, JsonObject()
                        .add("seq", ++seq_)
                        .add("call", "GetAccelerationWithKey")
                        .add("connect", connect)
                        .add("key", key)
                        .add("status", status)
                        .add("value", value)
                        .text());
    return {status, value};
}

IOReturn MouseSimulator::postEvent(const registryserver::PostedEvent& e) {
    const std::size_t size = e.data.size();
    IOReturn status = isOpen(e.connect) ? kIOReturnSuccess : kIOReturnNotOpen;
    NXEventData event;
    if (status == kIOReturnSuccess && size != event.bytes.size()) {
        zed::log("refused an event record of %zu bytes (not %zu)", size, event.bytes.size());
        status = kIOReturnBadArgument;
    }
    if (size == event.bytes.size()) {
        std::memcpy(event.bytes.data(), e.data.data(), size);
    }
    JsonObject line;
    line.add("seq", ++seq_)
        .add("call", "PostEvent")
        .add("connect", e.connect)
        .add("type", e.type)
        .add("x", e.x)
        .add("y", e.y)
        .add("dataVersion", e.dataVersion)
        .add("flags", e.flags)
        .add("options", e.options)
        .add("keyCode", event.keyCode())
        .add("dataBytes", static_cast<std::int64_t>(size))
        .add("status", status);
    record(hidLog_, line.text());
    if (status == kIOReturnSuccess) {
        record(eventLog_, JsonObject()
                              .add("seq", seq_)
                              .add("type", e.type)
                              .add("x", e.x)
                              .add("y", e.y)
                              .add("flags", e.flags)
                              .add("options", e.options)
                              .add("dataVersion", e.dataVersion)
                              .add("keyCode", event.keyCode())
                              .add("data", hex(event.bytes.data(), event.bytes.size()))
                              .add("connect", e.connect)
                              .text());
    }
    return status;
}
} // namespace zed::sim
