#include "Platform/core/ButtonMappings.h"

#include <algorithm>

namespace zed::buttons {

namespace {

std::optional<std::string> asciiText(std::span<const std::uint8_t> bytes) {
    if (!isAscii(bytes)) {
        return std::nullopt;
    }
    return std::string(bytes.begin(), bytes.end());
}

void appendAscii(Data& out, const std::optional<std::string>& text) {
    if (!text) {
        return;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text->data());
    const std::span<const std::uint8_t> span(bytes, text->size());
    if (isAscii(span)) {
        out.insert(out.end(), span.begin(), span.end());
    }
}

} // namespace

bool isAscii(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b < 0x80; });
}

Mapping parse(std::span<const std::uint8_t> data, int depth) {
    Mapping mapping;
    const std::optional<Split> parts = split(data);
    if (!parts) {
        return mapping; // no type byte: a primary click
    }
    mapping.type = parts->type;
    switch (parts->type) {
    case kKeyCombination:
        mapping.keys = asciiText(parts->payload);
        break;
    case kKeyMacro:
        mapping.macro = asciiText(parts->payload);
        break;
    case kAdvanced:
        if (!parts->payload.empty() && depth < kMaxNesting) {
            mapping.advanced = std::make_unique<Mapping>(parse(parts->payload, depth + 1));
        }
        break;
    default:
        break; // no payload; extra bytes mean nothing
    }
    return mapping;
}

Data format(const Mapping& mapping) {
    Data out{static_cast<std::uint8_t>(mapping.type & 0xFF)};
    switch (mapping.type) {
    case kKeyCombination:
        appendAscii(out, mapping.keys);
        break;
    case kKeyMacro:
        appendAscii(out, mapping.macro);
        break;
    case kAdvanced:
        if (mapping.advanced) {
            const Data inner = format(*mapping.advanced);
            out.insert(out.end(), inner.begin(), inner.end());
        }
        break;
    default:
        break;
    }
    return out;
}

Read read(std::span<const std::uint8_t> data) {
    Mapping mapping = parse(data);
    const Data written = format(mapping);
    const bool exact = std::equal(written.begin(), written.end(), data.begin(), data.end());
    return Read{std::move(mapping), exact};
}

} // namespace zed::buttons
