#include "FakeIOKit.h"

#include <algorithm>
#include <utility>

namespace zed {

bool FakeRegistry::matches(const Service& s, const std::string& className,
                           const Dictionary& match) {
    return s.className == className && propertiesMatch(s.properties, match);
}

void FakeRegistry::notifyMatching(MatchEvent event, const Service& s) {
    for (const auto& w : live()) {
        if (!w->matching || w->event != event || !matches(s, w->className, w->match)) {
            continue;
        }
        auto it = w->iterator.lock();
        if (!it) {
            continue;
        }
        it->add(s.id);
        w->matchingCallback(w->refCon, *it);
    }
}

io_service_t FakeRegistry::addService(const std::string& className, Dictionary properties) {
    services_.push_back({++nextId_, className, std::move(properties)});
    const Service s = services_.back();
    notifyMatching(MatchEvent::FirstMatch, s);
    return s.id;
}

void FakeRegistry::removeService(io_service_t service) {
    auto it = std::find_if(services_.begin(), services_.end(),
                           [&](const Service& s) { return s.id == service; });
    if (it == services_.end()) {
        return;
    }
    const Service s = *it;
    services_.erase(it);
    for (const auto& w : watches_) {
        if (!w->matching && w->service == service) {
            w->active = false; // a gone service sends nothing more
        }
    }
    notifyMatching(MatchEvent::Terminate, s);
}

void FakeRegistry::restartProvider() {
    const std::vector<Service> before = services_;
    for (const Service& s : before) {
        removeService(s.id);
    }
    for (const Service& s : before) {
        services_.push_back(s);
        notifyMatching(MatchEvent::FirstMatch, s);
    }
}

void FakeRegistry::sendMessage(io_service_t service, std::uint32_t messageType,
                               std::uint64_t argument) {
    for (const auto& w : live()) {
        if (!w->matching && w->service == service) {
            w->interestCallback(w->refCon, service, messageType, argument);
        }
    }
}

std::vector<Dictionary> FakeRegistry::setCallsOn(io_service_t service) const {
    std::vector<Dictionary> out;
    for (const auto& c : setCalls_) {
        if (c.service == service) {
            out.push_back(c.properties);
        }
    }
    return out;
}

int FakeRegistry::interestWatchers(io_service_t service) const {
    int n = 0;
    for (const auto& w : watches_) {
        n += (w->active && !w->matching && w->service == service) ? 1 : 0;
    }
    return n;
}

int FakeRegistry::matchingWatchers() const {
    int n = 0;
    for (const auto& w : watches_) {
        n += (w->active && w->matching) ? 1 : 0;
    }
    return n;
}

IOReturn FakeRegistry::getMatchingServices(const std::string& className,
                                           std::vector<io_service_t>* services) {
    services->clear();
    if (lookupStatus_ != kIOReturnSuccess) {
        return lookupStatus_;
    }
    for (const auto& s : services_) {
        if (s.className == className) {
            services->push_back(s.id);
        }
    }
    return kIOReturnSuccess;
}

std::optional<Dictionary> FakeRegistry::copyProperties(io_service_t service) {
    if (std::find(unreadable_.begin(), unreadable_.end(), service) != unreadable_.end()) {
        return std::nullopt;
    }
    for (const auto& s : services_) {
        if (s.id == service) {
            return s.properties;
        }
    }
    return std::nullopt;
}

IOReturn FakeRegistry::setProperties(io_service_t service, const Dictionary& properties) {
    setCalls_.push_back({service, properties});
    const IOReturn status = std::exchange(nextSetStatus_, kIOReturnSuccess);
    if (status != kIOReturnSuccess) {
        return status;
    }
    return std::any_of(services_.begin(), services_.end(),
                       [&](const Service& s) { return s.id == service; })
               ? kIOReturnSuccess
               : kIOReturnNoDevice;
}

IOReturn FakeRegistry::addMatchingNotification(MatchEvent event, const std::string& className,
                                               const Dictionary& matching,
                                               MatchingCallback callback, void* refCon,
                                               std::shared_ptr<ServiceIterator>* iterator,
                                               NotificationPtr* registration) {
    if (registrationStatus_ != kIOReturnSuccess) {
        return registrationStatus_;
    }
    auto it = std::make_shared<ServiceIterator>();
    auto w = makeMatchingWatch<Watch>(event, className, matching, callback, refCon, it);
    if (event == MatchEvent::FirstMatch) {
        for (const auto& s : services_) {
            if (matches(s, className, matching)) {
                it->add(s.id);
            }
        }
    }
    watches_.push_back(w);
    *iterator = it;
    *registration = std::make_unique<WatchRegistration>(w);
    return kIOReturnSuccess;
}

IOReturn FakeRegistry::addInterestNotification(io_service_t service, InterestCallback callback,
                                               void* refCon, NotificationPtr* registration) {
    if (registrationStatus_ != kIOReturnSuccess) {
        return registrationStatus_;
    }
    auto w = std::make_shared<Watch>();
    w->matching = false;
    w->interestCallback = callback;
    w->refCon = refCon;
    w->service = service;
    watches_.push_back(w);
    *registration = std::make_unique<WatchRegistration>(w);
    return kIOReturnSuccess;
}

IOReturn FakeHidSystem::open(io_service_t hidSystem, std::uint32_t type, io_connect_t* connect) {
    *connect = 0;
    if (openStatus != kIOReturnSuccess || hidSystem == 0 || type != kIOHIDParamConnectType) {
        return openStatus != kIOReturnSuccess ? openStatus : kIOReturnBadArgument;
    }
    ++opens;
    *connect = lastConnect = ++nextConnect_;
    return kIOReturnSuccess;
}

void FakeHidSystem::close(io_connect_t connect) {
    if (connect != 0) {
        ++closes;
    }
}

IOReturn FakeHidSystem::setMouseButtonMode(io_connect_t connect, std::int32_t mode) {
    if (isGone(connect)) {
        return kIOReturnNotOpen;
    }
    buttonModes.push_back(mode);
    return kIOReturnSuccess;
}

IOReturn FakeHidSystem::setAccelerationWithKey(io_connect_t connect, const std::string& key,
                                               double value) {
    if (isGone(connect)) {
        return kIOReturnNotOpen;
    }
    accelerationSets.push_back({key, value});
    acceleration = value;
    return kIOReturnSuccess;
}

IOReturn FakeHidSystem::getAccelerationWithKey(io_connect_t connect, const std::string&,
                                               double* value) {
    if (isGone(connect)) {
        return kIOReturnNotOpen;
    }
    if (getAccelerationStatus != kIOReturnSuccess) {
        return getAccelerationStatus;
    }
    *value = acceleration;
    return kIOReturnSuccess;
}

IOReturn FakeHidSystem::postEvent(io_connect_t connect, std::uint32_t eventType, std::int16_t x,
                                  std::int16_t y, const NXEventData& data,
                                  std::uint32_t dataVersion, std::uint32_t eventFlags,
                                  std::uint32_t options) {
    if (isGone(connect)) {
        return kIOReturnNotOpen;
    }
    if (postStatus != kIOReturnSuccess) {
        return postStatus;
    }
    events.push_back({eventType, x, y, data, dataVersion, eventFlags, options, connect});
    return kIOReturnSuccess;
}

IOReturn FakeHidSystem::releaseHeldKeys(io_connect_t connect) {
    if (isGone(connect)) {
        return kIOReturnNotOpen;
    }
    heldKeyReleases.push_back(events.size());
    return kIOReturnSuccess;
}

} // namespace zed
