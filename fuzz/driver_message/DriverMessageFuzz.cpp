// Feeds the driver message handler arbitrary message words, arguments and
// mapping data: it must never read outside the data or crash.
//
// Input: 4 bytes message word, 1 byte argument flag, 1 byte of switches, then
// the mapping elements, separated by 0xFF 0xFE.
#include "Daemon/CallBacks.h"
#include "tests/support/FakeAgent.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FakeAgent agent;
    if (size < 6) {
        return 0;
    }
    std::uint32_t word = 0;
    std::memcpy(&word, data, 4);
    const std::uint64_t argument = data[4] & 1;
    const std::uint8_t switches = data[5];

    zed::Array mappings;
    zed::Data element;
    for (std::size_t i = 6; i < size; ++i) {
        if (data[i] == 0xFF && i + 1 < size && data[i + 1] == 0xFE) {
            mappings.emplace_back(std::move(element));
            element = zed::Data();
            ++i;
        } else {
            element.push_back(data[i]);
        }
    }
    mappings.emplace_back(std::move(element));
    if (switches & 0x10) {
        mappings.emplace_back(zed::Value("not data")); // a damaged domain
    }
    zed::Dictionary settings{
        {"ButtonMappings", zed::Value(std::move(mappings))},
        {"MasterSensitivityOn", zed::Value(std::int32_t{switches & 1})},
        {"Otfs", zed::Value(std::int32_t{(switches >> 1) & 1})},
        {"OtfsOnScreen", zed::Value(std::int32_t{(switches >> 2) & 1})},
        {"Sensitivity", zed::Value(static_cast<double>(switches) / 16.0)},
    };
    Application::GetApp()->prefs->SendPrefsToDriver(&settings);
    DriverNotifProc(nullptr, agent.driver, word, argument);
    agent.hid->events.clear();
    agent.registry->clearSetCalls();
    return 0;
}
