#include "Driver/Transform.h"

#include "Driver/Acceleration.h"
#include "Platform/core/ButtonMappings.h"
#include "Platform/core/DriverInterface.h"

#include <algorithm>
#include <cmath>
#include <linux/input-event-codes.h>

namespace zed::driver {

namespace {

// Motion and wheel amounts beyond these per frame are clamped before scaling,
// so the fixed-point products stay in 64 bits. No mouse comes near them.
constexpr std::int64_t kMaxMotion = 1 << 20;
constexpr std::int64_t kMaxWheelUnits = 1 << 20;
constexpr std::int32_t kDetent = 120;
// Steps sent for one frame at most: a flicked wheel must not flood the agent.
constexpr std::int64_t kMaxStepsPerFrame = 8;
constexpr std::int64_t kUnitGain = 65536;

// num / den rounded to the nearest integer (halves up), den > 0.
std::int64_t roundDiv(std::int64_t num, std::int64_t den) {
    const std::int64_t shifted = num + den / 2;
    std::int64_t q = shifted / den;
    if (shifted % den != 0 && shifted < 0) {
        --q;
    }
    return q;
}

// The settings hold speeds within their bounds already.
std::int64_t speedFactor(double tenths) {
    return std::llround(tenths * 65536.0);
}

bool sameSign(std::int64_t a, std::int64_t b) {
    return (a >= 0) == (b >= 0);
}

} // namespace

Transform::Transform(DriverSettings settings)
    : vertical_{REL_WHEEL, REL_WHEEL_HI_RES}, horizontal_{REL_HWHEEL, REL_HWHEEL_HI_RES} {
    setSettings(settings);
}

void Transform::setSettings(const DriverSettings& settings) {
    xFactor_ = speedFactor(settings.sensitivityForX());
    yFactor_ = speedFactor(settings.sensitivityForY());
    acceleration_ = 0.0;
    if (settings.accelerates() && settings.acceleration > 0.0) {
        acceleration_ = settings.acceleration;
    }
    const std::int64_t wheelFactor = speedFactor(settings.scrollWheelSpeed);
    if (wheelFactor != wheelFactor_) {
        // A partial detent of the old speed means nothing at the new one.
        vertical_.remainder = vertical_.accumulated = 0;
        horizontal_.remainder = horizontal_.accumulated = 0;
        wheelFactor_ = wheelFactor;
    }

    const auto& mappings = settings.buttonMappings;
    bool primary = false;
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        const auto own = static_cast<std::uint16_t>(BTN_LEFT + i);
        ButtonAction a{Action::kClick, own};
        const auto mapping = i < mappings.size() ? buttons::split(mappings[i]) : std::nullopt;
        if (mapping) {
            switch (mapping->type) {
            case buttons::kPrimaryClick:
                a.code = BTN_LEFT;
                break;
            case buttons::kSecondaryClick:
                a.code = BTN_RIGHT;
                break;
            case buttons::kMiddleClick:
                a.code = BTN_MIDDLE;
                break;
            case buttons::kKeyCombination:
            case buttons::kKeyMacro:
                a.action = Action::kWord;
                break;
            case buttons::kAdvanced:
                if (settings.onTheFly()) {
                    a.action = Action::kAdvanced;
                }
                break;
            case buttons::kOnTheFlySensitivity:
                if (settings.onTheFly()) {
                    a.action = Action::kGesture;
                }
                break;
            case buttons::kOwnClick:
            default: // and types the driver does not know: the button's own click
                break;
            }
        }
        primary = primary || (a.action == Action::kClick && a.code == BTN_LEFT);
        buttons_[i] = a;
    }
    // Whatever the mappings say, some button clicks.
    if (!primary) {
        buttons_[0] = ButtonAction{Action::kClick, BTN_LEFT};
    }
}

std::int32_t Transform::scaleMotion(std::int32_t value, std::int64_t factor,
                                    std::int64_t& remainder) const {
    constexpr std::int64_t kDenominator = kSpeedDenominator * kUnitGain;
    const std::int64_t num =
        std::clamp<std::int64_t>(value, -kMaxMotion, kMaxMotion) * factor + remainder;
    const std::int64_t result = roundDiv(num, kDenominator);
    remainder = num - result * kDenominator;
    return static_cast<std::int32_t>(result);
}

void Transform::frame(std::span<const InputEvent> in, Output& out) {
    // What the frame holds in all, for the speed and the wheels.
    std::int64_t dx = 0;
    std::int64_t dy = 0;
    std::int64_t wheelLow[2] = {0, 0};
    std::int64_t wheelHigh[2] = {0, 0};
    bool hasHigh[2] = {false, false};
    std::size_t length = in.size();
    for (std::size_t i = 0; i < in.size(); ++i) {
        const InputEvent& e = in[i];
        if (e.type == EV_SYN && e.code == SYN_REPORT) {
            length = i;
            break;
        }
        if (e.type != EV_REL) {
            continue;
        }
        switch (e.code) {
        case REL_X:
            dx += e.value;
            break;
        case REL_Y:
            dy += e.value;
            break;
        case REL_WHEEL:
            wheelLow[0] += e.value;
            break;
        case REL_HWHEEL:
            wheelLow[1] += e.value;
            break;
        case REL_WHEEL_HI_RES:
            wheelHigh[0] += e.value;
            hasHigh[0] = true;
            break;
        case REL_HWHEEL_HI_RES:
            wheelHigh[1] += e.value;
            hasHigh[1] = true;
            break;
        default:
            break;
        }
    }

    const bool motionUnchanged =
        xFactor_ == kSpeedDenominator && yFactor_ == kSpeedDenominator && acceleration_ == 0.0;
    std::int64_t gain = kUnitGain;
    if (acceleration_ != 0.0) {
        gain = accelerationGainFixed(std::clamp(dx, -kMaxMotion, kMaxMotion),
                                     std::clamp(dy, -kMaxMotion, kMaxMotion), acceleration_);
    }

    // Per wheel axis: the first of its events decides for the whole frame.
    enum class WheelDo : std::uint8_t { kUndecided, kCopy, kDrop };
    WheelDo wheelDo[2] = {WheelDo::kUndecided, WheelDo::kUndecided};

    const std::size_t start = out.events.size();
    for (std::size_t i = 0; i < length; ++i) {
        const InputEvent& e = in[i];
        switch (e.type) {
        case EV_SYN: // SYN_DROPPED is the device part's to handle (resync)
            break;
        case EV_KEY:
            if (e.code >= kKeyCount) {
                break;
            }
            if (e.value == 1) {
                press(e.code, out);
            } else if (e.value == 0) {
                release(e.code, out);
            } // autorepeat (2) means nothing for buttons
            break;
        case EV_REL:
            if (e.code == REL_X || e.code == REL_Y) {
                if (motionUnchanged) {
                    out.events.push_back(e);
                } else {
                    const bool x = e.code == REL_X;
                    const std::int32_t v = scaleMotion(e.value, (x ? xFactor_ : yFactor_) * gain,
                                                       x ? xRemainder_ : yRemainder_);
                    if (v != 0) {
                        out.events.push_back(InputEvent{e.type, e.code, v});
                    }
                }
                break;
            }
            if (e.code == REL_WHEEL || e.code == REL_WHEEL_HI_RES || e.code == REL_HWHEEL ||
                e.code == REL_HWHEEL_HI_RES) {
                const int axis = (e.code == REL_WHEEL || e.code == REL_WHEEL_HI_RES) ? 0 : 1;
                if (wheelDo[axis] == WheelDo::kUndecided) {
                    const std::int64_t units =
                        std::clamp(hasHigh[axis] ? wheelHigh[axis] : wheelLow[axis] * kDetent,
                                   -kMaxWheelUnits, kMaxWheelUnits);
                    if (axis == 0 && gesture_.active) {
                        step(units, out);
                        wheelDo[axis] = WheelDo::kDrop;
                    } else if (wheelFactor_ == kSpeedDenominator) {
                        wheelDo[axis] = WheelDo::kCopy;
                    } else {
                        wheel(axis == 0 ? vertical_ : horizontal_, units, out);
                        wheelDo[axis] = WheelDo::kDrop;
                    }
                }
                if (wheelDo[axis] == WheelDo::kCopy) {
                    out.events.push_back(e);
                }
                break;
            }
            out.events.push_back(e);
            break;
        default:
            out.events.push_back(e);
            break;
        }
    }
    endFrame(start, out);
}

void Transform::wheel(Wheel& w, std::int64_t units, Output& out) {
    const std::int64_t num = units * wheelFactor_ + w.remainder;
    const std::int64_t high = roundDiv(num, kSpeedDenominator);
    w.remainder = num - high * kSpeedDenominator;
    if (high == 0) {
        return;
    }
    // A turn the other way starts a fresh detent, as a physical wheel would.
    if (!sameSign(high, w.accumulated)) {
        w.accumulated = 0;
    }
    w.accumulated += static_cast<std::int32_t>(high);
    const std::int32_t detents = w.accumulated / kDetent;
    w.accumulated -= detents * kDetent;
    if (detents != 0) {
        out.events.push_back(InputEvent{EV_REL, w.lowCode, detents});
    }
    out.events.push_back(InputEvent{EV_REL, w.highCode, static_cast<std::int32_t>(high)});
}

void Transform::step(std::int64_t units, Output& out) {
    if (units == 0) {
        return;
    }
    if (!sameSign(units, gesture_.accumulated)) {
        gesture_.accumulated = 0;
    }
    gesture_.accumulated += static_cast<std::int32_t>(units);
    const std::int32_t detents = gesture_.accumulated / kDetent;
    gesture_.accumulated -= detents * kDetent;
    if (detents == 0) {
        return;
    }
    if (!gesture_.begun) {
        out.words.push_back(MessageWord{.button = gesture_.button, .overlayBegin = true}.encode());
        gesture_.begun = true;
    }
    const std::uint8_t s = detents > 0 ? kStepUp : kStepDown;
    const std::int64_t n = std::min<std::int64_t>(std::abs(detents), kMaxStepsPerFrame);
    for (std::int64_t i = 0; i < n; ++i) {
        out.words.push_back(MessageWord{.step = s, .button = gesture_.button}.encode());
    }
}

void Transform::endGesture(bool clicked, Output& out) {
    if (gesture_.begun) {
        out.words.push_back(MessageWord{.button = gesture_.button, .overlayEnd = true}.encode());
    } else if (clicked && gesture_.advanced) {
        out.words.push_back(MessageWord{.button = gesture_.button, .advanced = true}.encode());
    } else if (clicked) {
        // The wheel never turned: the button did what it does without ZED (the
        // wheel's middle click pastes, opens and closes tabs).
        click(gesture_.click, out);
    }
    gesture_ = Gesture{};
}

void Transform::press(std::uint16_t input, Output& out) {
    HeldInput& h = inputs_[input];
    if (h.held != Held::kNone) {
        return; // a press we already have
    }
    ++heldInputs_;
    ButtonAction a{Action::kClick, input};
    const unsigned index = input - BTN_LEFT;
    if (input >= BTN_LEFT && index < buttons_.size()) {
        a = buttons_[index];
    }
    switch (a.action) {
    case Action::kClick:
        h = HeldInput{Held::kCode, a.code};
        pressCode(a.code, out);
        return;
    case Action::kWord:
        h = HeldInput{Held::kNothing, 0};
        out.words.push_back(MessageWord{.button = static_cast<std::uint8_t>(index)}.encode());
        return;
    case Action::kGesture:
    case Action::kAdvanced:
        if (gesture_.active) { // a second on-the-fly button does nothing meanwhile
            h = HeldInput{Held::kNothing, 0};
            return;
        }
        h = HeldInput{Held::kGesture, 0};
        gesture_ = Gesture{};
        gesture_.active = true;
        gesture_.advanced = a.action == Action::kAdvanced;
        gesture_.button = static_cast<std::uint8_t>(index);
        gesture_.input = input;
        gesture_.click = a.code;
        return;
    }
}

void Transform::release(std::uint16_t input, Output& out) {
    HeldInput& h = inputs_[input];
    switch (h.held) {
    case Held::kNone:
        return; // never pressed here, or already released by a resync
    case Held::kCode:
        releaseCode(h.code, out);
        break;
    case Held::kNothing:
        break;
    case Held::kGesture:
        endGesture(true, out);
        break;
    }
    h = HeldInput{};
    --heldInputs_;
}

void Transform::pressCode(std::uint16_t code, Output& out) {
    if (pressedCount_[code]++ == 0) {
        out.events.push_back(InputEvent{EV_KEY, code, 1});
    }
}

void Transform::releaseCode(std::uint16_t code, Output& out) {
    if (pressedCount_[code] != 0 && --pressedCount_[code] == 0) {
        out.events.push_back(InputEvent{EV_KEY, code, 0});
    }
}

void Transform::click(std::uint16_t code, Output& out) {
    const std::size_t before = out.events.size();
    pressCode(code, out);
    if (out.events.size() != before) {
        // In one frame the input stack would see no press at all.
        out.events.push_back(InputEvent{EV_SYN, SYN_REPORT, 0});
    }
    releaseCode(code, out);
}

void Transform::releaseAll(Output& out) {
    const std::size_t start = out.events.size();
    for (std::uint16_t input = 0; input < kKeyCount && heldInputs_ != 0; ++input) {
        HeldInput& h = inputs_[input];
        if (h.held == Held::kNone) {
            continue;
        }
        if (h.held == Held::kCode) {
            releaseCode(h.code, out);
        }
        h = HeldInput{};
        --heldInputs_;
    }
    // Not a click: the advanced word would type keys nobody asked for.
    if (gesture_.active) {
        endGesture(false, out);
    }
    endFrame(start, out);
}

void Transform::resync(std::span<const std::uint16_t> down, Output& out) {
    const std::size_t start = out.events.size();
    for (std::uint16_t input = 0; input < kKeyCount && heldInputs_ != 0; ++input) {
        HeldInput& h = inputs_[input];
        if (h.held == Held::kNone || std::find(down.begin(), down.end(), input) != down.end()) {
            continue;
        }
        if (h.held == Held::kCode) {
            releaseCode(h.code, out);
        } else if (h.held == Held::kGesture) {
            // Whether the wheel turned while events were lost is unknown:
            // end the overlay, type nothing.
            endGesture(false, out);
        }
        h = HeldInput{};
        --heldInputs_;
    }
    endFrame(start, out);
}

void Transform::endFrame(std::size_t start, Output& out) {
    const bool any =
        std::any_of(out.events.begin() + static_cast<std::ptrdiff_t>(start), out.events.end(),
                    [](const InputEvent& e) { return e.type != EV_MSC; });
    if (any) {
        out.events.push_back(InputEvent{EV_SYN, SYN_REPORT, 0});
    } else {
        out.events.resize(start);
    }
}

} // namespace zed::driver
