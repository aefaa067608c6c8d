#include "Discovery.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <libudev.h>
#include <systemd/sd-event.h>

namespace zed::driver {

void UdevUnref::operator()(udev* u) const {
    udev_unref(u);
}
void UdevDeviceUnref::operator()(udev_device* d) const {
    udev_device_unref(d);
}
void UdevMonitorUnref::operator()(udev_monitor* m) const {
    udev_monitor_unref(m);
}
void EventSourceUnref::operator()(sd_event_source* s) const {
    sd_event_source_disable_unref(s);
}

namespace {

bool propertyIs(udev_device* device, const char* key, const char* value) {
    const char* v = udev_device_get_property_value(device, key);
    return v && std::strcmp(v, value) == 0;
}

std::string text(const char* s) {
    return s ? s : "";
}

// The input device (inputN) above the evdev node carries the name, phys and ids.
udev_device* inputParent(udev_device* device) {
    return udev_device_get_parent_with_subsystem_devtype(device, "input", nullptr);
}

// An id from the input device's sysattr, else from the USB property udev's
// rules imported.
std::optional<std::uint16_t> readId(udev_device* device, udev_device* input, const char* sysattr,
                                    const char* property) {
    if (input) {
        if (auto id = parseHexId(udev_device_get_sysattr_value(input, sysattr))) {
            return id;
        }
    }
    return parseHexId(udev_device_get_property_value(device, property));
}

std::string hex4(std::uint16_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04x", v);
    return buf;
}

} // namespace

bool isOurVirtualDevice(const std::string& phys) {
    return phys.rfind(kVirtualPhysPrefix, 0) == 0;
}

bool shouldAdopt(const MouseCandidate& c) {
    if (!c.isMouse || isOurVirtualDevice(c.phys) || c.identity.node.empty()) {
        return false;
    }
    return c.marked || (c.hasIds && c.identity.fromMaker());
}

std::string adoptionRule(const MouseCandidate& c) {
    return "ACTION==\"add|change\", SUBSYSTEM==\"input\", KERNEL==\"event*\", "
           "ATTRS{id/vendor}==\"" +
           hex4(c.identity.vendor) + "\", ATTRS{id/product}==\"" + hex4(c.identity.product) +
           "\", ENV{ZED_DRIVER}=\"1\"";
}

std::optional<std::uint16_t> parseHexId(const char* s) {
    if (!s) {
        return std::nullopt;
    }
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s += 2;
    }
    std::size_t n = 0;
    unsigned value = 0;
    for (; s[n]; ++n) {
        const char c = s[n];
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else if (c == '\n' && !s[n + 1]) {
            break; // a sysattr read as a file would end so
        } else {
            return std::nullopt;
        }
        value = value * 16 + digit;
        if (n >= 4) {
            return std::nullopt;
        }
    }
    if (n == 0) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

std::optional<MouseCandidate> describe(udev_device* device) {
    const char* subsystem = udev_device_get_subsystem(device);
    const char* sysname = udev_device_get_sysname(device);
    if (!subsystem || std::strcmp(subsystem, "input") != 0 || !sysname ||
        std::strncmp(sysname, "event", 5) != 0) {
        return std::nullopt;
    }
    MouseCandidate c;
    udev_device* input = inputParent(device);
    c.identity.node = text(udev_device_get_devnode(device));
    c.identity.syspath = text(udev_device_get_syspath(device));
    if (input) {
        c.identity.name = text(udev_device_get_sysattr_value(input, "name"));
        c.phys = text(udev_device_get_sysattr_value(input, "phys"));
    }
    if (c.identity.name.empty()) {
        // NAME is quoted in udev's database; the sysattr is the plain one.
        c.identity.name = text(udev_device_get_property_value(device, "NAME"));
    }
    const auto vendor = readId(device, input, "id/vendor", "ID_VENDOR_ID");
    const auto product = readId(device, input, "id/product", "ID_MODEL_ID");
    c.hasIds = vendor && product;
    c.identity.vendor = vendor.value_or(0);
    c.identity.product = product.value_or(0);
    c.isMouse = propertyIs(device, "ID_INPUT_MOUSE", "1");
    c.marked = propertyIs(device, "ZED_DRIVER", "1");
    return c;
}

std::optional<std::vector<MouseCandidate>> listMice(std::string* error) {
    UdevPtr u(udev_new());
    if (!u) {
        *error = std::string("cannot use udev: ") + std::strerror(errno);
        return std::nullopt;
    }
    std::unique_ptr<udev_enumerate, decltype(&udev_enumerate_unref)> e(udev_enumerate_new(u.get()),
                                                                       &udev_enumerate_unref);
    int r = e ? udev_enumerate_add_match_subsystem(e.get(), "input") : -ENOMEM;
    if (r >= 0) {
        r = udev_enumerate_add_match_sysname(e.get(), "event*");
    }
    if (r >= 0) {
        r = udev_enumerate_scan_devices(e.get());
    }
    if (r < 0) {
        *error = std::string("cannot list the input devices: ") + std::strerror(-r);
        return std::nullopt;
    }
    std::vector<MouseCandidate> mice;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e.get())) {
        UdevDevicePtr d(udev_device_new_from_syspath(u.get(), udev_list_entry_get_name(entry)));
        if (!d) {
            continue; // gone meanwhile
        }
        if (auto c = describe(d.get()); c && c->isMouse) {
            mice.push_back(std::move(*c));
        }
    }
    // event10 after event9.
    std::sort(mice.begin(), mice.end(), [](const MouseCandidate& a, const MouseCandidate& b) {
        const auto& x = a.identity.node;
        const auto& y = b.identity.node;
        return x.size() != y.size() ? x.size() < y.size() : x < y;
    });
    return mice;
}

Discovery::Discovery(Callbacks callbacks) : callbacks_(std::move(callbacks)) {}

Discovery::~Discovery() = default;

std::unique_ptr<Discovery> Discovery::start(sd_event* loop, Callbacks callbacks,
                                            std::string* error) {
    std::unique_ptr<Discovery> d(new Discovery(std::move(callbacks)));
    d->udev_.reset(udev_new());
    if (!d->udev_) {
        *error = std::string("cannot use udev: ") + std::strerror(errno);
        return nullptr;
    }
    // The "udev" source: events after udev's rules ran, with their properties.
    d->monitor_.reset(udev_monitor_new_from_netlink(d->udev_.get(), "udev"));
    if (!d->monitor_) {
        *error = "cannot watch udev for input devices (no netlink socket)";
        return nullptr;
    }
    int r = udev_monitor_filter_add_match_subsystem_devtype(d->monitor_.get(), "input", nullptr);
    if (r >= 0) {
        r = udev_monitor_enable_receiving(d->monitor_.get());
    }
    sd_event_source* source = nullptr;
    if (r >= 0) {
        r = sd_event_add_io(loop, &source, udev_monitor_get_fd(d->monitor_.get()), EPOLLIN,
                            &Discovery::onMonitor, d.get());
    }
    if (r < 0) {
        *error = std::string("cannot watch udev for input devices: ") + std::strerror(-r);
        return nullptr;
    }
    d->source_.reset(source);

    // Enumerated after the monitor is on, so that nothing plugged in between
    // is missed; a device seen twice is reported once.
    std::unique_ptr<udev_enumerate, decltype(&udev_enumerate_unref)> e(
        udev_enumerate_new(d->udev_.get()), &udev_enumerate_unref);
    r = e ? udev_enumerate_add_match_subsystem(e.get(), "input") : -ENOMEM;
    if (r >= 0) {
        r = udev_enumerate_add_match_sysname(e.get(), "event*");
    }
    if (r >= 0) {
        r = udev_enumerate_scan_devices(e.get());
    }
    if (r < 0) {
        *error = std::string("cannot list the input devices: ") + std::strerror(-r);
        return nullptr;
    }
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e.get())) {
        UdevDevicePtr dev(
            udev_device_new_from_syspath(d->udev_.get(), udev_list_entry_get_name(entry)));
        if (dev) {
            d->consider(dev.get());
        }
    }
    return d;
}

std::vector<std::string> Discovery::adopted() const {
    std::vector<std::string> out;
    for (const auto& [syspath, id] : adopted_) {
        out.push_back(syspath);
    }
    return out;
}

int Discovery::onMonitor(sd_event_source*, int, std::uint32_t, void* self) {
    static_cast<Discovery*>(self)->receive();
    return 0;
}

void Discovery::receive() {
    // One datagram per call; the loop calls again while more are queued.
    UdevDevicePtr device(udev_monitor_receive_device(monitor_.get()));
    if (!device) {
        return;
    }
    const char* action = udev_device_get_action(device.get());
    const char* syspath = udev_device_get_syspath(device.get());
    if (action && std::strcmp(action, "remove") == 0) {
        if (syspath) {
            forget(syspath);
        }
        return;
    }
    consider(device.get());
}

void Discovery::consider(udev_device* device) {
    const auto c = describe(device);
    if (!c) {
        return;
    }
    const std::string& syspath = c->identity.syspath;
    const bool adopt = shouldAdopt(*c);
    const bool known = adopted_.count(syspath) != 0;
    if (adopt && !known) {
        adopted_.emplace(syspath, c->identity);
        if (callbacks_.added) {
            callbacks_.added(c->identity);
        }
    } else if (!adopt && known) {
        forget(syspath); // a rule no longer marks it
    }
}

void Discovery::forget(const std::string& syspath) {
    if (adopted_.erase(syspath) != 0 && callbacks_.removed) {
        callbacks_.removed(syspath);
    }
}

} // namespace zed::driver
