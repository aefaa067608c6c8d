#include "MouseSimulator.h"

#include "JsonLines.h"
#include "Platform/core/DriverInterface.h"
#include "Platform/dbus/DBusClient.h"

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

namespace {

// Old records are dropped beyond this, so a long demo cannot grow without end.
constexpr std::size_t kMaxRecords = 100000;

// Runs a method handler without letting an exception reach sd-bus.
template <typename F> int guarded(sd_bus_error* error, F&& f) {
    try {
        return f();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zed-mouse-sim: a call failed: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "zed-mouse-sim: a call failed\n");
    }
    return sd_bus_error_set(error, SD_BUS_ERROR_FAILED, "internal error");
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
const sd_bus_vtable MouseSimulator::kServiceVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("ClassName", "s", getClassName, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Properties", "a{sv}", getProperties, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD_WITH_NAMES("SetProperties", "a{sv}", SD_BUS_PARAM(properties),
                             "i", SD_BUS_PARAM(status), onSetProperties, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL_WITH_NAMES("Message", "ut", SD_BUS_PARAM(type) SD_BUS_PARAM(argument), 0),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable MouseSimulator::kHidVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD_WITH_NAMES("Open", "u", SD_BUS_PARAM(type),
                             "iu", SD_BUS_PARAM(status) SD_BUS_PARAM(connect),
                             onOpen, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD_WITH_NAMES("Close", "u", SD_BUS_PARAM(connect), "", , onClose,
                             SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD_WITH_NAMES("SetMouseButtonMode", "ui", SD_BUS_PARAM(connect) SD_BUS_PARAM(mode),
                             "i", SD_BUS_PARAM(status), onSetMouseButtonMode,
                             SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD_WITH_NAMES("SetAccelerationWithKey", "usd",
                             SD_BUS_PARAM(connect) SD_BUS_PARAM(key) SD_BUS_PARAM(value),
                             "i", SD_BUS_PARAM(status), onSetAcceleration,
                             SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD_WITH_NAMES("GetAccelerationWithKey", "us", SD_BUS_PARAM(connect) SD_BUS_PARAM(key),
                             "id", SD_BUS_PARAM(status) SD_BUS_PARAM(value), onGetAcceleration,
                             SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD_WITH_NAMES("PostEvent", "uunnayuuu",
                             SD_BUS_PARAM(connect) SD_BUS_PARAM(type) SD_BUS_PARAM(x)
                             SD_BUS_PARAM(y) SD_BUS_PARAM(data) SD_BUS_PARAM(dataVersion)
                             SD_BUS_PARAM(flags) SD_BUS_PARAM(options),
                             "i", SD_BUS_PARAM(status), onPostEvent, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable MouseSimulator::kSessionVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD_WITH_NAMES("CopyCurrentDictionary", "", , "ba{sv}",
                             SD_BUS_PARAM(present) SD_BUS_PARAM(session), onCopySession,
                             SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("Activated", "", 0),
    SD_BUS_VTABLE_END,
};

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
    : bus_(bus), options_(options),
      // Connection handles differ from one run to the next, so a client still
      // holding one from an earlier simulator is told it is not open.
      nextConnect_(0x1000 + ((static_cast<std::uint32_t>(getpid()) & 0xFFF) << 12)),
      userName_(currentUserName()), userId_(static_cast<std::int32_t>(getuid())) {}

MouseSimulator::~MouseSimulator() {
    services_.clear(); // their slots before the manager's
    fixedSlots_.clear();
    managerSlot_.reset();
}

bool MouseSimulator::start() {
    if (options_.withHidSystem) {
        addService(Kind::HidSystem, driver::kHidSystemClassName, Dictionary{});
    }
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_add_object_manager(bus_, &slot, kManagerPath);
    if (r < 0) {
        std::fprintf(stderr, "zed-mouse-sim: cannot serve the object manager: %s\n",
                     std::strerror(-r));
        return false;
    }
    managerSlot_.reset(slot);
    struct Fixed {
        const char* path;
        const char* interface;
        const sd_bus_vtable* vtable;
    };
    const Fixed fixed[] = {{kSessionPath, kSessionInterface, kSessionVtable},
                           {kControlPath, kControlInterface, kControlVtable}};
    for (const Fixed& f : fixed) {
        slot = nullptr;
        r = sd_bus_add_object_vtable(bus_, &slot, f.path, f.interface, f.vtable, this);
        if (r < 0) {
            std::fprintf(stderr, "zed-mouse-sim: cannot serve %s: %s\n", f.interface,
                         std::strerror(-r));
            return false;
        }
        fixedSlots_.emplace_back(slot);
    }
    // Last: a client that sees the name owned finds everything in place.
    r = sd_bus_request_name(bus_, kBusName, 0);
    if (r < 0) {
        std::fprintf(stderr, "zed-mouse-sim: cannot take the name %s: %s%s\n", kBusName,
                     std::strerror(-r),
                     r == -EEXIST ? " (another simulator or a driver already serves it)" : "");
        return false;
    }
    return true;
}

MouseSimulator::Service* MouseSimulator::addService(Kind kind, const std::string& className,
                                                    Dictionary properties) {
    auto s = std::make_unique<Service>();
    s->sim = this;
    s->id = nextId_++;
    s->kind = kind;
    s->className = className;
    s->properties = std::move(properties);
    if (const Value* p = lookup(s->properties, driver::kProductIdKey)) {
        s->product = p->toInt32().value_or(0);
    }
    const std::string path = servicePath(s->id);
    struct Iface {
        const char* name;
        const sd_bus_vtable* vtable;
    };
    std::vector<Iface> ifaces = {{kServiceInterface, kServiceVtable}};
    if (kind == Kind::HidSystem) {
        ifaces.push_back({kHidSystemInterface, kHidVtable});
    }
    for (const Iface& i : ifaces) {
        sd_bus_slot* slot = nullptr;
        int r = sd_bus_add_object_vtable(bus_, &slot, path.c_str(), i.name, i.vtable, s.get());
        if (r < 0) {
            std::fprintf(stderr, "zed-mouse-sim: cannot serve %s: %s\n", path.c_str(),
                         std::strerror(-r));
            return nullptr;
        }
        s->slots.emplace_back(slot);
    }
    Service* raw = s.get();
    services_.emplace(raw->id, std::move(s));
    if (managerSlot_) {
        int r = sd_bus_emit_object_added(bus_, path.c_str());
        if (r < 0) {
            std::fprintf(stderr, "zed-mouse-sim: cannot announce %s: %s\n", path.c_str(),
                         std::strerror(-r));
        }
    }
    return raw;
}

void MouseSimulator::removeService(io_service_t id) {
    auto it = services_.find(id);
    if (it == services_.end()) {
        return;
    }
    const std::string path = servicePath(id);
    // Announced while the object still exists: the signal lists its interfaces.
    int r = sd_bus_emit_object_removed(bus_, path.c_str());
    if (r < 0) {
        std::fprintf(stderr, "zed-mouse-sim: cannot announce the removal of %s: %s\n", path.c_str(),
                     std::strerror(-r));
    }
    services_.erase(it);
}

MouseSimulator::Mouse MouseSimulator::plug(std::int32_t vendor, std::int32_t product) {
    const Dictionary ids{{driver::kVendorIdKey, Value(vendor)},
                         {driver::kProductIdKey, Value(product)}};
    Mouse m{};
    m.product = product;
    if (Service* d = addService(Kind::Driver, driver::kDriverClassName, ids)) {
        m.driver = d->id;
    }
    if (Service* u = addService(Kind::UsbDevice, driver::kUsbDeviceClassName, ids)) {
        m.device = u->id;
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
    removeService(m.driver);
    removeService(m.device);
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
    const std::string path = servicePath(m->driver);
    int r =
        sd_bus_emit_signal(bus_, path.c_str(), kServiceInterface, "Message", "ut", word, argument);
    if (r < 0) {
        std::fprintf(stderr, "zed-mouse-sim: cannot send the message: %s\n", std::strerror(-r));
    }
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
        int r = sd_bus_emit_signal(bus_, kSessionPath, kSessionInterface, "Activated", "");
        if (r < 0) {
            std::fprintf(stderr, "zed-mouse-sim: cannot send Activated: %s\n", std::strerror(-r));
        }
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
        for (const auto& [id, s] : services_) {
            out.push_back(JsonObject()
                              .add("id", id)
                              .add("class", s->className)
                              .addRaw("properties", typedJson(s->properties))
                              .text());
        }
        return out;
    }
    return std::nullopt;
}

// --- com.tovik.IOService ---

int MouseSimulator::getClassName(sd_bus*, const char*, const char*, const char*,
                                 sd_bus_message* reply, void* userdata, sd_bus_error*) {
    return sd_bus_message_append(reply, "s", static_cast<Service*>(userdata)->className.c_str());
}

int MouseSimulator::getProperties(sd_bus*, const char*, const char*, const char*,
                                  sd_bus_message* reply, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        return appendDictionary(reply, static_cast<Service*>(userdata)->properties);
    });
}

int MouseSimulator::onSetProperties(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        auto* s = static_cast<Service*>(userdata);
        MouseSimulator* sim = s->sim;
        std::string why;
        auto d = readDictionary(m, &why);
        if (d && footprint(*d) > kMaxPropertiesBytes) {
            why = "larger than " + std::to_string(kMaxPropertiesBytes) + " bytes";
            d.reset();
        }
        if (!d) {
            // Refused whole: nothing of it is kept.
            std::fprintf(stderr, "zed-mouse-sim: service %u refused properties: %s\n", s->id,
                         why.c_str());
            return sd_bus_reply_method_return(m, "i", kIOReturnBadArgument);
        }
        IOReturn status = kIOReturnSuccess;
        switch (s->kind) {
        case Kind::Driver:
            status = std::exchange(sim->failNext_, kIOReturnSuccess);
            sim->record(sim->driverLog_, JsonObject()
                                             .add("seq", ++sim->seq_)
                                             .add("driver", s->id)
                                             .add("product", s->product)
                                             .add("status", status)
                                             .addRaw("properties", typedJson(*d))
                                             .text());
            break;
        case Kind::HidSystem:
            sim->record(sim->hidLog_, JsonObject()
                                          .add("seq", ++sim->seq_)
                                          .add("call", "SetProperties")
                                          .add("status", status)
                                          .addRaw("properties", typedJson(*d))
                                          .text());
            break;
        case Kind::UsbDevice:
            status = kIOReturnUnsupported;
            break;
        }
        return sd_bus_reply_method_return(m, "i", status);
    });
}

// --- com.tovik.IOHIDSystem ---

int MouseSimulator::onOpen(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        MouseSimulator* sim = static_cast<Service*>(userdata)->sim;
        std::uint32_t type = 0;
        int r = sd_bus_message_read(m, "u", &type);
        if (r < 0) {
            return r;
        }
        IOReturn status = kIOReturnBadArgument;
        std::uint32_t connect = 0;
        if (type == kIOHIDParamConnectType) {
            status = kIOReturnSuccess;
            connect = sim->nextConnect_++;
            sim->connects_.insert(connect);
        }
        sim->record(sim->hidLog_, JsonObject()
                                      .add("seq", ++sim->seq_)
                                      .add("call", "Open")
                                      .add("type", type)
                                      .add("status", status)
                                      .add("connect", connect)
                                      .text());
        return sd_bus_reply_method_return(m, "iu", status, connect);
    });
}

int MouseSimulator::onClose(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        MouseSimulator* sim = static_cast<Service*>(userdata)->sim;
        std::uint32_t connect = 0;
        int r = sd_bus_message_read(m, "u", &connect);
        if (r < 0) {
            return r;
        }
        const IOReturn status = sim->connects_.erase(connect) ? kIOReturnSuccess : kIOReturnNotOpen;
        sim->record(sim->hidLog_, JsonObject()
                                      .add("seq", ++sim->seq_)
                                      .add("call", "Close")
                                      .add("connect", connect)
                                      .add("status", status)
                                      .text());
        return sd_bus_reply_method_return(m, "");
    });
}

int MouseSimulator::onSetMouseButtonMode(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        MouseSimulator* sim = static_cast<Service*>(userdata)->sim;
        std::uint32_t connect = 0;
        std::int32_t mode = 0;
        int r = sd_bus_message_read(m, "ui", &connect, &mode);
        if (r < 0) {
            return r;
        }
        const IOReturn status = sim->isOpen(connect) ? kIOReturnSuccess : kIOReturnNotOpen;
        sim->record(sim->hidLog_, JsonObject()
                                      .add("seq", ++sim->seq_)
                                      .add("call", "SetMouseButtonMode")
                                      .add("connect", connect)
                                      .add("mode", mode)
                                      .add("status", status)
                                      .text());
        return sd_bus_reply_method_return(m, "i", status);
    });
}

int MouseSimulator::onSetAcceleration(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        MouseSimulator* sim = static_cast<Service*>(userdata)->sim;
        std::uint32_t connect = 0;
        const char* key = nullptr;
        double value = 0;
        int r = sd_bus_message_read(m, "usd", &connect, &key, &value);
        if (r < 0) {
            return r;
        }
        const IOReturn status = sim->isOpen(connect) ? kIOReturnSuccess : kIOReturnNotOpen;
        if (status == kIOReturnSuccess) {
            sim->acceleration_[key] = value;
        }
        sim->record(sim->hidLog_, JsonObject()
                                      .add("seq", ++sim->seq_)
                                      .add("call", "SetAccelerationWithKey")
                                      .add("connect", connect)
                                      .add("key", key)
                                      .add("value", value)
                                      .add("status", status)
                                      .text());
        return sd_bus_reply_method_return(m, "i", status);
    });
}

int MouseSimulator::onGetAcceleration(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        MouseSimulator* sim = static_cast<Service*>(userdata)->sim;
        std::uint32_t connect = 0;
        const char* key = nullptr;
        int r = sd_bus_message_read(m, "us", &connect, &key);
        if (r < 0) {
            return r;
        }
        const IOReturn status = sim->isOpen(connect) ? kIOReturnSuccess : kIOReturnNotOpen;
        double value = 0;
        if (status == kIOReturnSuccess) {
            auto it = sim->acceleration_.find(key);
            value = it == sim->acceleration_.end() ? kStartingAcceleration : it->second;
        }
        sim->record(sim->hidLog_, JsonObject()
                                      .add("seq", ++sim->seq_)
                                      .add("call", "GetAccelerationWithKey")
                                      .add("connect", connect)
                                      .add("key", key)
                                      .add("status", status)
                                      .add("value", value)
                                      .text());
        return sd_bus_reply_method_return(m, "id", status, value);
    });
}

int MouseSimulator::onPostEvent(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        MouseSimulator* sim = static_cast<Service*>(userdata)->sim;
        std::uint32_t connect = 0, type = 0, dataVersion = 0, flags = 0, options = 0;
        std::int16_t x = 0, y = 0;
        const void* data = nullptr;
        std::size_t size = 0;
        int r = sd_bus_message_read(m, "uunn", &connect, &type, &x, &y);
        if (r >= 0) {
            r = sd_bus_message_read_array(m, 'y', &data, &size);
        }
        if (r >= 0) {
            r = sd_bus_message_read(m, "uuu", &dataVersion, &flags, &options);
        }
        if (r < 0) {
            return r;
        }
        IOReturn status = sim->isOpen(connect) ? kIOReturnSuccess : kIOReturnNotOpen;
        NXEventData event;
        if (status == kIOReturnSuccess && size != event.bytes.size()) {
            std::fprintf(stderr, "zed-mouse-sim: refused an event record of %zu bytes (not %zu)\n",
                         size, event.bytes.size());
            status = kIOReturnBadArgument;
        }
        if (size == event.bytes.size()) {
            std::memcpy(event.bytes.data(), data, size);
        }
        JsonObject line;
        line.add("seq", ++sim->seq_)
            .add("call", "PostEvent")
            .add("connect", connect)
            .add("type", type)
            .add("x", x)
            .add("y", y)
            .add("dataVersion", dataVersion)
            .add("flags", flags)
            .add("options", options)
            .add("keyCode", event.keyCode())
            .add("dataBytes", static_cast<std::int64_t>(size))
            .add("status", status);
        sim->record(sim->hidLog_, line.text());
        if (status == kIOReturnSuccess) {
            sim->record(sim->eventLog_,
                        JsonObject()
                            .add("seq", sim->seq_)
                            .add("type", type)
                            .add("x", x)
                            .add("y", y)
                            .add("flags", flags)
                            .add("options", options)
                            .add("dataVersion", dataVersion)
                            .add("keyCode", event.keyCode())
                            .add("data", hex(event.bytes.data(), event.bytes.size()))
                            .add("connect", connect)
                            .text());
        }
        return sd_bus_reply_method_return(m, "i", status);
    });
}

// --- com.tovik.LoginSession ---

int MouseSimulator::onCopySession(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    return guarded(error, [&] {
        auto* sim = static_cast<MouseSimulator*>(userdata);
        ++sim->sessionQueries_;
        sd_bus_message* raw = nullptr;
        int r = sd_bus_message_new_method_return(m, &raw);
        MessagePtr reply(raw);
        if (r >= 0) {
            r = sd_bus_message_append(reply.get(), "b", sim->sessionPresent_ ? 1 : 0);
        }
        if (r >= 0) {
            r = appendDictionary(reply.get(),
                                 sim->sessionPresent_ ? sim->sessionDictionary() : Dictionary{});
        }
        if (r >= 0) {
            r = sd_bus_send(nullptr, reply.get(), nullptr);
        }
        return r;
    });
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
