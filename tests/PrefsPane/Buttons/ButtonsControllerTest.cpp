#include "ButtonsTestSupport.h"
#include "PrefsPane/Widgets/SettingsBinder.h"
#include "RecordingPaneServices.h"

#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

namespace zed::test {
namespace {

class ButtonsControllerTest : public ButtonsPageTest {
protected:
    // The picture a dialog shows in its view tagged 99.
    static QPixmap dialogMouse(QDialog* panel) {
        auto* view = qobject_cast<QLabel*>(viewWithTag(panel, ButtonsController::kMouseImageTag));
        return view ? view->pixmap() : QPixmap();
    }
    static bool same(const QPixmap& a, const QPixmap& b) {
        return !a.isNull() && a.cacheKey() == b.cacheKey();
    }
    static QPushButton* button(QWidget* dialog, const char* name) {
        return dialog->findChild<QPushButton*>(name);
    }
    void setOrientation(int orientation) { pane->setOrientation(orientation); }
    // The user turns the Record button of the open key panel on.
    static void record(QDialog* panel) {
        if (auto* keys = qobject_cast<KeyInputPanel*>(panel)) {
            keys->recordButton()->click();
        } else {
            ADD_FAILURE() << "no key panel";
        }
    }
    // Escape while not recording, as the keyboard sends it.
    static void escape(QDialog* panel) {
        if (auto* keys = qobject_cast<KeyInputPanel*>(panel); keys && keys->isRecording()) {
            keys->recordButton()->click();
        }
        QKeyEvent event(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, KEY_ESC + 8u, 0, 0);
        QCoreApplication::sendEvent(panel, &event);
    }
    // Ends a dialog's run that the case expected to have ended, so that a
    // failing case fails instead of waiting for a user.
    void endIfStillOpen(QDialog* panel) {
        if (panel->isVisible()) {
            ADD_FAILURE() << qPrintable(panel->objectName()) << " is still open";
            controller->dialogDidEnd(panel, 0, nullptr);
        }
    }
};

// Pictures follow the stored orientation

using ButtonsPictures = ButtonsControllerTest;

TEST_F(ButtonsPictures, TheFourPicturesAreLoadedAndDiffer) {
    showPage();
    for (const QPixmap* p : {&controller->rightHandImage(), &controller->leftHandImage(),
                             &controller->rightMouseImage(), &controller->leftMouseImage()}) {
        EXPECT_FALSE(p->isNull());
    }
    EXPECT_NE(controller->rightHandImage().toImage(), controller->leftHandImage().toImage());
    EXPECT_NE(controller->rightMouseImage().toImage(), controller->leftMouseImage().toImage());
}

TEST_F(ButtonsPictures, ADialogOpenedBeforeAnySaveShowsTheRightHandMouse) {
    showPage(false); // loaded but not selected: nothing was saved yet
    EXPECT_TRUE(controller->handsPanel()->pixmap().isNull()) << "the page waits for the first save";
    QPixmap shown;
    whenDialogOpens([&] {
        shown = dialogMouse(controller->modalPanel());
        controller->applyMacroConfig();
    });
    controller->doMacroConfig(pane.get());
    EXPECT_TRUE(same(shown, controller->rightMouseImage()));
}

TEST_F(ButtonsPictures, SelectingThePaneShowsThePicturesOfTheStoredOrientation) {
    store({{"Orientation", Value(std::int32_t{0})}});
    showPage();
    EXPECT_TRUE(same(controller->handsPanel()->pixmap(), controller->rightHandImage()));
    EXPECT_TRUE(same(controller->mousePanel()->pixmap(), controller->rightMouseImage()));
}

TEST_F(ButtonsPictures, AnyNonZeroOrientationSelectsTheLeftHandPictures) {
    showPage();
    for (int orientation : {1, 2, -1}) {
        setOrientation(orientation);
        EXPECT_EQ(controller->orientation(), orientation);
        EXPECT_TRUE(same(controller->handsPanel()->pixmap(), controller->leftHandImage()));
        EXPECT_TRUE(same(controller->mousePanel()->pixmap(), controller->leftMouseImage()));
    }
    QPixmap shown;
    whenDialogOpens([&] {
        shown = dialogMouse(controller->modalPanel());
        controller->applyAdvancedConfig();
    });
    controller->doAdvancedConfig(pane.get());
    EXPECT_TRUE(same(shown, controller->leftMouseImage()));

    setOrientation(0);
    EXPECT_TRUE(same(controller->handsPanel()->pixmap(), controller->rightHandImage()));
}

TEST_F(ButtonsPictures, ASaveWithoutOrientationChangesNothing) {
    showPage();
    setOrientation(1);
    PaneNotificationCenter::defaultCenter().post(kPrefsChangeNotification,
                                                 Dictionary{{"Sensitivity", Value(3.0)}});
    PaneNotificationCenter::defaultCenter().post(kPrefsChangeNotification,
                                                 Dictionary{{"Orientation", Value("left")}});
    EXPECT_EQ(controller->orientation(), 1);
    EXPECT_TRUE(same(controller->handsPanel()->pixmap(), controller->leftHandImage()));
    EXPECT_TRUE(same(controller->mousePanel()->pixmap(), controller->leftMouseImage()));
}

TEST_F(ButtonsPictures, TheControllerStopsObservingWhenDestroyed) {
    const std::size_t before = PaneNotificationCenter::defaultCenter().observerCount();
    showPage();
    EXPECT_GT(PaneNotificationCenter::defaultCenter().observerCount(), before);
    container.reset();
    EXPECT_EQ(PaneNotificationCenter::defaultCenter().observerCount(), before);
    pane->setOrientation(1); // would reach a destroyed controller
}

// Key dialogs as sheets

using ButtonsKeyDialogs = ButtonsControllerTest;

TEST_F(ButtonsKeyDialogs, ChoosingAKeyCombinationOpensTheAssignKeySheetAndStoresTheKeys) {
    showPage();
    bool sheet = false;
    QDialog* opened = nullptr;
    whenDialogOpens([&] {
        opened = controller->modalPanel();
        sheet = controller->modalPanelIsSheet();
        EXPECT_TRUE(opened->isVisible());
        EXPECT_EQ(opened->windowModality(), Qt::WindowModal);
        record(opened);
        press(opened, KEY_S);
        button(opened, "assignKeyApplyButton")->click();
    });
    pick(1, ButtonMapping::kKeyCombination);
    EXPECT_EQ(opened, controller->assignKeyPanel());
    EXPECT_TRUE(sheet);
    EXPECT_FALSE(opened->isVisible()) << "ordered out after the run";
    EXPECT_EQ(pane->button2Mapping()->mapType(), ButtonMapping::kKeyCombination);
    EXPECT_EQ(pane->button2Mapping()->keys(), "513");
    const Value* stored = storedValue("ButtonMappings");
    ASSERT_TRUE(stored && stored->asArray());
    EXPECT_EQ(stored->asArray()->at(1), Value(Data{3, '5', '1', '3'}));
}

TEST_F(ButtonsKeyDialogs, TheMacroSheetRecordsWithItsControls) {
    showPage();
    whenDialogOpens([&] {
        QDialog* panel = controller->modalPanel();
        EXPECT_EQ(panel, controller->macroPanel());
        controller->macroPanel()->keyMenu()->setCurrentIndex(14);
        button(panel, "macroPressButton")->click();
        button(panel, "macroReleaseButton")->click();
        record(panel);
        press(panel, KEY_B);
        button(panel, "macroClearButton")->click();
        press(panel, KEY_A);
        release(panel, KEY_A);
        button(panel, "macroApplyButton")->click();
    });
    pick(2, ButtonMapping::kKeyMacro);
    EXPECT_EQ(pane->button3Mapping()->macro(), "512,256");
}

TEST_F(ButtonsKeyDialogs, AnyEndButACancelStoresTheKeys) {
    showPage();
    int code = 7;
    whenDialogOpens([&] {
        record(controller->modalPanel());
        press(controller->modalPanel(), KEY_S);
        controller->dialogDidEnd(controller->modalPanel(), 0, &code);
    });
    pick(3, ButtonMapping::kKeyCombination);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(pane->button4Mapping()->keys(), "513");
}

// Leaving a key dialog without keeping what was typed

TEST_F(ButtonsKeyDialogs, EscapeCancelsAndTheMappingKeepsItsKeys) {
    store({{"ButtonMappings", Value(Array{Value(Data{0}), Value(withText(3, "513,567")),
                                          Value(withText(4, "512,256")), Value(Data{0}),
                                          Value(Data{0}), Value(Data{0}), Value(Data{0})})}});
    showPage();
    const Dictionary before = stored();
    bool wasOpen = false;
    whenDialogOpens([&] {
        QDialog* panel = controller->modalPanel();
        wasOpen = panel == controller->assignKeyPanel();
        record(panel);
        press(panel, KEY_A);
        escape(panel);
        endIfStillOpen(panel);
    });
    pick(1, ButtonMapping::kKeyCombination);
    EXPECT_TRUE(wasOpen);
    EXPECT_EQ(controller->modalPanel(), nullptr) << "the run has ended";
    EXPECT_FALSE(controller->assignKeyPanel()->isVisible());
    EXPECT_EQ(pane->button2Mapping()->keys(), "513,567");

    whenDialogOpens([&] {
        QDialog* panel = controller->modalPanel();
        record(panel);
        press(panel, KEY_A);
        release(panel, KEY_A);
        escape(panel);
        endIfStillOpen(panel);
    });
    pick(2, ButtonMapping::kKeyMacro);
    EXPECT_EQ(pane->button3Mapping()->macro(), "512,256");
    EXPECT_EQ(stored(), before);
    EXPECT_FALSE(controller->assignKeyPanel()->keyCodes()) << "the recording is dropped";
}

TEST_F(ButtonsKeyDialogs, BothDialogsShowCancelAndOkButtons) {
    showPage();
    for (const auto& [type, cancel, ok] :
         {std::tuple{ButtonMapping::kKeyCombination, "assignKeyCancelButton",
                     "assignKeyApplyButton"},
          std::tuple{ButtonMapping::kKeyMacro, "macroCancelButton", "macroApplyButton"}}) {
        bool shown = false;
        QString cancelText;
        QString okText;
        whenDialogOpens([&, cancel = cancel, ok = ok] {
            QDialog* panel = controller->modalPanel();
            QPushButton* cancelButton = button(panel, cancel);
            QPushButton* okButton = button(panel, ok);
            if (!cancelButton || !okButton) {
                ADD_FAILURE() << "no " << cancel << " or " << ok;
                endIfStillOpen(panel);
                return;
            }
            shown = cancelButton->isVisible() && okButton->isVisible();
            cancelText = cancelButton->text();
            okText = okButton->text();
            record(panel);
            press(panel, KEY_S);
            release(panel, KEY_S);
            cancelButton->click();
        });
        pick(1, type);
        EXPECT_TRUE(shown) << cancel;
        EXPECT_EQ(cancelText, "Cancel");
        EXPECT_EQ(okText, "OK");
        EXPECT_FALSE(pane->button2Mapping()->keys()) << "cancelled";
        EXPECT_FALSE(pane->button2Mapping()->macro()) << "cancelled";
    }
}

TEST_F(ButtonsKeyDialogs, CancellingTheAdvancedKeyPanelLeavesTheAdvancedMappingAlone) {
    showPage();
    whenDialogOpens([&] {
        whenDialogOpens([&] {
            QDialog* panel = controller->modalPanel();
            record(panel);
            press(panel, KEY_A);
            if (QPushButton* cancel = button(panel, "assignKeyCancelButton")) {
                cancel->click();
            }
            endIfStillOpen(panel);
        });
        controller->doAdvancedAssignKey();
        EXPECT_EQ(controller->modalPanel(), controller->advancedPanel());
        controller->applyAdvancedConfig();
    });
    pick(4, ButtonMapping::kAdvanced);
    EXPECT_EQ(pane->button5Mapping()->advMapping()->mapType(), ButtonMapping::kPrimaryClick);
    EXPECT_FALSE(pane->button5Mapping()->advMapping()->keys());
}

TEST_F(ButtonsKeyDialogs, TheCancelButtonSpeaksTheBundlesLanguage) {
    PaneServices::install(std::make_unique<RecordingPaneServices>(std::make_unique<PaneBundle>(
        bundleDir.path(), PaneBundle::embeddedInfo(), QLocale(QLocale::German))));
    showPage();
    for (const auto& [panel, name] :
         {std::pair<QDialog*, const char*>{controller->assignKeyPanel(), "assignKeyCancelButton"},
          {controller->macroPanel(), "macroCancelButton"}}) {
        QPushButton* cancel = button(panel, name);
        ASSERT_NE(cancel, nullptr) << name;
        EXPECT_EQ(cancel->text(), "Abbrechen");
    }
}

TEST_F(ButtonsKeyDialogs, ChoosingTheSameTypeAgainOpensThePanelAgain) {
    showPage();
    int opened = 0;
    for (int round = 0; round < 2; ++round) {
        whenDialogOpens([&] {
            ++opened;
            controller->applyAssignKey();
        });
        pick(1, ButtonMapping::kKeyCombination);
    }
    EXPECT_EQ(opened, 2);
}

TEST_F(ButtonsKeyDialogs, ConfirmingAnotherPanelThanTheOpenOneDoesNothing) {
    showPage();
    bool stillOpen = false;
    whenDialogOpens([&] {
        controller->applyMacroConfig();
        controller->applyAdvancedConfig();
        QCoreApplication::processEvents();
        stillOpen = controller->modalPanel() == controller->assignKeyPanel();
        controller->applyAssignKey();
    });
    pick(1, ButtonMapping::kKeyCombination);
    EXPECT_TRUE(stillOpen);
}

// Choosing a key combination, key macro or advanced mapping for a button
// that did something else, then leaving its dialog without confirming it:
// the button goes on doing what it did, and nothing is saved or sent.

enum class LeftBy { kCancelButton, kEscape, kCloseButton };

struct CancelCase {
    const char* name;
    int mapType;
    LeftBy leftBy;
};

void PrintTo(const CancelCase& c, std::ostream* out) {
    *out << c.name;
}

class CancelledChoice : public ButtonsControllerTest,
                        public testing::WithParamInterface<CancelCase> {
protected:
    // Leaves the dialog as the user would.
    void leave(QDialog* panel, const char* cancelButton) {
        switch (GetParam().leftBy) {
        case LeftBy::kCancelButton:
            if (QPushButton* cancel = button(panel, cancelButton)) {
                cancel->click();
            } else {
                ADD_FAILURE() << "no " << cancelButton;
            }
            break;
        case LeftBy::kEscape: {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, KEY_ESC + 8u, 0, 0);
            QCoreApplication::sendEvent(panel, &escape);
            break;
        }
        case LeftBy::kCloseButton:
            panel->close();
            break;
        }
        endIfStillOpen(panel);
    }
    // Records Tab from the special-key menu in the open key panel.
    void recordTab(QDialog* panel, const char* pressButton) {
        auto* keys = qobject_cast<KeyInputPanel*>(panel);
        ASSERT_NE(keys, nullptr);
        keys->keyMenu()->setCurrentIndex(13);
        button(panel, pressButton)->click();
        EXPECT_FALSE(keys->keyCodes()->isEmpty());
    }
};

TEST_P(CancelledChoice, LeavesTheButtonAsItWasAndSavesNothing) {
    store({{"ButtonMappings", mappingsOf({0, 1, 7, 5, 5, 5, 5})}});
    showPage();
    const Dictionary before = stored();
    posts.clear();
    bool opened = false;
    whenDialogOpens([&] {
        opened = true;
        QDialog* panel = controller->modalPanel();
        switch (GetParam().mapType) {
        case ButtonMapping::kKeyCombination:
            recordTab(panel, "assignKeyPressButton");
            leave(panel, "assignKeyCancelButton");
            break;
        case ButtonMapping::kKeyMacro:
            recordTab(panel, "macroPressButton");
            leave(panel, "macroCancelButton");
            break;
        default:
            // Keys recorded and confirmed in its key panel, then the
            // advanced panel itself is left.
            whenDialogOpens([&] {
                recordTab(controller->modalPanel(), "assignKeyPressButton");
                button(controller->modalPanel(), "assignKeyApplyButton")->click();
            });
            button(panel, "advancedKeyCombinationButton")->click();
            leave(panel, "advancedCancelButton");
            break;
        }
    });
    pick(2, GetParam().mapType);
    EXPECT_TRUE(opened);
    EXPECT_EQ(controller->modalPanel(), nullptr) << "the run has ended";
    EXPECT_EQ(pane->button3Mapping()->mapType(), ButtonMapping::kOnTheFlySensitivity);
    EXPECT_EQ(pane->button3Mapping()->toData(), Data{7});
    EXPECT_EQ(stored(), before);
    EXPECT_TRUE(posts.empty()) << "neither saved nor sent to the agent";
    EXPECT_EQ(popUp(2)->currentIndex(), ButtonMapping::kOnTheFlySensitivity)
        << "the pop-up shows the old type again";
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, CancelledChoice,
    testing::Values(
        CancelCase{"CombinationByCancel", ButtonMapping::kKeyCombination, LeftBy::kCancelButton},
        CancelCase{"CombinationByEscape", ButtonMapping::kKeyCombination, LeftBy::kEscape},
        CancelCase{"CombinationByClosing", ButtonMapping::kKeyCombination, LeftBy::kCloseButton},
        CancelCase{"MacroByCancel", ButtonMapping::kKeyMacro, LeftBy::kCancelButton},
        CancelCase{"MacroByEscape", ButtonMapping::kKeyMacro, LeftBy::kEscape},
        CancelCase{"MacroByClosing", ButtonMapping::kKeyMacro, LeftBy::kCloseButton},
        CancelCase{"AdvancedByCancel", ButtonMapping::kAdvanced, LeftBy::kCancelButton},
        CancelCase{"AdvancedByEscape", ButtonMapping::kAdvanced, LeftBy::kEscape},
        CancelCase{"AdvancedByClosing", ButtonMapping::kAdvanced, LeftBy::kCloseButton}),
    [](const testing::TestParamInfo<CancelCase>& info) { return std::string(info.param.name); });

// Tab, Return and Escape are keys to record while the Record button is on,
// and move, confirm and cancel while it is off.

struct RecordCase {
    const char* name;
    int mapType;
    const char* okButton;
    const char* stored; // Tab, Return, Esc typed while recording
    const char* spelled;
};

void PrintTo(const RecordCase& c, std::ostream* out) {
    *out << c.name;
}

class RecordToggle : public ButtonsControllerTest, public testing::WithParamInterface<RecordCase> {
protected:
    // A key typed on the control with the focus, as the desktop sends it.
    static void type(QWidget* focus, Qt::Key key, std::uint16_t evdev) {
        for (QEvent::Type t : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent event(t, key, Qt::NoModifier, evdev + 8u, 0, 0);
            QCoreApplication::sendEvent(focus, &event);
        }
    }
    // The list the mapping's type stores.
    static std::string keyList(const ButtonMapping& mapping) {
        const auto& list =
            mapping.mapType() == ButtonMapping::kKeyMacro ? mapping.macro() : mapping.keys();
        return list.value_or("<none>");
    }
    static KeyInputPanel* openPanel(ButtonsController* controller) {
        return qobject_cast<KeyInputPanel*>(controller->modalPanel());
    }
};

TEST_P(RecordToggle, TabReturnAndEscapeAreRecordedAndOtherwiseEndTheDialog) {
    showPage();
    QString spelled;
    whenDialogOpens([&] {
        KeyInputPanel* panel = openPanel(controller);
        QAbstractButton* record = panel->recordButton();
        for (const auto& [key, evdev] : {std::pair{Qt::Key_Tab, KEY_TAB},
                                         {Qt::Key_Return, KEY_ENTER},
                                         {Qt::Key_Escape, KEY_ESC}}) {
            if (!panel->isRecording()) {
                record->click();
            }
            type(record, key, evdev);
            EXPECT_TRUE(panel->isVisible()) << "recorded, not ending the dialog";
        }
        if (panel->isRecording()) {
            record->click();
        }
        spelled = panel->textBox()->accessibleDescription();
        QSignalSpy ok(button(panel, GetParam().okButton), &QPushButton::clicked);
        type(record, Qt::Key_Return, KEY_ENTER);
        if (ok.count() != 1) {
            ADD_FAILURE() << "Return did not confirm";
            controller->dialogDidEnd(panel, 0, nullptr);
        }
    });
    pick(1, GetParam().mapType);
    EXPECT_EQ(spelled, QString::fromUtf8(GetParam().spelled));
    EXPECT_EQ(pane->button2Mapping()->mapType(), GetParam().mapType);
    EXPECT_EQ(keyList(*pane->button2Mapping()), GetParam().stored);

    posts.clear();
    whenDialogOpens([&] {
        KeyInputPanel* panel = openPanel(controller);
        panel->recordButton()->click();
        type(panel->recordButton(), Qt::Key_A, KEY_A);
        if (panel->isRecording()) {
            panel->recordButton()->click();
        }
        EXPECT_TRUE(panel->isVisible());
        type(panel->recordButton(), Qt::Key_Escape, KEY_ESC); // Cancel
        endIfStillOpen(panel);
    });
    pick(1, GetParam().mapType);
    EXPECT_EQ(keyList(*pane->button2Mapping()), GetParam().stored);
    EXPECT_TRUE(posts.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Panels, RecordToggle,
    testing::Values(RecordCase{"Combination", ButtonMapping::kKeyCombination,
                               "assignKeyApplyButton", "565", "Esc"},
                    RecordCase{"Macro", ButtonMapping::kKeyMacro, "macroApplyButton",
                               "560,304,548,292,565,309",
                               "\u2193Tab \u2191Tab \u2193Return \u2191Return \u2193Esc "
                               "\u2191Esc"}),
    [](const testing::TestParamInfo<RecordCase>& info) { return std::string(info.param.name); });

// The advanced panel and its key panels

using ButtonsAdvanced = ButtonsControllerTest;

TEST_F(ButtonsAdvanced, ItShowsTheKeysItHolds) {
    store({{"ButtonMappings",
            Value(Array{Value(Data{0}), Value(withText(6, std::string("\x03") + "520,571")),
                        Value(Data{0}), Value(Data{0}), Value(Data{0}), Value(Data{0}),
                        Value(Data{0})})}});
    showPage();
    QString onOpening;
    QString afterRecording;
    whenDialogOpens([&] {
        QDialog* advanced = controller->modalPanel();
        auto* keys =
            qobject_cast<QLabel*>(viewWithTag(advanced, ButtonsController::kAdvancedKeysTag));
        if (!keys) {
            ADD_FAILURE() << "no view of the keys";
            endIfStillOpen(advanced);
            return;
        }
        onOpening = keys->text();
        whenDialogOpens([&] {
            controller->macroPanel()->keyMenu()->setCurrentIndex(13);
            button(controller->modalPanel(), "macroPressButton")->click();
            button(controller->modalPanel(), "macroReleaseButton")->click();
            button(controller->modalPanel(), "macroApplyButton")->click();
        });
        button(advanced, "advancedKeyMacroButton")->click();
        afterRecording = keys->text();
        button(advanced, "advancedApplyButton")->click();
    });
    pick(1, ButtonMapping::kAdvanced);
    EXPECT_EQ(onOpening, "Keys: Ctrl+C");
    EXPECT_EQ(afterRecording, "Keys: " + kDown + "Tab " + kUp + "Tab");
    EXPECT_EQ(pane->button2Mapping()->advMapping()->macro(), "560,304");
}

TEST_F(ButtonsAdvanced, ItsKeyPanelOpensWithoutASheetAndStoresIntoTheAdvancedMapping) {
    showPage();
    QDialog* advanced = controller->advancedPanel();
    bool advancedWasSheet = false;
    bool keyPanelWasSheet = true;
    Qt::WindowModality keyPanelModality = Qt::NonModal;
    whenDialogOpens([&] {
        advancedWasSheet = controller->modalPanelIsSheet();
        whenDialogOpens([&] {
            QDialog* keys = controller->modalPanel();
            EXPECT_EQ(keys, controller->assignKeyPanel());
            keyPanelWasSheet = controller->modalPanelIsSheet();
            keyPanelModality = keys->windowModality();
            record(keys);
            press(keys, KEY_A);
            press(keys, KEY_LEFTMETA);
            button(keys, "assignKeyApplyButton")->click();
        });
        button(advanced, "advancedKeyCombinationButton")->click();
        EXPECT_EQ(controller->modalPanel(), advanced) << "back on the advanced panel";
        button(advanced, "advancedApplyButton")->click();
    });
    pick(4, ButtonMapping::kAdvanced);

    EXPECT_TRUE(advancedWasSheet);
    EXPECT_FALSE(keyPanelWasSheet);
    EXPECT_EQ(keyPanelModality, Qt::ApplicationModal);
    EXPECT_FALSE(advanced->isVisible());
    ButtonMapping* button5 = pane->button5Mapping();
    EXPECT_EQ(button5->mapType(), ButtonMapping::kAdvanced);
    EXPECT_FALSE(button5->keys());
    EXPECT_EQ(button5->advMapping()->mapType(), ButtonMapping::kKeyCombination);
    EXPECT_EQ(button5->advMapping()->keys(), "512,567");
    const Value* stored = storedValue("ButtonMappings");
    ASSERT_TRUE(stored && stored->asArray());
    EXPECT_EQ(stored->asArray()->at(4), Value(withText(6, std::string("\x03") + "512,567")));
}

TEST_F(ButtonsAdvanced, ItsMacroPanelLoadsAndStoresTheAdvancedMacro) {
    showPage();
    pick(5, ButtonMapping::kOnTheFlySensitivity);
    pane->button6Mapping()->advMapping()->setMacro("513,257");
    QString shownOnOpening;
    whenDialogOpens([&] {
        whenDialogOpens([&] {
            shownOnOpening = controller->macroPanel()->textBox()->text();
            record(controller->modalPanel());
            press(controller->modalPanel(), KEY_A);
            controller->applyMacroConfig();
        });
        controller->doAdvancedMacroConfig();
        controller->applyAdvancedConfig();
    });
    pick(5, ButtonMapping::kAdvanced);
    EXPECT_EQ(shownOnOpening, kDown + "S " + kUp + "S");
    EXPECT_EQ(pane->button6Mapping()->advMapping()->mapType(), ButtonMapping::kKeyMacro);
    EXPECT_EQ(pane->button6Mapping()->advMapping()->macro(), "513,257,512");
}

// The map-type pop-ups

using ButtonsPopUps = ButtonsControllerTest;

TEST_F(ButtonsPopUps, TheyShowTheStoredTypesAndFollowEachLoad) {
    store({{"ButtonMappings", mappingsOf({0, 1, 7, 5, 5, 5, 5})}});
    showPage();
    std::vector<int> shown;
    for (int b = 0; b < 7; ++b) {
        shown.push_back(popUp(b)->currentIndex());
    }
    EXPECT_EQ(shown, (std::vector<int>{0, 1, 7, 5, 5, 5, 5}));

    pane->didUnselect();
    store({{"ButtonMappings", mappingsOf({2, 0, 9, 0, 0, 0, 0})}});
    pane->willSelect();
    EXPECT_EQ(popUp(0)->currentIndex(), 2);
    EXPECT_EQ(popUp(1)->currentIndex(), 0);
    EXPECT_EQ(popUp(2)->currentIndex(), -1) << "a type the menu does not offer shows none";
}

TEST_F(ButtonsPopUps, ARefusedChoiceShowsTheOldTypeAgain) {
    store({{"ButtonMappings", mappingsOf({0, 1, 1, 1, 1, 1, 1})}});
    showPage();
    pick(0, ButtonMapping::kKeyCombination);
    EXPECT_EQ(services().alertCount, 1);
    EXPECT_EQ(popUp(0)->currentIndex(), 0);
    EXPECT_EQ(controller->modalPanel(), nullptr) << "no panel opened";
}

// Only an explicit choice in the open menu changes a mapping

class ClosedMenus : public ButtonsControllerTest {
protected:
    void SetUp() override {
        ButtonsControllerTest::SetUp();
        store({{"ButtonMappings", Value(Array{Value(Data{0}), Value(Data{1}), Value(Data{2}),
                                              Value(withText(4, "512,256")), Value(Data{5}),
                                              Value(Data{5}), Value(Data{5})})}});
        showPage();
        before = stored();
        postsBefore = posts.size();
    }
    // Runs a gesture; a dialog that it opens is recorded and closed at once.
    void gesture(const std::function<void()>& g) {
        whenDialogOpens([this] {
            if (QDialog* panel = controller->modalPanel()) {
                opened.push_back(panel->objectName());
                controller->dialogDidEnd(panel, 0, nullptr);
            }
        });
        g();
        QCoreApplication::processEvents();
    }
    static void wheel(QWidget* w, int delta) {
        const QPointF at(w->rect().center());
        QWheelEvent event(at, w->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(w, &event);
    }
    void expectNothingChanged() {
        EXPECT_EQ(mapTypes(), (std::vector<int>{0, 1, 2, 4, 5, 5, 5}));
        EXPECT_EQ(pane->button4Mapping()->macro(), "512,256");
        EXPECT_EQ(stored(), before);
        EXPECT_EQ(posts.size(), postsBefore) << "nothing was saved";
        EXPECT_EQ(opened, std::vector<QString>{}) << "no dialog opened";
        EXPECT_EQ(popUp(3)->currentIndex(), 4);
        EXPECT_EQ(popUp(6)->currentIndex(), 5);
    }

    Dictionary before;
    std::size_t postsBefore = 0;
    std::vector<QString> opened;
};

TEST_F(ClosedMenus, TheWheelChangesNoMapping) {
    container->show();
    for (int delta : {120, -120, 360, -360}) {
        gesture([&] { wheel(popUp(3), delta); });
        gesture([&] { wheel(popUp(6), delta); });
    }
    expectNothingChanged();
}

TEST_F(ClosedMenus, KeysOnAClosedMenuChangeNoMapping) {
    container->show();
    for (int button : {3, 6}) {
        for (Qt::Key key :
             {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End,
              Qt::Key_Left, Qt::Key_Right, Qt::Key_A, Qt::Key_O, Qt::Key_S, Qt::Key_Return}) {
            gesture([&] { QTest::keyClick(popUp(button), key); });
        }
    }
    expectNothingChanged();
}

TEST_F(ClosedMenus, AChoiceInTheOpenMenuStillChangesTheMapping) {
    container->show();
    QComboBox* menu = popUp(6);
    QTest::keyClick(menu, Qt::Key_Space);
    ASSERT_TRUE(menu->view()->isVisible()) << "Space opens the menu";
    expectNothingChanged();

    gesture([&] {
        for (int i = 0; i < 4; ++i) {
            QTest::keyClick(menu->view(), Qt::Key_Up);
        }
        QTest::keyClick(menu->view(), Qt::Key_Return);
    });
    EXPECT_EQ(pane->button7Mapping()->mapType(), 1);
    EXPECT_EQ(storedValue("ButtonMappings")->asArray()->at(6), Value(Data{1}));

    // Enter on the advanced item opens its panel, as a click on it does.
    QTest::keyClick(menu, Qt::Key_Space);
    gesture([&] {
        for (int i = 0; i < 5; ++i) {
            QTest::keyClick(menu->view(), Qt::Key_Down);
        }
        QTest::keyClick(menu->view(), Qt::Key_Enter);
    });
    EXPECT_EQ(pane->button7Mapping()->mapType(), ButtonMapping::kAdvanced);
    EXPECT_EQ(opened, std::vector<QString>{controller->advancedPanel()->objectName()});
}

TEST_F(ButtonsPopUps, ItemTitlesComeFromTheStrings) {
    showPage();
    EXPECT_EQ(popUp(0)->itemText(0), "Primary click");
    EXPECT_EQ(popUp(6)->itemText(7), "On-the-fly sensitivity");
}

} // namespace
} // namespace zed::test
