#include "IOKit.h"

#include <cstdio>

namespace zed {

Notification::~Notification() = default;
Registry::~Registry() = default;
HidSystem::~HidSystem() = default;

io_service_t ServiceIterator::next() {
    if (pending_.empty()) {
        return 0;
    }
    io_service_t s = pending_.front();
    pending_.pop_front();
    return s;
}

bool propertiesMatch(const Dictionary& properties, const Dictionary& matching) {
    for (const auto& [key, value] : matching) {
        const Value* have = lookup(properties, key);
        const bool same =
            have && ((have->isInteger() && value.isInteger()) ? have->toInt64() == value.toInt64()
                                                              : *have == value);
        if (!same) {
            return false;
        }
    }
    return true;
}

IOReturn NullRegistry::getMatchingServices(const std::string&,
                                           std::vector<io_service_t>* services) {
    services->clear();
    return kIOReturnSuccess;
}

IOReturn NullRegistry::addMatchingNotification(MatchEvent, const std::string&, const Dictionary&,
                                               MatchingCallback, void*,
                                               std::shared_ptr<ServiceIterator>* iterator,
                                               NotificationPtr* registration) {
    *iterator = std::make_shared<ServiceIterator>();
    registration->reset();
    return kIOReturnSuccess;
}

IOReturn NullHidSystem::open(io_service_t, std::uint32_t, io_connect_t* connect) {
    *connect = 0;
    return kIOReturnNoDevice;
}

std::string machErrorString(IOReturn status) {
    if (status == kIOReturnSuccess) {
        return "(os/kern) successful";
    }
    struct Text {
        IOReturn code;
        const char* text;
    };
    static constexpr Text kTexts[] = {
        {kIOReturnError, "general error"},
        {kIOReturnNoMemory, "memory allocation error"},
        {kIOReturnNoResources, "resource shortage"},
        {kIOReturnIPCError, "Mach IPC failure"},
        {kIOReturnNoDevice, "no such device"},
        {kIOReturnNotPrivileged, "privilege violation"},
        {kIOReturnBadArgument, "invalid argument"},
        {kIOReturnExclusiveAccess, "exclusive access and device already open"},
        {kIOReturnUnsupported, "unsupported function"},
        {kIOReturnInternalError, "internal error"},
        {kIOReturnNotOpen, "device not open"},
        {kIOReturnTimeout, "I/O Timeout"},
        {kIOReturnNotReady, "device not ready"},
        {kIOReturnNotAttached, "device not attached"},
        {kIOReturnNotPermitted, "not permitted"},
        {kIOReturnOffline, "device offline"},
        {kIOReturnNotResponding, "device not responding"},
        {kIOReturnNotFound, "data was not found"},
    };
    for (const Text& t : kTexts) {
        if (t.code == status) {
            return std::string("(iokit/common) ") + t.text;
        }
    }
    // system: bits 26-31, subsystem: bits 14-25
    const auto bits = static_cast<std::uint32_t>(status);
    const unsigned system = bits >> 26;
    const unsigned subsystem = (bits >> 14) & 0xFFF;
    if (system == 0x38 && subsystem == 0) {
        return "(iokit/common) unknown error code";
    }
    char buf[96];
    std::snprintf(buf, sizeof buf, "(system 0x%x/subsystem 0x%x) unknown error code", system,
                  subsystem);
    return buf;
}

} // namespace zed
