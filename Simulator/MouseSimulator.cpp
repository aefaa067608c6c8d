#include "MouseSimulator.h"

#include "JsonLines.h"
#include "Platform/DBusClient.h"
#include "Platform/DriverInterface.h"
#include "Platform/dbus/ServerCall.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <pwd.h>
#include <unistd.h>
#include <utility>

namespace zed::sim {

using namespace registrybus;
using registryserver::ServiceObject;

namespace {

// Old records are dropped beyond this, so a long demo cannot grow without end.
constexpr std::size_t kMaxRecords = 100000;

constexpr const char* kWho = "zed-mouse-sim";

// Runs a method handler without letting an exception reach sd-bus.
template <typename F> int guarded(sd_bus_error* error, F&& f) {
    return registryserver::guardedCall(kWho, error, std::forward<F>(f));
}

std::string hex(const std::uint8_t* p, std::size_t n) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        out += kHex[p[i] >> 4];
        out += kHex[p[i] & 0xF];
    }
    return out;
}

int noMouse(sd_bus_error* error, std::uint32_t id) {
    if (id == 0) {
        return sd_bus_error_set(error, kErrorNoMouse, "no mouse is plugged");
    }
    return sd_bus_error_setf(error, kErrorNoMouse, "no plugged mouse has the id %u", id);
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

// clang-format off
const sd_bus_vtable MouseSimulator::kControlVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD_WITH_NAMES("Plug", "ii", SD_BUS_PARAM(vendor) SD_BUS_PARAM(product),
                             "uu", SD_BUS_PARAM(driver) SD_BUS_PARAM(device), onPlug, 0),
    SD_BUS_METHOD_WITH_NAMES("Unplug", "u", SD_BUS_PARAM(mouse),
                             "uu", SD_BUS_PARAM(driver) SD_BUS_PARAM(device), onUnplug, 0),
    SD_BUS_METHOD_WITH_NAMES("SendMessage", "uut",
                             SD_BUS_PARAM(mouse) SD_BUS_PARAM(word) SD_BUS_PARAM(argument),
                             "u", SD_BUS_PARAM(driver), onSendMessage, 0),
    SD_BUS_METHOD_WITH_NAMES("FailNext", "i", SD_BUS_PARAM(status), "", , onFailNext, 0),
    SD_BUS_METHOD_WITH_NAMES("SetSession", "s", SD_BUS_PARAM(change), "", , onSetSession, 0),
    SD_BUS_METHOD_WITH_NAMES("Show", "s", SD_BUS_PARAM(what), "as", SD_BUS_PARAM(records),
                             onShow, 0),
    SD_BUS_VTABLE_END,
};
// clang-format on

MouseSimulator::MouseSimulator(sd_bus* bus, SimulatorOptions options)
    : options_(options), server_(bus, kWho),
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
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_add_object_vtable(server_.bus(), &slot, kControlPath, kControlInterface,
                                     kControlVtable, this);
    if (r < 0) {
        std::fprintf(stderr, "zed-mouse-sim: cannot serve %s: %s\n", kControlInterface,
                     std::strerror(-r));
        return false;
    }
    controlSlot_.reset(slot);
    // Last: a client that sees the name owned finds everything in place.
    r = server_.requestName(kBusName);
    if (r < 0) {
        std::fprintf(stderr, "zed-mouse-sim: cannot take the name %s: %s%s\n", kBusName,
                     std::strerror(-r),
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
        session_->emitActivated();
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
        std::fprintf(stderr, "zed-mouse-sim: refused an event record of %zu bytes (not %zu)\n",
                     size, event.bytes.size());
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
// --- com.tovik.MouseSimulator ---

int MouseSimulator::onPlug(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        auto* sim = static_cast<MouseSimulator*>(userdata);
        std::int32_t vendor = 0, product = 0;
        int r = sd_bus_message_read(m, "ii", &vendor, &product);
        if (r < 0) {
            return r;
        }
        const Mouse mouse = sim->plug(vendor, product);
        return sd_bus_reply_method_return(m, "uu", mouse.driver, mouse.device);
    });
}

int MouseSimulator::onUnplug(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        auto* sim = static_cast<MouseSimulator*>(userdata);
        std::uint32_t id = 0;
        int r = sd_bus_message_read(m, "u", &id);
        if (r < 0) {
            return r;
        }
        auto mouse = sim->unplug(id);
        if (!mouse) {
            return noMouse(error, id);
        }
        return sd_bus_reply_method_return(m, "uu", mouse->driver, mouse->device);
    });
}

int MouseSimulator::onSendMessage(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        auto* sim = static_cast<MouseSimulator*>(userdata);
        std::uint32_t id = 0, word = 0;
        std::uint64_t argument = 0;
        int r = sd_bus_message_read(m, "uut", &id, &word, &argument);
        if (r < 0) {
            return r;
        }
        auto mouse = sim->sendMessage(id, word, argument);
        if (!mouse) {
            return noMouse(error, id);
        }
        return sd_bus_reply_method_return(m, "u", mouse->driver);
    });
}

int MouseSimulator::onFailNext(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        std::int32_t status = 0;
        int r = sd_bus_message_read(m, "i", &status);
        if (r < 0) {
            return r;
        }
        static_cast<MouseSimulator*>(userdata)->failNext(status);
        return sd_bus_reply_method_return(m, "");
    });
}

int MouseSimulator::onSetSession(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        const char* change = nullptr;
        int r = sd_bus_message_read(m, "s", &change);
        if (r < 0) {
            return r;
        }
        if (!static_cast<MouseSimulator*>(userdata)->changeSession(change)) {
            return sd_bus_error_setf(error, kErrorInvalid,
                                     "unknown session change \"%s\" (away, back, login, logout, "
                                     "none)",
                                     change);
        }
        return sd_bus_reply_method_return(m, "");
    });
}

int MouseSimulator::onShow(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        const char* what = nullptr;
        int r = sd_bus_message_read(m, "s", &what);
        if (r < 0) {
            return r;
        }
        auto lines = static_cast<MouseSimulator*>(userdata)->show(what);
        if (!lines) {
            return sd_bus_error_setf(error, kErrorInvalid,
                                     "nothing called \"%s\" to show (driver, hid, events, "
                                     "session, devices)",
                                     what);
        }
        sd_bus_message* raw = nullptr;
        r = sd_bus_message_new_method_return(m, &raw);
        MessagePtr reply(raw);
        if (r >= 0) {
            r = sd_bus_message_open_container(reply.get(), 'a', "s");
        }
        for (std::size_t i = 0; r >= 0 && i < lines->size(); ++i) {
            r = sd_bus_message_append_basic(reply.get(), 's', (*lines)[i].c_str());
        }
        if (r >= 0) {
            r = sd_bus_message_close_container(reply.get());
        }
        if (r >= 0) {
            r = sd_bus_send(nullptr, reply.get(), nullptr);
        }
        return r;
    });
}

} // namespace zed::sim
