#include "DBusClient.h"

#include "Platform/core/Log.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <exception>
#include <utility>

namespace zed::registrybus {

std::string servicePath(io_service_t service) {
    return kServicePathPrefix + std::to_string(service);
}

io_service_t serviceFromPath(const char* path) {
    if (!path) {
        return 0;
    }
    const std::size_t prefix = std::strlen(kServicePathPrefix);
    if (std::strncmp(path, kServicePathPrefix, prefix) != 0) {
        return 0;
    }
    const char* first = path + prefix;
    const char* last = first + std::strlen(first);
    // Plain decimal only: no sign, no leading zeros, nothing after.
    if (first == last || (*first == '0' && last - first > 1)) {
        return 0;
    }
    std::uint32_t id = 0;
    auto [end, ec] = std::from_chars(first, last, id);
    if (ec != std::errc() || end != last) {
        return 0;
    }
    return id;
}

std::size_t footprint(const Value& v) {
    switch (v.type()) {
    case Value::Type::String:
        return sizeof(Value) + v.asString()->size();
    case Value::Type::Data:
        return sizeof(Value) + v.asData()->size();
    case Value::Type::Array: {
        std::size_t n = sizeof(Value);
        for (const Value& item : *v.asArray()) {
            n += footprint(item);
        }
        return n;
    }
    case Value::Type::Dictionary:
        return sizeof(Value) + footprint(*v.asDictionary());
    default:
        return sizeof(Value);
    }
}

std::size_t footprint(const Dictionary& d) {
    std::size_t n = 0;
    for (const auto& [key, value] : d) {
        n += key.size() + footprint(value);
    }
    return n;
}

IOReturn statusFromBusError(const sd_bus_error* error, int r) {
    // The error's name first: sd-bus gives a peer that left without
    // answering the same errno as a call that timed out.
    if (error && sd_bus_error_is_set(error)) {
        struct Mapping {
            const char* name;
            IOReturn status;
        };
        static constexpr Mapping kMappings[] = {
            {SD_BUS_ERROR_SERVICE_UNKNOWN, kIOReturnNotResponding},
            {SD_BUS_ERROR_NAME_HAS_NO_OWNER, kIOReturnNotResponding},
            {SD_BUS_ERROR_NO_REPLY, kIOReturnNotResponding},
            {SD_BUS_ERROR_DISCONNECTED, kIOReturnNotResponding},
            {SD_BUS_ERROR_TIMEOUT, kIOReturnTimeout},
            {SD_BUS_ERROR_UNKNOWN_OBJECT, kIOReturnNoDevice},
            {SD_BUS_ERROR_UNKNOWN_INTERFACE, kIOReturnUnsupported},
            {SD_BUS_ERROR_UNKNOWN_METHOD, kIOReturnUnsupported},
            {SD_BUS_ERROR_UNKNOWN_PROPERTY, kIOReturnUnsupported},
            {SD_BUS_ERROR_INVALID_ARGS, kIOReturnBadArgument},
            {SD_BUS_ERROR_INVALID_SIGNATURE, kIOReturnBadArgument},
            {SD_BUS_ERROR_ACCESS_DENIED, kIOReturnNotPrivileged},
            {SD_BUS_ERROR_NO_MEMORY, kIOReturnNoMemory},
            {SD_BUS_ERROR_LIMITS_EXCEEDED, kIOReturnNoResources},
        };
        for (const Mapping& m : kMappings) {
            if (sd_bus_error_has_name(error, m.name)) {
                return m.status;
            }
        }
        return kIOReturnError;
    }
    if (r == -ETIMEDOUT) {
        return kIOReturnTimeout;
    }
    if (r == -ENOTCONN || r == -ECONNRESET || r == -EPIPE) {
        return kIOReturnNotResponding;
    }
    return kIOReturnIPCError;
}

bool providerLeft(const sd_bus_error* error) {
    return sd_bus_error_has_name(error, SD_BUS_ERROR_NAME_HAS_NO_OWNER) ||
           sd_bus_error_has_name(error, SD_BUS_ERROR_SERVICE_UNKNOWN);
}

NameOwnerWatch::NameOwnerWatch(sd_bus* bus, std::string name, Changed changed)
    : bus_(bus), name_(std::move(name)), changed_(std::move(changed)) {}

bool NameOwnerWatch::start(std::uint64_t timeoutUsec) {
    if (!bus_) {
        return false;
    }
    const std::string rule = "type='signal',sender='org.freedesktop.DBus',"
                             "path='/org/freedesktop/DBus',interface='org.freedesktop.DBus',"
                             "member='NameOwnerChanged',arg0=" +
                             matchRuleQuote(name_);
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_add_match(bus_, &slot, rule.c_str(), &onOwnerChanged, this);
    if (r < 0) {
        zed::logErrno(-r, "cannot follow the owner of %s", name_.c_str());
        return false;
    }
    slot_.reset(slot);

    sd_bus_message* raw = nullptr;
    r = sd_bus_message_new_method_call(bus_, &raw, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                       "org.freedesktop.DBus", "GetNameOwner");
    MessagePtr call(raw);
    if (r >= 0) {
        r = sd_bus_message_append(call.get(), "s", name_.c_str());
    }
    BusError error;
    sd_bus_message* replyRaw = nullptr;
    if (r >= 0) {
        r = sd_bus_call(bus_, call.get(), timeoutUsec, error.get(), &replyRaw);
    }
    MessagePtr reply(replyRaw);
    const char* owner = nullptr;
    if (r >= 0 && sd_bus_message_read(reply.get(), "s", &owner) >= 0 && owner) {
        owner_ = owner;
    } else if (!sd_bus_error_has_name(error.get(), SD_BUS_ERROR_NAME_HAS_NO_OWNER)) {
        zed::log("cannot ask who owns %s: %s", name_.c_str(), error.text(r).c_str());
    }
    return true;
}

bool NameOwnerWatch::sentByOwner(sd_bus_message* m) const {
    const char* sender = sd_bus_message_get_sender(m);
    return sender && !owner_.empty() && owner_ == sender;
}

int NameOwnerWatch::onOwnerChanged(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<NameOwnerWatch*>(userdata);
    // Only the bus itself can say who owns a name.
    const char* sender = sd_bus_message_get_sender(m);
    if (!sender || std::strcmp(sender, "org.freedesktop.DBus") != 0) {
        return 0;
    }
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    if (sd_bus_message_read(m, "sss", &name, &oldOwner, &newOwner) < 0 || !name ||
        self->name_ != name) {
        return 0;
    }
    try {
        self->setOwner(newOwner ? newOwner : "");
    } catch (const std::exception& e) {
        zed::log("owner change of %s failed: %s", self->name_.c_str(), e.what());
    } catch (...) {
        zed::log("owner change of %s failed", self->name_.c_str());
    }
    return 0;
}

void NameOwnerWatch::setOwner(std::string owner) {
    if (owner == owner_) {
        return; // already known from GetNameOwner
    }
    std::string old = std::exchange(owner_, std::move(owner));
    if (changed_) {
        changed_(old, owner_);
    }
}

IOReturn callProvider(sd_bus* bus, const std::string& destination, const std::string& path,
                      const char* interface, const char* member,
                      const std::function<int(sd_bus_message*)>& append, std::uint64_t timeoutUsec,
                      const char* what, MessagePtr* reply, bool report, bool* left) {
    if (left) {
        *left = false;
    }
    if (!bus || destination.empty()) {
        if (report) {
            zed::log("%s: no provider of %s on the bus", what, kBusName);
        }
        return kIOReturnNotResponding;
    }
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_method_call(bus, &raw, destination.c_str(), path.c_str(), interface,
                                           member);
    MessagePtr call(raw);
    if (r >= 0) {
        // Nobody is started on our behalf: a missing provider is an answer.
        r = sd_bus_message_set_auto_start(call.get(), 0);
    }
    if (r >= 0 && append) {
        r = append(call.get());
    }
    if (r < 0) {
        zed::logErrno(-r, "%s: cannot build the call", what);
        return r == -ENOMEM ? kIOReturnNoMemory : kIOReturnBadArgument;
    }
    BusError error;
    sd_bus_message* replyRaw = nullptr;
    r = sd_bus_call(bus, call.get(), timeoutUsec, error.get(), &replyRaw);
    MessagePtr answer(replyRaw);
    if (r < 0) {
        const IOReturn status = statusFromBusError(error.get(), r);
        if (left) {
            *left = providerLeft(error.get());
        }
        // A provider that left is its caller's to tell, once.
        if (report && !(left && *left)) {
            zed::log("%s failed: %s - %s", what, error.text(r).c_str(),
                     machErrorString(status).c_str());
        }
        return status;
    }
    if (reply) {
        *reply = std::move(answer);
    }
    return kIOReturnSuccess;
}

} // namespace zed::registrybus
