// Who the seat authoriser lets control the driver, with a seat of the test's
// own: root always, the active seat user while active, and without logind only
// the user the driver was started with.
#include "Driver/Authoriser.h"

#include <gtest/gtest.h>

namespace zed::test {
using namespace zed::driver;

namespace {

constexpr uid_t kAlice = 1000;
constexpr uid_t kBob = 1001;

struct Seat {
    bool logind = true;
    std::optional<uid_t> active;
};

class FakeSeat : public SeatLookup {
public:
    explicit FakeSeat(const Seat& seat) : seat_(seat) {}
    bool haveLogind() override { return seat_.logind; }
    std::optional<uid_t> activeUser() override { return seat_.active; }

private:
    const Seat& seat_;
};

struct Case {
    const char* what;
    Seat seat;
    std::optional<uid_t> allowedUser;
    bool root, alice, bob;
};

TEST(SeatAuthoriserTest, RootTheActiveSeatUserAndWithoutLogindTheNamedUser) {
    const Case cases[] = {
        {"Alice at the seat", {true, kAlice}, std::nullopt, true, true, false},
        {"an idle seat or a greeter", {true, std::nullopt}, std::nullopt, true, false, false},
        {"the named user counts only without logind", {true, kAlice}, kBob, true, true, false},
        {"no logind, nobody named", {false, std::nullopt}, std::nullopt, true, false, false},
        {"no logind, Bob named", {false, std::nullopt}, kBob, true, false, true},
    };
    for (const Case& c : cases) {
        auto authoriser = makeSeatAuthoriser(c.allowedUser, std::make_unique<FakeSeat>(c.seat));
        EXPECT_EQ(authoriser->mayControl(0), c.root) << c.what;
        EXPECT_EQ(authoriser->mayControl(kAlice), c.alice) << c.what;
        EXPECT_EQ(authoriser->mayControl(kBob), c.bob) << c.what;
    }
}

TEST(SeatAuthoriserTest, TheSeatIsAskedAtEachCall) {
    Seat seat{true, kAlice};
    auto authoriser = makeSeatAuthoriser(std::nullopt, std::make_unique<FakeSeat>(seat));
    EXPECT_TRUE(authoriser->mayControl(kAlice));
    seat.active = kBob; // a user switch
    EXPECT_FALSE(authoriser->mayControl(kAlice));
    EXPECT_TRUE(authoriser->mayControl(kBob));
    seat.logind = false; // logind stopped: nobody but root was named
    EXPECT_FALSE(authoriser->mayControl(kBob));
    EXPECT_TRUE(authoriser->mayControl(0));
}

} // namespace
} // namespace zed::test
