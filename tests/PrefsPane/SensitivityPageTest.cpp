// The pane's main view over settings on disk: every bound control stores its
// setting and announces it; the page shows what is stored; the advanced sheet
// holds the window until it is confirmed.
#include "PrefsPane/Sensitivity/SensitivityController.h"
#include "PrefsPane/Widgets/SettingsBinder.h"
#include "PrefsTestSupport.h"
#include "RecordingPaneServices.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QMessageBox>
#include <QMetaProperty>
#include <QMouseEvent>
#include <QMovie>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <functional>

namespace zed::test {
namespace {

// A user's gesture on a control.
void press(QWidget* w, Qt::Key key) {
    QTest::keyClick(w, key);
}

struct ControlCase {
    const char* control;
    Qt::Key key;         // what the user presses on it
    Dictionary stored;   // on disk before the pane opens, over the agent's defaults
    const char* setting; // the key expected to change
    Value expected;      // on disk and in the announcement
};

std::ostream& operator<<(std::ostream& os, const ControlCase& c) {
    return os << c.control;
}

const Value i32(int v) {
    return Value(std::int32_t{v});
}

class BoundControl : public PrefsTest, public testing::WithParamInterface<ControlCase> {};

TEST_P(BoundControl, StoresItsSettingAndAnnouncesIt) {
    const ControlCase& c = GetParam();
    Dictionary stored = agentDefaults();
    for (const auto& [key, value] : c.stored) {
        stored.insert_or_assign(key, value);
    }
    storeAsAgent(stored);
    PaneMainView& view = showPane();
    view.show();
    view.advancedPanel()->show(); // as if open, for the controls that live there
    const std::size_t before = posts.size();

    QWidget* w = control<QWidget>(c.control);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(w->isEnabled()) << c.control;
    press(w, c.key);

    const Value* disk = onDisk(c.setting);
    ASSERT_NE(disk, nullptr) << c.setting;
    EXPECT_EQ(*disk, c.expected) << c.setting << " is a " << disk->typeName();
    ASSERT_EQ(posts.size(), before + 1);
    EXPECT_EQ(posts.back().name, "TovikCopperhound");
    EXPECT_EQ(posts.back().object, "PrefsChange");
    const Value* posted = lookup(posts.back().userInfo, c.setting);
    ASSERT_NE(posted, nullptr);
    EXPECT_EQ(*posted, c.expected);
    // Everything else as it was, keys the pane does not know included.
    Dictionary others = onDisk();
    others.erase(c.setting);
    stored.erase(c.setting);
    EXPECT_EQ(others, stored);
}

INSTANTIATE_TEST_SUITE_P(
    SensitivityPage, BoundControl,
    testing::Values(
        ControlCase{
            "rightHandRadio", Qt::Key_Space, {{"Orientation", i32(1)}}, "Orientation", i32(0)},
        ControlCase{"leftHandRadio", Qt::Key_Space, {}, "Orientation", i32(1)},
        ControlCase{"sensitivitySlider", Qt::Key_Left, {}, "Sensitivity", Value(9.8)},
        ControlCase{"sensitivitySpin",
                    Qt::Key_Down,
                    {{"Sensitivity", Value(3.0)}},
                    "Sensitivity",
                    Value(2.8)},
        ControlCase{"oneSensitivityRadio",
                    Qt::Key_Space,
                    {{"MasterSensitivityOn", i32(0)}},
                    "MasterSensitivityOn",
                    i32(1)},
        ControlCase{"separateSensitivityRadio", Qt::Key_Space, {}, "MasterSensitivityOn", i32(0)},
        ControlCase{"sensitivityXSlider",
                    Qt::Key_Left,
                    {{"MasterSensitivityOn", i32(0)}},
                    "MasterSensitivityX",
                    Value(9.8)},
        ControlCase{"sensitivityXSpin",
                    Qt::Key_Down,
                    {{"MasterSensitivityOn", i32(0)}},
                    "MasterSensitivityX",
                    Value(9.8)},
        ControlCase{"sensitivityYSlider",
                    Qt::Key_Left,
                    {{"MasterSensitivityOn", i32(0)}},
                    "MasterSensitivityY",
                    Value(9.8)},
        ControlCase{"sensitivityYSpin",
                    Qt::Key_Up,
                    {{"MasterSensitivityOn", i32(0)}, {"MasterSensitivityY", Value(1.0)}},
                    "MasterSensitivityY",
                    Value(1.2)},
        ControlCase{"accelerationCheck", Qt::Key_Space, {}, "MasterAccelOn", i32(1)},
        ControlCase{"accelerationSlider", Qt::Key_Right, {}, "MasterAccel", Value(0.5)},
        ControlCase{"accelerationSpin", Qt::Key_Up, {}, "MasterAccel", Value(0.5)},
        ControlCase{"scrollSlider", Qt::Key_Left, {}, "ScrollWheelSpeed", Value(9.5)},
        ControlCase{"scrollSpin", Qt::Key_Down, {}, "ScrollWheelSpeed", Value(9.5)},
        // Shown as the speed 4.0 (10 - 6); one step faster stores 10 - 4.5.
        ControlCase{"dblClickSlider", Qt::Key_Right, {}, "DblClickSpeed", Value(5.5)},
        ControlCase{"dblClickSpin", Qt::Key_Up, {}, "DblClickSpeed", Value(5.5)},
        // On-the-fly sensitivity is active while "Otfs" is 0.
        ControlCase{"otfsCheck", Qt::Key_Space, {}, "Otfs", i32(1)},
        ControlCase{"otfsOnScreenCheck", Qt::Key_Space, {}, "OtfsOnScreen", i32(0)}),
    [](const testing::TestParamInfo<ControlCase>& info) {
        return std::string(info.param.control);
    });

class SensitivityPage : public PrefsTest {};

TEST_F(SensitivityPage, EverySettingOfTheModelHasAControl) {
    PaneMainView& view = showPane();
    QStringList bound;
    for (QWidget* w : view.findChildren<QWidget*>()) {
        bound << w->property("binding").toString();
    }
    const QMetaObject* meta = pane->metaObject();
    int settings = 0;
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty p = meta->property(i);
        if (p.isWritable()) {
            ++settings;
            // The pointer speed is read by nobody but the pane: no control
            // pretends to change anything with it.
            const bool shown = qstrcmp(p.name(), "pointerSpeed") != 0;
            EXPECT_EQ(bound.contains(QString::fromLatin1(p.name())), shown) << p.name();
        }
    }
    EXPECT_EQ(settings, 13);
}

TEST_F(SensitivityPage, TheStoredPointerSpeedHasNoControlButSurvivesEverySave) {
    Dictionary stored = agentDefaults();
    stored["PointerSpeed"] = Value(4.5);
    storeAsAgent(stored);
    PaneMainView& view = showPane();
    EXPECT_EQ(view.findChild<QWidget*>("pointerSpeedSlider"), nullptr);
    EXPECT_EQ(view.findChild<QWidget*>("pointerSpeedSpin"), nullptr);
    EXPECT_DOUBLE_EQ(pane->pointerSpeed(), 4.5);
    control<QDoubleSpinBox>("sensitivitySpin")->setValue(3.0);
    EXPECT_EQ(*onDisk("PointerSpeed"), Value(4.5));
    pane->setPointerSpeed(2.0);
    EXPECT_EQ(*onDisk("PointerSpeed"), Value(2.0)) << "the accessor still stores it";
}

TEST_F(SensitivityPage, ControlsShowTheStoredSettings) {
    Dictionary stored = agentDefaults();
    stored["Orientation"] = i32(1);
    stored["Sensitivity"] = Value(3.2);
    stored["MasterSensitivityOn"] = i32(0);
    stored["DblClickSpeed"] = Value(7.0);
    stored["Otfs"] = i32(1);
    stored["Resolution"] = i32(2);
    storeAsAgent(stored);
    showPane();

    EXPECT_TRUE(control<QRadioButton>("leftHandRadio")->isChecked());
    EXPECT_FALSE(control<QRadioButton>("rightHandRadio")->isChecked());
    EXPECT_EQ(control<QSlider>("sensitivitySlider")->value(), 16);
    EXPECT_DOUBLE_EQ(control<QDoubleSpinBox>("sensitivitySpin")->value(), 3.2);
    EXPECT_TRUE(control<QRadioButton>("separateSensitivityRadio")->isChecked());
    EXPECT_DOUBLE_EQ(control<QDoubleSpinBox>("dblClickSpin")->value(), 3.0);
    EXPECT_FALSE(control<QCheckBox>("otfsCheck")->isChecked());
    EXPECT_TRUE(control<QCheckBox>("otfsOnScreenCheck")->isChecked());
    EXPECT_EQ(control<QComboBox>("resolutionPopUp")->currentIndex(), 2);
    // Showing them stored nothing: only the selection's save went out.
    EXPECT_EQ(posts.size(), 1u);
    EXPECT_EQ(onDisk(), stored);
}

TEST_F(SensitivityPage, AStoredResolutionOutsideTheMenuSelectsNoItemAndStaysStored) {
    Dictionary stored = agentDefaults();
    stored["Resolution"] = i32(99);
    storeAsAgent(stored);
    PaneMainView& view = showPane();
    auto* popUp = control<QComboBox>("resolutionPopUp");
    EXPECT_EQ(popUp->currentIndex(), -1);
    EXPECT_EQ(*onDisk("Resolution"), i32(99));

    // Another save shows it again without writing anything of the menu's.
    view.advancedPanel()->show();
    pane->setOtfs(1);
    EXPECT_EQ(popUp->currentIndex(), -1);
    EXPECT_EQ(*onDisk("Resolution"), i32(99));
    EXPECT_EQ(*lookup(posts.back().userInfo, "Resolution"), i32(99));
    // Choosing an item still stores it.
    popUp->setCurrentIndex(1);
    EXPECT_EQ(*onDisk("Resolution"), i32(1));
}

TEST_F(SensitivityPage, OnlyTheChosenKindOfSensitivityCanBeChanged) {
    storeAsAgent(agentDefaults());
    showPane();
    EXPECT_TRUE(control<QSlider>("sensitivitySlider")->isEnabled());
    EXPECT_FALSE(control<QSlider>("sensitivityXSlider")->isEnabled());
    EXPECT_FALSE(control<QDoubleSpinBox>("sensitivityYSpin")->isEnabled());

    QTest::keyClick(control<QRadioButton>("separateSensitivityRadio"), Qt::Key_Space);
    EXPECT_FALSE(control<QSlider>("sensitivitySlider")->isEnabled());
    EXPECT_TRUE(control<QSlider>("sensitivityXSlider")->isEnabled());
    EXPECT_TRUE(control<QDoubleSpinBox>("sensitivityYSpin")->isEnabled());
}

TEST_F(SensitivityPage, SeparateSensitivitiesStartFromTheOneInUse) {
    Dictionary stored = agentDefaults();
    stored.insert_or_assign("Sensitivity", Value(3.2));
    stored.insert_or_assign("MasterSensitivityY", Value(8.0));
    storeAsAgent(stored);
    showPane();
    QTest::keyClick(control<QRadioButton>("separateSensitivityRadio"), Qt::Key_Space);
    EXPECT_EQ(*onDisk("MasterSensitivityY"), Value(3.2));
    EXPECT_DOUBLE_EQ(control<QDoubleSpinBox>("sensitivityYSpin")->value(), 3.2);
}

TEST_F(SensitivityPage, TheResolutionIsShownButCannotBeChanged) {
    storeAsAgent(agentDefaults());
    showPane().advancedPanel()->show();
    QTest::keyClick(control<QComboBox>("resolutionPopUp"), Qt::Key_Down);
    EXPECT_EQ(*onDisk("Resolution"), *lookup(agentDefaults(), "Resolution"));
    // Why, in words beside it.
    EXPECT_TRUE(control<QLabel>("resolutionNote")->text().contains("cannot change"));
}

TEST_F(SensitivityPage, ViewHasBothPagesAndTheButtonsPagesContainer) {
    PaneMainView& view = showPane();
    QTabWidget* tabs = view.pageTabs();
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0).remove('&'), "Sensitivity");
    EXPECT_EQ(tabs->tabText(1).remove('&'), "Buttons");
    EXPECT_TRUE(tabs->widget(0)->isAncestorOf(view.sensitivityPage()));
    QWidget* container = view.buttonsPageContainer();
    ASSERT_NE(container, nullptr);
    EXPECT_EQ(container->objectName(), "buttonsPageContainer");
    EXPECT_TRUE(tabs->widget(1)->isAncestorOf(container));
}

TEST_F(SensitivityPage, LinksOpenTheSiteTheUpdatePageAndTheHelpBook) {
    showPane();
    auto& services = dynamic_cast<RecordingPaneServices&>(PaneServices::current());
    QTest::mouseClick(control<QPushButton>("siteButton"), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>("updateButton"), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>("helpButton"), Qt::LeftButton);
    ASSERT_EQ(services.openedUrls.size(), 2u);
    EXPECT_EQ(services.openedUrls[0].toString(), "https://www.tovik.example/zed/");
    EXPECT_EQ(services.openedUrls[1].toString(), "https://www.tovik.example/zed/update/");
    ASSERT_EQ(services.helpPages.size(), 1u);
    EXPECT_EQ(services.helpPages[0].page, "index.htm");
    EXPECT_TRUE(services.linkFailures.empty());
    // A link no program opens says so, naming the address.
    services.urlsOpen = false;
    QTest::mouseClick(control<QPushButton>("siteButton"), Qt::LeftButton);
    EXPECT_EQ(services.linkFailures, std::vector<QUrl>{services.openedUrls[0]});
}

TEST_F(SensitivityPage, TextsAreInTheBundlesLanguage) {
    PaneServices::install(std::make_unique<RecordingPaneServices>(std::make_unique<PaneBundle>(
        bundleDir.path(), PaneBundle::embeddedInfo(), QLocale(QLocale::German))));
    PaneMainView& view = showPane();
    EXPECT_EQ(view.pageTabs()->tabText(0), "Empfindlichkeit");
    EXPECT_EQ(control<QPushButton>("helpButton")->text(), "&Hilfe");
    EXPECT_EQ(view.advancedPanel()->windowTitle(), "Erweiterte Einstellungen");
}

TEST_F(SensitivityPage, MovieViewStartsAtTheAnimationsLastFrame) {
    PaneMainView& view = showPane();
    QMovie* movie = view.sensitivityController()->movie();
    ASSERT_NE(movie, nullptr);
    ASSERT_TRUE(movie->isValid()) << "the doubleclick animation is missing";
    EXPECT_GT(movie->frameCount(), 1);
    EXPECT_EQ(movie->currentFrameNumber(), movie->frameCount() - 1);
    EXPECT_NE(movie->state(), QMovie::Running);
    EXPECT_EQ(view.sensitivityController()->dblClickPanel()->movie(), movie);
}

TEST_F(SensitivityPage, ADarkThemeGetsTheAnimationDrawnForIt) {
    const QPalette light = QApplication::palette();
    QApplication::setPalette(QPalette(QColor(40, 40, 44)));
    QMovie* movie = showPane().sensitivityController()->movie();
    QApplication::setPalette(light);
    EXPECT_TRUE(movie->fileName().endsWith("doubleclick-dark.gif") && movie->isValid());
}

// Two left clicks on a view, `apart` milliseconds apart, as the window system
// delivers them when its own double-click time is shorter.
void clickTwice(QWidget* view, ulong start, ulong apart) {
    for (ulong time : {start, start + apart}) {
        const QPointF at(5, 5);
        QMouseEvent press(QEvent::MouseButtonPress, at, view->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        press.setTimestamp(time);
        QCoreApplication::sendEvent(view, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, view->mapToGlobal(at), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        release.setTimestamp(time + 1);
        QCoreApplication::sendEvent(view, &release);
    }
}

TEST_F(SensitivityPage, TheDoubleClickTestUsesTheStoredDoubleClickSpeed) {
    storeAsAgent(agentDefaults()); // "DblClickSpeed" 6.0: 600 ms
    PaneMainView& view = showPane();
    CustomMovieView* test = view.sensitivityController()->dblClickPanel();
    QMovie* movie = view.sensitivityController()->movie();
    const auto played = [movie] { return movie->state() == QMovie::Running; };

    clickTwice(test, 10000, 650);
    EXPECT_FALSE(played());
    clickTwice(test, 20000, 550);
    EXPECT_TRUE(played());

    // The speed set on the page takes effect at once: 8.0 stores 2.0, 200 ms.
    test->gotoEnd();
    control<QDoubleSpinBox>("dblClickSpin")->setValue(8.0);
    ASSERT_EQ(*onDisk("DblClickSpeed"), Value(2.0));
    clickTwice(test, 30000, 250);
    EXPECT_FALSE(played());
    clickTwice(test, 40000, 150);
    EXPECT_TRUE(played());
}

// Restoring the defaults.

// Answers the question the pane asks with the button of that title, once
// it is up.
void answerWith(QWidget* view, const QString& title, bool* asked) {
    QTimer::singleShot(0, view, [view, title, asked] {
        const auto boxes = view->findChildren<QMessageBox*>();
        for (QMessageBox* box : boxes) {
            for (QAbstractButton* button : box->buttons()) {
                if (box->isVisible() && button->text() == title) {
                    *asked = true;
                    button->click();
                    return;
                }
            }
        }
    });
}

TEST_F(SensitivityPage, RestoreDefaultsAsksFirstThenPutsBackWhatTheAgentStartsWith) {
    Dictionary stored = agentDefaults();
    stored["Sensitivity"] = Value(3.0);
    stored["MasterSensitivityOn"] = i32(0);
    stored["DblClickSpeed"] = Value(2.0);
    stored["Resolution"] = i32(2);
    stored["Otfs"] = i32(1);
    stored["MasterAccel"] = Value(1.5);
    stored["SomethingElse"] = i32(5);
    stored["ButtonMappings"] =
        Value(Array{Value(Data{0}), Value(Data{0}), Value(Data{3}), Value(Data{4}), Value(Data{0}),
                    Value(Data{0}), Value(Data{0})});
    storeAsAgent(stored);
    PaneMainView& view = showPane();
    view.show();
    const std::size_t before = posts.size();
    auto* restore = control<QPushButton>("restoreDefaultsButton");
    ASSERT_NE(restore, nullptr);

    bool asked = false;
    answerWith(&view, "Cancel", &asked);
    restore->click();
    EXPECT_TRUE(asked);
    EXPECT_EQ(posts.size(), before) << "cancelled: nothing stored";
    EXPECT_EQ(onDisk(), stored);

    asked = false;
    answerWith(&view, "Restore Defaults", &asked);
    restore->click();
    EXPECT_TRUE(asked);
    ASSERT_EQ(posts.size(), before + 1) << "one save for all of it";
    Dictionary expected = agentDefaults();
    expected["MasterAccel"] = Value(1.5); // the agent takes it from the desktop
    expected["SomethingElse"] = i32(5);   // not the pane's to touch
    expected["ButtonMappings"] =
        Value(Array{Value(Data{0}), Value(Data{1}), Value(Data{7}), Value(Data{5}), Value(Data{5}),
                    Value(Data{5}), Value(Data{5})});
    EXPECT_EQ(onDisk(), expected);
    EXPECT_EQ(posts.back().userInfo, expected);
    EXPECT_DOUBLE_EQ(control<QDoubleSpinBox>("sensitivitySpin")->value(), 10.0);
    EXPECT_EQ(pane->currentMapping(), pane->mappings().front());
}

// The advanced sheet.

// How the user ends the sheet: its changes took effect already, so each
// way just closes it.
enum class SheetEnd { kOk, kEscape, kCloseButton };

class AdvancedSheet : public SensitivityPage, public testing::WithParamInterface<SheetEnd> {};

TEST_P(AdvancedSheet, HoldsTheWindowUntilEnded) {
    PaneMainView& view = showPane();
    view.show();
    SensitivityController* controller = view.sensitivityController();
    QDialog* sheet = view.advancedPanel();
    auto* apply = control<QPushButton>("applyButton");
    bool returned = false;
    int checks = 0;

    // Runs inside the sheet's nested loop.
    QTimer::singleShot(0, sheet, [&] {
        EXPECT_TRUE(sheet->isVisible());
        EXPECT_TRUE(controller->isRunningSheet());
        EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
        EXPECT_EQ(sheet->parentWidget()->window(), view.window());
        EXPECT_EQ(QApplication::activeModalWidget(), sheet);
        EXPECT_FALSE(returned);
        ++checks;
        switch (GetParam()) {
        case SheetEnd::kOk:
            QTest::mouseClick(apply, Qt::LeftButton);
            break;
        case SheetEnd::kEscape:
            QTest::keyClick(sheet, Qt::Key_Escape);
            break;
        case SheetEnd::kCloseButton:
            sheet->close();
            break;
        }
    });
    // However it goes, the test does not hang.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, controller,
                     [controller] { controller->applyAdvancedSettings(); });
    watchdog.start(20000);

    QTest::mouseClick(control<QPushButton>("advancedButton"), Qt::LeftButton);
    returned = true;
    EXPECT_TRUE(watchdog.isActive()) << "ended by the watchdog, not by the user";
    EXPECT_EQ(checks, 1);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_FALSE(controller->isRunningSheet());
    // The pane's window stays.
    EXPECT_TRUE(view.isVisible());
}

INSTANTIATE_TEST_SUITE_P(EachWayOut, AdvancedSheet,
                         testing::Values(SheetEnd::kOk, SheetEnd::kEscape, SheetEnd::kCloseButton));

TEST_F(SensitivityPage, SheetEndStoresItsReturnCodeWhereAsked) {
    PaneMainView& view = showPane();
    int code = 0;
    view.sensitivityController()->advancedDidEnd(view.advancedPanel(), 1, &code);
    EXPECT_EQ(code, 1);
    view.sensitivityController()->advancedDidEnd(view.advancedPanel(), 5, nullptr);
    // Confirming without an open sheet does nothing.
    view.sensitivityController()->applyAdvancedSettings();
    EXPECT_FALSE(view.advancedPanel()->isVisible());
}

TEST_F(SensitivityPage, SheetThatGoesAwayEndsItsRun) {
    PaneMainView& view = showPane();
    SensitivityController* controller = view.sensitivityController();
    QTimer::singleShot(0, view.advancedPanel(), [&view] { view.advancedPanel()->deleteLater(); });
    controller->doAdvancedSettings();
    EXPECT_FALSE(controller->isRunningSheet());
    EXPECT_EQ(controller->advancedPanel(), nullptr);
    // Without a dialog there is nothing to run.
    controller->doAdvancedSettings();
    EXPECT_FALSE(controller->isRunningSheet());
}

} // namespace
} // namespace zed::test
