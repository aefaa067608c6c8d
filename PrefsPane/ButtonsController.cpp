#include "ButtonsController.h"

#include "ButtonsPageHook.h"
#include "KeyInputPanel.h"
#include "PaneServices.h"
#include "SettingsBinder.h"
#include "TovikCopperhoundPref.h"
#include "ui_AdvancedPanel.h"
#include "ui_AssignKeyPanel.h"
#include "ui_ButtonsPage.h"
#include "ui_MacroPanel.h"

#include <QComboBox>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

ButtonsController::ButtonsController(QObject* parent) : QObject(parent) {}

// The registrations end with their members: no save reaches a controller
// that is gone.
ButtonsController::~ButtonsController() = default;

void ButtonsController::awakeFromNib() {
    fPrefsObserver = zed::PaneNotificationCenter::defaultCenter().addObserver(
        zed::kPrefsChangeNotification,
        [this](const zed::PaneNotification& notification) { doUpdatePrefs(notification); });

    const zed::PaneBundle& bundle = zed::PaneServices::current().bundle();
    const QString type = QStringLiteral("jpg");
    fRightHandImage = QPixmap(bundle.pathForResource(QStringLiteral("righthand"), type));
    fLeftHandImage = QPixmap(bundle.pathForResource(QStringLiteral("lefthand"), type));
    fRightMouseImage = QPixmap(bundle.pathForResource(QStringLiteral("rightmouse"), type));
    fLeftMouseImage = QPixmap(bundle.pathForResource(QStringLiteral("leftmouse"), type));
    // The pictures are shown at the first save, which selecting the pane makes.
}

void ButtonsController::setMapTypePopUps(TovikCopperhoundPref* pane,
                                         std::vector<QComboBox*> popUps) {
    fPane = pane;
    fMapTypePopUps.assign(popUps.begin(), popUps.end());
    for (QComboBox* popUp : popUps) {
        if (fFilteredPopUps.insert(popUp).second) {
            popUp->installEventFilter(this);
        }
    }
    // Each load builds new mappings, and each save may follow a refused choice
    // that must show the old type again.
    fPopUpObserver = zed::PaneNotificationCenter::defaultCenter().addObserver(
        zed::kPrefsChangeNotification,
        [this](const zed::PaneNotification&) { syncMapTypePopUps(); });
    syncMapTypePopUps();
}

void ButtonsController::syncMapTypePopUps() {
    const std::vector<ButtonMapping*> mappings =
        fPane ? fPane->mappings() : std::vector<ButtonMapping*>{};
    for (const QPointer<QComboBox>& popUp : fMapTypePopUps) {
        if (!popUp) {
            continue;
        }
        bool tagged = false;
        const int tag = popUp->property("tag").toInt(&tagged);
        if (!tagged || tag < 0 || static_cast<std::size_t>(tag) >= mappings.size()) {
            // No mapping stored for this button: nothing to edit.
            popUp->setEnabled(false);
            continue;
        }
        ButtonMapping* mapping = mappings[static_cast<std::size_t>(tag)];
        connect(mapping, &ButtonMapping::mapTypeChanged, this,
                &ButtonsController::syncMapTypePopUps, Qt::UniqueConnection);
        popUp->setEnabled(true);
        // Showing the type is no choice of the user's.
        const QSignalBlocker quiet(popUp.data());
        const int type = mapping->mapType();
        popUp->setCurrentIndex(type < popUp->count() ? type : -1);
    }
}

namespace {

// The keys that open a closed pop-up's list (or move the focus on): every
// other key would step the choice, or pick an item by its first letter.
bool opensOrLeaves(const QKeyEvent& key) {
    switch (key.key()) {
    case Qt::Key_Space:
    case Qt::Key_F4:
    case Qt::Key_Select:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return true;
    case Qt::Key_Down:
        return key.modifiers().testFlag(Qt::AltModifier);
    default:
        return false;
    }
}

} // namespace

bool ButtonsController::eventFilter(QObject* watched, QEvent* event) {
    // Choosing a map type replaces a button's keys or macro, or opens a
    // panel: no wheel notch or stray key over a closed pop-up may do that.
    // The open list is a window of its own and keeps its wheel and keys.
    const bool stepsTheChoice =
        event->type() == QEvent::Wheel ||
        (event->type() == QEvent::KeyPress && !opensOrLeaves(*static_cast<QKeyEvent*>(event)));
    if (stepsTheChoice && fFilteredPopUps.count(watched) > 0) {
        // Unaccepted, it goes on to the page as if the pop-up had none of it.
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void ButtonsController::doUpdatePrefs(const zed::PaneNotification& notification) {
    const zed::Dictionary* prefs = notification.objectAs<zed::Dictionary>();
    if (!prefs) {
        return;
    }
    const zed::Value* stored =
        zed::lookup(*prefs, zed::settings::name(zed::settings::Key::kOrientation));
    const std::optional<std::int32_t> orientation = stored ? stored->toInt32() : std::nullopt;
    if (!orientation) {
        return;
    }
    fOrientation = *orientation;
    if (fHandsPanel) {
        fHandsPanel->setPixmap(fOrientation == 0 ? fRightHandImage : fLeftHandImage);
    }
    if (fMousePanel) {
        fMousePanel->setPixmap(mouseImage());
    }
}

const QPixmap& ButtonsController::mouseImage() const {
    return fOrientation == 0 ? fRightMouseImage : fLeftMouseImage;
}

void ButtonsController::showMouseImage(QDialog* panel) {
    if (auto* view = qobject_cast<QLabel*>(viewWithTag(panel, kMouseImageTag))) {
        view->setPixmap(mouseImage());
    }
}

// Key dialogs

void ButtonsController::doAssignKey(QObject*) {
    assignKey(false);
}

void ButtonsController::doAdvancedAssignKey(QObject*) {
    assignKey(true);
}

void ButtonsController::assignKey(bool isAdvanced) {
    runKeyPanel(fAssignKeyPanel, isAdvanced);
}

void ButtonsController::applyAssignKey(QObject*) {
    endSheet(fAssignKeyPanel, 1);
}

void ButtonsController::doMacroConfig(QObject*) {
    macroConfig(false);
}

void ButtonsController::doAdvancedMacroConfig(QObject*) {
    macroConfig(true);
}

void ButtonsController::macroConfig(bool isAdvanced) {
    runKeyPanel(fMacroPanel, isAdvanced);
}

void ButtonsController::applyMacroConfig(QObject*) {
    endSheet(fMacroPanel, 1);
}

void ButtonsController::runKeyPanel(KeyInputPanel* keyPanel, bool isAdvanced) {
    const QPointer<KeyInputPanel> panel(keyPanel);
    if (!panel) {
        return;
    }
    panel->notifyBegin(isAdvanced);
    showMouseImage(panel);
    // From the advanced panel the key panel is no sheet but a window of its
    // own over it, modal to the whole application.
    runModal(panel, !isAdvanced);
    if (panel) {
        panel->hide();
        // Stored however the run ended, unless the panel was cancelled.
        panel->notifyEnd();
    }
}

// Advanced dialog

void ButtonsController::doAdvancedConfig(QObject*) {
    const QPointer<QDialog> panel(fAdvancedPanel);
    if (!panel) {
        return;
    }
    showMouseImage(panel);
    runModal(panel, true);
    if (panel) {
        // What the user chose there, the key panels it opened have stored.
        panel->hide();
    }
}

void ButtonsController::applyAdvancedConfig(QObject*) {
    endSheet(fAdvancedPanel, 1);
}

// Modal runs

void ButtonsController::runModal(QDialog* panel, bool asSheet) {
    QEventLoop loop;
    int returnCode = 0; // never read: the dialogs store whatever ended them
    fModalRuns.push_back({panel, &loop, &returnCode, asSheet});

    panel->setWindowModality(asSheet ? Qt::WindowModal : Qt::ApplicationModal);
    // Closed by the window's close button (or Escape on the advanced panel):
    // ends the run as confirming does.
    const auto finished = connect(panel, &QDialog::finished, this,
                                  [this, panel](int result) { endSheet(panel, result); });
    // Closing the main window destroys the dialog with it: do not wait forever.
    const auto destroyed = connect(panel, &QObject::destroyed, &loop, [&loop] { loop.exit(0); });
    panel->show();
    panel->raise();
    panel->activateWindow();
    loop.exec(QEventLoop::DialogExec);
    disconnect(finished);
    disconnect(destroyed);

    fModalRuns.erase(std::find_if(fModalRuns.begin(), fModalRuns.end(),
                                  [&loop](const ModalRun& run) { return run.loop == &loop; }));
}

void ButtonsController::endSheet(QDialog* panel, int returnCode) {
    // Only the innermost run can end: the others wait below it. A key panel
    // opened from the advanced panel is no sheet, yet confirming it ends its
    // run all the same.
    if (panel && !fModalRuns.empty() && fModalRuns.back().panel == panel) {
        dialogDidEnd(panel, returnCode, fModalRuns.back().contextInfo);
    }
}

void ButtonsController::dialogDidEnd(QWidget*, int returnCode, int* contextInfo) {
    if (!fModalRuns.empty()) {
        fModalRuns.back().loop->exit(0);
    }
    if (contextInfo) {
        *contextInfo = returnCode;
    }
}

QDialog* ButtonsController::modalPanel() const {
    return fModalRuns.empty() ? nullptr : fModalRuns.back().panel.data();
}

bool ButtonsController::modalPanelIsSheet() const {
    return !fModalRuns.empty() && fModalRuns.back().sheet;
}

// The page in the main view

void AttachButtonsPage(QWidget* container, TovikCopperhoundPref* pane) {
    // The interface files' texts in the bundle's language.
    zed::PaneServices::current().bundle().installTranslations();

    auto* page = new QWidget(container);
    Ui::ButtonsPage pageUi;
    pageUi.setupUi(page);
    auto* layout = container->layout();
    if (!layout) {
        layout = new QVBoxLayout(container);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    layout->addWidget(page);

    // The dialogs are windows of their own, owned by the page.
    auto* assignKeyPanel = new KeyInputPanel(page);
    Ui::AssignKeyPanel assignKeyUi;
    assignKeyUi.setupUi(assignKeyPanel);
    auto* macroPanel = new KeyInputPanel(page);
    Ui::MacroPanel macroUi;
    macroUi.setupUi(macroPanel);
    auto* advancedPanel = new QDialog(page);
    Ui::AdvancedPanel advancedUi;
    advancedUi.setupUi(advancedPanel);

    auto* controller = new ButtonsController(page);
    controller->setAssignKeyPanel(assignKeyPanel);
    controller->setMacroPanel(macroPanel);
    controller->setAdvancedPanel(advancedPanel);
    controller->setHandsPanel(pageUi.buttonsHandsPicture);
    controller->setMousePanel(pageUi.buttonsMousePicture);

    for (KeyInputPanel* panel : {assignKeyPanel, macroPanel}) {
        panel->setDelegate(pane);
    }
    assignKeyPanel->setKeyMenu(assignKeyUi.assignKeyMenu);
    macroPanel->setKeyMenu(macroUi.macroKeyMenu);

    QObject::connect(assignKeyUi.assignKeyPressButton, &QPushButton::clicked, assignKeyPanel,
                     [assignKeyPanel] { assignKeyPanel->hitKeyDown(); });
    QObject::connect(assignKeyUi.assignKeyClearButton, &QPushButton::clicked, assignKeyPanel,
                     [assignKeyPanel] { assignKeyPanel->clearKeyCodes(); });
    QObject::connect(assignKeyUi.assignKeyCancelButton, &QPushButton::clicked, assignKeyPanel,
                     [assignKeyPanel] { assignKeyPanel->cancel(); });
    QObject::connect(assignKeyUi.assignKeyApplyButton, &QPushButton::clicked, controller,
                     [controller] { controller->applyAssignKey(); });
    QObject::connect(macroUi.macroPressButton, &QPushButton::clicked, macroPanel,
                     [macroPanel] { macroPanel->hitKeyDown(); });
    QObject::connect(macroUi.macroReleaseButton, &QPushButton::clicked, macroPanel,
                     [macroPanel] { macroPanel->hitKeyUp(); });
    QObject::connect(macroUi.macroClearButton, &QPushButton::clicked, macroPanel,
                     [macroPanel] { macroPanel->clearKeyCodes(); });
    QObject::connect(macroUi.macroCancelButton, &QPushButton::clicked, macroPanel,
                     [macroPanel] { macroPanel->cancel(); });
    QObject::connect(macroUi.macroApplyButton, &QPushButton::clicked, controller,
                     [controller] { controller->applyMacroConfig(); });
    QObject::connect(advancedUi.advancedKeyCombinationButton, &QPushButton::clicked, controller,
                     [controller] { controller->doAdvancedAssignKey(); });
    QObject::connect(advancedUi.advancedKeyMacroButton, &QPushButton::clicked, controller,
                     [controller] { controller->doAdvancedMacroConfig(); });
    QObject::connect(advancedUi.advancedApplyButton, &QPushButton::clicked, controller,
                     [controller] { controller->applyAdvancedConfig(); });

    assignKeyPanel->awakeFromNib();
    macroPanel->awakeFromNib();
    controller->awakeFromNib();

    // Each pop-up's tag is its button's index, its chosen item the map type.
    const std::vector<QComboBox*> popUps{
        pageUi.mapTypeButton1, pageUi.mapTypeButton2, pageUi.mapTypeButton3, pageUi.mapTypeButton4,
        pageUi.mapTypeButton5, pageUi.mapTypeButton6, pageUi.mapTypeButton7};
    const QPointer<TovikCopperhoundPref> model(pane);
    for (QComboBox* popUp : popUps) {
        QObject::connect(popUp, &QComboBox::activated, popUp, [model, popUp] {
            if (model) {
                model->doCurrentMappingChanged(popUp);
            }
        });
    }
    controller->setMapTypePopUps(pane, popUps);
    if (pane) {
        pane->setButtonsController(controller);
    }
}
