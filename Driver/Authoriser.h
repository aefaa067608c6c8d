// Who may control the driver: set its properties and hear its messages (which
// tell when buttons are pressed). Root always; otherwise the user of the
// active session on the seat, as logind says. On a system without logind
// there is no seat to ask: only root, unless the driver was started naming a
// user.
#pragma once

#include <memory>
#include <optional>
#include <sys/types.h>

namespace zed::driver {

class Authoriser {
public:
    virtual ~Authoriser();
    virtual bool mayControl(uid_t uid) = 0;
};

// What the seat authoriser needs to know of the system; the real one asks
// sd-login, tests give it a seat and users.
class SeatLookup {
public:
    virtual ~SeatLookup();
    // Whether logind runs (it always has seat0 then).
    virtual bool haveLogind() = 0;
    // The user of seat0's active session of class "user"; nothing when the
    // seat is idle, at a greeter, or unknown.
    virtual std::optional<uid_t> activeUser() = 0;
};

// sd-login behind it; `allowedUser` (the --user option) counts only when
// there is no logind.
std::unique_ptr<Authoriser> makeSeatAuthoriser(std::optional<uid_t> allowedUser);
std::unique_ptr<Authoriser> makeSeatAuthoriser(std::optional<uid_t> allowedUser,
                                               std::unique_ptr<SeatLookup> seat);
std::unique_ptr<SeatLookup> makeLogindSeatLookup();

} // namespace zed::driver
