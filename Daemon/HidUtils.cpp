#include "HidUtils.h"

#include "Platform/DriverInterface.h"
#include "Platform/Platform.h"

using zed::io_service_t;

void PrintErrMsg(std::int32_t status, const char* message) {
    if (status == 0) {
        return;
    }
    std::fprintf(stderr, "error:%d, %s\n", status, message ? message : "");
    std::fflush(stderr);
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
