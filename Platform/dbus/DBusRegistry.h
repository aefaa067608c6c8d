// The device registry as a client of com.tovik.IORegistry: services are the
// objects of its object manager, arrival and removal its InterfacesAdded and
// InterfacesRemoved, general-interest messages the services' Message signal,
// which the provider sends only to connections that called AddInterest.
//
// The client mirrors the provider's services so that lookups and matching
// need no round trip and agree with the order in which notifications arrive.
// Signals count only when the current owner of the bus name sent them; when
// the provider goes away every known service is terminated, and when one
// comes back its services arrive.
#pragma once

#include "DBusClient.h"
#include "DBusValue.h"
#include "Platform/core/IOKit.h"

#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zed {

class DBusRegistry : public Registry {
public:
    // Takes a connection that is (or will be) attached to the run loop. A
    // null connection is a registry without services.
    explicit DBusRegistry(BusPtr bus,
                          std::uint64_t callTimeoutUsec = registrybus::kDefaultCallTimeoutUsec);
    ~DBusRegistry() override;
    DBusRegistry(const DBusRegistry&) = delete;
    DBusRegistry& operator=(const DBusRegistry&) = delete;

    IOReturn getMatchingServices(const std::string& className,
                                 std::vector<io_service_t>* services) override;
    std::optional<Dictionary> copyProperties(io_service_t service) override;
    IOReturn setProperties(io_service_t service, const Dictionary& properties) override;
    void setPropertiesAsync(io_service_t service, const Dictionary& properties,
                            SetDone done) override;
    IOReturn addMatchingNotification(MatchEvent event, const std::string& className,
                                     const Dictionary& matching, MatchingCallback callback,
                                     void* refCon, std::shared_ptr<ServiceIterator>* iterator,
                                     NotificationPtr* registration) override;
    IOReturn addInterestNotification(io_service_t service, InterestCallback callback, void* refCon,
                                     NotificationPtr* registration) override;
    // Messages read from the connection and not yet dispatched.
    std::size_t waitingMessages() const override;

    sd_bus* bus() const { return bus_.get(); }
    // The unique name of the provider whose services are known; empty when none.
    const std::string& provider() const;

private:
    struct Service {
        io_service_t id;
        std::string className;
        Dictionary properties;
    };
    // A SetProperties sent and not yet answered.
    struct PendingSet {
        DBusRegistry* registry;
        io_service_t service;
        SetDone done;
        SlotPtr slot;
    };
    struct Watch : RegistryWatch {
        std::weak_ptr<Service> service; // interest: this incarnation only
    };

    static int onInterfacesAdded(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int onInterfacesRemoved(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int onMessage(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int onManagedObjects(sd_bus_message* m, void* userdata, sd_bus_error* error);
    static int onSetReply(sd_bus_message* m, void* userdata, sd_bus_error* error);
    // The status a SetProperties answer carries (reported when malformed).
    static IOReturn setStatus(sd_bus_message* reply, io_service_t service);

    bool subscribe();
    void providerChanged(const std::string& oldOwner, const std::string& newOwner);
    // A call found the provider gone before the bus said so: its services
    // terminate now, so that nothing more is sent to it.
    void forgetProvider();
    // Reads GetManagedObjects' answer and adds the services not yet known.
    void takeManagedObjects(sd_bus_message* reply);
    void fetchManagedObjectsAsync();
    bool fetchManagedObjectsNow();
    // Reads one object's interfaces (a{sa{sv}}); adds it when it is a service.
    bool readObject(sd_bus_message* m, const char* path);

    void addService(std::shared_ptr<Service> service);
    void removeService(io_service_t id);
    void removeAll();
    // The provider a call found gone, until the bus says so too.
    std::string departed_;
    void notifyMatching(MatchEvent event, const Service& service);
    std::vector<std::shared_ptr<Watch>> live() const { return liveWatches(watches_); }

    BusPtr bus_;
    std::uint64_t timeout_;
    std::unique_ptr<registrybus::NameOwnerWatch> owner_;
    std::vector<SlotPtr> matches_;
    SlotPtr pendingFetch_;
    std::list<std::unique_ptr<PendingSet>> pendingSets_;        // in the order sent
    std::map<io_service_t, std::shared_ptr<Service>> services_; // registry order
    std::vector<std::shared_ptr<Watch>> watches_;
};

} // namespace zed
