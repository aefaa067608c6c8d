// Feeds the mapping data codec and the pane's records built on it arbitrary
// mapping data, advanced (type 6) mappings nested to any depth included.
// Reading must never crash; writing back what was read must give the stored
// array unchanged; a record keeps its stored form exactly when the codec
// cannot reproduce the data; a record the user changes must write data that
// reads back as itself.
//
// Input: one byte of switches, then the elements of the stored array
// separated by 0xFF 0xFE. Switch bits 0 and 1 add elements that are not
// data at all (a damaged domain); bit 2 edits the first record's keys, bit 3
// its macro, bit 4 its nested mapping's macro.
#include "Platform/core/ButtonMappings.h"
#include "Platform/core/Log.h"
#include "PrefsPane/Model/TovikCopperhoundPref.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

[[noreturn]] void fatal(const char* why) {
    zed::log("%s", why);
    std::abort();
}

void expectReadsBackAsItself(const ButtonMapping& m) {
    const zed::Data data = m.toData();
    if (ButtonMapping(std::span<const std::uint8_t>(data)).toData() != data) {
        fatal("a record's data does not read back as itself");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::uint8_t switches = data[0];
    zed::Array stored;
    zed::Data element;
    for (std::size_t i = 1; i < size; ++i) {
        if (data[i] == 0xFF && i + 1 < size && data[i + 1] == 0xFE) {
            stored.emplace_back(std::move(element));
            element = zed::Data();
            ++i;
        } else {
            element.push_back(data[i]);
        }
    }
    stored.emplace_back(std::move(element));
    if (switches & 0x01) {
        stored.emplace_back(zed::Value("not data"));
    }
    if (switches & 0x02) {
        stored.emplace(stored.begin(), zed::Value(std::int32_t{3}));
    }

    const ButtonMappingList mappings = ButtonMappingSupport::mappingArray(stored);
    if (mappings.size() != stored.size()) {
        fatal("not one record per stored element");
    }
    if (ButtonMappingSupport::mappingDataArray(mappings) != stored) {
        fatal("what was read does not write back unchanged");
    }
    for (std::size_t i = 0; i < mappings.size(); ++i) {
        const auto& m = mappings[i];
        int nesting = 0;
        for (ButtonMapping* inner = m.get(); inner->hasAdvMapping(); inner = inner->advMapping()) {
            if (++nesting > zed::buttons::kMaxNesting) {
                fatal("advanced mappings nested past the limit");
            }
        }
        const zed::Data* element = stored[i].asData();
        if (element && zed::buttons::read(*element).exact == m->storedForm().has_value()) {
            fatal("a record and the codec disagree on whether data reads back exactly");
        }
        if (!m->storedForm()) {
            expectReadsBackAsItself(*m);
        }
    }

    ButtonMapping& first = *mappings.front();
    if (switches & 0x04) {
        first.setKeys("55,8");
    }
    if (switches & 0x08) {
        first.setMacro("512,520,264");
    }
    if (switches & 0x10) {
        first.advMapping()->setMacro("567");
    }
    if (switches & 0x1C) {
        if (first.storedForm()) {
            fatal("an edited record still writes its stored form");
        }
        expectReadsBackAsItself(first);
        const zed::Array written = ButtonMappingSupport::mappingDataArray(mappings);
        if (written.front() != zed::Value(first.toData())) {
            fatal("an edited record is not written as its data");
        }
    }
    return 0;
}
