#include "Authoriser.h"

#include <cstdlib>
#include <cstring>
#include <systemd/sd-login.h>

namespace zed::driver {

Authoriser::~Authoriser() = default;
SeatLookup::~SeatLookup() = default;

namespace {

constexpr const char* kSeat = "seat0";

class LogindSeat : public SeatLookup {
public:
    bool haveLogind() override {
        // logind creates seat0 as it starts; an empty seat folder is left
        // behind by a system that ran it once, or by a container.
        char** seats = nullptr;
        const int n = sd_get_seats(&seats);
        bool found = false;
        for (int i = 0; i < n; ++i) {
            found = found || std::strcmp(seats[i], kSeat) == 0;
            std::free(seats[i]);
        }
        std::free(seats);
        return found;
    }

    std::optional<uid_t> activeUser() override {
        char* session = nullptr;
        uid_t uid = 0;
        if (sd_seat_get_active(kSeat, &session, &uid) < 0 || !session) {
            std::free(session);
            return std::nullopt;
        }
        // A greeter's or a lock screen's user is not the one at the seat.
        char* sessionClass = nullptr;
        const bool user = sd_session_get_class(session, &sessionClass) >= 0 && sessionClass &&
                          std::strcmp(sessionClass, "user") == 0 &&
                          sd_session_is_active(session) > 0;
        std::free(sessionClass);
        std::free(session);
        if (!user) {
            return std::nullopt;
        }
        return uid;
    }
};

class SeatAuthoriser : public Authoriser {
public:
    SeatAuthoriser(std::optional<uid_t> allowedUser, std::unique_ptr<SeatLookup> seat)
        : allowedUser_(allowedUser), seat_(std::move(seat)) {}

    bool mayControl(uid_t uid) override {
        if (uid == 0) {
            return true;
        }
        // Asked each time: the seat changes hands at a user switch.
        if (seat_->haveLogind()) {
            return seat_->activeUser() == uid;
        }
        return allowedUser_ == uid;
    }

private:
    std::optional<uid_t> allowedUser_;
    std::unique_ptr<SeatLookup> seat_;
};

} // namespace

std::unique_ptr<SeatLookup> makeLogindSeatLookup() {
    return std::make_unique<LogindSeat>();
}

std::unique_ptr<Authoriser> makeSeatAuthoriser(std::optional<uid_t> allowedUser) {
    return makeSeatAuthoriser(allowedUser, makeLogindSeatLookup());
}

std::unique_ptr<Authoriser> makeSeatAuthoriser(std::optional<uid_t> allowedUser,
                                               std::unique_ptr<SeatLookup> seat) {
    return std::make_unique<SeatAuthoriser>(allowedUser, std::move(seat));
}

} // namespace zed::driver
