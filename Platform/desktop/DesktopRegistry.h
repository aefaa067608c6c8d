// The registry the agent sees on a desktop: every service of another
// registry (the mouse driver's, on D-Bus) plus one local "IOHIDSystem"
// service standing for the desktop's own HID system.
#pragma once

#include "Platform/core/IOKit.h"

#include <memory>

namespace zed {

// Receives the property dictionaries set on the local "IOHIDSystem" service.
class HidPropertyTarget {
public:
    virtual ~HidPropertyTarget();
    virtual IOReturn setProperties(const Dictionary& properties) = 0;
    virtual Dictionary copyProperties() = 0;
};

class DesktopRegistry : public Registry {
public:
    static constexpr const char* kHidSystemClassName = "IOHIDSystem";
    // Registries number their services upward from small values; the local
    // service sits at the top of the range, out of their way.
    static constexpr io_service_t kHidSystemService = 0xFFFFFF01;

    DesktopRegistry(std::unique_ptr<Registry> inner, std::shared_ptr<HidPropertyTarget> hid);
    ~DesktopRegistry() override;

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
    std::size_t waitingMessages() const override { return inner_->waitingMessages(); }

    Registry& inner() { return *inner_; }

private:
    bool localMatches(const std::string& className, const Dictionary& matching);

    std::unique_ptr<Registry> inner_;
    std::shared_ptr<HidPropertyTarget> hid_;
};

} // namespace zed
