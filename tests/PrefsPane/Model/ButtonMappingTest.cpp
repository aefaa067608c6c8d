#include "PaneTestSupport.h"

#include <QSignalSpy>
#include <gmock/gmock.h>

namespace zed::test {
namespace {

using ButtonMappingSupport::addMapping;
using ButtonMappingSupport::mappingArray;
using ButtonMappingSupport::mappingAtIndex;
using ButtonMappingSupport::mappingDataArray;

ButtonMapping parsed(const Data& d) {
    return ButtonMapping(std::span<const std::uint8_t>(d));
}

// Serializing and parsing single records.

TEST(ButtonMappingData, NewRecordIsAPrimaryClickOfOneByte) {
    ButtonMapping m;
    EXPECT_EQ(m.mapType(), 0);
    EXPECT_FALSE(m.keys());
    EXPECT_FALSE(m.macro());
    EXPECT_FALSE(m.hasAdvMapping());
    EXPECT_EQ(m.toData(), bytes({0x00}));
}

TEST(ButtonMappingData, KeyCombinationWithoutKeysIsTheTypeByteAndReadsBackEmpty) {
    const ButtonMapping absent = parsed(bytes({0x03}));
    EXPECT_EQ(absent.mapType(), 3);
    ASSERT_TRUE(absent.keys());
    EXPECT_EQ(*absent.keys(), "");
    EXPECT_EQ(absent.toData(), bytes({0x03}));

    ButtonMapping empty = parsed(bytes({0x04}));
    EXPECT_EQ(empty.toData(), bytes({0x04}));
    ASSERT_TRUE(empty.macro());
    EXPECT_EQ(*empty.macro(), "");
}

TEST(ButtonMappingData, TheDocumentedExamplesRoundTrip) {
    const Data examples[] = {
        bytes({0x00}),
        withText(3, "512"),
        withText(4, "512,256"),
        [] {
            Data d{0x06};
            const Data inner = withText(4, "512,256");
            d.insert(d.end(), inner.begin(), inner.end());
            return d;
        }(),
        bytes({0x03}),
    };
    for (const Data& d : examples) {
        EXPECT_EQ(parsed(d).toData(), d);
    }
    const ButtonMapping macro = parsed(withText(4, "512,256"));
    EXPECT_EQ(macro.macro(), std::optional<std::string>("512,256"));
    EXPECT_FALSE(macro.keys());
}

TEST(ButtonMappingData, AdvancedMappingNeverAskedForIsTheTypeByteUntilAskedFor) {
    ButtonMapping m = parsed(bytes({0x06}));
    EXPECT_EQ(m.mapType(), 6);
    EXPECT_FALSE(m.hasAdvMapping());
    EXPECT_EQ(m.toData(), bytes({0x06}));

    ButtonMapping* adv = m.advMapping();
    ASSERT_NE(adv, nullptr);
    EXPECT_EQ(adv->mapType(), 0);
    EXPECT_EQ(m.advMapping(), adv) << "created once and kept";
    EXPECT_EQ(m.toData(), bytes({0x06, 0x00}));
}

TEST(ButtonMappingData, AdvancedKeyCombinationRoundTrips) {
    const Data stored = [] {
        Data d{0x06};
        const Data inner = withText(3, "567,520");
        d.insert(d.end(), inner.begin(), inner.end());
        return d;
    }();
    EXPECT_EQ(stored, bytes({0x06, 0x03, '5', '6', '7', ',', '5', '2', '0'}));

    ButtonMapping m = parsed(stored);
    EXPECT_EQ(m.mapType(), 6);
    ASSERT_TRUE(m.hasAdvMapping());
    EXPECT_EQ(m.advMapping()->mapType(), 3);
    EXPECT_EQ(m.advMapping()->keys(), std::optional<std::string>("567,520"));
    EXPECT_FALSE(m.keys());
    EXPECT_EQ(m.toData(), stored);
}

TEST(ButtonMappingData, OnlyTheFieldOfTheTypeIsWritten) {
    // Keys, macro and advanced mapping all held in memory, type 3 stored.
    ButtonMapping m = parsed(withText(3, "512"));
    m.setMacro("512,256");
    m.advMapping()->setKeys("520");
    EXPECT_EQ(m.toData(), withText(3, "512"));

    const ButtonMapping back = parsed(m.toData());
    EXPECT_EQ(back.keys(), std::optional<std::string>("512"));
    EXPECT_FALSE(back.macro());
    EXPECT_FALSE(back.hasAdvMapping());
}

TEST(ButtonMappingData, DriverClickTypesIgnoreTrailingBytes) {
    for (std::uint8_t type : {1, 2, 5, 7}) {
        const ButtonMapping m = parsed(bytes({type, '5', '1', '2', 0xFF}));
        EXPECT_EQ(m.mapType(), type);
        EXPECT_FALSE(m.keys());
        EXPECT_FALSE(m.macro());
        EXPECT_FALSE(m.hasAdvMapping());
        EXPECT_EQ(m.toData(), bytes({type}));
    }
}

TEST(ButtonMappingData, KeyListsOutsideAsciiAreNotKeyLists) {
    // Read: the payload is no key list.
    const ButtonMapping read = parsed(bytes({0x03, '5', 0xC3, 0xA9}));
    EXPECT_EQ(read.mapType(), 3);
    EXPECT_FALSE(read.keys());
    EXPECT_EQ(read.toData(), bytes({0x03}));

    // Written: the type byte alone.
    ButtonMapping written = parsed(bytes({0x04}));
    written.setMacro("512,\xC3\xA9");
    EXPECT_EQ(written.toData(), bytes({0x04}));
}

TEST(ButtonMappingData, EmptyValueReadsAsAPrimaryClick) {
    const ButtonMapping m = parsed(Data{});
    EXPECT_EQ(m.mapType(), 0);
    EXPECT_EQ(m.toData(), bytes({0x00}));
}

// Damaged or hostile stored data.

TEST(ButtonMappingDamagedData, DeepNestingIsCutOffInsteadOfExhaustingTheStack) {
    const Data hostile(1'000'000, 0x06);
    ButtonMapping m = parsed(hostile);

    int levels = 0;
    for (ButtonMapping* r = &m; r->hasAdvMapping(); r = r->advMapping()) {
        EXPECT_EQ(r->mapType(), 6);
        ++levels;
    }
    EXPECT_EQ(levels, ButtonMapping::kMaxNesting);
    EXPECT_EQ(m.toData(), Data(ButtonMapping::kMaxNesting + 1, 0x06));
}

TEST(ButtonMappingDamagedData, WhatARecordCannotReproduceIsKeptAsStored) {
    const Value notData("a string");
    const Value emptyData(Data{});
    const Value trailing(bytes({0x01, 0x02}));
    const Value tooDeep(Data(100, 0x06));
    const Value nonAscii(bytes({0x03, 0xFF}));
    for (const Value& v : {notData, emptyData, trailing, tooDeep, nonAscii}) {
        const auto m = ButtonMapping::fromStoredValue(v);
        ASSERT_TRUE(m->storedForm()) << v.describe();
        EXPECT_EQ(*m->storedForm(), v);
        Array out;
        addMapping(out, m.get());
        EXPECT_EQ(out, Array{v});
    }
    EXPECT_EQ(ButtonMapping::fromStoredValue(notData)->mapType(), 0);
    EXPECT_EQ(ButtonMapping::fromStoredValue(Value(std::int32_t{3}))->mapType(), 0);
}

TEST(ButtonMappingDamagedData, AChangeReplacesTheKeptValue) {
    auto keys = ButtonMapping::fromStoredValue(Value("garbage"));
    keys->setKeys("512"); // no pane model: stored, nobody told
    EXPECT_FALSE(keys->storedForm());

    // A change to the advanced mapping is a change to its button.
    auto adv = ButtonMapping::fromStoredValue(Value(Data(40, 0x06)));
    ASSERT_TRUE(adv->storedForm());
    ButtonMapping* deepest = adv.get();
    while (deepest->hasAdvMapping()) {
        deepest = deepest->advMapping();
    }
    deepest->setMacro("512,256");
    EXPECT_FALSE(adv->storedForm());
    Array out;
    addMapping(out, adv.get());
    ASSERT_EQ(out.size(), 1u);
    ASSERT_TRUE(out[0].asData());
    EXPECT_EQ(out[0].asData()->size(), std::size_t(ButtonMapping::kMaxNesting) + 1);
}

// Arrays of records and of mapping data.

TEST(ButtonMappingSupportArrays, EmptyArrayGivesNoRecords) {
    EXPECT_TRUE(mappingArray(Array{}).empty());
    EXPECT_TRUE(mappingDataArray(ButtonMappingList{}).empty());
}

TEST(ButtonMappingSupportArrays, AgentDefaultsGiveSevenRecordsInOrder) {
    const Array defaults = *mappingsOf({0, 1, 7, 5, 5, 5, 5}).asArray();
    const ButtonMappingList records = mappingArray(defaults);
    ASSERT_EQ(records.size(), 7u);
    const int expected[] = {0, 1, 7, 5, 5, 5, 5};
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(records[i]->mapType(), expected[i]) << "button " << i + 1;
    }
    EXPECT_EQ(mappingDataArray(records), defaults);
}

TEST(ButtonMappingSupportArrays, MissingElementReadsAsANewRecord) {
    const Array one{Value(bytes({0x07}))};
    EXPECT_EQ(mappingAtIndex(one, 0)->mapType(), 7);
    EXPECT_EQ(mappingAtIndex(one, 1)->mapType(), 0);
    EXPECT_EQ(mappingAtIndex(one, -1)->mapType(), 0);
}

TEST(ButtonMappingSupportDeathTest, AddingSomethingElseIsAProgrammingError) {
    QObject notAMapping;
    Array out;
    EXPECT_DEATH(addMapping(out, &notAMapping),
                 testing::AllOf(testing::HasSubstr("TovikCopperhoundPref.cpp:"),
                                testing::HasSubstr(": failed assertion `[mapping isKindOfClass:"
                                                   "[ButtonMapping class]]'\n")));
}

// Without a pane model nothing is validated or saved.

TEST(ButtonMappingWithoutPane, MapTypeCannotChange) {
    ButtonMapping m;
    QSignalSpy changed(&m, &ButtonMapping::mapTypeChanged);
    m.setMapType(3);
    EXPECT_EQ(m.mapType(), 0);
    EXPECT_EQ(changed.count(), 0);
}

} // namespace
} // namespace zed::test
