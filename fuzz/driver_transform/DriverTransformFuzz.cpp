// Feeds the driver's properties and event transform arbitrary settings and
// frames. Besides not crashing: every output frame is empty or ends with its
// SYN_REPORT (a late click adds one frame before it), every word has a layout the agent accepts,
// and once every input button is released (or everything is released at once) nothing is held and
// every output code pressed has been released.
//
// Input: a list of commands, each one byte then its operands:
//   0 set properties: count, then per key: key index, value kind, value bytes
//   1 frame: count, then per event: kind, code, value
//   2 resync: count, then the input codes still down
//   3 release everything
#include "Driver/DriverSettings.h"
#include "Driver/Transform.h"
#include "Platform/core/DriverInterface.h"
#include "Platform/core/Log.h"
#include "fuzz/FuzzValues.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <linux/input-event-codes.h>
#include <set>
#include <vector>

namespace {

using zed::driver::InputEvent;

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    template <typename T> T number() {
        T v{};
        std::uint8_t bytes[sizeof(T)] = {};
        for (auto& b : bytes) {
            b = byte();
        }
        std::memcpy(&v, bytes, sizeof(T));
        return v;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

[[noreturn]] void fail(const char* what) {
    zed::log("%s", what);
    std::abort();
}

using zed::settings::Key;
using zed::settings::name;

constexpr std::array<const char*, 15> kKeys = {
    zed::driver::kButtonModeProperty,
    name(Key::kSensitivity),
    name(Key::kMasterSensitivityX),
    name(Key::kMasterSensitivityY),
    name(Key::kMasterSensitivityOn),
    name(Key::kMasterAccelOn),
    zed::driver::kAccelerationProperty,
    name(Key::kScrollWheelSpeed),
    name(Key::kOtfs),
    name(Key::kOtfsOnScreen),
    name(Key::kResolution),
    name(Key::kNumButtons),
    name(Key::kButtonMappings),
    name(Key::kButtonMappings),
    "Unknown",
};

zed::Value value(Reader& r) {
    switch (r.byte() % 8) {
    case 0: // small fixed-point or switch values, the agent's usual
        return zed::Value(static_cast<std::int32_t>(r.number<std::int8_t>()) * 16384);
    case 1:
        return zed::Value(r.number<std::int32_t>());
    case 2:
        return zed::Value(r.number<std::int64_t>());
    case 3:
        return zed::Value(r.number<double>());
    case 4:
        return zed::Value((r.byte() & 1) != 0);
    case 5:
        return zed::Value("text");
    default: { // mappings: mostly short elements of the map types, rarely oversized
        zed::Array array;
        const std::size_t count = r.byte() % 40;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t size = r.byte();
            if (size == 0xFF) {
                array.emplace_back(zed::Data(zed::driver::kMaxMappingBytes + 1, 3));
            } else if (size == 0xFE) {
                array.emplace_back(zed::Value(std::int32_t{0}));
            } else {
                zed::Data element;
                for (std::size_t j = 0; j < size % 4; ++j) {
                    element.push_back(static_cast<std::uint8_t>(r.byte() % 10));
                }
                array.emplace_back(std::move(element));
            }
        }
        return zed::Value(std::move(array));
    }
    }
}

InputEvent event(Reader& r) {
    const std::uint8_t kind = r.byte();
    const std::uint8_t code = r.byte();
    switch (kind % 6) {
    case 0: // a button press or release
    case 1:
        return {EV_KEY, static_cast<std::uint16_t>(BTN_LEFT + code % 9),
                static_cast<std::int32_t>(r.byte() % 3)};
    case 2: { // any key code, valid or not
        const auto c = static_cast<std::uint16_t>((code << 8 | r.byte()) % 0x320);
        return {EV_KEY, c, static_cast<std::int32_t>(r.byte() % 3)};
    }
    case 3: { // motion and wheels, small
        static constexpr std::uint16_t kRel[] = {
            REL_X, REL_Y, REL_WHEEL, REL_HWHEEL, REL_WHEEL_HI_RES, REL_HWHEEL_HI_RES, REL_DIAL};
        return {EV_REL, kRel[code % 7], r.number<std::int8_t>()};
    }
    case 4: // any relative axis, any value
        return {EV_REL, static_cast<std::uint16_t>(code % 16), r.number<std::int32_t>()};
    default: {
        static constexpr InputEvent kOther[] = {{EV_MSC, MSC_SCAN, 0x90001},
                                                {EV_SYN, SYN_REPORT, 0},
                                                {EV_SYN, SYN_DROPPED, 0},
                                                {EV_ABS, ABS_X, 5}};
        return kOther[code % 4];
    }
    }
}

// What the virtual pointer would hold, checked as output arrives.
struct Pointer {
    std::set<std::uint16_t> held;

    void take(const zed::driver::Output& out, std::size_t from) {
        for (std::size_t i = from; i < out.events.size(); ++i) {
            const InputEvent& e = out.events[i];
            if (e.type == EV_SYN) {
                // A click decided late (an on-the-fly button let go without
                // a detent) is a frame of its own before the one at hand.
                if (e.code != SYN_REPORT || i == from || out.events[i - 1].type == EV_SYN) {
                    fail("a SYN event that ends no frame");
                }
            }
            if (e.type == EV_KEY) {
                if (e.value == 1 && !held.insert(e.code).second) {
                    fail("a code pressed twice");
                }
                if (e.value == 0 && held.erase(e.code) == 0) {
                    fail("a code released that was not pressed");
                }
            }
        }
        if (out.events.size() > from && out.events.back().type != EV_SYN) {
            fail("a frame without its SYN_REPORT");
        }
        for (std::uint32_t w : out.words) {
            if (!zed::driver::MessageWord::decode(w).acceptable() || (w >> 19) != 0) {
                fail("a word the agent would ignore");
            }
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader r(data, size);
    zed::driver::DriverProperties properties;
    zed::driver::Transform transform;
    Pointer pointer;
    std::set<std::uint16_t> down; // what the mouse holds
    zed::driver::Output out;
    std::vector<InputEvent> frame;

    while (!r.empty()) {
        out.clear();
        switch (r.byte() % 4) {
        case 0: {
            zed::Dictionary changes;
            const std::size_t count = r.byte() % 6;
            for (std::size_t i = 0; i < count; ++i) {
                const char* key = kKeys[r.byte() % kKeys.size()];
                changes[key] = value(r);
            }
            const zed::Dictionary before = properties.values();
            if (properties.set(changes) != zed::kIOReturnSuccess) {
                if (!zedfuzz::sameValue(zed::Value(properties.values()), zed::Value(before))) {
                    fail("a refused dictionary changed the values");
                }
            } else {
                transform.setSettings(properties.settings());
            }
            break;
        }
        case 1: {
            frame.clear();
            const std::size_t count = r.byte() % 8;
            for (std::size_t i = 0; i < count; ++i) {
                frame.push_back(event(r));
            }
            frame.push_back({EV_SYN, SYN_REPORT, 0});
            for (const InputEvent& e : frame) {
                if (e.type == EV_SYN && e.code == SYN_REPORT) {
                    break; // the rest is not part of this frame
                }
                if (e.type == EV_KEY && e.value == 1) {
                    down.insert(e.code);
                } else if (e.type == EV_KEY && e.value == 0) {
                    down.erase(e.code);
                }
            }
            transform.frame(frame, out);
            break;
        }
        case 2: {
            std::vector<std::uint16_t> still;
            const std::size_t count = r.byte() % 4;
            for (std::size_t i = 0; i < count && !down.empty(); ++i) {
                auto it = down.begin();
                std::advance(it, r.byte() % down.size());
                still.push_back(*it);
            }
            down = std::set<std::uint16_t>(still.begin(), still.end());
            transform.resync(still, out);
            break;
        }
        default:
            transform.releaseAll(out);
            if (transform.holdsAnything()) {
                fail("something held after releasing everything");
            }
            break;
        }
        pointer.take(out, 0);
    }

    // The user lets go of every button.
    for (std::uint16_t code : down) {
        out.clear();
        const InputEvent release[] = {{EV_KEY, code, 0}, {EV_SYN, SYN_REPORT, 0}};
        transform.frame(release, out);
        pointer.take(out, 0);
    }
    if (transform.holdsAnything()) {
        fail("something held after every button was released");
    }
    if (!pointer.held.empty()) {
        fail("the pointer still holds a code");
    }
    return 0;
}
