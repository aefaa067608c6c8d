#include "Commands.h"

#include "Platform/core/DriverInterface.h"

#include <charconv>

namespace zed::sim {

namespace {
std::optional<std::uint64_t> parseUnsigned(std::string_view text, std::uint64_t max) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (ec != std::errc() || end != text.data() + text.size() || v > max) {
        return std::nullopt;
    }
    return v;
}
} // namespace

std::optional<std::uint32_t> parseWord(std::string_view text) {
    auto v = parseUnsigned(text, 0xFFFFFFFFu);
    return v ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(*v)) : std::nullopt;
}

std::optional<std::int32_t> parseStatus(std::string_view text) {
    if (!text.empty() && text[0] == '-') {
        std::int64_t v = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (ec != std::errc() || end != text.data() + text.size() || v < INT32_MIN) {
            return std::nullopt;
        }
        return static_cast<std::int32_t>(v);
    }
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    auto v = parseUnsigned(text, hex ? 0xFFFFFFFFu : static_cast<std::uint64_t>(INT32_MAX));
    return v ? std::optional<std::int32_t>(
                   static_cast<std::int32_t>(static_cast<std::uint32_t>(*v)))
             : std::nullopt;
}

std::optional<std::uint32_t> parseId(std::string_view text) {
    auto v = parseWord(text);
    return v && *v != 0 ? v : std::nullopt;
}

std::optional<Press> parsePress(const std::vector<std::string>& args, std::string* error) {
    Press p;
    bool haveButton = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasNext = i + 1 < args.size();
        if (a == "--step") {
            if (!hasNext || (args[i + 1] != "up" && args[i + 1] != "down")) {
                *error = "--step takes up or down";
                return std::nullopt;
            }
            p.step = args[++i] == "up" ? 1 : -1;
        } else if (a == "--advanced") {
            p.advanced = true;
        } else if (a == "--begin") {
            p.begin = true;
        } else if (a == "--end") {
            p.end = true;
        } else if (a == "--to") {
            auto id = hasNext ? parseId(args[i + 1]) : std::nullopt;
            if (!id) {
                *error = "--to takes a mouse id";
                return std::nullopt;
            }
            p.to = *id;
            ++i;
        } else if (!haveButton && !a.empty() && a[0] != '-') {
            auto b = parseWord(a);
            if (!b || *b < 1 || *b > driver::kButtonCount) {
                *error = "BUTTON is 1 to 7, not \"" + a + "\"";
                return std::nullopt;
            }
            p.button = *b;
            haveButton = true;
        } else {
            *error = "unexpected \"" + a + "\"";
            return std::nullopt;
        }
    }
    if (!haveButton) {
        *error = "which BUTTON (1 to 7)?";
        return std::nullopt;
    }
    return p;
}

std::uint32_t pressWord(const Press& press) {
    driver::MessageWord w{};
    w.step = press.step > 0   ? driver::kStepUp
             : press.step < 0 ? driver::kStepDown
                              : driver::kStepNone;
    w.button = static_cast<std::uint8_t>(press.button - 1);
    w.advanced = press.advanced;
    w.overlayBegin = press.begin;
    w.overlayEnd = press.end;
    return w.encode();
}

} // namespace zed::sim
