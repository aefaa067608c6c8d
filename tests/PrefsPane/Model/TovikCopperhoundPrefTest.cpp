#include "PaneTestSupport.h"
#include "Platform/core/FilePreferenceDomains.h"
#include "Platform/core/SettingsKeys.h"
#include "RecordingPaneServices.h"

#include <QPushButton>
#include <QSignalSpy>
#include <cctype>
#include <cmath>
#include <functional>
#include <gmock/gmock.h>
#include <set>

namespace zed::test {
namespace {

// Stands in for the buttons page: records the panels it was asked to open.
class FakeButtonsController : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE void doAssignKey(QObject* sender) { opened("doAssignKey", sender); }
    Q_INVOKABLE void doMacroConfig(QObject* sender) { opened("doMacroConfig", sender); }
    Q_INVOKABLE void doAdvancedConfig(QObject* sender) { opened("doAdvancedConfig", sender); }
    std::vector<std::pair<std::string, QObject*>> calls;
    // What the user does in the opened panel; nothing is a cancel.
    std::function<void()> whileOpen;

private:
    void opened(const char* action, QObject* sender) {
        calls.push_back({action, sender});
        if (whileOpen) {
            whileOpen();
        }
    }
};

int countPosts(const std::vector<Posted>& posts, const std::string& center) {
    return static_cast<int>(std::count_if(posts.begin(), posts.end(),
                                          [&](const Posted& p) { return p.center == center; }));
}

// Settings with no stored domain, and the first selection.

using PaneFallbacks = PaneTest;

TEST_F(PaneFallbacks, NoStoredDomainReadsThePanesOwnFallbacks) {
    showPane();
    EXPECT_EQ(pane->orientation(), 0);
    EXPECT_EQ(pane->sensitivity(), 0.0);
    EXPECT_EQ(pane->otfs(), 1);
    EXPECT_EQ(pane->otfsOnScreen(), 1);
    EXPECT_EQ(pane->dblClickSpeed(), 0.0);
    EXPECT_EQ(pane->masterSensitivityOn(), 0);
    EXPECT_EQ(pane->masterSensitivityX(), 0.0);
    EXPECT_EQ(pane->masterSensitivityY(), 0.0);
    EXPECT_EQ(pane->pointerSpeed(), 0.0);
    EXPECT_EQ(pane->masterAccelOn(), 0);
    EXPECT_EQ(pane->masterAccel(), 0.0);
    EXPECT_EQ(pane->resolution(), 0);
    EXPECT_EQ(pane->scrollWheelSpeed(), 0.0);
    EXPECT_EQ(mapTypes(), std::vector<int>(7, 0));
    EXPECT_EQ(pane->currentMapping(), pane->button1Mapping());
}

// The pane's side of the settings contract shared with the agent: each key
// with a pane fallback has the property of its name, which reads the
// fallback while the key is missing and stores the contract's type.
TEST_F(PaneFallbacks, EveryContractKeyHasItsPropertyFallbackAndStoredType) {
    using settings::PaneFallback;
    pane = std::make_unique<ModelOnlyPane>();
    pane->initPrefs();
    for (const auto& key : settings::kKeys) {
        SCOPED_TRACE(key.name);
        QByteArray property(key.name);
        property[0] = static_cast<char>(std::tolower(property[0]));
        const bool hasProperty = pane->metaObject()->indexOfProperty(property.constData()) >= 0;
        switch (key.pane.source) {
        case PaneFallback::Source::kNone:
            EXPECT_FALSE(hasProperty) << "the pane only carries this key along";
            break;
        case PaneFallback::Source::kPrimaryClicks:
            EXPECT_EQ(mapTypes(), std::vector<int>(TovikCopperhoundPref::kButtonCount, 0));
            break;
        case PaneFallback::Source::kNumber: {
            ASSERT_TRUE(hasProperty);
            EXPECT_EQ(pane->property(property.constData()).toDouble(), key.pane.number);
            const QVariant set = key.type == settings::Type::kInteger ? QVariant(3) : QVariant(3.5);
            ASSERT_TRUE(pane->setProperty(property.constData(), set));
            EXPECT_EQ(pane->property(property.constData()), set);
            const Value* v = storedValue(key.name);
            ASSERT_NE(v, nullptr);
            EXPECT_EQ(v->type(), key.type == settings::Type::kInteger ? Value::Type::Int32
                                                                      : Value::Type::Double);
            break;
        }
        }
    }
}

// Each key with a range offers it through its property as the property shows
// the value: the ends shown store the key's ends.
TEST_F(PaneFallbacks, EveryRangedKeyOffersItsRangeAsItsPropertyShowsIt) {
    pane = std::make_unique<ModelOnlyPane>();
    pane->initPrefs();
    for (const auto& key : settings::kKeys) {
        QByteArray property(key.name);
        property[0] = static_cast<char>(std::tolower(property[0]));
        const QVariantMap range = pane->settingRange(property);
        EXPECT_EQ(range.isEmpty(), !key.range) << key.name;
        if (!key.range) {
            continue;
        }
        EXPECT_EQ(range.value("step").toDouble(), key.range->step) << key.name;
        std::set<double> ends;
        for (const char* end : {"minimum", "maximum"}) {
            ASSERT_TRUE(pane->setProperty(property, range.value(end))) << key.name;
            ends.insert(storedValue(key.name)->toDouble().value_or(-1));
        }
        EXPECT_EQ(ends, (std::set{key.range->min, key.range->max})) << key.name;
    }
}

TEST_F(PaneFallbacks, SelectionStoresOnlyTheOrientation) {
    pane = std::make_unique<ModelOnlyPane>();
    pane->loadMainView();
    EXPECT_FALSE(memory().stored(kDomain)) << "loading alone writes nothing";
    EXPECT_TRUE(posts.empty());

    pane->willSelect();
    EXPECT_EQ(stored(), (Dictionary{{"Orientation", Value(std::int32_t{0})}}));
    EXPECT_EQ(countPosts(posts, "distributed"), 1);
    EXPECT_EQ(countPosts(posts, "local"), 1);
}

TEST_F(PaneFallbacks, StoredValuesThatAreNoNumbersReadAsTheFallback) {
    store({{"Otfs", Value("yes")},
           {"Sensitivity", Value(Data{1, 2})},
           {"DblClickSpeed", Value(Array{})},
           {"Orientation", Value(Dictionary{})}});
    showPane();
    EXPECT_EQ(pane->otfs(), 1);
    EXPECT_EQ(pane->sensitivity(), 0.0);
    EXPECT_EQ(pane->dblClickSpeed(), 0.0);
    EXPECT_EQ(pane->orientation(), 0);
}

// The double-click speed runs the other way in storage.

using PaneDblClickSpeed = PaneTest;

TEST_F(PaneDblClickSpeed, StoredValueIsTenMinusTheSpeed) {
    store({{"DblClickSpeed", Value(6.0)}});
    showPane();
    EXPECT_EQ(pane->dblClickSpeed(), 4.0);

    pane->setDblClickSpeed(3.0);
    EXPECT_EQ(*storedValue("DblClickSpeed"), Value(7.0));
    EXPECT_EQ(pane->dblClickSpeed(), 3.0);

    pane->setDblClickSpeed(10.0);
    EXPECT_EQ(*storedValue("DblClickSpeed"), Value(0.0));
}

TEST_F(PaneDblClickSpeed, AbsentReadsZeroNotTen) {
    showPane();
    EXPECT_EQ(pane->dblClickSpeed(), 0.0);
}

TEST_F(PaneDblClickSpeed, TheStoredTenthsOfASecondGiveTheDoubleClickInterval) {
    showPane();
    EXPECT_EQ(pane->doubleClickInterval(), std::nullopt) << "none stored: the desktop's";
    pane->setDblClickSpeed(4.0);
    EXPECT_EQ(pane->doubleClickInterval(), 600);
    pane->setDblClickSpeed(9.5);
    EXPECT_EQ(pane->doubleClickInterval(), 50);
    pane->setDblClickSpeed(12.0);
    EXPECT_EQ(pane->doubleClickInterval(), 0) << "no interval below none";

    for (const Value& odd : {Value(std::nan("")), Value("fast")}) {
        pane->didUnselect();
        store({{"DblClickSpeed", odd}});
        pane->willSelect();
        EXPECT_EQ(pane->doubleClickInterval(), std::nullopt);
    }
}

// Saving: every change is written over what is stored and announced.

using PaneSave = PaneTest;

TEST_F(PaneSave, EachSetterStoresANumberOfItsKindUnderItsKey) {
    showPane();
    pane->setOrientation(1);
    pane->setSensitivity(2.5);
    pane->setOtfs(0);
    pane->setOtfsOnScreen(0);
    pane->setMasterSensitivityOn(1);
    pane->setMasterSensitivityX(3.25);
    pane->setMasterSensitivityY(4.75);
    pane->setPointerSpeed(5.5);
    pane->setMasterAccelOn(1);
    pane->setMasterAccel(0.5);
    pane->setResolution(800);
    pane->setScrollWheelSpeed(6.0);
    pane->setDblClickSpeed(1.5);
    const Dictionary expected{
        {"Orientation", Value(std::int32_t{1})},
        {"Sensitivity", Value(2.5)},
        {"Otfs", Value(std::int32_t{0})},
        {"OtfsOnScreen", Value(std::int32_t{0})},
        {"MasterSensitivityOn", Value(std::int32_t{1})},
        {"MasterSensitivityX", Value(3.25)},
        {"MasterSensitivityY", Value(4.75)},
        {"PointerSpeed", Value(5.5)},
        {"MasterAccelOn", Value(std::int32_t{1})},
        {"MasterAccel", Value(0.5)},
        {"Resolution", Value(std::int32_t{800})},
        {"ScrollWheelSpeed", Value(6.0)},
        {"DblClickSpeed", Value(8.5)},
    };
    EXPECT_EQ(stored(), expected);
    EXPECT_EQ(countPosts(posts, "distributed"), 14) << "selection plus thirteen setters";
}

TEST_F(PaneSave, DomainIsFlushedBeforeTheAgentAndThenThePagesAreTold) {
    showPane();
    posts.clear();
    pane->setSensitivity(4.0);
    ASSERT_EQ(posts.size(), 2u);

    const Posted& agent = posts[0];
    EXPECT_EQ(agent.center, "distributed");
    EXPECT_EQ(agent.name, "TovikCopperhound");
    EXPECT_EQ(agent.object, "PrefsChange");
    EXPECT_EQ(agent.dictionary, *pane->prefs()) << "the whole settings dictionary";
    EXPECT_EQ(agent.storedThen, pane->prefs()) << "already on disk";

    const Posted& pages = posts[1];
    EXPECT_EQ(pages.center, "local");
    EXPECT_EQ(pages.name, "PrefsChange");
    EXPECT_EQ(pages.dictionary, *pane->prefs());
}

TEST_F(PaneSave, SettingTheSameValueStillSavesAndAnnounces) {
    showPane();
    const int writes = memory().writeCount();
    posts.clear();
    pane->setResolution(400);
    pane->setResolution(400);
    EXPECT_EQ(memory().writeCount(), writes + 2);
    EXPECT_EQ(countPosts(posts, "distributed"), 2);
    EXPECT_EQ(countPosts(posts, "local"), 2);
}

TEST_F(PaneSave, KeysThePaneDoesNotKnowSurviveEverySave) {
    store({{"NumButtons", Value(std::int32_t{7})},
           {"SomethingNewer", Value(Dictionary{{"a", Value("b")}})},
           {"Sensitivity", Value(10.0)}});
    showPane();
    pane->setSensitivity(2.0);
    choose(1, 1);
    const Dictionary d = stored();
    EXPECT_EQ(*lookup(d, "NumButtons"), Value(std::int32_t{7}));
    EXPECT_EQ(*lookup(d, "SomethingNewer"), Value(Dictionary{{"a", Value("b")}}));
    EXPECT_EQ(*lookup(d, "Sensitivity"), Value(2.0));
}

TEST_F(PaneSave, OnlyThePanesChangesGoOverWhatIsStored) {
    store({{"Orientation", Value(std::int32_t{0})}, {"NumButtons", Value(std::int32_t{7})}});
    showPane();
    // Another program adds, changes and removes keys meanwhile.
    Dictionary others = stored();
    others["Extra"] = Value("x");
    others["Sensitivity"] = Value(6.2);
    others.erase("NumButtons");
    store(others);
    pane->setOrientation(1);
    const Dictionary expected{{"Orientation", Value(std::int32_t{1})},
                              {"Extra", Value("x")},
                              {"Sensitivity", Value(6.2)}};
    EXPECT_EQ(stored(), expected);
    EXPECT_EQ(*pane->prefs(), expected) << "the pane's copy is what was written";
    EXPECT_EQ(posts.back().dictionary, expected);
}

TEST_F(PaneSave, NothingHappensWhileNotLoaded) {
    pane = std::make_unique<ModelOnlyPane>();
    pane->setSensitivity(3.0);
    pane->notifyPrefsChange();
    pane->notifyMappingPrefsChange();
    EXPECT_EQ(pane->sensitivity(), 0.0);
    EXPECT_EQ(memory().writeCount(), 0);
    EXPECT_TRUE(posts.empty());

    showPane();
    pane->didUnselect();
    const int writes = memory().writeCount();
    posts.clear();
    pane->setOrientation(1);
    EXPECT_EQ(memory().writeCount(), writes);
    EXPECT_TRUE(posts.empty());
    EXPECT_FALSE(pane->isLoaded());
}

TEST_F(PaneSave, ControlsReachSettingsByName) {
    showPane();
    EXPECT_TRUE(pane->setProperty("scrollWheelSpeed", 4.5));
    EXPECT_TRUE(pane->setProperty("otfs", 0));
    EXPECT_EQ(*storedValue("ScrollWheelSpeed"), Value(4.5));
    EXPECT_EQ(*storedValue("Otfs"), Value(std::int32_t{0}));
    EXPECT_EQ(pane->property("scrollWheelSpeed").toDouble(), 4.5);
    auto* second = pane->property("button2Mapping").value<ButtonMapping*>();
    EXPECT_EQ(second, pane->button2Mapping());
}

// Loading and unloading with the pane's selection.

using PaneSelection = PaneTest;

TEST_F(PaneSelection, ChangesOnDiskBetweenUnselectAndSelectAreSeen) {
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    Platform::current().setPreferences(
        std::make_unique<FilePreferenceDomains>(config.path().toStdString()));
    showPane();
    pane->setSensitivity(2.0);
    choose(3, 7);
    pane->didUnselect();
    EXPECT_FALSE(pane->isLoaded());
    EXPECT_TRUE(pane->mappings().empty());

    {
        FilePreferenceDomains other(config.path().toStdString());
        Dictionary d = other.copyAll(kDomain);
        d["Sensitivity"] = Value(9.0);
        d["ButtonMappings"] = mappingsOf({0, 1, 7, 5, 5, 5, 4});
        other.replaceDomain(kDomain, d);
        ASSERT_TRUE(other.synchronize(kDomain));
    }

    pane->willSelect();
    EXPECT_EQ(pane->sensitivity(), 9.0);
    EXPECT_EQ(mapTypes(), (std::vector<int>{0, 1, 7, 5, 5, 5, 4}));
    EXPECT_EQ(pane->currentMapping(), pane->button1Mapping()) << "back to button 1";
}

TEST_F(PaneSelection, AMappingOutlivingItsPaneNoLongerReportsToIt) {
    showPane();
    ButtonMapping orphan;
    orphan.setModel(pane.get());
    pane.reset();
    orphan.setMapType(3);
    EXPECT_EQ(orphan.mapType(), 0);
}

TEST_F(PaneSelection, MainViewIsLoadedOnce) {
    pane = std::make_unique<ModelOnlyPane>();
    EXPECT_EQ(pane->mainView(), nullptr);
    QWidget* view = pane->loadMainView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(pane->mainView(), view);
    EXPECT_EQ(pane->loadMainView(), view);
    EXPECT_TRUE(pane->isLoaded()) << "settings load before the interface";
}

TEST_F(PaneSelection, MainViewTakenOverByAWindowIsNotDeletedTwice) {
    pane = std::make_unique<ModelOnlyPane>();
    {
        QWidget window;
        pane->loadMainView()->setParent(&window);
    }
    EXPECT_EQ(pane->mainView(), nullptr);
    pane.reset();
}

// The stored button mappings.

using PaneMappings = PaneTest;

TEST_F(PaneMappings, StoredMappingsAreReadInOrder) {
    store({{"ButtonMappings", mappingsOf({0, 1, 7, 5, 5, 5, 5})}});
    showPane();
    EXPECT_EQ(mapTypes(), (std::vector<int>{0, 1, 7, 5, 5, 5, 5}));
    EXPECT_EQ(pane->button3Mapping()->mapType(), 7);
    EXPECT_EQ(pane->button7Mapping()->mapType(), 5);
    EXPECT_EQ(pane->currentMapping(), pane->button1Mapping());
}

TEST_F(PaneMappings, DefaultMappingsAreStoredAtTheFirstMappingChange) {
    showPane();
    EXPECT_FALSE(storedValue("ButtonMappings"));
    choose(2, 7);
    EXPECT_EQ(*storedValue("ButtonMappings"), mappingsOf({0, 0, 7, 0, 0, 0, 0}));
}

TEST_F(PaneMappings, RecordSettersSaveTheWholeArray) {
    showPane();
    choose(1, 3);
    posts.clear();
    pane->currentMapping()->setKeys("567,520");
    const Value* written = storedValue("ButtonMappings");
    ASSERT_TRUE(written && written->asArray());
    EXPECT_EQ(written->asArray()->at(1), Value(withText(3, "567,520")));
    EXPECT_EQ(countPosts(posts, "distributed"), 1);

    pane->button4Mapping()->advMapping()->setMacro("512,256");
    EXPECT_EQ(countPosts(posts, "distributed"), 2);
}

TEST_F(PaneMappings, ButtonMappingsThatIsNoArrayGivesSevenPrimaryClicks) {
    store({{"ButtonMappings", Value("broken")}});
    showPane();
    EXPECT_EQ(mapTypes(), std::vector<int>(7, 0));
    EXPECT_EQ(*storedValue("ButtonMappings"), Value("broken")) << "untouched until changed";
    choose(4, 2);
    EXPECT_EQ(*storedValue("ButtonMappings"), mappingsOf({0, 0, 0, 0, 2, 0, 0}));
}

TEST_F(PaneMappings, FewerThanSevenStoredStillGivesSevenButtons) {
    store({{"ButtonMappings", mappingsOf({5, 0})}});
    showPane();
    EXPECT_EQ(mapTypes(), (std::vector<int>{5, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(pane->button7Mapping()->mapType(), 0);
    EXPECT_EQ(*storedValue("ButtonMappings"), mappingsOf({5, 0})) << "taken as stored";
    choose(6, 1);
    EXPECT_EQ(*storedValue("ButtonMappings"), mappingsOf({5, 0, 0, 0, 0, 0, 1}));

    store({{"ButtonMappings", Value(Array{})}});
    pane->didUnselect();
    pane->willSelect();
    EXPECT_EQ(mapTypes(), std::vector<int>(7, 0));
    EXPECT_EQ(pane->currentMapping(), pane->button1Mapping());
}

TEST_F(PaneMappings, MoreThanSevenStoredAreKept) {
    store({{"ButtonMappings", mappingsOf({0, 1, 7, 5, 5, 5, 5, 2})}});
    showPane();
    EXPECT_EQ(pane->mappings().size(), 8u);
    choose(1, 2);
    EXPECT_EQ(*storedValue("ButtonMappings"), mappingsOf({0, 2, 7, 5, 5, 5, 5, 2}));
}

TEST_F(PaneMappings, ElementsThatCannotBeReadAreWrittenBackUntilTheirButtonChanges) {
    Array stored{Value(Data{0}),    Value("not data"),     Value(std::int32_t{5}), Value(Data{}),
                 Value(Data{1, 9}), Value(Data(50, 0x06)), Value(Data{3, 0xFF})};
    store({{"ButtonMappings", Value(stored)}});
    showPane();
    EXPECT_EQ(mapTypes(), (std::vector<int>{0, 0, 0, 0, 1, 6, 3}));

    pane->setSensitivity(1.0);
    choose(0, 0); // re-stores button 1: every other element as it was
    EXPECT_EQ(*storedValue("ButtonMappings"), Value(stored));

    choose(1, 2);
    stored[1] = Value(Data{2});
    EXPECT_EQ(*storedValue("ButtonMappings"), Value(stored));
}

TEST_F(PaneMappings, AnEditedCopySavesNothingUntilItIsAssigned) {
    store({{"ButtonMappings", mappingsOf({0, 1, 1, 1, 1, 1, 1})}});
    showPane();
    posts.clear();
    ButtonMapping* button2 = pane->button2Mapping();
    const auto copy = button2->detachedCopy();
    copy->setMapType(ButtonMapping::kAdvanced);
    copy->advMapping()->setKeyList(ButtonMapping::kKeyMacro, "512,256");
    copy->setKeys("513");
    EXPECT_TRUE(posts.empty());
    EXPECT_EQ(button2->mapType(), 1);
    EXPECT_FALSE(button2->hasAdvMapping());

    EXPECT_TRUE(button2->assign(*copy));
    EXPECT_EQ(countPosts(posts, "distributed"), 1);
    EXPECT_EQ(storedValue("ButtonMappings")->asArray()->at(1),
              Value(withText(6, std::string("\x04") + "512,256")));
    // Assigned, the record is the pane's again: its own setters save.
    button2->advMapping()->setMacro("513,257");
    EXPECT_EQ(countPosts(posts, "distributed"), 2);
    EXPECT_EQ(copy->advMapping()->macro(), "512,256") << "the copy is its own";
}

TEST_F(PaneMappings, AnAssignmentThatWouldLeaveNoPrimaryClickIsRefused) {
    store({{"ButtonMappings", mappingsOf({0, 1, 1, 1, 1, 1, 1})}});
    showPane();
    posts.clear();
    const auto copy = pane->button1Mapping()->detachedCopy();
    copy->setMapType(ButtonMapping::kAdvanced);
    EXPECT_FALSE(pane->button1Mapping()->assign(*copy));
    EXPECT_FALSE(pane->button1Mapping()->setKeyList(ButtonMapping::kKeyCombination, "512"));
    EXPECT_EQ(pane->button1Mapping()->mapType(), 0);
    EXPECT_TRUE(posts.empty());
}

// The rule that one button keeps the primary click.

class PaneMapTypeRule : public PaneTest {
protected:
    void showWith(std::initializer_list<std::uint8_t> types) {
        store({{"ButtonMappings", mappingsOf(types)}});
        showPane();
        pane->setButtonsController(&controller);
        posts.clear();
    }
    FakeButtonsController controller;
};

TEST_F(PaneMapTypeRule, ChoiceLeavingNoPrimaryClickIsRefusedWithTheAlert) {
    showWith({0, 1, 1, 1, 1, 1, 1});
    QSignalSpy shown(pane->button1Mapping(), &ButtonMapping::mapTypeChanged);
    int typeDuringAlert = -1;
    services().whileAlertShown = [&] {
        typeDuringAlert = pane->button1Mapping()->mapType();
        EXPECT_TRUE(posts.empty()) << "nothing saved before the alert is answered";
    };

    choose(0, 3);
    EXPECT_EQ(services().alertCount, 1);
    EXPECT_EQ(typeDuringAlert, 0);
    EXPECT_EQ(pane->button1Mapping()->mapType(), 0);
    EXPECT_TRUE(controller.calls.empty()) << "no key panel for a refused choice";
    // The unchanged type is stored once more and shown again.
    EXPECT_EQ(countPosts(posts, "distributed"), 1);
    EXPECT_EQ(*storedValue("ButtonMappings"), mappingsOf({0, 1, 1, 1, 1, 1, 1}));
    ASSERT_EQ(shown.count(), 1);
    EXPECT_EQ(shown.at(0).at(0).toInt(), 0);
}

TEST_F(PaneMapTypeRule, KeyCombinationForAnotherButtonOpensTheKeyPanelWhichStoresTheType) {
    showWith({0, 1, 1, 1, 1, 1, 1});
    int typeWhileOpen = -1;
    controller.whileOpen = [&] {
        typeWhileOpen = pane->currentMapping()->mapType();
        EXPECT_TRUE(posts.empty()) << "nothing saved before the panel is confirmed";
        pane->currentMapping()->setKeyList(ButtonMapping::kKeyCombination, "513");
    };
    choose(1, 3);
    EXPECT_EQ(services().alertCount, 0);
    EXPECT_EQ(typeWhileOpen, 1) << "the button keeps its click while the panel is open";
    EXPECT_EQ(pane->button2Mapping()->mapType(), 3);
    EXPECT_EQ(pane->currentMapping(), pane->button2Mapping());
    ASSERT_EQ(controller.calls.size(), 1u);
    EXPECT_EQ(controller.calls[0].first, "doAssignKey");
    EXPECT_EQ(controller.calls[0].second, pane.get());
    EXPECT_EQ(countPosts(posts, "distributed"), 1) << "type and keys in one save";
    EXPECT_EQ(storedValue("ButtonMappings")->asArray()->at(1), Value(withText(3, "513")));
}

TEST_F(PaneMapTypeRule, OfTwoPrimaryClicksEitherMayChangeButNotBoth) {
    showWith({1, 0, 1, 0, 1, 1, 1});
    choose(3, 2);
    EXPECT_EQ(pane->button4Mapping()->mapType(), 2);
    EXPECT_EQ(services().alertCount, 0);

    choose(1, 5);
    EXPECT_EQ(services().alertCount, 1);
    EXPECT_EQ(pane->button2Mapping()->mapType(), 0);
}

TEST_F(PaneMapTypeRule, ChoosingTheSameTypeAgainReopensItsPanel) {
    showWith({0, 4, 6, 1, 1, 1, 1});
    choose(1, 4);
    choose(1, 4);
    choose(2, 6);
    const std::vector<std::string> expected{"doMacroConfig", "doMacroConfig", "doAdvancedConfig"};
    std::vector<std::string> actions;
    for (const auto& c : controller.calls) {
        actions.push_back(c.first);
    }
    EXPECT_EQ(actions, expected);
    EXPECT_TRUE(posts.empty()) << "only a confirmed panel stores";
}

TEST_F(PaneMapTypeRule, TagSixEditsButtonSevenWhateverTheOrientation) {
    showWith({0, 1, 1, 1, 1, 1, 1});
    pane->setOrientation(1);
    choose(6, 5);
    EXPECT_EQ(pane->button7Mapping()->mapType(), 5);
    EXPECT_EQ(pane->currentMapping(), pane->button7Mapping());
    EXPECT_EQ(pane->button1Mapping()->mapType(), 0);
}

TEST_F(PaneMapTypeRule, SendersThatAreNoMappingPopUpsAreIgnored) {
    showWith({0, 1, 1, 1, 1, 1, 1});
    QPushButton button;
    button.setProperty("tag", 1);
    pane->doCurrentMappingChanged(&button);
    pane->doCurrentMappingChanged(nullptr);

    auto untagged = popUp(1);
    untagged->setProperty("tag", QVariant());
    untagged->setCurrentIndex(2);
    pane->doCurrentMappingChanged(untagged.get());
    for (const QVariant& tag : {QVariant(7), QVariant(-1), QVariant("two")}) {
        auto box = popUp(0);
        box->setProperty("tag", tag);
        box->setCurrentIndex(2);
        pane->doCurrentMappingChanged(box.get());
    }
    auto nothingChosen = popUp(1);
    nothingChosen->setCurrentIndex(-1);
    pane->doCurrentMappingChanged(nothingChosen.get());

    EXPECT_TRUE(posts.empty());
    EXPECT_EQ(services().alertCount, 0);
    EXPECT_EQ(mapTypes(), (std::vector<int>{0, 1, 1, 1, 1, 1, 1}));
}

TEST_F(PaneMapTypeRule, TheCheckIsByIdentityNotByEquality) {
    showWith({0, 1, 1, 1, 1, 1, 1});
    const ButtonMapping lookalike(std::span<const std::uint8_t>(bytes({0x00})));
    EXPECT_TRUE(pane->isValidMapType(3, &lookalike)) << "not listed: button 1 still counts";
    EXPECT_FALSE(pane->isValidMapType(3, pane->button1Mapping()));
    EXPECT_TRUE(pane->isValidMapType(0, pane->button2Mapping()));

    TovikCopperhoundPref unloaded;
    EXPECT_FALSE(unloaded.isValidMapType(0, nullptr)) << "no buttons, no primary click";
}

TEST_F(PaneMapTypeRule, AdvancedMappingsPassTheSameCheck) {
    showWith({0, 6, 1, 1, 1, 1, 1});
    ButtonMapping* adv = pane->button2Mapping()->advMapping();
    adv->setMapType(3);
    EXPECT_EQ(adv->mapType(), 3);
    Data expected{0x06, 0x03};
    EXPECT_EQ(storedValue("ButtonMappings")->asArray()->at(1), Value(expected));

    choose(0, 1); // refused: button 1 is the last primary click
    EXPECT_EQ(pane->button1Mapping()->mapType(), 0);
    pane->button1Mapping()->setMapType(2);
    EXPECT_EQ(pane->button1Mapping()->mapType(), 0) << "refused directly, too";
}

TEST_F(PaneMapTypeRule, WithNoPrimaryClickStoredARefusalSavesNothingButShowsTheOldType) {
    showWith({1, 1, 1, 1, 1, 1, 1});
    QSignalSpy shown(pane->button3Mapping(), &ButtonMapping::mapTypeChanged);
    choose(2, 5);
    EXPECT_EQ(services().alertCount, 1);
    EXPECT_TRUE(posts.empty());
    EXPECT_EQ(pane->button3Mapping()->mapType(), 1);
    ASSERT_EQ(shown.count(), 1) << "the pop-up is set back all the same";
    EXPECT_EQ(shown.at(0).at(0).toInt(), 1);

    choose(2, 0);
    EXPECT_EQ(pane->button3Mapping()->mapType(), 0) << "the way out is allowed";
}

TEST_F(PaneMapTypeRule, LeavingThePaneDuringTheAlertIsSafe) {
    showWith({0, 1, 1, 1, 1, 1, 1});
    services().whileAlertShown = [&] { pane->didUnselect(); };
    choose(0, 3);
    EXPECT_TRUE(posts.empty());
    EXPECT_FALSE(pane->isLoaded());

    pane->willSelect();
    posts.clear();
    services().whileAlertShown = [&] { pane.reset(); };
    choose(0, 3);
    EXPECT_EQ(pane, nullptr);
    EXPECT_TRUE(posts.empty());
}

// Preconditions.

using PaneAssertionsDeathTest = PaneTest;

TEST_F(PaneAssertionsDeathTest, CurrentMappingNeedsLoadedSettings) {
    pane = std::make_unique<ModelOnlyPane>();
    EXPECT_DEATH(pane->currentMapping(),
                 testing::AllOf(testing::HasSubstr("TovikCopperhoundPref.cpp:"),
                                testing::HasSubstr(": failed assertion `fCurrMapping != NULL'\n")));
}

TEST_F(PaneAssertionsDeathTest, ButtonMappingsNeedLoadedSettings) {
    showPane();
    pane->didUnselect();
    EXPECT_DEATH(pane->button7Mapping(),
                 testing::HasSubstr(": failed assertion `fMappings != NULL'\n"));
}

// Web pages and help.

using PaneLinks = PaneTest;

TEST_F(PaneLinks, SiteAndUpdatePagesComeFromTheLocalizedStrings) {
    showPane();
    pane->doTovikSite(nullptr);
    pane->doTovikUpdate(pane.get());
    ASSERT_EQ(services().openedUrls.size(), 2u);
    EXPECT_EQ(services().openedUrls[0], QUrl("https://www.tovik.example/zed/"));
    EXPECT_EQ(services().openedUrls[1], QUrl("https://www.tovik.example/zed/update/"));
}

TEST_F(PaneLinks, EachLanguageHasItsOwnAddresses) {
    PaneServices::install(std::make_unique<RecordingPaneServices>(std::make_unique<PaneBundle>(
        bundleDir.path(), PaneBundle::embeddedInfo(), QLocale(QLocale::German))));
    auto& german = static_cast<RecordingPaneServices&>(PaneServices::current());
    showPane();
    pane->doTovikSite(nullptr);
    ASSERT_EQ(german.openedUrls.size(), 1u);
    EXPECT_EQ(german.openedUrls[0], QUrl("https://www.tovik.example/de/zed/"));
}

TEST_F(PaneLinks, MissingAddressOpensNothing) {
    PaneServices::install(std::make_unique<RecordingPaneServices>(
        std::make_unique<PaneBundle>(bundleDir.path(), PaneBundle::embeddedInfo(),
                                     QLocale(QLocale::English), bundleDir.path())));
    auto& bare = static_cast<RecordingPaneServices&>(PaneServices::current());
    showPane();
    pane->doTovikSite(nullptr);
    pane->doTovikUpdate(nullptr);
    EXPECT_TRUE(bare.openedUrls.empty());
}

TEST_F(PaneLinks, HelpBookIsRegisteredWhenTheBundleFolderExists) {
    showPane();
    EXPECT_EQ(services().registeredHelpBooks, std::vector<QString>{bundleDir.path()});
    pane->doTovikHelp(nullptr);
    ASSERT_EQ(services().helpPages.size(), 1u);
    EXPECT_EQ(services().helpPages[0].book, "ZED Help");
    EXPECT_EQ(services().helpPages[0].page, "index.htm");
    EXPECT_TRUE(services().helpPages[0].anchor.isEmpty());
}

TEST_F(PaneLinks, WithoutTheBundleFolderHelpIsNotRegisteredButStillAskedFor) {
    PaneServices::install(std::make_unique<RecordingPaneServices>(std::make_unique<PaneBundle>(
        bundleDir.filePath("gone"), PaneBundle::embeddedInfo(), QLocale(QLocale::English))));
    auto& missing = static_cast<RecordingPaneServices&>(PaneServices::current());
    showPane();
    EXPECT_TRUE(missing.registeredHelpBooks.empty());
    pane->doTovikHelp(nullptr);
    EXPECT_EQ(missing.helpPages.size(), 1u);
}

// Settings per application: a set selected in the pane.

Value setEntry(const char* name, Dictionary overrides, Dictionary more = {}) {
    more.insert_or_assign("Name", Value(name));
    more.insert_or_assign("Applications", Value(Array{Value(std::string(name) + ".desktop")}));
    more.insert_or_assign("Settings", Value(std::move(overrides)));
    return Value(std::move(more));
}

// A property, its key, the value stored for all applications, and the
// value the set gets.
struct SetEdit {
    const char* property;
    const char* key;
    Value defaultValue;
    double setValue;
};

class ApplicationSetEditing : public PaneTest, public ::testing::WithParamInterface<SetEdit> {
protected:
    // An entry no set can be read from, in the middle: kept, and the sets
    // around it still find their own entries.
    Array storedList() const {
        return {setEntry("First", {{GetParam().key, GetParam().defaultValue}}), Value("broken"),
                setEntry("Second", {}, {{"Colour", Value("red")}})};
    }
    void SetUp() override {
        PaneTest::SetUp();
        store({{GetParam().key, GetParam().defaultValue},
               {"ApplicationSettings", Value(storedList())}});
        showPane();
    }
    double shown() const { return pane->property(GetParam().property).toDouble(); }
    const Dictionary& storedOverrides(std::size_t entry) {
        list_ = *storedValue("ApplicationSettings");
        return *lookup(*(*list_.asArray())[entry].asDictionary(), "Settings")->asDictionary();
    }

private:
    Value list_;
};

TEST_P(ApplicationSetEditing, TheSetsValueIsShownStoredInTheSetOnlyAndReset) {
    const double byDefault = *GetParam().defaultValue.toDouble();
    pane->selectSet(0); // the first has the value stored for all applications
    EXPECT_TRUE(pane->isOverridden(GetParam().property));
    pane->selectSet(1);
    EXPECT_EQ(shown(), byDefault);
    EXPECT_FALSE(pane->isOverridden(GetParam().property));

    const std::size_t postsBefore = posts.size();
    pane->setProperty(GetParam().property, GetParam().setValue);
    EXPECT_EQ(shown(), GetParam().setValue);
    EXPECT_TRUE(pane->isOverridden(GetParam().property));
    EXPECT_EQ(countPosts({posts.begin() + static_cast<std::ptrdiff_t>(postsBefore), posts.end()},
                         "distributed"),
              1);
    EXPECT_EQ(*storedValue(GetParam().key), GetParam().defaultValue);
    ASSERT_NE(lookup(storedOverrides(2), GetParam().key), nullptr);
    EXPECT_EQ(lookup(storedOverrides(2), GetParam().key)->toDouble(), GetParam().setValue);
    Array list = *storedValue("ApplicationSettings")->asArray();
    EXPECT_EQ(list[0], storedList()[0]);
    EXPECT_EQ(list[1], Value("broken"));
    EXPECT_EQ(*lookup(*list[2].asDictionary(), "Colour"), Value("red"));

    pane->resetOverride(GetParam().property);
    EXPECT_EQ(shown(), byDefault);
    EXPECT_FALSE(pane->isOverridden(GetParam().property));
    EXPECT_EQ(*storedValue("ApplicationSettings"), Value(storedList()));

    // For all applications, as without sets.
    pane->selectSet(-1);
    pane->setProperty(GetParam().property, GetParam().setValue);
    EXPECT_EQ(storedValue(GetParam().key)->toDouble(), GetParam().setValue);
    EXPECT_EQ(*storedValue("ApplicationSettings"), Value(storedList()));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ApplicationSetEditing,
    ::testing::Values(SetEdit{"sensitivity", "Sensitivity", Value(10.0), 4.0},
                      SetEdit{"masterAccelOn", "MasterAccelOn", Value(std::int32_t{0}), 1},
                      SetEdit{"scrollWheelSpeed", "ScrollWheelSpeed", Value(10.0), 2.5},
                      SetEdit{"otfsOnScreen", "OtfsOnScreen", Value(std::int32_t{1}), 0}));

using ApplicationSets = PaneTest;

TEST_F(ApplicationSets, DesktopWideSettingsStayTheSameForAllApplications) {
    store({{"DblClickSpeed", Value(6.0)},
           {"ApplicationSettings", Value(Array{setEntry("Game", {})})}});
    showPane();
    pane->selectSet(0);
    EXPECT_FALSE(pane->mayDiffer("dblClickSpeed"));
    EXPECT_TRUE(pane->mayDiffer("buttonMappings"));
    pane->setDblClickSpeed(3.0);
    EXPECT_EQ(*storedValue("DblClickSpeed"), Value(7.0));
    EXPECT_EQ(*storedValue("ApplicationSettings"), Value(Array{setEntry("Game", {})}));
}

TEST_F(ApplicationSets, AddedRenamedAndRemovedSetsAreSavedAndTheSelectionFollows) {
    store({{"Sensitivity", Value(10.0)}});
    showPane();
    EXPECT_EQ(pane->addApplicationSet("Racing", {"supertuxkart"}), 0);
    EXPECT_EQ(pane->addApplicationSet("Office", {"writer", "calc"}), 1);
    pane->selectSet(1);
    pane->setSensitivity(3.0);
    pane->renameApplicationSet(1, "Work");
    pane->setSetApplications(1, {"writer"});
    EXPECT_EQ(*storedValue("ApplicationSettings"),
              Value(Array{Value(Dictionary{{"Name", Value("Racing")},
                                           {"Applications", Value(Array{Value("supertuxkart")})},
                                           {"Settings", Value(Dictionary{})}}),
                          Value(Dictionary{
                              {"Name", Value("Work")},
                              {"Applications", Value(Array{Value("writer")})},
                              {"Settings", Value(Dictionary{{"Sensitivity", Value(3.0)}})}})}));
    pane->removeApplicationSet(0);
    EXPECT_EQ(pane->selectedSet(), 0);
    EXPECT_EQ(pane->sensitivity(), 3.0);
    pane->removeApplicationSet(0);
    EXPECT_EQ(pane->selectedSet(), -1);
    EXPECT_EQ(pane->sensitivity(), 10.0);
    EXPECT_EQ(*storedValue("ApplicationSettings"), Value(Array{}));
}

TEST_F(ApplicationSets, ASetsButtonMappingsAreItsOwnAsAWhole) {
    store({{"ApplicationSettings", Value(Array{setEntry("Game", {})})}});
    showPane();
    const std::vector<int> byDefault = mapTypes();
    pane->selectSet(0);
    choose(1, ButtonMapping::kOnTheFlySensitivity);
    EXPECT_TRUE(pane->isOverridden("buttonMappings"));
    EXPECT_EQ(mapTypes()[1], ButtonMapping::kOnTheFlySensitivity);
    EXPECT_EQ(storedValue("ButtonMappings"), nullptr);
    pane->selectSet(-1);
    EXPECT_EQ(mapTypes(), byDefault);
    pane->selectSet(0);
    pane->resetOverride("buttonMappings");
    EXPECT_EQ(mapTypes(), byDefault);
    EXPECT_EQ(*storedValue("ApplicationSettings"), Value(Array{setEntry("Game", {})}));
}

} // namespace
} // namespace zed::test

#include "TovikCopperhoundPrefTest.moc"
