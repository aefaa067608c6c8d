#include "UhidMouse.h"

#include "EvdevReader.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <linux/uhid.h>
#include <thread>
#include <unistd.h>

namespace zed::test {

namespace {

// clang-format off
constexpr std::uint8_t kDescriptor[] = {
    0x05, 0x01,       // Usage Page (Generic Desktop)
    0x09, 0x02,       // Usage (Mouse)
    0xA1, 0x01,       // Collection (Application)
    0x09, 0x01,       //   Usage (Pointer)
    0xA1, 0x00,       //   Collection (Physical)
    0x05, 0x09,       //     Usage Page (Button)
    0x19, 0x01,       //     Usage Minimum (1)
    0x29, 0x07,       //     Usage Maximum (7)
    0x15, 0x00,       //     Logical Minimum (0)
    0x25, 0x01,       //     Logical Maximum (1)
    0x75, 0x01,       //     Report Size (1)
    0x95, 0x07,       //     Report Count (7)
    0x81, 0x02,       //     Input (Data, Variable, Absolute)
    0x95, 0x01,       //     Report Count (1)
    0x81, 0x03,       //     Input (Constant): pads the buttons to a byte
    0x05, 0x01,       //     Usage Page (Generic Desktop)
    0x09, 0x30,       //     Usage (X)
    0x09, 0x31,       //     Usage (Y)
    0x16, 0x01, 0x80, //     Logical Minimum (-32767)
    0x26, 0xFF, 0x7F, //     Logical Maximum (32767)
    0x75, 0x10,       //     Report Size (16)
    0x95, 0x02,       //     Report Count (2)
    0x81, 0x06,       //     Input (Data, Variable, Relative)
    0x09, 0x38,       //     Usage (Wheel)
    0x15, 0x81,       //     Logical Minimum (-127)
    0x25, 0x7F,       //     Logical Maximum (127)
    0x75, 0x08,       //     Report Size (8)
    0x95, 0x01,       //     Report Count (1)
    0x81, 0x06,       //     Input (Data, Variable, Relative)
    0xC0,             //   End Collection
    0xC0,             // End Collection
};
// clang-format on

// Copies text into a fixed kernel field, always terminated.
template <std::size_t N> void putText(std::uint8_t (&field)[N], const std::string& text) {
    const std::size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    field[n] = 0;
}

bool writeEvent(int fd, const uhid_event& event, std::string* error) {
    for (;;) {
        const ssize_t n = ::write(fd, &event, sizeof event);
        if (n == static_cast<ssize_t>(sizeof event)) {
            return true;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        *error = n < 0 ? std::strerror(errno) : "short write to uhid";
        return false;
    }
}

std::string nextUniq() {
    static std::atomic<int> counter{0};
    return "zed-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

} // namespace

std::span<const std::uint8_t> UhidMouse::reportDescriptor() {
    return kDescriptor;
}

std::vector<std::uint8_t> UhidMouse::encode(const MouseReport& r) {
    const auto x = static_cast<std::uint16_t>(r.x);
    const auto y = static_cast<std::uint16_t>(r.y);
    return {static_cast<std::uint8_t>(r.buttons & 0x7F), static_cast<std::uint8_t>(x & 0xFF),
            static_cast<std::uint8_t>(x >> 8),           static_cast<std::uint8_t>(y & 0xFF),
            static_cast<std::uint8_t>(y >> 8),           static_cast<std::uint8_t>(r.wheel)};
}

UhidMouse::UhidMouse(Options options)
    : options_(std::move(options)), uniq_(nextUniq()),
      fd_(::open(options_.uhidNode.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)) {
    if (!fd_) {
        error_ = options_.uhidNode + ": " + std::strerror(errno);
        return;
    }
    uhid_event event{};
    event.type = UHID_CREATE2;
    auto& create = event.u.create2;
    putText(create.name, options_.name);
    putText(create.phys, "usb-zed-test/input0");
    putText(create.uniq, uniq_);
    create.rd_size = static_cast<std::uint16_t>(sizeof kDescriptor);
    create.bus = options_.bus;
    create.vendor = options_.vendor;
    create.product = options_.product;
    create.version = 0x0100;
    std::memcpy(create.rd_data, kDescriptor, sizeof kDescriptor);
    plugged_ = writeEvent(fd_.get(), event, &error_);
}

UhidMouse::~UhidMouse() {
    unplug();
}

void UhidMouse::serviceKernel() {
    uhid_event in{};
    while (::read(fd_.get(), &in, sizeof in) > 0) {
        // hid-generic asks for no reports of a plain mouse; an answer keeps
        // any request from waiting out the kernel's timeout all the same.
        if (in.type == UHID_GET_REPORT || in.type == UHID_SET_REPORT) {
            uhid_event reply{};
            if (in.type == UHID_GET_REPORT) {
                reply.type = UHID_GET_REPORT_REPLY;
                reply.u.get_report_reply.id = in.u.get_report.id;
                reply.u.get_report_reply.err = EIO;
            } else {
                reply.type = UHID_SET_REPORT_REPLY;
                reply.u.set_report_reply.id = in.u.set_report.id;
                reply.u.set_report_reply.err = EIO;
            }
            std::string ignored;
            writeEvent(fd_.get(), reply, &ignored);
        }
    }
}

bool UhidMouse::send(const MouseReport& report) {
    const auto bytes = encode(report);
    return sendRaw(bytes);
}

bool UhidMouse::sendRaw(std::span<const std::uint8_t> report) {
    if (!plugged_) {
        error_ = "not plugged in";
        return false;
    }
    serviceKernel();
    uhid_event event{};
    event.type = UHID_INPUT2;
    if (report.size() > sizeof event.u.input2.data) {
        error_ = "report too long";
        return false;
    }
    event.u.input2.size = static_cast<std::uint16_t>(report.size());
    std::memcpy(event.u.input2.data, report.data(), report.size());
    return writeEvent(fd_.get(), event, &error_);
}

std::string UhidMouse::evdevNode(double timeoutSeconds) {
    if (!plugged_) {
        return {};
    }
    // The kernel adds the HID device from a worker after the create request.
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::microseconds(static_cast<long>(timeoutSeconds * 1e6));
    InputDeviceMatch match;
    match.bustype = options_.bus;
    match.vendor = options_.vendor;
    match.product = options_.product;
    match.uniq = uniq_;
    for (;;) {
        serviceKernel();
        std::string node = findEvdevNode(match);
        if (!node.empty() && ::access(node.c_str(), R_OK) == 0) {
            return node;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool UhidMouse::unplug() {
    if (!plugged_) {
        return true;
    }
    plugged_ = false;
    uhid_event event{};
    event.type = UHID_DESTROY;
    const bool ok = writeEvent(fd_.get(), event, &error_);
    fd_.reset(); // closing would remove it too
    return ok;
}

} // namespace zed::test
