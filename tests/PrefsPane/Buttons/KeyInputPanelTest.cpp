#include "ButtonsTestSupport.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace zed::test {
namespace {

using namespace std::string_literals;

// Evdev codes of the keys the cases type.
constexpr std::uint16_t kA = KEY_A;                   // virtual key 0
constexpr std::uint16_t kS = KEY_S;                   // virtual key 1
constexpr std::uint16_t kLeftSuper = KEY_LEFTMETA;    // Command, 55
constexpr std::uint16_t kLeftShift = KEY_LEFTSHIFT;   // 56
constexpr std::uint16_t kRightShift = KEY_RIGHTSHIFT; // 60
constexpr std::uint16_t kCapsLock = KEY_CAPSLOCK;     // 57
constexpr std::uint16_t kLeftAlt = KEY_LEFTALT;       // Option, 58
constexpr std::uint16_t kLeftCtrl = KEY_LEFTCTRL;     // Control, 59
constexpr std::uint16_t kC = KEY_C;                   // virtual key 8

class KeyInputPanelTest : public ButtonsPageTest {
protected:
    void SetUp() override {
        ButtonsPageTest::SetUp();
        showPage();
        assignKeyPanel().setBeep([this] { ++beeps; });
        macroPanel().setBeep([this] { ++beeps; });
    }

    // Opens a panel on button 1's mapping, as the buttons page does, and
    // starts recording.
    KeyInputPanel& openAssignKey() {
        assignKeyPanel().notifyBegin(false);
        assignKeyPanel().setRecording(true);
        return assignKeyPanel();
    }
    KeyInputPanel& openMacro() {
        macroPanel().notifyBegin(false);
        macroPanel().setRecording(true);
        return macroPanel();
    }
    static QString shown(KeyInputPanel& panel) { return panel.textBox()->text(); }
    static QString recorded(KeyInputPanel& panel) {
        return panel.keyCodes() ? panel.keyCodes()->join(',') : QStringLiteral("<closed>");
    }

    int beeps = 0;
};

// Set-up from the interface file

using KeyInputPanelSetUp = KeyInputPanelTest;

TEST_F(KeyInputPanelSetUp, EachPanelKnowsItsKindByTheTagOfItsTextBox) {
    EXPECT_FALSE(assignKeyPanel().isMacro());
    EXPECT_TRUE(macroPanel().isMacro());
    EXPECT_EQ(assignKeyPanel().textBox()->property("tag").toInt(), 998);
    EXPECT_EQ(macroPanel().textBox()->property("tag").toInt(), 999);
    // Shows the recording only: nothing in it can be edited or selected.
    EXPECT_EQ(assignKeyPanel().textBox()->textInteractionFlags(), Qt::NoTextInteraction);
    EXPECT_EQ(assignKeyPanel().textBox()->focusPolicy(), Qt::NoFocus);
}

TEST_F(KeyInputPanelSetUp, ThePopUpOffersTheSpecialKeysInTableOrder) {
    QComboBox* menu = macroPanel().keyMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->count(), 19);
    EXPECT_EQ(menu->itemText(0), "F1");
    EXPECT_EQ(menu->itemText(13), "Tab");
    EXPECT_EQ(menu->itemText(18), "Super");
}

// Opening and closing

using KeyInputPanelOpening = KeyInputPanelTest;

TEST_F(KeyInputPanelOpening, AStoredMacroShowsDirectionsAndLayoutCharactersAndIsStoredUnchanged) {
    current().setMacro("512,256");
    KeyInputPanel& panel = openMacro();
    EXPECT_EQ(shown(panel), kDown + "A " + kUp + "A") << "spelled as the page spells it";

    posts.clear();
    panel.notifyEnd();
    EXPECT_EQ(current().macro(), "512,256");
    EXPECT_FALSE(panel.keyCodes()) << "released on closing";
    EXPECT_FALSE(posts.empty()) << "closing saves even without a change";
}

TEST_F(KeyInputPanelOpening, AStoredCombinationShowsLabelsWithoutDirections) {
    current().setKeys("512,567");
    KeyInputPanel& panel = openAssignKey();
    EXPECT_EQ(shown(panel), "Super+A");
    EXPECT_EQ(recorded(panel), "512,567");
}

TEST_F(KeyInputPanelOpening, MissingOrEmptyTextOpensEmptyAndStoresTheEmptyText) {
    ASSERT_FALSE(current().keys());
    KeyInputPanel& assign = openAssignKey();
    EXPECT_EQ(shown(assign), "");
    EXPECT_EQ(recorded(assign), "");
    assign.notifyEnd();
    EXPECT_EQ(current().keys(), "");

    current().setMacro("");
    macroPanel().textBox()->setText("left over");
    KeyInputPanel& macro = openMacro();
    EXPECT_EQ(shown(macro), "");
    macro.notifyEnd();
    EXPECT_EQ(current().macro(), "");
}

TEST_F(KeyInputPanelOpening, StoredItemsAreKeptAsStoredAndNamedByTheirLowByte) {
    // 0x300 | 49: a press-and-release item of Space, as an older list may hold.
    current().setMacro("817,x,560");
    KeyInputPanel& panel = openMacro();
    EXPECT_EQ(shown(panel), kUp + "Space " + kDown + "A " + kDown + "Tab");
    panel.notifyEnd();
    EXPECT_EQ(current().macro(), "817,x,560");
}

TEST_F(KeyInputPanelOpening, AdvancedModeEditsTheAdvancedMappingAndSetsItsTypeFirst) {
    pick(1, ButtonMapping::kOnTheFlySensitivity); // button 2 becomes the current mapping
    pane->button2Mapping()->setMapType(ButtonMapping::kAdvanced);
    ButtonMapping* advanced = pane->button2Mapping()->advMapping();
    std::vector<std::string> order;
    QObject::connect(advanced, &ButtonMapping::mapTypeChanged,
                     [&](int type) { order.push_back("type " + std::to_string(type)); });
    QObject::connect(advanced, &ButtonMapping::keysChanged, [&] { order.push_back("keys"); });

    KeyInputPanel& panel = assignKeyPanel();
    panel.notifyBegin(true);
    panel.setRecording(true);
    press(&panel, kS);
    panel.notifyEnd();

    EXPECT_EQ(order, (std::vector<std::string>{"type 3", "keys"}));
    EXPECT_EQ(advanced->keys(), "513");
    EXPECT_FALSE(pane->button2Mapping()->keys()) << "the button's own list is untouched";
    const Value* stored = storedValue("ButtonMappings");
    ASSERT_TRUE(stored && stored->asArray());
    EXPECT_EQ(stored->asArray()->at(1), Value(Data{6, 3, '5', '1', '3'}));
}

// The assign-key panel records one combination

using AssignKeyRecording = KeyInputPanelTest;

TEST_F(AssignKeyRecording, AKeyThenCommandIsOneCombination) {
    KeyInputPanel& panel = openAssignKey();
    press(&panel, kA);
    press(&panel, kLeftSuper);
    EXPECT_EQ(shown(panel), "Super+A");
    panel.notifyEnd();
    EXPECT_EQ(current().keys(), "512,567");
}

TEST_F(AssignKeyRecording, EachKeyStartsANewCombination) {
    KeyInputPanel& panel = openAssignKey();
    press(&panel, kA);
    press(&panel, kS);
    release(&panel, kS);
    EXPECT_EQ(recorded(panel), "513");
    EXPECT_EQ(shown(panel), "S");
}

// A chord: the key, then each modifier held while it went down.
TEST_F(AssignKeyRecording, ModifiersHeldWhenTheKeyGoesDownFollowIt) {
    KeyInputPanel& panel = openAssignKey();
    press(&panel, kLeftCtrl);
    press(&panel, kC, Qt::ControlModifier);
    release(&panel, kC, Qt::ControlModifier);
    release(&panel, kLeftCtrl, Qt::ControlModifier);
    EXPECT_EQ(recorded(panel), "520,571");
    EXPECT_EQ(shown(panel), "Ctrl+C");
    panel.notifyEnd();
    EXPECT_EQ(current().keys(), "520,571");

    // Super is Command, and takes the key-equivalent path.
    openAssignKey();
    press(&panel, kLeftSuper);
    press(&panel, kC, Qt::MetaModifier);
    release(&panel, kC, Qt::MetaModifier);
    release(&panel, kLeftSuper, Qt::MetaModifier);
    EXPECT_EQ(recorded(panel), "520,567");
    EXPECT_EQ(shown(panel), "Super+C");
}

TEST_F(AssignKeyRecording, SeveralModifiersFollowInTheOrderTheyWentDown) {
    KeyInputPanel& panel = openAssignKey();
    press(&panel, kLeftCtrl);
    press(&panel, kLeftShift, Qt::ControlModifier);
    press(&panel, kA, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(recorded(panel), "512,571,568");
    // Released and typed again while Shift alone is held.
    release(&panel, kA, Qt::ControlModifier | Qt::ShiftModifier);
    release(&panel, kLeftCtrl, Qt::ControlModifier | Qt::ShiftModifier);
    press(&panel, kS, Qt::ShiftModifier);
    EXPECT_EQ(recorded(panel), "513,568");
}

TEST_F(AssignKeyRecording, RightHandModifiersKeepTheirOwnCodes) {
    struct Case {
        std::uint16_t evdev;
        Qt::KeyboardModifier flag;
        const char* expected;
    };
    for (const Case& c : {Case{KEY_RIGHTCTRL, Qt::ControlModifier, "520,574"},
                          Case{KEY_RIGHTSHIFT, Qt::ShiftModifier, "520,572"},
                          Case{KEY_RIGHTALT, Qt::AltModifier, "520,573"},
                          Case{KEY_RIGHTMETA, Qt::MetaModifier, "520,566"}}) {
        KeyInputPanel& panel = openAssignKey();
        press(&panel, c.evdev);
        press(&panel, kC, c.flag);
        EXPECT_EQ(recorded(panel), c.expected) << "evdev " << c.evdev;
        release(&panel, kC, c.flag);
        release(&panel, c.evdev, c.flag);
        panel.notifyEnd();
    }
}

TEST_F(AssignKeyRecording, TheKeyEventsOwnModifierStateDecidesWhatIsHeld) {
    KeyInputPanel& panel = openAssignKey();
    // Held since before the panel opened: the panel saw no press of it.
    press(&panel, kC, Qt::ControlModifier);
    EXPECT_EQ(recorded(panel), "520,571");
    release(&panel, kC, Qt::ControlModifier);
    // Let go while the panel was not looking: no longer held.
    panel.setRecording(true);
    press(&panel, kLeftAlt);
    press(&panel, kS);
    EXPECT_EQ(recorded(panel), "513");
    // A repeat of the key adds nothing, modifiers included.
    press(&panel, kS, Qt::ShiftModifier, true);
    EXPECT_EQ(recorded(panel), "513");
}

TEST_F(AssignKeyRecording, ModifierReleasesLeaveTheListUnchanged) {
    KeyInputPanel& panel = openAssignKey();
    press(&panel, kA);
    press(&panel, kLeftShift);
    press(&panel, kLeftAlt, Qt::ShiftModifier);
    release(&panel, kLeftAlt, Qt::ShiftModifier | Qt::AltModifier);
    release(&panel, kLeftShift, Qt::ShiftModifier);
    EXPECT_EQ(recorded(panel), "512,568,570");
    EXPECT_EQ(shown(panel), "Alt+Shift+A");
}

TEST_F(AssignKeyRecording, PopUpKeysStartANewCombinationModifiersIncluded) {
    KeyInputPanel& panel = openAssignKey();
    press(&panel, kA);
    panel.keyMenu()->setCurrentIndex(18);
    panel.hitKeyDown();
    EXPECT_EQ(recorded(panel), "567");
    panel.hitKeyUp();
    EXPECT_EQ(recorded(panel), "567") << "releases are not recorded here";
}

// The macro panel records presses and releases

using MacroRecording = KeyInputPanelTest;

TEST_F(MacroRecording, PressesAndReleasesAreRecordedInOrderWithDirections) {
    KeyInputPanel& panel = openMacro();
    press(&panel, kLeftShift);
    press(&panel, kA, Qt::ShiftModifier);
    release(&panel, kA, Qt::ShiftModifier);
    release(&panel, kLeftShift, Qt::ShiftModifier);
    EXPECT_EQ(recorded(panel), "568,512,256,312");
    EXPECT_EQ(shown(panel), kDown + "Shift " + kDown + "A " + kUp + "A " + kUp + "Shift");
}

TEST_F(MacroRecording, ACommandCombinationIsRecordedAtOnceAndNoShortcutSeesIt) {
    KeyInputPanel& panel = openMacro();
    press(&panel, kLeftSuper);

    QKeyEvent shortcut(QEvent::ShortcutOverride, Qt::Key_Q, Qt::MetaModifier, KEY_Q + 8u, 0, 0);
    shortcut.ignore();
    QCoreApplication::sendEvent(&panel, &shortcut);
    EXPECT_TRUE(shortcut.isAccepted()) << "the key comes as a key press, not as a shortcut";

    press(&panel, kA, Qt::MetaModifier);
    EXPECT_EQ(recorded(panel), "567,512,256") << "press and release at once";
    release(&panel, kA, Qt::MetaModifier);
    release(&panel, kLeftSuper, Qt::MetaModifier);
    EXPECT_EQ(recorded(panel), "567,512,256,311");
}

TEST_F(MacroRecording, TheKeyEquivalentAnswersWhetherCommandIsHeld) {
    KeyInputPanel& panel = openMacro();
    EXPECT_FALSE(panel.performKeyEquivalent({0, zed::buttons::kControlMask, false}));
    EXPECT_EQ(recorded(panel), "");
    EXPECT_TRUE(panel.performKeyEquivalent({1, zed::buttons::kCommandMask, false}));
    EXPECT_EQ(recorded(panel), "513,257");
}

TEST_F(MacroRecording, AutomaticRepeatsAddNothing) {
    KeyInputPanel& panel = openMacro();
    press(&panel, kA);
    press(&panel, kA, Qt::NoModifier, true);
    release(&panel, kA, Qt::NoModifier, true);
    press(&panel, kA, Qt::NoModifier, true);
    release(&panel, kA);
    EXPECT_EQ(recorded(panel), "512,256");

    KeyInputPanel& assign = openAssignKey();
    press(&assign, kS);
    press(&assign, kA, Qt::NoModifier, true);
    EXPECT_EQ(recorded(assign), "513") << "a repeat starts no new combination";
}

TEST_F(MacroRecording, TheFnKeyAddsNothing) {
    KeyInputPanel& panel = openMacro();
    press(&panel, KEY_FN);
    release(&panel, KEY_FN);
    panel.flagsChanged({63, 0, false});
    EXPECT_EQ(recorded(panel), "");
    EXPECT_EQ(shown(panel), "");
}

TEST_F(MacroRecording, EveryCapsLockChangeIsAPress) {
    KeyInputPanel& panel = openMacro();
    press(&panel, kCapsLock);
    release(&panel, kCapsLock);
    press(&panel, kCapsLock);
    release(&panel, kCapsLock);
    EXPECT_EQ(recorded(panel), "569,569");
    EXPECT_EQ(shown(panel), kDown + "Caps Lock " + kDown + "Caps Lock");
}

TEST_F(MacroRecording, ReleasingRightShiftWhileLeftShiftIsHeldCountsAsAPress) {
    KeyInputPanel& panel = openMacro();
    press(&panel, kLeftShift);
    press(&panel, kRightShift, Qt::ShiftModifier);
    release(&panel, kRightShift, Qt::ShiftModifier);
    release(&panel, kLeftShift, Qt::ShiftModifier);
    EXPECT_EQ(recorded(panel), "568,572,572,312");
}

TEST_F(MacroRecording, PopUpKeysArePressedAndReleased) {
    KeyInputPanel& panel = openMacro();
    panel.keyMenu()->setCurrentIndex(13);
    panel.hitKeyDown();
    EXPECT_EQ(recorded(panel), "560");
    EXPECT_EQ(shown(panel), kDown + "Tab");
    panel.hitKeyUp();
    EXPECT_EQ(recorded(panel), "560,304");
}

TEST_F(MacroRecording, KeysThatWouldConfirmOrMoveTheFocusAreRecorded) {
    KeyInputPanel& panel = openMacro();
    panel.show();
    press(&panel, KEY_ENTER);
    press(&panel, KEY_TAB);
    press(&panel, KEY_SPACE);
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(recorded(panel), "548,560,561");
    panel.hide();
}

TEST_F(MacroRecording, EscapeFromTheSpecialKeys) {
    KeyInputPanel& panel = openMacro();
    panel.keyMenu()->setCurrentIndex(14);
    panel.hitKeyDown();
    panel.hitKeyUp();
    EXPECT_EQ(recorded(panel), "565,309");
    EXPECT_EQ(shown(panel), kDown + "Esc " + kUp + "Esc");
}

TEST_F(MacroRecording, AReleaseWhosePressThePanelDidNotSeeIsIgnored) {
    // Opened with Enter: its release is the first key event the panel gets.
    KeyInputPanel& panel = openMacro();
    release(&panel, KEY_ENTER);
    release(&panel, kLeftShift, Qt::ShiftModifier);
    release(&panel, kA);
    EXPECT_EQ(recorded(panel), "");
    EXPECT_EQ(shown(panel), "");

    press(&panel, KEY_ENTER);
    release(&panel, KEY_ENTER);
    release(&panel, KEY_ENTER);
    EXPECT_EQ(recorded(panel), "548,292") << "one release for one press";
    // The panel opened again does not remember keys of its last opening.
    press(&panel, kA);
    panel.notifyEnd();
    openMacro();
    release(&panel, kA);
    EXPECT_EQ(recorded(panel), "548,292,512");
}

TEST_F(MacroRecording, KeysWithoutAVirtualKeyCodeAreIgnored) {
    KeyInputPanel& panel = openMacro();
    press(&panel, KEY_PROG1);
    sendKey(&panel, QEvent::KeyPress, 0); // native code 8: no evdev key
    QKeyEvent synthetic(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QCoreApplication::sendEvent(&panel, &synthetic); // no native code at all
    EXPECT_EQ(recorded(panel), "");
}

TEST_F(MacroRecording, AClosedPanelRecordsNothing) {
    KeyInputPanel& panel = openMacro();
    panel.notifyEnd();
    press(&panel, kA);
    panel.hitKeyDown();
    EXPECT_FALSE(panel.keyCodes());
    EXPECT_EQ(current().macro(), "");
}

// Recording starts and stops

using RecordingState = KeyInputPanelTest;

TEST_F(RecordingState, ACombinationStopsOnceItsKeysAreLetGo) {
    KeyInputPanel& panel = openAssignKey();
    press(&panel, kLeftCtrl);
    press(&panel, kC, Qt::ControlModifier);
    release(&panel, kC, Qt::ControlModifier);
    EXPECT_TRUE(panel.isRecording()) << "Ctrl is still held";
    release(&panel, kLeftCtrl, Qt::ControlModifier);
    EXPECT_FALSE(panel.isRecording());
    EXPECT_FALSE(panel.recordButton()->isChecked());
    press(&panel, kA);
    EXPECT_EQ(recorded(panel), "520,571");

    // Recording again starts a new combination, modifiers alone included.
    panel.setRecording(true);
    press(&panel, kLeftShift);
    release(&panel, kLeftShift, Qt::ShiftModifier);
    EXPECT_EQ(recorded(panel), "568");
    EXPECT_FALSE(panel.isRecording());
}

TEST_F(RecordingState, AMacroStopsAfterAPauseWithEveryKeyUp) {
    KeyInputPanel& panel = openMacro();
    panel.setMacroPause(20);
    press(&panel, kA);
    QTest::qWait(60);
    EXPECT_TRUE(panel.isRecording()) << "a key is still down";
    release(&panel, kA);
    EXPECT_TRUE(panel.isRecording());
    QTRY_VERIFY_WITH_TIMEOUT(!panel.isRecording(), 2000);
    EXPECT_EQ(recorded(panel), "512,256");
}

TEST_F(RecordingState, TheRecordingIsTheTextBoxsAccessibleDescription) {
    KeyInputPanel& panel = openAssignKey();
    QAccessibleInterface* box = QAccessible::queryAccessibleInterface(panel.textBox());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(QAccessible::Description), "No keys recorded");
    press(&panel, kLeftCtrl);
    press(&panel, kLeftShift, Qt::ControlModifier);
    press(&panel, KEY_K, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(box->text(QAccessible::Description), "Ctrl+Shift+K");
    EXPECT_EQ(shown(panel), "Ctrl+Shift+K") << "as the buttons page spells it";

    KeyInputPanel& macro = openMacro();
    press(&macro, kLeftCtrl);
    press(&macro, kC, Qt::ControlModifier);
    release(&macro, kC, Qt::ControlModifier);
    release(&macro, kLeftCtrl, Qt::ControlModifier);
    const QString spelled = kDown + "Ctrl " + kDown + "C " + kUp + "C " + kUp + "Ctrl";
    EXPECT_EQ(
        QAccessible::queryAccessibleInterface(macro.textBox())->text(QAccessible::Description),
        spelled);
    EXPECT_EQ(shown(macro), spelled);
}

TEST_F(RecordingState, RemoveLastDropsTheLastEntryOnly) {
    current().setMacro("512,256,513");
    KeyInputPanel& panel = openMacro();
    QPushButton* removeLast = panel.findChild<QPushButton*>("macroRemoveLastButton");
    ASSERT_NE(removeLast, nullptr);
    removeLast->click();
    EXPECT_EQ(recorded(panel), "512,256");
    EXPECT_EQ(shown(panel), kDown + "A " + kUp + "A");
    EXPECT_EQ(panel.countLabel()->text(), "2 of 16");
    removeLast->click();
    removeLast->click();
    removeLast->click(); // nothing left: nothing happens
    EXPECT_EQ(recorded(panel), "");
    panel.notifyEnd();
    EXPECT_EQ(current().macro(), "");
}

// A macro holds at most 16 keys from the keyboard

using MacroLimit = KeyInputPanelTest;

TEST_F(MacroLimit, AFullMacroBeepsAtAPressAndDropsAReleaseSilently) {
    current().setMacro("512,256,513,257,514,258,515,259,516,260,517,261,518,262,519,263");
    KeyInputPanel& panel = openMacro();
    const QString before = shown(panel);
    press(&panel, kA);
    EXPECT_EQ(beeps, 1);
    release(&panel, kA);
    EXPECT_EQ(beeps, 1) << "a release makes no sound";
    panel.hitKeyDown();
    EXPECT_EQ(beeps, 2);
    EXPECT_EQ(panel.keyCodes()->size(), 16);
    EXPECT_EQ(shown(panel), before);
}

TEST_F(MacroLimit, ModifierChangesCountAsEntries) {
    current().setMacro("512,256,513,257,514,258,515,259,516,260,517,261,518,262,519");
    KeyInputPanel& panel = openMacro();
    press(&panel, kLeftShift);
    EXPECT_EQ(recorded(panel).split(',').size(), 16);
    EXPECT_EQ(beeps, 0);
    press(&panel, kA, Qt::ShiftModifier);
    press(&panel, kLeftCtrl, Qt::ShiftModifier);
    EXPECT_EQ(beeps, 2) << "a modifier press is refused like a key press";
    release(&panel, kLeftCtrl, Qt::ShiftModifier | Qt::ControlModifier);
    release(&panel, kLeftShift, Qt::ShiftModifier);
    EXPECT_EQ(beeps, 2);
    EXPECT_EQ(panel.keyCodes()->size(), 16);
    EXPECT_TRUE(recorded(panel).endsWith(",519,568"));
}

TEST_F(MacroLimit, AStoredMacroLongerThanTheLimitTakesNoMoreKeys) {
    current().setMacro("512,256,513,257,514,258,515,259,516,260,517,261,518,262,519,263,568");
    KeyInputPanel& panel = openMacro();
    press(&panel, kA);
    press(&panel, kLeftAlt);
    EXPECT_EQ(beeps, 2);
    EXPECT_EQ(panel.keyCodes()->size(), 17);
}

// Key names

using KeyNames = KeyInputPanelTest;

TEST_F(KeyNames, FixedLabelsNeedNoLayoutAndWriteNoLog) {
    KeyInputPanel& panel = macroPanel();
    log.clear();
    EXPECT_EQ(panel.getKeyString(36), "Return");
    EXPECT_EQ(panel.getKeyString(54), "Super");
    EXPECT_EQ(panel.getKeyString(71), "Num Lock");
    EXPECT_EQ(panel.getKeyString(117), "Del");
    EXPECT_EQ(panel.getKeyString(126), "Up");
    EXPECT_TRUE(log.empty());
}

TEST_F(KeyNames, OtherKeysAreNamedByTheUnshiftedCharacterOfTheLayout) {
    KeyInputPanel& panel = macroPanel();
    EXPECT_EQ(panel.getKeyString(18), "1");
    EXPECT_EQ(panel.getKeyString(27), "-");
    EXPECT_EQ(panel.getKeyString(83), "1") << "the keypad by its digits";

    KeyboardLayout::install(XkbKeyboardLayout::fromNames({"evdev", "pc105", "de", "", ""}));
    EXPECT_EQ(panel.getKeyString(16), "z") << "the key where a US keyboard has Y";
    EXPECT_EQ(panel.getKeyString(41), QString::fromUtf8("ö"));
    log.clear();
    panel.getKeyString(0);
    EXPECT_EQ(log, (std::vector<std::string>{"keycode = 0, keychar = a or \0"s, "keys = 97"}));
}

TEST_F(KeyNames, AKeyTheLayoutCannotNameIsEmptyAndStillLogged) {
    KeyInputPanel& panel = macroPanel();
    log.clear();
    EXPECT_EQ(panel.getKeyString(52), "") << "52 has no key on Linux";
    EXPECT_EQ(panel.getKeyString(300), "");
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], "keycode = 34, keychar = \0 or \0"s);
    EXPECT_EQ(log[1], "keys = 0");
}

} // namespace
} // namespace zed::test
