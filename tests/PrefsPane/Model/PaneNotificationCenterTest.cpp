#include "PrefsPane/Model/PaneNotificationCenter.h"

#include "Platform/core/Value.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace zed::test {
namespace {

TEST(PaneNotificationCenter, ObserversGetNotificationsOfTheirNameInOrder) {
    PaneNotificationCenter center;
    std::vector<std::string> seen;
    auto a = center.addObserver(
        "PrefsChange", [&](const PaneNotification& n) { seen.push_back("a:" + n.name()); });
    auto b = center.addObserver(
        "Other", [&](const PaneNotification& n) { seen.push_back("b:" + n.name()); });
    auto any = center.addObserver(
        "", [&](const PaneNotification& n) { seen.push_back("any:" + n.name()); });
    center.post("PrefsChange");
    center.post("Other");
    EXPECT_EQ(seen, (std::vector<std::string>{"a:PrefsChange", "any:PrefsChange", "b:Other",
                                              "any:Other"}));
}

TEST(PaneNotificationCenter, ObjectIsReadableByItsType) {
    PaneNotificationCenter center;
    std::optional<Dictionary> got;
    bool wrongTypeIsNull = false;
    auto r = center.addObserver("PrefsChange", [&](const PaneNotification& n) {
        if (const Dictionary* d = n.objectAs<Dictionary>()) {
            got = *d;
        }
        wrongTypeIsNull = n.objectAs<std::string>() == nullptr;
    });
    const Dictionary prefs{{"Orientation", Value(std::int32_t{1})}};
    center.post("PrefsChange", prefs);
    EXPECT_EQ(got, prefs);
    EXPECT_TRUE(wrongTypeIsNull);

    got.reset();
    center.post("PrefsChange", &prefs);
    EXPECT_EQ(got, prefs) << "also when posted as a pointer";

    got.reset();
    center.post("PrefsChange");
    EXPECT_FALSE(got) << "no object";
}

TEST(PaneNotificationCenter, RegistrationEndsWithItsHandle) {
    PaneNotificationCenter center;
    int calls = 0;
    {
        auto r = center.addObserver("X", [&](const PaneNotification&) { ++calls; });
        EXPECT_TRUE(r.active());
        EXPECT_EQ(center.observerCount(), 1u);
        center.post("X");
    }
    EXPECT_EQ(center.observerCount(), 0u);
    center.post("X");
    EXPECT_EQ(calls, 1);

    auto moved = center.addObserver("X", [&](const PaneNotification&) { ++calls; });
    PaneNotificationCenter::Registration kept = std::move(moved);
    EXPECT_FALSE(moved.active());
    EXPECT_TRUE(kept.active());
    center.post("X");
    EXPECT_EQ(calls, 2);
    kept.reset();
    EXPECT_FALSE(kept.active());
}

TEST(PaneNotificationCenter, ObserversMayUnregisterDuringDelivery) {
    PaneNotificationCenter center;
    std::vector<std::string> seen;
    PaneNotificationCenter::Registration second;
    PaneNotificationCenter::Registration first;
    first = center.addObserver("X", [&](const PaneNotification&) {
        seen.push_back("first");
        second.reset(); // the later observer is not called any more
        first.reset();  // nor this one next time
    });
    second = center.addObserver("X", [&](const PaneNotification&) { seen.push_back("second"); });
    center.post("X");
    center.post("X");
    EXPECT_EQ(seen, std::vector<std::string>{"first"});
}

} // namespace
} // namespace zed::test
