#include "MouseServices.h"

#include "Driver/DriverSettings.h"
#include "Platform/core/DriverInterface.h"
#include "Platform/core/Log.h"

#include <string>
#include <utility>
#include <vector>

namespace zed::driver {

using registryserver::RegistryServer;
using registryserver::ServiceObject;

namespace {

// Keys for one log line: the first few, quoted, cut short and without
// control characters (a caller chose them), and how many more.
std::string listed(const std::vector<std::string>& keys) {
    constexpr std::size_t kNamed = 8;
    constexpr std::size_t kKeyChars = 64;
    std::string text;
    for (std::size_t i = 0; i < keys.size() && i < kNamed; ++i) {
        std::string key = keys[i].substr(0, kKeyChars);
        for (char& c : key) {
            c = static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
        }
        text += (i ? ", \"" : "\"") + key + (keys[i].size() > kKeyChars ? "...\"" : "\"");
    }
    if (keys.size() > kNamed) {
        text += " and " + std::to_string(keys.size() - kNamed) + " more";
    }
    return text;
}

} // namespace

Dictionary presentedIds(const MouseIdentity& id) {
    if (id.fromMaker()) {
        return Dictionary{{kVendorIdKey, Value(std::int64_t{id.vendor})},
                          {kProductIdKey, Value(std::int64_t{id.product})}};
    }
    return Dictionary{{kVendorIdKey, Value(std::int64_t{kMakerVendorId})},
                      {kProductIdKey, Value(std::int64_t{kSevenButtonProductId})},
                      {kSourceVendorKey, Value(std::int64_t{id.vendor})},
                      {kSourceProductKey, Value(std::int64_t{id.product})},
                      {kSourceNameKey, Value(id.name)}};
}

MouseServices::MouseServices(Key, RegistryServer& server, Dictionary ids, Applied applied)
    : server_(server), ids_(std::move(ids)), applied_(std::move(applied)),
      properties_(std::make_unique<DriverProperties>()) {}

std::unique_ptr<MouseServices> MouseServices::publish(RegistryServer& server,
                                                      const MouseIdentity& id, Applied applied) {
    auto m = std::make_unique<MouseServices>(Key(), server, presentedIds(id), std::move(applied));
    // The driver first: when the device arrives, the agent looks its driver up.
    const ServiceObject* driver = server.addService(
        kDriverClassName, m->ids_, [raw = m.get()](ServiceObject& s, const Dictionary& changes) {
            return raw->setProperties(s, changes);
        });
    if (!driver) {
        zed::log("cannot publish the driver of %s", id.node.c_str());
        return nullptr;
    }
    m->driver_ = driver->id();
    // A USB device takes no properties: the server answers unsupported.
    const ServiceObject* device = server.addService(kUsbDeviceClassName, m->ids_);
    if (!device) {
        zed::log("cannot publish the USB device of %s", id.node.c_str());
        return nullptr; // the destructor withdraws the driver
    }
    m->device_ = device->id();
    return m;
}

MouseServices::~MouseServices() {
    if (device_) {
        server_.removeService(device_);
    }
    if (driver_) {
        server_.removeService(driver_);
    }
}

void MouseServices::sendMessage(std::uint32_t word) {
    server_.emitMessage(driver_, word, 0);
}

IOReturn MouseServices::setProperties(ServiceObject& service, const Dictionary& changes) {
    const IOReturn status = properties_->set(changes);
    if (status != kIOReturnSuccess) {
        zed::log("refused the properties of driver %u: %s", service.id(),
                 properties_->lastError().c_str());
        return status;
    }
    if (const auto& ignored = properties_->lastIgnored(); !ignored.empty()) {
        zed::log("driver %u ignored keys it does not know: %s", service.id(),
                 listed(ignored).c_str());
    }
    // The ids stay what the agent matched on, whatever keys it sends.
    Dictionary shown = properties_->values();
    for (const auto& [key, value] : ids_) {
        shown[key] = value;
    }
    service.setProperties(std::move(shown));
    if (applied_) {
        applied_(properties_->settings());
    }
    return kIOReturnSuccess;
}

} // namespace zed::driver
