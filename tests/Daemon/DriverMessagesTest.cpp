#include "AgentFixture.h"
#include "Daemon/HidUtils.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <sys/epoll.h>
#include <unistd.h>

namespace zed::test {

using zed::Dictionary;
using zed::Value;

namespace {

zed::Data bytes(std::initializer_list<std::uint8_t> head, const std::string& text = {}) {
    zed::Data d(head);
    d.insert(d.end(), text.begin(), text.end());
    return d;
}

// The agent with a mouse and the given mappings applied.
class DriverMessages : public AgentTest {
protected:
    void SetUp() override {
        AgentTest::SetUp();
        driver = plugMouse();
        app = Application::GetApp();
        ASSERT_TRUE(app->IsLoggedIn());
        app->hidSystem = hidSystem;
        app->driverService = driver;
        app->prefs = std::make_unique<Preferences>();
        store = app->prefs.get();
    }

    void map(std::vector<zed::Data> elements, Dictionary more = {}) {
        zed::Array a;
        for (auto& e : elements) {
            a.emplace_back(std::move(e));
        }
        more["ButtonMappings"] = Value(std::move(a));
        store->SendPrefsToDriver(&more);
        calls = registry->setCalls().size();
    }
    // One message, and whatever it left for the loop to finish.
    void message(std::uint32_t word, std::uint64_t argument = 0) {
        queued(word, argument);
        idle();
    }
    // A message handled while more wait: the loop goes on to the next at once.
    void queued(std::uint32_t word, std::uint64_t argument = 0) {
        DriverNotifProc(nullptr, driver, word, argument);
    }
    // Runs the loop until it would wait.
    void idle() {
        while (platform->runLoop().runOnce(0)) {
        }
    }
    // Runs the loop until the settings are written (false after 5 s).
    bool written(int before) {
        for (int i = 0; i < 50 && prefs->writeCount() == before; ++i) {
            platform->runLoop().runOnce(0.1);
        }
        return prefs->writeCount() > before;
    }
    std::vector<std::pair<std::uint32_t, std::uint16_t>> keys() const {
        std::vector<std::pair<std::uint32_t, std::uint16_t>> out;
        for (const auto& e : hid->events) {
            out.emplace_back(e.type, e.type == zed::NX_FLAGSCHANGED ? 0 : e.data.keyCode());
        }
        return out;
    }
    // Each event as "down 8", "up 8" or "flags 0x40000" (a global flags change).
    std::vector<std::string> typed() const {
        std::vector<std::string> out;
        for (const auto& e : hid->events) {
            char text[48];
            if (e.type == zed::NX_FLAGSCHANGED) {
                std::snprintf(text, sizeof text, "flags 0x%x%s", e.flags,
                              e.options == zed::kIOHIDSetGlobalEventFlags ? "" : " (not global)");
            } else {
                std::snprintf(text, sizeof text, "%s %u", e.type == zed::NX_KEYDOWN ? "down" : "up",
                              e.data.keyCode());
            }
            out.emplace_back(text);
        }
        return out;
    }
    std::size_t newSetCalls() const { return registry->setCalls().size() - calls; }
    Dictionary storedSens() {
        Dictionary d = storedDomain();
        Dictionary out;
        for (zed::settings::Key key : zed::settings::kSensitivityKeys) {
            const char* k = zed::settings::name(key);
            if (d.count(k)) {
                out[k] = d[k];
            }
        }
        return out;
    }

    Application* app = nullptr;
    Preferences* store = nullptr;
    zed::io_service_t driver = 0;
    std::size_t calls = 0;
};

constexpr std::uint32_t KD = zed::NX_KEYDOWN;
constexpr std::uint32_t KU = zed::NX_KEYUP;
constexpr std::uint32_t FC = zed::NX_FLAGSCHANGED;
using Typed = std::vector<std::string>;

} // namespace

TEST_F(DriverMessages, TheAgentRegistersForTheDriversMessages) {
    app->Init();
    store = app->prefs.get();
    ASSERT_EQ(registry->interestWatchers(driver), 1);
    map({bytes({3}, "55,8")});
    registry->sendMessage(driver, 0x000);
    EXPECT_EQ(typed(), (Typed{"flags 0x100000", "down 8", "up 8", "flags 0x0"}))
        << "the registered handler typed the keys";
}

TEST_F(DriverMessages, AKeyCombinationHoldsItsModifiersWhileItsKeyIsTyped) {
    // Control+C as stored without press bits, key first.
    map({bytes({0}), bytes({3}, "8,59")});
    message(0x0100);
    EXPECT_EQ(typed(), (Typed{"flags 0x40000", "down 8", "up 8", "flags 0x0"}));
    EXPECT_EQ(gModifiers, 0u);
    EXPECT_EQ(newSetCalls(), 0u);

    // As the assign-key panel records it: key and modifiers with the press bit.
    hid->events.clear();
    map({bytes({3}, "512,567")});
    message(0);
    EXPECT_EQ(typed(), (Typed{"flags 0x100000", "down 0", "up 0", "flags 0x0"}));

    // Modifiers before the key, and items carrying the release bit, count alike.
    hid->events.clear();
    map({bytes({3}, "55,312,8")});
    message(0);
    EXPECT_EQ(typed(), (Typed{"flags 0x120000", "down 8", "up 8", "flags 0x0"}));
}

TEST_F(DriverMessages, RightHandModifiersOfACombinationHoldTheirLeftTwinsMasks) {
    map({bytes({3}, "8,54,60,61,62,57")});
    message(0);
    EXPECT_EQ(typed(), (Typed{"flags 0x1f0000", "down 8", "up 8", "flags 0x0"}));
    hid->events.clear();
    map({bytes({3}, "572")}); // right Shift alone
    message(0);
    EXPECT_EQ(typed(), (Typed{"flags 0x20000", "flags 0x0"}));
}

TEST_F(DriverMessages, ACombinationTypesItsPlainKeysInOrderUnderOneFlagsChange) {
    map({bytes({3}, "0,56,1,59,11")});
    message(0);
    EXPECT_EQ(typed(), (Typed{"flags 0x60000", "down 0", "up 0", "down 1", "up 1", "down 11",
                              "up 11", "flags 0x0"}));
    // Only modifiers: they are held and let go, nothing else is typed.
    hid->events.clear();
    map({bytes({3}, "567,568")});
    message(0);
    EXPECT_EQ(typed(), (Typed{"flags 0x120000", "flags 0x0"}));
}

TEST_F(DriverMessages, MacroItemsOfRightHandModifiersStayPlainKeys) {
    map({bytes({4}, "566,572,520,264,316,310")});
    message(0);
    EXPECT_EQ(typed(),
              (Typed{"down 54", "down 60", "down 8", "up 8", "up 60", "up 54", "flags 0x0"}));
}

TEST_F(DriverMessages, AMacroReplaysPressesAndReleasesThenResetsTheModifiers) {
    map({bytes({4}, "567,520,264,311")});
    message(0x0000);
    ASSERT_EQ(hid->events.size(), 5u);
    EXPECT_EQ(hid->events[0].type, FC);
    EXPECT_EQ(hid->events[0].flags, 0x100000u);
    EXPECT_EQ(keys()[1], (std::pair<std::uint32_t, std::uint16_t>{KD, 8}));
    EXPECT_EQ(keys()[2], (std::pair<std::uint32_t, std::uint16_t>{KU, 8}));
    EXPECT_EQ(hid->events[3].flags, 0u);
    EXPECT_EQ(hid->events[4].type, FC);
    EXPECT_EQ(hid->events[4].options, 1u);
    EXPECT_EQ(gModifiers, 0u);
}

TEST_F(DriverMessages, OddKeyListItemsTypeWhatTheirLeadingNumberSays) {
    // "x" and "" read as 0; " 9z" as 9; an oversized number saturates, then its low byte counts.
    map({bytes({3}, "x,, 9z,99999999999")});
    message(0);
    EXPECT_EQ(keys(), (std::vector<std::pair<std::uint32_t, std::uint16_t>>{{KD, 0},
                                                                            {KU, 0},
                                                                            {KD, 0},
                                                                            {KU, 0},
                                                                            {KD, 9},
                                                                            {KU, 9},
                                                                            {KD, 0xFF},
                                                                            {KU, 0xFF},
                                                                            {FC, 0}}));
    hid->events.clear();
    map({bytes({4}, "x,520")}); // a macro item of 0 has no press or release flag
    message(0);
    EXPECT_EQ(keys(), (std::vector<std::pair<std::uint32_t, std::uint16_t>>{{KD, 8}, {FC, 0}}));
}

TEST_F(DriverMessages, EmptyOrNonAsciiListsTypeNothingAndListsWithinTheLimitTypeCompletely) {
    map({bytes({3}), bytes({4}, "\xC3\xA9")});
    message(0x000);
    testing::internal::CaptureStderr();
    message(0x100);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("not ASCII"), std::string::npos);
    EXPECT_TRUE(hid->events.empty());

    std::string list;
    for (int i = 0; i < 256; ++i) {
        list += (i ? "," : "") + std::to_string(0x200 + (i % 50));
    }
    map({bytes({4}, list)});
    message(0);
    ASSERT_EQ(hid->events.size(), 257u);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(hid->events[i].data.keyCode(), i % 50) << i;
    }
}

TEST_F(DriverMessages, MessagesThatDoNotCheckOutDoNothing) {
    map({bytes({3}, "8"), bytes({7})}, {{"Sensitivity", Value(5.0)}});
    for (std::uint32_t word : {0x102u, 0x0701u, 0x20000u | 0x0700u}) {
        message(word);
    }
    message(0x0000, 0xDEADBEEF); // a non-null argument
    EXPECT_TRUE(hid->events.empty());
    EXPECT_EQ(newSetCalls(), 0u);
    EXPECT_TRUE(overlays.windows().empty());
    // Buttons the stored mappings lack, and a type byte beyond the element.
    message(0x0601);
    message(0x10000 | 0x0101);
    EXPECT_EQ(newSetCalls(), 0u);
    EXPECT_EQ(store->sens[0], 5.0);
}

TEST_F(DriverMessages, WithoutMappingsEveryMessageIsIgnored) {
    message(0x0301);
    EXPECT_EQ(registry->setCalls().size(), 0u);
}

TEST_F(DriverMessages, AStepOnAnOnTheFlyButtonClampsDrawsSendsAndSaves) {
    map({bytes({0}), bytes({1}), bytes({5}), bytes({7})}, {{"Sensitivity", Value(10.0)}});
    message(0x20000 | 0x0300); // begin
    EXPECT_TRUE(overlays.windows().empty()) << "the window comes with the first picture";
    message(0x0301);
    EXPECT_EQ(store->sens[kSensOverall], 10.0);
    ASSERT_EQ(overlays.windows().size(), 1u);
    EXPECT_EQ(overlays.windows()[0]->width, 26) << "one value drawn";
    EXPECT_EQ(lastSet(driver), (Dictionary{{"Sensitivity", Value(655360)},
                                           {"MasterSensitivityX", Value(0)},
                                           {"MasterSensitivityY", Value(0)}}));
    EXPECT_EQ(storedSens(), (Dictionary{{"Sensitivity", Value(10.0)},
                                        {"MasterSensitivityX", Value(0.0)},
                                        {"MasterSensitivityY", Value(0.0)}}));
    message(0x40000 | 0x0300); // end
    EXPECT_EQ(overlays.openWindows(), 0);
}

TEST_F(DriverMessages, PerAxisStepsChangeXThenYAndDrawBoth) {
    map({bytes({0}), bytes({0}), bytes({0}), bytes({6})}, {{"MasterSensitivityOn", Value(0)},
                                                           {"MasterSensitivityX", Value(1.1)},
                                                           {"MasterSensitivityY", Value(5.0)},
                                                           {"Sensitivity", Value(3.0)}});
    message(0x20000 | 0x03FF);
    EXPECT_EQ(store->sens[kSensX], 1.0);
    EXPECT_DOUBLE_EQ(store->sens[kSensY], 4.8);
    EXPECT_EQ(store->sens[kSensOverall], 3.0);
    ASSERT_EQ(overlays.windows().size(), 1u);
    EXPECT_EQ(overlays.windows()[0]->width, 46);
    EXPECT_EQ(newSetCalls(), 1u);
}

TEST_F(DriverMessages, AnAdvancedButtonTypesItsNestedKeysAndStepsWithoutTheBit) {
    map({bytes({0}), bytes({6, 3}, "55,8")}, {{"Sensitivity", Value(5.0)}});
    message(0x10000 | 0x0101); // advanced bit with a step: keys typed, no step (type 3)
    EXPECT_EQ(typed(), (Typed{"flags 0x100000", "down 8", "up 8", "flags 0x0"}));
    EXPECT_EQ(store->sens[0], 5.0);
    message(0x0101);
    EXPECT_DOUBLE_EQ(store->sens[0], 5.2);
    EXPECT_EQ(keys().size(), 4u);
}

TEST_F(DriverMessages, OnTheFlyOffStillTypesButIgnoresOverlayAndSteps) {
    map({bytes({3}, "8"), bytes({7})}, {{"Otfs", Value(1)}, {"Sensitivity", Value(5.0)}});
    message(0x20000 | 0x0000);
    EXPECT_EQ(keys().size(), 3u);
    message(0x20000 | 0x0101);
    EXPECT_EQ(store->sens[0], 5.0);
    EXPECT_EQ(newSetCalls(), 0u);
    EXPECT_TRUE(overlays.windows().empty());
}

TEST_F(DriverMessages, OverlayOffStillStepsSendsAndSaves) {
    map({bytes({7})}, {{"OtfsOnScreen", Value(0)}, {"Sensitivity", Value(5.0)}});
    message(0x20000 | 0x0001);
    EXPECT_DOUBLE_EQ(store->sens[0], 5.2);
    EXPECT_EQ(newSetCalls(), 1u);
    EXPECT_DOUBLE_EQ(*storedDomain().at("Sensitivity").toDouble(), 5.2);
    EXPECT_TRUE(overlays.windows().empty());
}

TEST_F(DriverMessages, ANewBeginReplacesTheOverlayAndTurningItOffClosesIt) {
    map({bytes({7})}, {{"Sensitivity", Value(5.0)}});
    message(0x20001);
    message(0x20001);
    ASSERT_EQ(overlays.windows().size(), 2u);
    EXPECT_TRUE(overlays.windows()[0]->closed) << "the old window closes";
    EXPECT_EQ(overlays.openWindows(), 1);

    Dictionary off{{"OtfsOnScreen", Value(0)}};
    store->SendPrefsToDriver(&off);
    message(0x0000);
    EXPECT_EQ(overlays.openWindows(), 0) << "no window is left without an end";

    Dictionary on{{"OtfsOnScreen", Value(1)}};
    store->SendPrefsToDriver(&on);
    message(0x20001);
    EXPECT_EQ(overlays.openWindows(), 1);
    Dictionary inactive{{"Otfs", Value(1)}};
    store->SendPrefsToDriver(&inactive);
    message(0x0000);
    EXPECT_EQ(overlays.openWindows(), 0);
}

TEST_F(DriverMessages, AwayLoggedOutOrGoneTheAgentTypesAndStepsNothing) {
    map({bytes({3}, "8,59"), bytes({7}), bytes({4}, "520,264")}, {{"Sensitivity", Value(5.0)}});
    const Dictionary stored = storedSens();
    const std::pair<const char*, std::function<void()>> states[] = {
        {"away", [&] { session->setSession("alice", 501, true, false); }},
        {"logged out", [&] { session->setSession("alice", 501, false, true); }},
        {"gone", [&] { session->setSession(std::nullopt); }},
    };
    for (const auto& [name, leave] : states) {
        leave();
        testing::internal::CaptureStdout();
        message(0x0000);           // key combination
        message(0x0200);           // macro
        message(0x20000 | 0x0101); // overlay begin and a step up
        message(0x0101);           // another step
        message(0x40000 | 0x0100); // overlay end
        testing::internal::GetCapturedStdout();
        EXPECT_TRUE(hid->events.empty()) << name;
        EXPECT_EQ(store->sens[kSensOverall], 5.0) << name;
        EXPECT_EQ(newSetCalls(), 0u) << name;
        EXPECT_EQ(storedSens(), stored) << name;
        EXPECT_TRUE(overlays.windows().empty()) << name;
    }
    // Back at the console: typing and stepping work again.
    session->setSession("alice", 501, true, true);
    message(0x0000);
    EXPECT_EQ(typed(), (Typed{"flags 0x40000", "down 8", "up 8", "flags 0x0"}));
    message(0x20000 | 0x0101);
    EXPECT_DOUBLE_EQ(store->sens[kSensOverall], 5.2);
    EXPECT_EQ(newSetCalls(), 1u);
    EXPECT_EQ(overlays.openWindows(), 1);
}

TEST_F(DriverMessages, AnOverlayOpenWhenTheSessionLeavesStillClosesAtItsEnd) {
    map({bytes({7})}, {{"Sensitivity", Value(5.0)}});
    message(0x20000 | 0x0001);
    ASSERT_EQ(overlays.openWindows(), 1);
    session->setSession("alice", 501, true, false);
    message(0x0001);
    EXPECT_DOUBLE_EQ(store->sens[kSensOverall], 5.2) << "no step while away";
    EXPECT_EQ(overlays.windows().size(), 1u);
    message(0x40000);
    EXPECT_EQ(overlays.openWindows(), 0);
}

// Steps that wait in the queue behind each other end where stepping one by
// one ends (clamped at every step), and go out once: one send, one picture of
// the end value, one write.
TEST_F(DriverMessages, QueuedStepsAreMergedIntoTheEndValueOfSteppingOneByOne) {
    const std::vector<std::uint32_t> steps = {0x0301, 0x0301, 0x0301, 0x03FF, 0x03FF,
                                              0x0301, 0x0301, 0x0301, 0x03FF};
    map({bytes({0}), bytes({0}), bytes({0}), bytes({7})}, {{"Sensitivity", Value(9.6)}});
    message(0x20000 | 0x0300);
    for (std::uint32_t word : steps) {
        message(word);
    }
    const double oneByOne = store->sens[kSensOverall];
    const std::size_t sendsOneByOne = newSetCalls();
    message(0x40000 | 0x0300);
    EXPECT_EQ(sendsOneByOne, steps.size());

    map({bytes({0}), bytes({0}), bytes({0}), bytes({7})}, {{"Sensitivity", Value(9.6)}});
    platform->writePreferencesSoon(); // as the agent's main does
    const int writes = prefs->writeCount();
    message(0x20000 | 0x0300);
    for (std::uint32_t word : steps) {
        queued(word);
    }
    EXPECT_EQ(newSetCalls(), 0u) << "sent before the queue was through";
    idle();
    EXPECT_DOUBLE_EQ(store->sens[kSensOverall], oneByOne);
    EXPECT_EQ(newSetCalls(), 1u);
    ASSERT_TRUE(written(writes));
    EXPECT_EQ(lastSet(driver).at("Sensitivity"), Value(zed::Value(FixedFromDouble(oneByOne))));
    EXPECT_DOUBLE_EQ(*storedDomain().at("Sensitivity").toDouble(), oneByOne);
    EXPECT_EQ(prefs->writeCount(), writes + 1);

    // The picture shown is the end value's: the same as a single step to it.
    ASSERT_EQ(overlays.windows().size(), 2u);
    const auto merged = overlays.windows()[1]->pictures;
    ASSERT_EQ(merged.size(), 1u) << "one picture for the whole burst";
    EXPECT_EQ(merged.back().pixels, overlays.windows()[0]->pictures.back().pixels);
}

TEST_F(DriverMessages, AKeyListIsTypedUpToItsLimitWithOneMessageForTheRest) {
    auto repeated = [](const char* item, int n) {
        std::string list = item;
        for (int i = 1; i < n; ++i) {
            list += std::string(",") + item;
        }
        return list;
    };
    // Chords of plain keys press and release each; macro items of key 8 pressed.
    map({bytes({3}, repeated("8", 256)), bytes({4}, repeated("520", 256)),
         bytes({3}, repeated("8", 300)), bytes({4}, repeated("520", 300))});
    testing::internal::CaptureStderr();
    message(0x0000);
    message(0x0100);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(keys().size(), (256u * 2 + 1) + (256u + 1));
    EXPECT_TRUE(err.empty()) << "256 items are typed without a word: " << err;

    for (std::uint32_t word : {0x0200u, 0x0300u}) {
        hid->events.clear();
        testing::internal::CaptureStderr();
        message(word);
        err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(keys().size(), word == 0x0200 ? 256u * 2 + 1 : 256u + 1);
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find("44"), std::string::npos) << "says how many were skipped: " << err;
    }
}

// Far behind the mouse, the agent skips typing (with one message a burst)
// rather than type for long after the flood; steps and overlay still count.
TEST_F(DriverMessages, FarBehindTheMouseKeysAreSkippedButStepsAndTheOverlayCount) {
    map({bytes({3}, "8"), bytes({7})}, {{"Sensitivity", Value(5.0)}});
    registry->backlog = 257;
    testing::internal::CaptureStderr();
    message(0x0000);
    message(0x0000);
    message(0x20101); // overlay begin and a step
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(hid->events.empty());
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_DOUBLE_EQ(store->sens[kSensOverall], 5.2);
    EXPECT_EQ(overlays.openWindows(), 1);

    registry->backlog = 0;
    message(0x0000);
    EXPECT_EQ(keys().size(), 3u) << "typed again once the queue has drained";
    registry->backlog = 1000;
    testing::internal::CaptureStderr();
    message(0x0000);
    err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << "a new burst is told again: " << err;
    EXPECT_EQ(keys().size(), 3u);
}

// One flood, one message: once skipping, keys are typed again only when no
// message waits any more, however far the queue dips meanwhile.
TEST_F(DriverMessages, SkippingLastsUntilTheQueueHasDrained) {
    map({bytes({3}, "8")});
    struct Message {
        std::size_t waiting;
        bool typed;
    };
    const Message flood[] = {{100, true}, {257, false}, {256, false}, {3, false},
                             {1, false},  {300, false}, {0, true},    {256, true},
                             {1, true},   {257, false}, {0, true}};
    testing::internal::CaptureStderr();
    for (const Message& m : flood) {
        const std::size_t before = keys().size();
        registry->backlog = m.waiting;
        message(0x0000);
        EXPECT_EQ(keys().size() > before, m.typed) << m.waiting << " waiting";
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << "one line per burst: " << err;
}

// Under a flood of steps the loop is never idle, yet the settings file holds
// the steps within the write deadline. The flood is a source that is always
// ready; it stops at the first write, which must hold every step so far.
TEST_F(DriverMessages, AFloodOfStepsIsWrittenWithoutWaitingForAnIdleLoop) {
    map({bytes({0}), bytes({7})}, {{"Sensitivity", Value(5.0)}});
    platform->writePreferencesSoon(); // as the agent's main does
    message(0x0100);                  // button 2's first message: nothing to write
    const int writes = prefs->writeCount();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "x", 1), 1); // readable until the end of the test
    long steps = 0;
    auto source = platform->runLoop().addFd(fds[0], EPOLLIN, [&](std::uint32_t) {
        // Up and down in turn: the value stays inside the range, and which
        // step was last says what the file must hold.
        queued(steps % 2 == 0 ? 0x0101 : 0x01FF);
        ++steps;
    });
    ASSERT_TRUE(source);
    // The bound only ends a failing run; a passing one stops at the write.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (prefs->writeCount() == writes && std::chrono::steady_clock::now() < giveUp) {
        platform->runLoop().runOnce(1.0);
    }
    source.reset();
    close(fds[0]);
    close(fds[1]);
    ASSERT_GT(prefs->writeCount(), writes) << "no write during " << steps << " steps";
    EXPECT_GT(steps, 1) << "the flood was running";
    EXPECT_DOUBLE_EQ(*storedDomain().at("Sensitivity").toDouble(), store->sens[kSensOverall])
        << "the file holds every step made before the write";
}

} // namespace zed::test
