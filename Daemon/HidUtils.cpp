#include "HidUtils.h"

#include "Platform/core/ButtonMappings.h"
#include "Platform/core/DriverInterface.h"
#include "Platform/core/Log.h"
#include "Platform/dbus/Platform.h"

using zed::io_service_t;

void PrintErrMsg(std::int32_t status, const char* message) {
    if (status == 0) {
        return;
    }
    zed::logPlain("error:%d, %s", status, message ? message : "");
}

io_service_t FindHidSystem() {
    std::vector<io_service_t> services;
    zed::IOReturn status = zed::Platform::current().registry().getMatchingServices(
        zed::driver::kHidSystemClassName, &services);
    if (status != zed::kIOReturnSuccess) {
        PrintErrMsg(status, "No matching HID class devices found.");
    }
    return services.empty() ? 0 : services.front();
}

zed::IOReturn FindDevices(std::vector<io_service_t>* services) {
    zed::IOReturn status = zed::Platform::current().registry().getMatchingServices(
        zed::driver::kDriverClassName, services);
    if (status != zed::kIOReturnSuccess) {
        PrintErrMsg(status, "No matching HID class devices found.");
    }
    return status;
}

io_service_t FindCopperhound() {
    std::vector<io_service_t> services;
    FindDevices(&services);
    io_service_t result = 0;
    for (io_service_t service : services) {
        auto properties = zed::Platform::current().registry().copyProperties(service);
        if (!properties) {
            continue;
        }
        const zed::Value* vendor = zed::lookup(*properties, zed::driver::kVendorIdKey);
        const zed::Value* product = zed::lookup(*properties, zed::driver::kProductIdKey);
        if (!vendor || !product) {
            continue;
        }
        const auto vendorId = vendor->toInt64();
        const auto productId = product->toInt64();
        if (vendorId && productId && *vendorId == zed::kTovikVendorId &&
            (*productId == 1 || *productId == 2)) {
            result = service;
        }
    }
    return result;
}

std::uint32_t gModifiers = 0;

namespace {

zed::io_connect_t sEventDriver = 0;

bool ConnectionGone(zed::IOReturn status) {
    return status == zed::kIOReturnNotOpen || status == zed::kIOReturnNoDevice;
}

zed::IOReturn Post(std::uint32_t type, const zed::NXEventData& data, std::uint32_t version,
                   std::uint32_t flags, std::uint32_t options) {
    auto& hid = zed::Platform::current().hidSystem();
    const zed::io_connect_t connect = GetEventDriver();
    zed::IOReturn status = hid.postEvent(connect, type, 0, 0, data, version, flags, options);
    if (!ConnectionGone(status)) {
        return status;
    }
    // A connection whose HID system went away is opened afresh, and the
    // event goes again, once: a lost flags change would turn Command+Q
    // into a plain Q. Without any connection the open was just tried.
    ResetEventDriver();
    if (connect == 0) {
        return status;
    }
    const zed::io_connect_t fresh = GetEventDriver();
    if (fresh == 0) {
        return status;
    }
    status = hid.postEvent(fresh, type, 0, 0, data, version, flags, options);
    if (ConnectionGone(status)) {
        ResetEventDriver();
    }
    return status;
}

} // namespace

zed::io_connect_t GetEventDriver() {
    if (sEventDriver != 0) {
        return sEventDriver;
    }
    std::vector<io_service_t> services;
    auto& platform = zed::Platform::current();
    if (platform.registry().getMatchingServices(zed::driver::kHidSystemClassName, &services) !=
            zed::kIOReturnSuccess ||
        services.empty()) {
        return 0;
    }
    platform.hidSystem().open(services.front(), zed::kIOHIDParamConnectType, &sEventDriver);
    return sEventDriver;
}

void ResetEventDriver() {
    sEventDriver = 0;
}

void BeginHidKeySequence() {}

void EndHidKeySequence() {
    gModifiers = 0;
    Post(zed::NX_FLAGSCHANGED, zed::NXEventData{}, 2, 0, zed::kIOHIDSetGlobalEventFlags);
    // A macro may end with a plain key down (its release cut off by the
    // 16-entry limit), which the flags change does not let go.
    if (zed::Platform::current().hidSystem().releaseHeldKeys(GetEventDriver()) ==
        zed::kIOReturnNotOpen) {
        ResetEventDriver();
    }
}

std::uint32_t ChordModifierMask(std::uint8_t key) {
    return zed::buttons::modifierMask(key);
}

zed::IOReturn HoldHidModifiers(std::uint32_t flags) {
    gModifiers = flags;
    return Post(zed::NX_FLAGSCHANGED, zed::NXEventData{}, 2, gModifiers,
                zed::kIOHIDSetGlobalEventFlags);
}

zed::IOReturn DoHidKeyEvent(std::uint8_t key, std::int32_t flags) {
    zed::NXEventData data;
    const std::uint32_t mask = zed::buttons::flagMask(key);
    if (flags == zed::buttons::kKeyPressAndRelease || mask == 0) {
        data.setKeyCode(key);
        zed::IOReturn status = 0;
        if (flags & zed::buttons::kKeyPress) {
            status = Post(zed::NX_KEYDOWN, data, 0, 0, 0);
        }
        if (flags & zed::buttons::kKeyRelease) {
            status = Post(zed::NX_KEYUP, data, 0, 0, 0);
        }
        return status;
    }
    if (flags & zed::buttons::kKeyPress) {
        gModifiers |= mask;
    }
    if (flags & zed::buttons::kKeyRelease) {
        gModifiers &= ~mask;
    }
    return Post(zed::NX_FLAGSCHANGED, data, 2, gModifiers, zed::kIOHIDSetGlobalEventFlags);
}
