// Qt ends the process with an abort when its X platform cannot reach the
// display. Before the application starts, this connects to the display
// itself: with a few tries, as a display that has just lost its last client
// refuses connections while it resets, and holding that connection until Qt
// has its own, so that no such reset comes between. When the display cannot
// be reached, it says why, and the program ends with a message, not an abort.
#pragma once

#include <memory>
#include <string>

struct xcb_connection_t;

namespace zed {

class DisplayHold {
public:
    // Connects unless Qt is to use another platform than X (QT_QPA_PLATFORM,
    // or a Wayland session without DISPLAY), which it reports on its own.
    DisplayHold();
    ~DisplayHold();
    DisplayHold(const DisplayHold&) = delete;
    DisplayHold& operator=(const DisplayHold&) = delete;

    // Whether Qt can start: the display was reached, or is not ours to check.
    bool usable() const { return why_.empty(); }
    // Why the display cannot be used, for the message.
    const std::string& why() const { return why_; }
    // Lets the display go, once Qt holds its own connection.
    void release();

private:
    struct Disconnect {
        void operator()(xcb_connection_t* c) const;
    };
    std::unique_ptr<xcb_connection_t, Disconnect> connection_;
    std::string why_;
};

} // namespace zed
