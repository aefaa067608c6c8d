#include "VirtualKeyboard.h"

#include "Platform/core/UniqueFd.h"
#include "Platform/keyboard/KeyCodes.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>

namespace zed {

VirtualKeyboard::~VirtualKeyboard() = default;

namespace {

struct EvdevFree {
    void operator()(libevdev* d) const { libevdev_free(d); }
};
struct UinputDestroy {
    void operator()(libevdev_uinput* u) const { libevdev_uinput_destroy(u); }
};

class UinputKeyboard : public VirtualKeyboard {
public:
    UinputKeyboard(UniqueFd fd, std::unique_ptr<libevdev_uinput, UinputDestroy> device)
        : fd_(std::move(fd)), device_(std::move(device)) {}
    // The device goes before the descriptor it was created on.
    ~UinputKeyboard() override { device_.reset(); }

    int key(std::uint16_t evdevCode, bool pressed) override {
        return libevdev_uinput_write_event(device_.get(), EV_KEY, evdevCode, pressed ? 1 : 0);
    }
    int sync() override {
        return libevdev_uinput_write_event(device_.get(), EV_SYN, SYN_REPORT, 0);
    }

private:
    UniqueFd fd_;
    std::unique_ptr<libevdev_uinput, UinputDestroy> device_;
};

} // namespace

std::unique_ptr<VirtualKeyboard> createUinputKeyboard(int* error, const std::string& node) {
    int ignored = 0;
    int& err = error ? *error : ignored;
    const std::string path = node.empty() ? "/dev/uinput" : node;
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd) {
        err = -errno;
        return nullptr;
    }
    std::unique_ptr<libevdev, EvdevFree> description(libevdev_new());
    if (!description) {
        err = -ENOMEM;
        return nullptr;
    }
    libevdev_set_name(description.get(), "ZED virtual keyboard");
    libevdev_set_id_bustype(description.get(), BUS_VIRTUAL);
    libevdev_enable_event_type(description.get(), EV_KEY);
    for (const KeyCodePair& pair : keyCodeTable()) {
        libevdev_enable_event_code(description.get(), EV_KEY, pair.evdev, nullptr);
    }
    libevdev_uinput* raw = nullptr;
    const int r = libevdev_uinput_create_from_device(description.get(), fd.get(), &raw);
    if (r < 0) {
        err = r;
        return nullptr;
    }
    err = 0;
    return std::make_unique<UinputKeyboard>(std::move(fd),
                                            std::unique_ptr<libevdev_uinput, UinputDestroy>(raw));
}

std::string uinputAccessAdvice(int error) {
    std::string text = "cannot create the virtual keyboard on /dev/uinput (" +
                       std::string(std::strerror(-error)) + "), so mapped keys are not typed. ";
    if (error == -ENOENT || error == -ENODEV) {
        text += "Load the uinput module (sudo modprobe uinput; add \"uinput\" to "
                "/etc/modules-load.d/ to keep it).";
    } else {
        text += "Install the package's udev rule (/usr/lib/udev/rules.d/70-zed-uinput.rules: "
                "KERNEL==\"uinput\", TAG+=\"uaccess\") and log in again, or add yourself to a "
                "group that may write /dev/uinput.";
    }
    return text;
}

} // namespace zed
