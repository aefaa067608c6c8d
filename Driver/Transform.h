// The pure event transform of one adopted mouse: input frames in, frames for
// the virtual pointer and message words for the agent out. No kernel, no bus,
// no clock: the device part feeds it and writes what it returns.
//
// Motion is scaled by the sensitivity (tenths) with the sub-count remainder
// carried per axis in exact integer arithmetic, optionally accelerated; the
// wheels are scaled in high-resolution units (120 per detent) with REL_WHEEL
// emitted in the same frame once per 120 accumulated; buttons 1-7
// (BTN_LEFT ... BTN_BACK) follow their mapping; every other code passes
// unchanged. With the default settings every frame comes out as it went in.
#pragma once

#include "Driver/DriverSettings.h"
#include "Driver/InputEvent.h"
#include "Platform/core/DriverInterface.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace zed::driver {

struct Output { // what input became, in order
    std::vector<InputEvent>
        events; // for the virtual pointer; a non-empty frame ends with SYN_REPORT
    std::vector<std::uint32_t> words; // driver message words for the agent
    void clear() {
        events.clear();
        words.clear();
    }
};

class Transform {
public:
    explicit Transform(DriverSettings settings = {});
    // From the next frame; held buttons keep releasing the code they pressed.
    void setSettings(const DriverSettings& settings);
    // One input frame: the events up to and including its SYN_REPORT. Appends
    // to `out`; a frame left with nothing but EV_MSC events adds no events.
    void frame(std::span<const InputEvent> in, Output& out);
    // Releases every output button held and ends a running on-the-fly gesture
    // (overlay-end word): unplug, grab loss, suspend, quit.
    void releaseAll(Output& out);
    // After SYN_DROPPED: `down` = the input button codes the device holds now;
    // releases what was released meanwhile (output + gesture end). Buttons
    // pressed meanwhile are not pressed late: they act from their next press.
    void resync(std::span<const std::uint16_t> down, Output& out);
    bool holdsAnything() const { return heldInputs_ != 0; }

    static constexpr std::uint16_t kKeyCount = 0x300; // KEY_CNT

private:
    // What a button does, resolved from its mapping when the settings arrive.
    enum class Action : std::uint8_t {
        kClick,    // presses `code`
        kWord,     // sends the button's word at the press (key combination, macro)
        kGesture,  // on-the-fly from the first detent; a plain click is the button's own
        kAdvanced, // on-the-fly from the first detent; a plain click sends the advanced word
    };
    struct ButtonAction {
        Action action = Action::kClick;
        std::uint16_t code = 0;
    };
    // What a held input code did at its press: its release undoes exactly that.
    enum class Held : std::uint8_t { kNone, kCode, kNothing, kGesture };
    struct HeldInput {
        Held held = Held::kNone;
        std::uint16_t code = 0; // kCode: the output code pressed
    };
    // One axis pair of wheel codes.
    struct Wheel {
        std::uint16_t lowCode;
        std::uint16_t highCode;
        std::int64_t remainder = 0;   // of the scaling, in 1/kSpeedDenominator hi-res units
        std::int32_t accumulated = 0; // hi-res units towards the next REL_WHEEL
    };
    // The on-the-fly gesture (one at a time: the agent has one overlay).
    struct Gesture {
        bool active = false;
        bool begun = false; // overlay-begin sent
        bool advanced = false;
        std::uint8_t button = 0;      // index 0-6
        std::uint16_t input = 0;      // the input code holding it
        std::uint16_t click = 0;      // kGesture: the button's own code, for a plain click
        std::int32_t accumulated = 0; // hi-res units towards the next step
    };

    void press(std::uint16_t input, Output& out);
    void release(std::uint16_t input, Output& out);
    void pressCode(std::uint16_t code, Output& out);
    void releaseCode(std::uint16_t code, Output& out);
    // A press and a release, each in a frame of its own.
    void click(std::uint16_t code, Output& out);
    std::int32_t scaleMotion(std::int32_t value, std::int64_t factor,
                             std::int64_t& remainder) const;
    void wheel(Wheel& w, std::int64_t units, Output& out);
    void step(std::int64_t units, Output& out);
    void endGesture(bool clicked, Output& out);
    static void endFrame(std::size_t start, Output& out);

    // Motion and wheel factors in 16.16 of tenths: kSpeedDenominator = 1.0.
    static constexpr std::int64_t kSpeedDenominator = 10 * 65536;
    std::int64_t xFactor_ = kSpeedDenominator;
    std::int64_t yFactor_ = kSpeedDenominator;
    std::int64_t wheelFactor_ = kSpeedDenominator;
    double acceleration_ = 0.0; // 0: none
    std::int64_t xRemainder_ = 0;
    std::int64_t yRemainder_ = 0;
    Wheel vertical_;
    Wheel horizontal_;
    std::array<ButtonAction, kButtonCount> buttons_{};
    Gesture gesture_;
    std::array<HeldInput, kKeyCount> inputs_{};
    std::array<std::uint16_t, kKeyCount> pressedCount_{}; // per output code
    unsigned heldInputs_ = 0;
};

} // namespace zed::driver
