#include "VirtualPointer.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace zed::driver {

namespace {

// The kernel's limit on a uinput device's name (UINPUT_MAX_NAME_SIZE), with
// its terminating zero.
constexpr std::size_t kMaxName = 80;

// The relative axes a mouse has and the transform may write.
constexpr std::uint16_t kAxes[] = {REL_X, REL_Y, REL_WHEEL, REL_HWHEEL};
// Declared only when the source has them: desktops ignore REL_WHEEL on a
// device that declares REL_WHEEL_HI_RES, and the transform passes a wheel of
// default speed as it comes. Without them, what the transform writes of them
// is dropped by the kernel and REL_WHEEL carries the scrolling.
constexpr std::uint16_t kHighResolutionAxes[] = {REL_WHEEL_HI_RES, REL_HWHEEL_HI_RES};

struct EvdevDeleter {
    void operator()(libevdev* dev) const { libevdev_free(dev); }
};

// Cuts a name so that it stays whole UTF-8 within `limit` bytes.
std::string truncated(const std::string& text, std::size_t limit) {
    if (text.size() <= limit) {
        return text;
    }
    std::size_t n = limit;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) {
        --n;
    }
    return text.substr(0, n);
}

} // namespace

void VirtualPointer::UinputDeleter::operator()(libevdev_uinput* uinput) const {
    // Destroying the device makes the kernel release whatever it still held;
    // the descriptor is closed after it.
    libevdev_uinput_destroy(uinput);
}

std::unique_ptr<VirtualPointer>
VirtualPointer::create(const libevdev* source, const MouseIdentity& id, std::string* error) {
    std::string ignored;
    error = error ? error : &ignored;
    std::unique_ptr<libevdev, EvdevDeleter> shape(libevdev_new());
    if (!shape) {
        *error = "cannot allocate the virtual pointer's description";
        return nullptr;
    }
    // libevdev's accessors take a non-const device but do not change it.
    auto* src = const_cast<libevdev*>(source);
    std::unique_ptr<VirtualPointer> pointer(new VirtualPointer());
    const char* sourceName = src ? libevdev_get_name(src) : nullptr;
    const std::string base = sourceName && *sourceName ? sourceName : id.name;
    const std::string suffix = kNameSuffix;
    pointer->name_ = truncated(base, kMaxName - 1 - suffix.size()) + suffix;
    pointer->phys_ = kVirtualPhysPrefix + id.node;
    libevdev_set_name(shape.get(), pointer->name_.c_str());
    libevdev_set_phys(shape.get(), pointer->phys_.c_str());
    if (src) {
        libevdev_set_id_bustype(shape.get(), libevdev_get_id_bustype(src));
        libevdev_set_id_vendor(shape.get(), libevdev_get_id_vendor(src));
        libevdev_set_id_product(shape.get(), libevdev_get_id_product(src));
        libevdev_set_id_version(shape.get(), libevdev_get_id_version(src));
    } else {
        libevdev_set_id_bustype(shape.get(), BUS_VIRTUAL);
        libevdev_set_id_vendor(shape.get(), id.vendor);
        libevdev_set_id_product(shape.get(), id.product);
    }

    bool ok = libevdev_enable_event_type(shape.get(), EV_SYN) == 0;
    for (std::uint16_t axis : kAxes) {
        ok = ok && libevdev_enable_event_code(shape.get(), EV_REL, axis, nullptr) == 0;
    }
    for (std::uint16_t axis : kHighResolutionAxes) {
        if (src && libevdev_has_event_code(src, EV_REL, axis)) {
            ok = ok && libevdev_enable_event_code(shape.get(), EV_REL, axis, nullptr) == 0;
        }
    }
    for (unsigned code = BTN_LEFT; code <= BTN_TASK; ++code) {
        ok = ok && libevdev_enable_event_code(shape.get(), EV_KEY, code, nullptr) == 0;
    }
    if (src && libevdev_has_event_code(src, EV_MSC, MSC_SCAN)) {
        ok = ok && libevdev_enable_event_code(shape.get(), EV_MSC, MSC_SCAN, nullptr) == 0;
    }
    if (src && libevdev_has_property(src, INPUT_PROP_POINTER)) {
        ok = ok && libevdev_enable_property(shape.get(), INPUT_PROP_POINTER) == 0;
    }
    if (!ok) {
        *error = "cannot describe the virtual pointer";
        return nullptr;
    }

    // libevdev's helper sets no phys: the descriptor is ours, phys set on it
    // first, then handed to the helper for the rest.
    pointer->fd_.reset(::open("/dev/uinput", O_RDWR | O_CLOEXEC));
    if (!pointer->fd_) {
        *error = std::string("cannot open /dev/uinput: ") + std::strerror(errno);
        return nullptr;
    }
    if (::ioctl(pointer->fd_.get(), UI_SET_PHYS, pointer->phys_.c_str()) < 0) {
        *error = std::string("cannot set the virtual pointer's phys: ") + std::strerror(errno);
        return nullptr;
    }
    libevdev_uinput* uinput = nullptr;
    const int r = libevdev_uinput_create_from_device(shape.get(), pointer->fd_.get(), &uinput);
    if (r < 0) {
        *error = std::string("cannot create the virtual pointer through /dev/uinput: ") +
                 std::strerror(-r);
        return nullptr;
    }
    pointer->uinput_.reset(uinput);
    return pointer;
}

VirtualPointer::~VirtualPointer() = default;

bool VirtualPointer::emit(std::span<const InputEvent> events) {
    if (events.empty()) {
        return true;
    }
    // One write for the whole frame: a system call per event would double
    // the time from the mouse to the desktop. The kernel stamps the time.
    constexpr std::size_t kOnStack = 32;
    input_event stack[kOnStack];
    std::vector<input_event> heap;
    input_event* buffer = stack;
    if (events.size() > kOnStack) {
        heap.resize(events.size());
        buffer = heap.data();
    }
    for (std::size_t i = 0; i < events.size(); ++i) {
        buffer[i] = input_event{};
        buffer[i].type = events[i].type;
        buffer[i].code = events[i].code;
        buffer[i].value = events[i].value;
    }
    const int fd = libevdev_uinput_get_fd(uinput_.get());
    const auto* bytes = reinterpret_cast<const char*>(buffer);
    std::size_t left = events.size() * sizeof(input_event);
    while (left > 0) {
        const ssize_t n = ::write(fd, bytes, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

const char* VirtualPointer::devnode() const {
    return libevdev_uinput_get_devnode(uinput_.get());
}

const char* VirtualPointer::syspath() const {
    return libevdev_uinput_get_syspath(uinput_.get());
}

} // namespace zed::driver
