#include "RegistryServer.h"

#include "Platform/core/DriverInterface.h"
#include "Platform/core/Log.h"
#include "Platform/dbus/DBusClient.h"

#include <cstring>
#include <utility>

namespace zed::registryserver {

using namespace registrybus;

RegistryServer::RegistryServer(sd_bus* bus) : bus_(bus), access_(bus) {}

RegistryServer::~RegistryServer() {
    services_.clear(); // their slots before the manager's
    session_.reset();
    managerSlot_.reset();
    departures_.reset();
}

bool RegistryServer::watchDepartures() {
    if (departures_) {
        return true;
    }
    // A unique name that loses its owner is a connection gone for good.
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_add_match(bus_, &slot,
                             "type='signal',sender='org.freedesktop.DBus',"
                             "path='/org/freedesktop/DBus',interface='org.freedesktop.DBus',"
                             "member='NameOwnerChanged',arg2=''",
                             &onNameOwnerChanged, this);
    if (r < 0) {
        zed::logErrno(-r, "cannot follow departing connections");
        return false;
    }
    departures_.reset(slot);
    return true;
}

int RegistryServer::onNameOwnerChanged(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<RegistryServer*>(userdata);
    const char* sender = sd_bus_message_get_sender(m);
    if (!sender || std::strcmp(sender, "org.freedesktop.DBus") != 0) {
        return 0; // only the bus itself says who left
    }
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    if (sd_bus_message_read(m, "sss", &name, &oldOwner, &newOwner) < 0 || !name || name[0] != ':' ||
        (newOwner && *newOwner)) {
        return 0;
    }
    for (auto& [id, s] : self->services_) {
        s->forget(name);
    }
    return 0;
}

bool RegistryServer::serveObjectManager() {
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_add_object_manager(bus_, &slot, kManagerPath);
    if (r < 0) {
        zed::logErrno(-r, "cannot serve the object manager");
        return false;
    }
    managerSlot_.reset(slot);
    return true;
}

LoginSessionObject* RegistryServer::serveLoginSession(LoginSessionObject::Copy copy) {
    session_ = LoginSessionObject::create(bus_, std::move(copy));
    return session_.get();
}

int RegistryServer::requestName(const char* name) {
    return sd_bus_request_name(bus_, name, 0);
}

ServiceObject* RegistryServer::addService(std::string className, Dictionary properties,
                                          ServiceObject::SetPropertiesHook hook) {
    return add(std::move(className), std::move(properties), std::move(hook), nullptr);
}

ServiceObject* RegistryServer::addHidSystem(HidSystemCalls& calls,
                                            ServiceObject::SetPropertiesHook hook) {
    return add(driver::kHidSystemClassName, Dictionary{}, std::move(hook), &calls);
}

ServiceObject* RegistryServer::add(std::string className, Dictionary properties,
                                   ServiceObject::SetPropertiesHook hook, HidSystemCalls* hid) {
    watchDepartures();
    auto s = ServiceObject::create(bus_, access_, nextId_++, std::move(className),
                                   std::move(properties), std::move(hook), hid);
    if (!s) {
        return nullptr;
    }
    ServiceObject* raw = s.get();
    services_.emplace(raw->id(), std::move(s));
    if (managerSlot_) {
        int r = sd_bus_emit_object_added(bus_, raw->path().c_str());
        if (r < 0) {
            zed::logErrno(-r, "cannot announce %s", raw->path().c_str());
        }
    }
    return raw;
}

bool RegistryServer::removeService(io_service_t id) {
    auto it = services_.find(id);
    if (it == services_.end()) {
        return false;
    }
    // Announced while the object still exists: the signal lists its interfaces.
    int r = sd_bus_emit_object_removed(bus_, it->second->path().c_str());
    if (r < 0) {
        zed::logErrno(-r, "cannot announce the removal of %s", it->second->path().c_str());
    }
    services_.erase(it);
    return true;
}

const ServiceObject* RegistryServer::service(io_service_t id) const {
    auto it = services_.find(id);
    return it == services_.end() ? nullptr : it->second.get();
}

std::vector<const ServiceObject*> RegistryServer::services() const {
    std::vector<const ServiceObject*> out;
    out.reserve(services_.size());
    for (const auto& [id, s] : services_) {
        out.push_back(s.get());
    }
    return out;
}

bool RegistryServer::emitMessage(io_service_t id, std::uint32_t type, std::uint64_t argument) {
    auto it = services_.find(id);
    return it != services_.end() && it->second->emitMessage(type, argument);
}

} // namespace zed::registryserver
