#include "DesktopRegistry.h"

namespace zed {

HidPropertyTarget::~HidPropertyTarget() = default;

namespace {
// The HID system sends no general-interest messages and never goes away, so
// its registrations have nothing to stop.
class LocalRegistration : public Notification {
public:
    bool live() const override { return true; }
};
} // namespace

DesktopRegistry::DesktopRegistry(std::unique_ptr<Registry> inner,
                                 std::shared_ptr<HidPropertyTarget> hid)
    : inner_(inner ? std::move(inner) : std::make_unique<NullRegistry>()), hid_(std::move(hid)) {}

DesktopRegistry::~DesktopRegistry() = default;

bool DesktopRegistry::localMatches(const std::string& className, const Dictionary& matching) {
    if (className != kHidSystemClassName) {
        return false;
    }
    const Dictionary properties = hid_->copyProperties();
    for (const auto& [key, value] : matching) {
        const Value* have = lookup(properties, key);
        if (!have || !(*have == value)) {
            return false;
        }
    }
    return true;
}

IOReturn DesktopRegistry::getMatchingServices(const std::string& className,
                                              std::vector<io_service_t>* services) {
    if (!services) {
        return kIOReturnBadArgument;
    }
    services->clear();
    std::vector<io_service_t> others;
    const IOReturn status = inner_->getMatchingServices(className, &others);
    if (className != kHidSystemClassName) {
        *services = std::move(others);
        return status;
    }
    // The desktop's own HID system comes first: it is the one this
    // platform's HID system drives. The inner registry failing does not hide it.
    services->push_back(kHidSystemService);
    if (status == kIOReturnSuccess) {
        services->insert(services->end(), others.begin(), others.end());
    }
    return kIOReturnSuccess;
}

std::optional<Dictionary> DesktopRegistry::copyProperties(io_service_t service) {
    if (service == kHidSystemService) {
        return hid_->copyProperties();
    }
    return inner_->copyProperties(service);
}

IOReturn DesktopRegistry::setProperties(io_service_t service, const Dictionary& properties) {
    if (service == kHidSystemService) {
        return hid_->setProperties(properties);
    }
    return inner_->setProperties(service, properties);
}

void DesktopRegistry::setPropertiesAsync(io_service_t service, const Dictionary& properties,
                                         SetDone done) {
    if (service == kHidSystemService) {
        Registry::setPropertiesAsync(service, properties, std::move(done));
        return;
    }
    inner_->setPropertiesAsync(service, properties, std::move(done));
}

IOReturn DesktopRegistry::addMatchingNotification(MatchEvent event, const std::string& className,
                                                  const Dictionary& matching,
                                                  MatchingCallback callback, void* refCon,
                                                  std::shared_ptr<ServiceIterator>* iterator,
                                                  NotificationPtr* registration) {
    const IOReturn status = inner_->addMatchingNotification(event, className, matching, callback,
                                                            refCon, iterator, registration);
    // The local service is there from the start and never terminates: it
    // only ever shows up in a first-match iterator.
    if (event != MatchEvent::FirstMatch || !iterator || !localMatches(className, matching)) {
        return status;
    }
    if (status != kIOReturnSuccess || !*iterator) {
        *iterator = std::make_shared<ServiceIterator>();
        if (registration) {
            *registration = std::make_unique<LocalRegistration>();
        }
    }
    (*iterator)->add(kHidSystemService);
    return kIOReturnSuccess;
}

IOReturn DesktopRegistry::addInterestNotification(io_service_t service, InterestCallback callback,
                                                  void* refCon, NotificationPtr* registration) {
    if (service == kHidSystemService) {
        if (registration) {
            *registration = std::make_unique<LocalRegistration>();
        }
        return kIOReturnSuccess;
    }
    return inner_->addInterestNotification(service, callback, refCon, registration);
}

} // namespace zed
