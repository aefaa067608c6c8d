// The server side of the device registry on D-Bus: the object manager at
// /com/tovik/IORegistry, one ServiceObject per service (the HID system's
// with its extra interface), the login session, and the bus name taken last.
// It serves whatever connection it is given; what SetProperties and the HID
// system's calls do is up to its owner (the simulator, or a driver), and who
// may set properties and hear messages up to its authorisation check.
#pragma once

#include "CallerAccess.h"
#include "HidSystemObject.h"
#include "LoginSessionObject.h"
#include "ServiceObject.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zed::registryserver {

class RegistryServer {
public:
    explicit RegistryServer(sd_bus* bus);
    ~RegistryServer();
    RegistryServer(const RegistryServer&) = delete;
    RegistryServer& operator=(const RegistryServer&) = delete;

    sd_bus* bus() const { return bus_; }

    // Who may set properties and receive messages, by the uid the bus
    // daemon knows for the caller; checked at each call and each message.
    // Without one (the default) every caller may.
    void setAuthorisation(CallerAccess::Check check) { access_.setCheck(std::move(check)); }

    // Serves the object manager; services added from then on are announced.
    // False with a message when the bus refuses it.
    bool serveObjectManager();
    // Serves the login session object; null with a message on failure.
    LoginSessionObject* serveLoginSession(LoginSessionObject::Copy copy);
    // Takes the bus name: do it last, so that a client that sees the name
    // owned finds everything in place. A negative errno on failure.
    int requestName(const char* name);

    // Adds a service with the next id; null with a message on failure.
    ServiceObject* addService(std::string className, Dictionary properties,
                              ServiceObject::SetPropertiesHook hook = {});
    // The HID system's service: its class and com.tovik.IOHIDSystem beside
    // com.tovik.IOService. `calls` must outlive the service.
    ServiceObject* addHidSystem(HidSystemCalls& calls, ServiceObject::SetPropertiesHook hook = {});
    // Announces the removal, then withdraws the object. False when unknown.
    bool removeService(io_service_t id);
    const ServiceObject* service(io_service_t id) const;
    // In registry (id) order.
    std::vector<const ServiceObject*> services() const;
    // Sends the service's Message signal to the connections that registered
    // interest and may hear it; false when unknown or not sent.
    bool emitMessage(io_service_t id, std::uint32_t type, std::uint64_t argument);

private:
    static int onNameOwnerChanged(sd_bus_message* m, void* userdata, sd_bus_error* error);
    // Interest dies with the connection that registered it.
    bool watchDepartures();
    ServiceObject* add(std::string className, Dictionary properties,
                       ServiceObject::SetPropertiesHook hook, HidSystemCalls* hid);

    sd_bus* bus_;
    CallerAccess access_;
    SlotPtr departures_;
    SlotPtr managerSlot_;
    std::unique_ptr<LoginSessionObject> session_;
    std::map<io_service_t, std::unique_ptr<ServiceObject>> services_;
    io_service_t nextId_ = 1;
};

} // namespace zed::registryserver
