#include "DBusRegistry.h"

#include "Platform/core/Log.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace zed {

using namespace registrybus;

namespace {

constexpr const char* kObjectManagerInterface = "org.freedesktop.DBus.ObjectManager";

// Runs an agent callback without letting an exception reach sd-bus.
template <typename F> void guarded(const char* what, F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        zed::log("registry %s callback failed: %s", what, e.what());
    } catch (...) {
        zed::log("registry %s callback failed", what);
    }
}

const char* senderOf(sd_bus_message* m) {
    const char* s = sd_bus_message_get_sender(m);
    return s ? s : "an unknown sender";
}

// Outcome of reading one object of the object manager.
enum class ObjectRead { Malformed, NotAService, BadService, Service };

} // namespace

DBusRegistry::DBusRegistry(BusPtr bus, std::uint64_t callTimeoutUsec)
    : bus_(std::move(bus)), timeout_(callTimeoutUsec) {
    if (!bus_) {
        return;
    }
    owner_ = std::make_unique<NameOwnerWatch>(
        bus_.get(), kBusName, [this](const std::string& oldOwner, const std::string& newOwner) {
            providerChanged(oldOwner, newOwner);
        });
    // Subscribe before asking: nothing the provider does in between is lost.
    if (!subscribe() || !owner_->start(timeout_)) {
        zed::log("the registry cannot follow %s; no services", kBusName);
        matches_.clear();
        return;
    }
    if (owner_->owner().empty()) {
        zed::log("no provider of %s on the bus; no services until one appears", kBusName);
        return;
    }
    fetchManagedObjectsNow();
}

DBusRegistry::~DBusRegistry() {
    // Registrations may outlive the registry; they then only hold their flag.
    for (const auto& w : watches_) {
        w->active = false;
    }
    pendingFetch_.reset();
    pendingSets_.clear(); // unanswered: their callbacks never run
    matches_.clear();
    owner_.reset();
}

const std::string& DBusRegistry::provider() const {
    static const std::string none;
    return owner_ ? owner_->owner() : none;
}

bool DBusRegistry::subscribe() {
    struct Rule {
        std::string rule;
        sd_bus_message_handler_t handler;
    };
    const std::string manager = std::string("type='signal',path='") + kManagerPath +
                                "',interface='" + kObjectManagerInterface + "',member=";
    const Rule rules[] = {
        {manager + "'InterfacesAdded'", &onInterfacesAdded},
        {manager + "'InterfacesRemoved'", &onInterfacesRemoved},
        // The sender is checked on arrival: a match on a well-known name is
        // not something to rely on for safety.
        {std::string("type='signal',path_namespace='") + kManagerPath + "',interface='" +
             kServiceInterface + "',member='Message'",
         &onMessage},
    };
    for (const Rule& r : rules) {
        sd_bus_slot* slot = nullptr;
        int rc = sd_bus_add_match(bus_.get(), &slot, r.rule.c_str(), r.handler, this);
        if (rc < 0) {
            zed::logErrno(-rc, "cannot watch the registry's signals");
            return false;
        }
        matches_.emplace_back(slot);
    }
    return true;
}

void DBusRegistry::forgetProvider() {
    const std::string& gone = owner_ ? owner_->owner() : std::string();
    if (gone.empty() || gone == departed_) {
        return;
    }
    departed_ = gone;
    pendingFetch_.reset();
    zed::log("the mouse's driver %s left the bus; its services terminate", gone.c_str());
    removeAll();
}

void DBusRegistry::providerChanged(const std::string& oldOwner, const std::string& newOwner) {
    pendingFetch_.reset();
    if (!oldOwner.empty() && oldOwner == departed_) {
        departed_.clear(); // said when a call found it gone
    } else if (!oldOwner.empty() || !services_.empty()) {
        zed::log("the registry provider %s is gone; its services terminate",
                 oldOwner.empty() ? "(unknown)" : oldOwner.c_str());
        removeAll();
    }
    if (!newOwner.empty()) {
        zed::log("registry provider %s appeared", newOwner.c_str());
        fetchManagedObjectsAsync();
    }
}

namespace {

ObjectRead readObjectAt(sd_bus_message* m, const char* path, std::string* className,
                        std::optional<Dictionary>* properties, std::string* error) {
    bool isService = false;
    int r = sd_bus_message_enter_container(m, 'a', "{sa{sv}}");
    if (r <= 0) {
        *error = "interfaces are not of type a{sa{sv}}";
        return ObjectRead::Malformed;
    }
    while ((r = sd_bus_message_enter_container(m, 'e', "sa{sv}")) > 0) {
        const char* iface = nullptr;
        if (sd_bus_message_read_basic(m, 's', &iface) < 0 || !iface) {
            *error = "unreadable interface name";
            return ObjectRead::Malformed;
        }
        if (std::strcmp(iface, kServiceInterface) != 0) {
            if (sd_bus_message_skip(m, "a{sv}") < 0) {
                *error = "unreadable properties of " + std::string(iface);
                return ObjectRead::Malformed;
            }
        } else {
            isService = true;
            if (sd_bus_message_enter_container(m, 'a', "{sv}") <= 0) {
                *error = "service properties are not of type a{sv}";
                return ObjectRead::Malformed;
            }
            while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
                const char* name = nullptr;
                if (sd_bus_message_read_basic(m, 's', &name) < 0 || !name) {
                    *error = "unreadable property name";
                    return ObjectRead::Malformed;
                }
                const std::string key = name;
                if (key == "ClassName" || key == "Properties") {
                    std::string why;
                    auto v = readVariant(m, &why);
                    if (!v) {
                        *error = key + ": " + why;
                        return ObjectRead::Malformed;
                    }
                    if (key == "ClassName" && v->asString()) {
                        *className = *v->asString();
                    } else if (key == "Properties" && v->asDictionary()) {
                        *properties = std::move(*v->asDictionary());
                    } else {
                        *error = key + " holds a value of type " + v->typeName();
                    }
                } else if (sd_bus_message_skip(m, "v") < 0) {
                    *error = "unreadable property " + key;
                    return ObjectRead::Malformed;
                }
                if (sd_bus_message_exit_container(m) < 0) {
                    *error = "bad property entry";
                    return ObjectRead::Malformed;
                }
            }
            if (r < 0 || sd_bus_message_exit_container(m) < 0) {
                *error = "bad service properties";
                return ObjectRead::Malformed;
            }
        }
        if (sd_bus_message_exit_container(m) < 0) {
            *error = "bad interface entry";
            return ObjectRead::Malformed;
        }
    }
    if (r < 0 || sd_bus_message_exit_container(m) < 0) {
        *error = "bad interface list";
        return ObjectRead::Malformed;
    }
    if (!isService) {
        return ObjectRead::NotAService;
    }
    if (!error->empty()) {
        return ObjectRead::BadService;
    }
    if (serviceFromPath(path) == 0) {
        *error = "the path is not " + std::string(kServicePathPrefix) + "<number>";
        return ObjectRead::BadService;
    }
    if (className->empty() || !*properties) {
        *error = "ClassName or Properties missing";
        return ObjectRead::BadService;
    }
    if (footprint(**properties) > kMaxPropertiesBytes) {
        *error = "Properties larger than " + std::to_string(kMaxPropertiesBytes) + " bytes";
        return ObjectRead::BadService;
    }
    return ObjectRead::Service;
}

} // namespace

int DBusRegistry::onInterfacesAdded(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<DBusRegistry*>(userdata);
    if (!self->owner_->sentByOwner(m)) {
        zed::log("ignored a service arrival from %s, which does not own %s", senderOf(m), kBusName);
        return 0;
    }
    const char* path = nullptr;
    std::string className, error;
    std::optional<Dictionary> properties;
    ObjectRead read = ObjectRead::Malformed;
    if (!sd_bus_message_has_signature(m, "oa{sa{sv}}")) {
        const char* sig = sd_bus_message_get_signature(m, 1);
        error = "of type (" + std::string(sig ? sig : "") + ") instead of (oa{sa{sv}})";
    } else if (sd_bus_message_read_basic(m, 'o', &path) < 0 || !path) {
        error = "no object path";
    } else {
        read = readObjectAt(m, path, &className, &properties, &error);
    }
    if (read == ObjectRead::Service) {
        const io_service_t id = serviceFromPath(path);
        self->addService(
            std::make_shared<Service>(Service{id, std::move(className), std::move(*properties)}));
    } else if (read != ObjectRead::NotAService) {
        zed::log("ignored a malformed service arrival (%s): %s", path ? path : "?", error.c_str());
    }
    return 0;
}

int DBusRegistry::onInterfacesRemoved(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<DBusRegistry*>(userdata);
    if (!self->owner_->sentByOwner(m)) {
        zed::log("ignored a service removal from %s, which does not own %s", senderOf(m), kBusName);
        return 0;
    }
    const char* path = nullptr;
    char** interfaces = nullptr;
    int r = sd_bus_message_read(m, "o", &path);
    if (r >= 0) {
        r = sd_bus_message_read_strv(m, &interfaces);
    }
    bool service = false;
    for (char** i = interfaces; i && *i; ++i) {
        service = service || std::strcmp(*i, kServiceInterface) == 0;
        std::free(*i);
    }
    std::free(interfaces);
    if (r < 0) {
        zed::logErrno(-r, "ignored a malformed service removal");
        return 0;
    }
    if (service) {
        self->removeService(serviceFromPath(path));
    }
    return 0;
}

int DBusRegistry::onMessage(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<DBusRegistry*>(userdata);
    if (!self->owner_->sentByOwner(m)) {
        zed::log("ignored a driver message from %s, which does not own %s", senderOf(m), kBusName);
        return 0;
    }
    std::uint32_t type = 0;
    std::uint64_t argument = 0;
    if (!sd_bus_message_has_signature(m, "ut") ||
        sd_bus_message_read(m, "ut", &type, &argument) < 0) {
        const char* sig = sd_bus_message_get_signature(m, 1);
        zed::log("ignored a driver message of type (%s) instead of (ut)", sig ? sig : "");
        return 0;
    }
    const io_service_t id = serviceFromPath(sd_bus_message_get_path(m));
    auto it = self->services_.find(id);
    if (it == self->services_.end()) {
        return 0; // a service this client does not know (any more)
    }
    const std::shared_ptr<Service> service = it->second;
    for (const auto& w : self->live()) {
        if (!w->active || w->matching || w->service.lock() != service) {
            continue;
        }
        guarded("interest", [&] { w->interestCallback(w->refCon, id, type, argument); });
    }
    return 0;
}

void DBusRegistry::takeManagedObjects(sd_bus_message* reply) {
    std::vector<std::shared_ptr<Service>> found;
    std::string error;
    int r = sd_bus_message_enter_container(reply, 'a', "{oa{sa{sv}}}");
    if (r <= 0) {
        const char* sig = sd_bus_message_get_signature(reply, 1);
        error = "the answer is (" + std::string(sig ? sig : "") + "), not (a{oa{sa{sv}}})";
    }
    while (error.empty() && (r = sd_bus_message_enter_container(reply, 'e', "oa{sa{sv}}")) > 0) {
        const char* path = nullptr;
        if (sd_bus_message_read_basic(reply, 'o', &path) < 0 || !path) {
            error = "unreadable object path";
            break;
        }
        std::string className, why;
        std::optional<Dictionary> properties;
        ObjectRead read = readObjectAt(reply, path, &className, &properties, &why);
        if (read == ObjectRead::Malformed) {
            error = std::string(path) + ": " + why;
            break;
        }
        if (read == ObjectRead::BadService) {
            zed::log("skipped the malformed service %s: %s", path, why.c_str());
        } else if (read == ObjectRead::Service) {
            found.push_back(std::make_shared<Service>(
                Service{serviceFromPath(path), std::move(className), std::move(*properties)}));
        }
        if (sd_bus_message_exit_container(reply) < 0) {
            error = "bad object entry";
        }
    }
    if (error.empty() && r < 0) {
        error = std::strerror(-r);
    }
    if (!error.empty()) {
        // All or nothing: a half-read list would hide services for good.
        zed::log("ignored the registry's malformed service list: %s", error.c_str());
        return;
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a->id < b->id; });
    for (auto& s : found) {
        addService(std::move(s));
    }
}

bool DBusRegistry::fetchManagedObjectsNow() {
    MessagePtr reply;
    if (callProvider(bus_.get(), owner_->owner(), kManagerPath, kObjectManagerInterface,
                     "GetManagedObjects", nullptr, timeout_, "listing the registry's services",
                     &reply) != kIOReturnSuccess) {
        return false;
    }
    takeManagedObjects(reply.get());
    return true;
}

void DBusRegistry::fetchManagedObjectsAsync() {
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_method_call(bus_.get(), &raw, owner_->owner().c_str(), kManagerPath,
                                           kObjectManagerInterface, "GetManagedObjects");
    MessagePtr call(raw);
    if (r >= 0) {
        r = sd_bus_message_set_auto_start(call.get(), 0);
    }
    sd_bus_slot* slot = nullptr;
    if (r >= 0) {
        r = sd_bus_call_async(bus_.get(), &slot, call.get(), &onManagedObjects, this, timeout_);
    }
    if (r < 0) {
        zed::logErrno(-r, "cannot list the registry's services");
        return;
    }
    pendingFetch_.reset(slot);
}

int DBusRegistry::onManagedObjects(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<DBusRegistry*>(userdata);
    if (sd_bus_message_is_method_error(m, nullptr)) {
        const sd_bus_error* e = sd_bus_message_get_error(m);
        zed::log("listing the registry's services failed: %s: %s", e && e->name ? e->name : "?",
                 e && e->message ? e->message : "");
        return 0;
    }
    if (!self->owner_->sentByOwner(m)) {
        return 0; // the provider changed meanwhile; the new one is asked anew
    }
    self->takeManagedObjects(m);
    return 0;
}

void DBusRegistry::addService(std::shared_ptr<Service> service) {
    if (service->id == 0 || services_.count(service->id)) {
        return; // already known: the list and the arrival crossed
    }
    services_.emplace(service->id, service);
    notifyMatching(MatchEvent::FirstMatch, *service);
}

void DBusRegistry::removeService(io_service_t id) {
    auto it = services_.find(id);
    if (it == services_.end()) {
        return;
    }
    const std::shared_ptr<Service> gone = it->second;
    services_.erase(it);
    for (const auto& w : watches_) {
        if (!w->matching && w->service.lock() == gone) {
            w->active = false; // a gone service sends nothing more
        }
    }
    notifyMatching(MatchEvent::Terminate, *gone);
}

void DBusRegistry::removeAll() {
    std::vector<io_service_t> ids;
    for (const auto& [id, s] : services_) {
        ids.push_back(id);
    }
    for (io_service_t id : ids) {
        removeService(id);
    }
}

void DBusRegistry::notifyMatching(MatchEvent event, const Service& service) {
    for (const auto& w : live()) {
        if (!w->active || !w->matching || w->event != event || w->className != service.className ||
            !propertiesMatch(service.properties, w->match)) {
            continue;
        }
        auto it = w->iterator.lock();
        if (!it) {
            continue;
        }
        it->add(service.id);
        guarded("matching", [&] { w->matchingCallback(w->refCon, *it); });
    }
}

IOReturn DBusRegistry::getMatchingServices(const std::string& className,
                                           std::vector<io_service_t>* services) {
    services->clear();
    for (const auto& [id, s] : services_) {
        if (s->className == className) {
            services->push_back(id);
        }
    }
    return kIOReturnSuccess;
}

// A service's properties are constant (the provider publishes them with the
// service and never changes them), so the mirror answers: a plug that looks
// at every mouse costs no round trip per mouse.
std::optional<Dictionary> DBusRegistry::copyProperties(io_service_t service) {
    auto it = services_.find(service);
    if (it == services_.end()) {
        return std::nullopt;
    }
    return it->second->properties;
}

std::size_t DBusRegistry::waitingMessages() const {
    std::uint64_t n = 0;
    return bus_ && sd_bus_get_n_queued_read(bus_.get(), &n) >= 0 ? static_cast<std::size_t>(n) : 0;
}

IOReturn DBusRegistry::setProperties(io_service_t service, const Dictionary& properties) {
    if (!services_.count(service)) {
        return kIOReturnNoDevice;
    }
    if (footprint(properties) > kMaxPropertiesBytes) {
        zed::log("refused to send properties larger than %zu bytes", kMaxPropertiesBytes);
        return kIOReturnNoResources;
    }
    MessagePtr reply;
    bool left = false;
    const IOReturn sent = callProvider(
        bus_.get(), owner_->owner(), servicePath(service), kServiceInterface, "SetProperties",
        [&](sd_bus_message* m) { return appendDictionary(m, properties); }, timeout_,
        "setting a service's properties", &reply, true, &left);
    if (left) {
        forgetProvider();
        return kIOReturnNoDevice;
    }
    if (sent != kIOReturnSuccess) {
        return sent;
    }
    return setStatus(reply.get(), service);
}

IOReturn DBusRegistry::setStatus(sd_bus_message* reply, io_service_t service) {
    std::int32_t status = 0;
    if (!sd_bus_message_has_signature(reply, "i") ||
        sd_bus_message_read_basic(reply, 'i', &status) < 0) {
        const char* sig = sd_bus_message_get_signature(reply, 1);
        zed::log("service %u answered SetProperties with (%s), not a status", service,
                 sig ? sig : "");
        return kIOReturnIPCError;
    }
    return status;
}

void DBusRegistry::setPropertiesAsync(io_service_t service, const Dictionary& properties,
                                      SetDone done) {
    auto finish = [&done](IOReturn status) {
        if (done) {
            done(status);
        }
    };
    if (!services_.count(service)) {
        return finish(kIOReturnNoDevice);
    }
    if (footprint(properties) > kMaxPropertiesBytes) {
        zed::log("refused to send properties larger than %zu bytes", kMaxPropertiesBytes);
        return finish(kIOReturnNoResources);
    }
    const std::string& provider = owner_ ? owner_->owner() : std::string();
    if (!bus_ || provider.empty()) {
        zed::log("setting a service's properties: no provider of %s on the bus", kBusName);
        return finish(kIOReturnNotResponding);
    }
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_method_call(bus_.get(), &raw, provider.c_str(),
                                           servicePath(service).c_str(), kServiceInterface,
                                           "SetProperties");
    MessagePtr call(raw);
    if (r >= 0) {
        // Nobody is started on our behalf: a missing provider is an answer.
        r = sd_bus_message_set_auto_start(call.get(), 0);
    }
    if (r >= 0) {
        r = appendDictionary(call.get(), properties);
    }
    if (r < 0) {
        zed::logErrno(-r, "setting a service's properties: cannot build the call");
        return finish(r == -ENOMEM ? kIOReturnNoMemory : kIOReturnBadArgument);
    }
    auto pending = std::make_unique<PendingSet>(PendingSet{this, service, std::move(done), {}});
    sd_bus_slot* slot = nullptr;
    r = sd_bus_call_async(bus_.get(), &slot, call.get(), &onSetReply, pending.get(), timeout_);
    if (r < 0) {
        zed::logErrno(-r, "setting a service's properties failed");
        const SetDone later = std::move(pending->done);
        if (later) {
            later(r == -ENOTCONN || r == -ECONNRESET ? kIOReturnNotResponding : kIOReturnIPCError);
        }
        return;
    }
    pending->slot.reset(slot);
    pendingSets_.push_back(std::move(pending));
}

int DBusRegistry::onSetReply(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* pending = static_cast<PendingSet*>(userdata);
    DBusRegistry* self = pending->registry;
    IOReturn status = kIOReturnSuccess;
    if (const sd_bus_error* error = sd_bus_message_get_error(m);
        error && registrybus::providerLeft(error)) {
        self->forgetProvider();
        status = kIOReturnNoDevice;
    } else if (error) {
        status = statusFromBusError(error, -sd_bus_message_get_errno(m));
        zed::log("setting a service's properties failed: %s - %s",
                 error->message ? error->message : (error->name ? error->name : ""),
                 machErrorString(status).c_str());
    } else {
        status = setStatus(m, pending->service);
    }
    // Taken out before it runs: the callback may send more.
    SetDone done = std::move(pending->done);
    std::unique_ptr<PendingSet> self_owned;
    for (auto it = self->pendingSets_.begin(); it != self->pendingSets_.end(); ++it) {
        if (it->get() == pending) {
            self_owned = std::move(*it);
            self->pendingSets_.erase(it);
            break;
        }
    }
    if (done) {
        try {
            done(status);
        } catch (const std::exception& e) {
            zed::log("the answer to SetProperties could not be handled: %s", e.what());
        } catch (...) {
            zed::log("the answer to SetProperties could not be handled");
        }
    }
    return 0; // the slot goes with self_owned, after its own callback
}

IOReturn DBusRegistry::addMatchingNotification(MatchEvent event, const std::string& className,
                                               const Dictionary& matching,
                                               MatchingCallback callback, void* refCon,
                                               std::shared_ptr<ServiceIterator>* iterator,
                                               NotificationPtr* registration) {
    if (!callback) {
        return kIOReturnBadArgument;
    }
    auto it = std::make_shared<ServiceIterator>();
    auto w = makeMatchingWatch<Watch>(event, className, matching, callback, refCon, it);
    if (event == MatchEvent::FirstMatch) {
        for (const auto& [id, s] : services_) {
            if (s->className == className && propertiesMatch(s->properties, matching)) {
                it->add(id);
            }
        }
    }
    std::erase_if(watches_, [](const auto& x) { return !x->active; });
    watches_.push_back(w);
    *iterator = std::move(it);
    *registration = std::make_unique<WatchRegistration>(w);
    return kIOReturnSuccess;
}

IOReturn DBusRegistry::addInterestNotification(io_service_t service, InterestCallback callback,
                                               void* refCon, NotificationPtr* registration) {
    auto found = services_.find(service);
    if (found == services_.end()) {
        return kIOReturnNoDevice;
    }
    if (!callback) {
        return kIOReturnBadArgument;
    }
    // The provider sends a service's messages only to the connections that
    // asked for them. Asked once per service incarnation: a restarted
    // provider's services are new ones, registered for afresh.
    const IOReturn asked = callProvider(bus_.get(), owner_->owner(), servicePath(service),
                                        kServiceInterface, "AddInterest", nullptr, timeout_,
                                        "registering for the driver's messages", nullptr);
    if (asked != kIOReturnSuccess) {
        zed::log("service %u will send this agent no messages", service);
    }
    auto w = std::make_shared<Watch>();
    w->matching = false;
    w->interestCallback = callback;
    w->refCon = refCon;
    w->service = found->second;
    std::erase_if(watches_, [](const auto& x) { return !x->active; });
    watches_.push_back(w);
    *registration = std::make_unique<WatchRegistration>(w);
    return kIOReturnSuccess;
}

} // namespace zed
