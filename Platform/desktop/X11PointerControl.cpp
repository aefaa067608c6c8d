#include "Platform/core/Log.h"
#include "PointerSettings.h"
#include "XcbHandles.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace zed {

namespace {

template <typename T> using Reply = XcbReply<T>;

} // namespace

struct X11PointerControl::Connection {
    XcbConnectionPtr c;
};

X11PointerControl::X11PointerControl(std::string displayName)
    : displayName_(std::move(displayName)) {}

X11PointerControl::~X11PointerControl() = default;

X11PointerControl::Connection* X11PointerControl::connection() {
    // A server that went away (the session ended, Xwayland restarted) is
    // connected to afresh.
    if (connection_ && xcb_connection_has_error(connection_->c.get())) {
        connection_.reset();
    }
    if (connection_) {
        return connection_.get();
    }
    const char* name = displayName_.empty() ? nullptr : displayName_.c_str();
    const char* shown = name ? name : std::getenv("DISPLAY");
    XcbConnectionPtr c(xcb_connect(name, nullptr));
    if (!c || xcb_connection_has_error(c.get())) {
        if (!reported_) {
            zed::log("no X display (%s), so the button mode and the pointer acceleration are left "
                     "as they are",
                     shown && *shown ? shown : "DISPLAY is not set");
            reported_ = true;
        }
        return nullptr;
    }
    reported_ = false;
    connection_ = std::make_unique<Connection>();
    connection_->c = std::move(c);
    return connection_.get();
}

IOReturn X11PointerControl::setButtonsSwapped(bool swapped) {
    Connection* conn = connection();
    if (!conn) {
        return kIOReturnNoDevice;
    }
    xcb_connection_t* c = conn->c.get();
    Reply<xcb_get_pointer_mapping_reply_t> current(
        xcb_get_pointer_mapping_reply(c, xcb_get_pointer_mapping(c), nullptr));
    if (!current) {
        return kIOReturnIPCError;
    }
    const int length = xcb_get_pointer_mapping_map_length(current.get());
    if (length < 3) {
        return kIOReturnUnsupported;
    }
    const std::uint8_t* map = xcb_get_pointer_mapping_map(current.get());
    std::vector<std::uint8_t> wanted(map, map + length);
    // Only the primary and secondary buttons move; whatever the user did to
    // the others stays.
    wanted[0] = swapped ? 3 : 1;
    wanted[2] = swapped ? 1 : 3;
    if (std::equal(wanted.begin(), wanted.end(), map)) {
        return kIOReturnSuccess;
    }
    Reply<xcb_set_pointer_mapping_reply_t> set(xcb_set_pointer_mapping_reply(
        c, xcb_set_pointer_mapping(c, static_cast<std::uint8_t>(length), wanted.data()), nullptr));
    if (!set) {
        return kIOReturnIPCError;
    }
    // The server refuses while a button is held.
    return set->status == XCB_MAPPING_STATUS_SUCCESS ? kIOReturnSuccess : kIOReturnNotReady;
}

IOReturn X11PointerControl::setAcceleration(double acceleration) {
    Connection* conn = connection();
    if (!conn) {
        return kIOReturnNoDevice;
    }
    xcb_connection_t* c = conn->c.get();
    // Off, or a value that is not a number, is the multiplier 1.
    double value = std::isfinite(acceleration) ? acceleration : -1.0;
    value = std::clamp(value, 0.0, kMaxAcceleration);
    const auto numerator =
        static_cast<std::int16_t>(std::lround((1.0 + value) * kAccelDenominator));
    xcb_void_cookie_t cookie = xcb_change_pointer_control_checked(
        c, numerator, static_cast<std::int16_t>(kAccelDenominator), 0, 1, 0);
    Reply<xcb_generic_error_t> error(xcb_request_check(c, cookie));
    return error ? kIOReturnBadArgument : kIOReturnSuccess;
}

IOReturn X11PointerControl::getAcceleration(double* acceleration) {
    Connection* conn = connection();
    if (!conn) {
        return kIOReturnNoDevice;
    }
    xcb_connection_t* c = conn->c.get();
    Reply<xcb_get_pointer_control_reply_t> reply(
        xcb_get_pointer_control_reply(c, xcb_get_pointer_control(c), nullptr));
    if (!reply || reply->acceleration_denominator == 0) {
        return kIOReturnIPCError;
    }
    const double factor =
        static_cast<double>(reply->acceleration_numerator) / reply->acceleration_denominator;
    // A multiplier of 1 or less is no acceleration at all.
    if (acceleration) {
        *acceleration = std::max(0.0, factor - 1.0);
    }
    return kIOReturnSuccess;
}

} // namespace zed
