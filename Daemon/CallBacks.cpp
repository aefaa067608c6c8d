#include "CallBacks.h"

#include "Application.h"
#include "HidUtils.h"
#include "Platform/core/ButtonMappings.h"
#include "Platform/core/DriverInterface.h"
#include "Platform/core/Log.h"
#include "Platform/dbus/Platform.h"
#include "Platform/overlay/SensDisplay.h"

#include <algorithm>
#include <limits>
#include <malloc.h>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

OSStatus SwitchEventsHandler(void*, void*, void*) {
    Application* app = Application::GetApp();
    if (!app->WaitForConsole()) {
        return 0; // quit while waiting
    }
    if (app->prefs) {
        app->prefs->ReadPrefs();
    }
    return 0;
}

OSErr HandleAEQuit(const void*, void*, long) {
    Application::GetApp()->Terminate();
    zed::Platform::current().process().exit(0);
    return 0;
}

void PrefNotifProc(void*, void*, const std::string&, const std::string&,
                   const zed::Dictionary* userInfo) {
    Application* app = Application::GetApp();
    if (app->prefs && userInfo) {
        app->prefs->ApplySettings(*userInfo);
    }
}

namespace {
// Device arrival and removal are handled alike: find the driver again.
void DeviceChanged(zed::ServiceIterator& iterator) {
    bool any = false;
    while (iterator.next() != 0) {
        any = true;
    }
    Application* app = Application::GetApp();
    if (!any || !app->IsLoggedIn()) {
        return;
    }
    app->driverService = FindCopperhound();
    if (app->driverService == 0) {
        return;
    }
    app->RegisterForDeviceNotif();
    if (app->prefs) {
        app->prefs->ReadPrefs();
    }
}
} // namespace

void DeviceAddedNotifProc(void*, zed::ServiceIterator& iterator) {
    DeviceChanged(iterator);
}

void DeviceRemovedNotifProc(void*, zed::ServiceIterator& iterator) {
    DeviceChanged(iterator);
}

namespace {

namespace buttons = zed::buttons;

// The most items of a key list typed for one message: a list that long is
// no shortcut, and typing it would hold up every other event.
constexpr std::size_t kMaxKeyItems = 256;
// Messages waiting behind the one at hand beyond which key lists are not
// typed: typing keeps pace with a button pressed by hand, not with a flood,
// and keys typed long after the press would land anywhere. Once skipping,
// the agent types again only when nothing waits any more: a flood is one
// burst with one message, not one each time the queue dips below this.
constexpr std::size_t kMaxWaitingMessages = 256;
// Steps merged before they go out even though more are waiting.
constexpr unsigned kMaxMergedSteps = 32;

// The overlay, from an overlay-begin message to an overlay-end message.
std::unique_ptr<zed::SensDisplay> sDrawer;

// Steps change the sensitivities at once, and are handed to the settings
// at once (written within the domains' deadline, however busy the loop).
// What they end at is drawn and sent once the loop has handled the messages
// already waiting, so a burst of steps costs one picture, one send and one
// write, and a key behind a step is typed first.
struct StepsOut {
    bool waiting = false;
    unsigned merged = 0;
    double values[2] = {0.0, 0.0};
    unsigned count = 0;
    zed::RunLoop::SourcePtr source;
};
StepsOut sSteps;

// Whether key lists are being skipped because the agent is far behind.
bool sSkippingKeys = false;

// True when the key list should be typed; says once a burst that it is not.
bool KeepingUp() {
    const std::size_t waiting = zed::Platform::current().registry().waitingMessages();
    if (sSkippingKeys) {
        sSkippingKeys = waiting > 0;
        if (!sSkippingKeys) {
            // Caught up: give back the heap the backlog took, which the
            // allocator would otherwise keep for good.
            malloc_trim(0);
        }
        return !sSkippingKeys;
    }
    if (waiting <= kMaxWaitingMessages) {
        return true;
    }
    sSkippingKeys = true;
    zed::logPlain("The mouse's messages arrive faster than their keys can be typed (%zu waiting); "
                  "not typing key lists until the agent has caught up.",
                  waiting);
    return false;
}

void SendSteps() {
    if (!sSteps.waiting) {
        return;
    }
    sSteps.waiting = false;
    sSteps.merged = 0;
    Preferences* prefs = Application::GetApp()->prefs.get();
    if (!prefs) {
        return;
    }
    if (prefs->otfsOverlay && sDrawer) {
        sDrawer->Draw(sSteps.values, sSteps.count);
    }
    prefs->SendSensToDriver();
}

void QueueSteps(const double* values, unsigned count) {
    if (Preferences* prefs = Application::GetApp()->prefs.get()) {
        prefs->SaveSensToPrefs();
    }
    std::copy(values, values + count, sSteps.values);
    sSteps.count = count;
    if (++sSteps.merged >= kMaxMergedSteps) {
        sSteps.waiting = true;
        SendSteps(); // a flood does not hold the end value back for long
        return;
    }
    if (!sSteps.waiting) {
        sSteps.waiting = true;
        // Without a loop source (reported) the steps go out at once.
        sSteps.source = zed::Platform::current().runLoop().addBeforeWait([] { SendSteps(); });
        if (!sSteps.source) {
            SendSteps();
        }
    }
}

void CloseOverlay() {
    if (sDrawer) {
        sDrawer->EndDraw();
        sDrawer.reset();
    }
}

// The decimal integer at the start of the text (after blanks, with an
// optional sign), 0 when there is none; saturated to 32 bits.
std::int32_t LeadingInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min<std::int64_t>(value * 10 + (text[i] - '0'),
                                       std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1);
    }
    value = negative ? -value : value;
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

// Calls f with the leading number of each item of a key list, in order.
// Stops after kMaxKeyItems items; returns how many it skipped.
template <typename F> std::size_t ForEachKeyItem(std::string_view list, F f) {
    std::size_t start = 0;
    for (std::size_t done = 0; done < kMaxKeyItems; ++done) {
        const std::size_t comma = list.find(buttons::kKeyListSeparator, start);
        f(LeadingInt(list.substr(start, comma - start)));
        if (comma == std::string_view::npos) {
            return 0;
        }
        start = comma + 1;
    }
    const auto more = std::count(list.begin() + start, list.end(), buttons::kKeyListSeparator);
    return static_cast<std::size_t>(more) + 1;
}

// Types a key list. A key combination is a chord: its modifier keys are held
// through one flags change while each of its other keys is pressed and
// released in turn, so "C, Control" types Control+C whatever the order of
// the items. Each item of a macro is a press or a release as it says.
void TypeKeyList(std::span<const std::uint8_t> bytes, std::uint8_t type, unsigned button) {
    if (!buttons::isAscii(bytes)) {
        zed::logPlain("Ignoring the key list of button %u: it is not ASCII text.", button + 1);
        return;
    }
    const std::string_view list(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    // A list without any text is one that was recorded empty: nothing to type.
    if (list.empty()) {
        return;
    }
    BeginHidKeySequence();
    std::size_t skipped = 0;
    if (type == buttons::kKeyMacro) {
        skipped = ForEachKeyItem(
            list, [](std::int32_t v) { DoHidKeyEvent(buttons::keyOf(v), v & 0xFFFF); });
    } else {
        // Whatever press or release bits an item carries, its low byte is the key.
        std::vector<std::uint8_t> keys;
        std::uint32_t modifiers = 0;
        skipped = ForEachKeyItem(list, [&](std::int32_t v) {
            const std::uint8_t key = buttons::keyOf(v);
            const std::uint32_t mask = ChordModifierMask(key);
            if (mask != 0) {
                modifiers |= mask;
            } else {
                keys.push_back(key);
            }
        });
        if (modifiers != 0) {
            HoldHidModifiers(modifiers);
        }
        for (std::uint8_t key : keys) {
            DoHidKeyEvent(key, buttons::kKeyPressAndRelease);
        }
    }
    EndHidKeySequence();
    if (skipped > 0) {
        zed::logPlain("Typed the first %zu keys of button %u's key list; skipped %zu more.",
                      kMaxKeyItems, button + 1, skipped);
    }
}

} // namespace

void SendWaitingSteps() {
    SendSteps();
}

void ResetDriverNotifProc() {
    sSteps = StepsOut{};
    sSkippingKeys = false;
    sDrawer.reset();
}

void DriverNotifProc(void*, zed::io_service_t, std::uint32_t messageType,
                     std::uint64_t messageArgument) {
    const auto word = zed::driver::MessageWord::decode(messageType);
    if (!word.acceptable() || messageArgument != 0) {
        return;
    }
    Application* app = Application::GetApp();
    Preferences* prefs = app->prefs.get();
    if (!prefs || !prefs->buttonMappings) {
        return;
    }
    // A button, element or type byte that the stored mappings do not have is
    // ignored like any other message that does not check out.
    if (word.button >= prefs->buttonMappings->size()) {
        return;
    }
    const zed::Data* element = (*prefs->buttonMappings)[word.button].asData();
    std::optional<buttons::Split> mapping;
    if (element) {
        mapping = buttons::split(*element);
    }
    // An advanced message acts on the second mapping.
    if (mapping && word.advanced) {
        mapping = buttons::split(mapping->payload);
    }
    if (!mapping) {
        return;
    }
    const std::uint8_t type = mapping->type;

    // Only a session at the console acts on the mouse: away, logged out or
    // gone, its keys and steps would reach another user. The session keeps
    // its state from its change signals, so this costs no round trip; still
    // looked at only for a message that would act.
    std::optional<bool> atConsole;
    auto inFront = [&] {
        if (!atConsole) {
            atConsole = app->IsLoggedIn();
        }
        return *atConsole;
    };

    if ((type == buttons::kKeyCombination || type == buttons::kKeyMacro) && KeepingUp() &&
        inFront()) {
        TypeKeyList(mapping->payload, type, word.button);
    }
    if (!prefs->otfsActive) {
        CloseOverlay(); // turned off while it showed
        return;
    }
    if (prefs->otfsOverlay) {
        if (word.overlayBegin) {
            CloseOverlay(); // a new begin replaces the overlay that shows
            if (inFront()) {
                // Null when the overlay module cannot be loaded (said once):
                // steps go on without a picture.
                sDrawer = zed::MakeSensDisplay();
                if (sDrawer) {
                    sDrawer->BeginDraw();
                }
            }
        } else if (word.overlayEnd) {
            CloseOverlay();
        }
    } else {
        CloseOverlay();
    }
    if (word.step == zed::driver::kStepNone ||
        (type != buttons::kAdvanced && type != buttons::kOnTheFlySensitivity) || !inFront()) {
        return;
    }
    const double step = word.step == zed::driver::kStepUp ? Preferences::kSensitivityStep
                                                          : -Preferences::kSensitivityStep;
    double values[2];
    unsigned count = 0;
    if (!prefs->perAxisSens) {
        values[count++] = prefs->SetSensitivity(prefs->sens[kSensOverall] + step, kSensOverall);
    } else {
        values[count++] = prefs->SetSensitivity(prefs->sens[kSensX] + step, kSensX);
        values[count++] = prefs->SetSensitivity(prefs->sens[kSensY] + step, kSensY);
    }
    QueueSteps(values, count);
}
