// Reads and restores the X server's core pointer settings, through a
// connection of the test's own.
#pragma once

#include <cstdlib>
#include <memory>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

namespace deskfake {

class X11Probe {
public:
    X11Probe() {
        // An X server without -noreset starts over when its last client
        // leaves, and refuses connections for a moment while it does.
        for (int attempt = 0; attempt < 100; ++attempt) {
            c_.reset(xcb_connect(nullptr, nullptr));
            if (ok()) {
                break;
            }
            usleep(20000);
        }
        if (ok()) {
            savedMap_ = map();
            const Control k = control();
            savedNum_ = k.numerator;
            savedDen_ = k.denominator;
        }
    }
    ~X11Probe() {
        if (ok()) {
            xcb_set_pointer_mapping_reply_t* r = xcb_set_pointer_mapping_reply(
                c_.get(),
                xcb_set_pointer_mapping(c_.get(), static_cast<std::uint8_t>(savedMap_.size()),
                                        savedMap_.data()),
                nullptr);
            std::free(r);
            xcb_change_pointer_control(c_.get(), static_cast<std::int16_t>(savedNum_),
                                       static_cast<std::int16_t>(savedDen_), 0, 1, 0);
            std::free(xcb_get_input_focus_reply(c_.get(), xcb_get_input_focus(c_.get()), nullptr));
        }
    }
    bool ok() const { return c_ && !xcb_connection_has_error(c_.get()); }

    std::vector<std::uint8_t> map() {
        xcb_get_pointer_mapping_reply_t* r =
            xcb_get_pointer_mapping_reply(c_.get(), xcb_get_pointer_mapping(c_.get()), nullptr);
        std::vector<std::uint8_t> m;
        if (r) {
            const std::uint8_t* p = xcb_get_pointer_mapping_map(r);
            m.assign(p, p + xcb_get_pointer_mapping_map_length(r));
            std::free(r);
        }
        return m;
    }
    struct Control {
        int numerator, denominator, threshold;
    };
    Control control() {
        xcb_get_pointer_control_reply_t* r =
            xcb_get_pointer_control_reply(c_.get(), xcb_get_pointer_control(c_.get()), nullptr);
        Control out{0, 0, 0};
        if (r) {
            out = {r->acceleration_numerator, r->acceleration_denominator, r->threshold};
            std::free(r);
        }
        return out;
    }
    double factor() {
        Control k = control();
        return k.denominator ? static_cast<double>(k.numerator) / k.denominator : 0.0;
    }
    void setFactor(int numerator, int denominator) {
        std::free(xcb_request_check(
            c_.get(),
            xcb_change_pointer_control_checked(c_.get(), static_cast<std::int16_t>(numerator),
                                               static_cast<std::int16_t>(denominator), 0, 1, 0)));
    }

private:
    struct Disconnect {
        void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
    };
    std::unique_ptr<xcb_connection_t, Disconnect> c_;
    std::vector<std::uint8_t> savedMap_;
    int savedNum_ = 2, savedDen_ = 1;
};

} // namespace deskfake
