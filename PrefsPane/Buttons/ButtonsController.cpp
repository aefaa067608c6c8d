#include "ButtonsController.h"

#include "ButtonsPage.h"
#include "KeyInputPanel.h"
#include "KeyNames.h"
#include "PrefsPane/Model/TovikCopperhoundPref.h"
#include "PrefsPane/Services/PaneServices.h"
#include "PrefsPane/Widgets/PaneAccessibility.h"
#include "PrefsPane/Widgets/SettingsBinder.h"
#include "SummaryLabel.h"
#include "ui_AdvancedPanel.h"
#include "ui_AssignKeyPanel.h"
#include "ui_ButtonsPage.h"
#include "ui_MacroPanel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSvgRenderer>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// The pictures' size on the page, against the size they were drawn at.
constexpr double kPictureScale = 0.8;

std::unique_ptr<QSvgRenderer> loadArt(const QString& name) {
    const QString path =
        zed::PaneServices::current().bundle().pathForResource(name, QStringLiteral("svg"));
    auto art = std::make_unique<QSvgRenderer>(path);
    // A missing picture leaves an empty image, as a missing file always did.
    return art->isValid() ? std::move(art) : nullptr;
}

// A picture drawn for the screen's scale, at its own proportions, on a
// transparent ground; with `lit`, that element washed in the highlight colour.
QPixmap render(QSvgRenderer* art, const QString& lit = {}) {
    if (!art) {
        return {};
    }
    const QSizeF logical = QSizeF(art->defaultSize()) * kPictureScale;
    const qreal ratio = qApp->devicePixelRatio();
    QImage image((logical * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(ratio);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    art->render(&painter, QRectF(QPointF(), logical));
    if (!lit.isEmpty() && art->elementExists(lit)) {
        QImage wash(image.size(), QImage::Format_ARGB32_Premultiplied);
        wash.fill(Qt::transparent);
        wash.setDevicePixelRatio(ratio);
        QPainter washer(&wash);
        washer.setRenderHint(QPainter::Antialiasing);
        const QRectF view = art->viewBoxF();
        const QTransform toPicture =
            QTransform::fromScale(logical.width() / view.width(), logical.height() / view.height());
        const QRectF bounds =
            toPicture.mapRect(art->transformForElement(lit).mapRect(art->boundsOnElement(lit)));
        art->render(&washer, lit, bounds);
        washer.setCompositionMode(QPainter::CompositionMode_SourceIn);
        QColor colour = qApp->palette().color(QPalette::Highlight);
        colour.setAlpha(150);
        washer.fillRect(QRectF(QPointF(), logical), colour);
        washer.end();
        painter.drawImage(QPointF(), wash);
    }
    painter.end();
    return QPixmap::fromImage(image);
}

// The translation of an id, or the English text when the strings lack it.
QString text(const char* id, const char* english) {
    const QString t = qtTrId(id);
    return t.isEmpty() || t == QLatin1String(id) ? QString::fromUtf8(english) : t;
}

} // namespace

ButtonsController::ButtonsController(QObject* parent) : QObject(parent) {}

// The registrations end with their members: no save reaches a controller
// that is gone.
ButtonsController::~ButtonsController() = default;

void ButtonsController::awakeFromNib() {
    fPrefsObserver = zed::PaneNotificationCenter::defaultCenter().addObserver(
        zed::kPrefsChangeNotification,
        [this](const zed::PaneNotification& notification) { doUpdatePrefs(notification); });

    const auto rightHand = loadArt(QStringLiteral("righthand"));
    const auto leftHand = loadArt(QStringLiteral("lefthand"));
    fRightMouseArt = loadArt(QStringLiteral("rightmouse"));
    fLeftMouseArt = loadArt(QStringLiteral("leftmouse"));
    fRightHandImage = render(rightHand.get());
    fLeftHandImage = render(leftHand.get());
    fRightMouseImage = render(fRightMouseArt.get());
    fLeftMouseImage = render(fLeftMouseArt.get());
    // The pictures are shown at the first save, which selecting the pane
    // makes; their room is kept from the start, so that the window is sized
    // for them and the page does not jump when they come.
    if (fHandsPanel) {
        fHandsPanel->setMinimumSize(fRightHandImage.deviceIndependentSize().toSize());
    }
    for (QLabel* view :
         {fMousePanel.data(), qobject_cast<QLabel*>(viewWithTag(fAssignKeyPanel, kMouseImageTag)),
          qobject_cast<QLabel*>(viewWithTag(fMacroPanel, kMouseImageTag)),
          qobject_cast<QLabel*>(viewWithTag(fAdvancedPanel, kMouseImageTag))}) {
        if (view) {
            view->setMinimumSize(fRightMouseImage.deviceIndependentSize().toSize());
        }
    }
}

QPixmap ButtonsController::mouseImageWithButton(int button) const {
    QSvgRenderer* art = fOrientation == 0 ? fRightMouseArt.get() : fLeftMouseArt.get();
    return render(art, QStringLiteral("button%1").arg(button + 1));
}

void ButtonsController::setHighlightedButton(int button) {
    if (button < 0 || button >= kButtonCount) {
        button = -1;
    }
    if (button == fHighlighted) {
        return;
    }
    fHighlighted = button;
    if (fMousePanel && !fMousePanel->pixmap().isNull()) {
        fMousePanel->setPixmap(button < 0 ? mouseImage() : mouseImageWithButton(button));
    }
    describePictures();
}

void ButtonsController::describePictures() {
    const bool right = fOrientation == 0;
    if (fHandsPanel) {
        fHandsPanel->setAccessibleDescription(right ? text("BUTTONS_HAND_RIGHT", "Right hand")
                                                    : text("BUTTONS_HAND_LEFT", "Left hand"));
    }
    if (fMousePanel) {
        QString description =
            right ? text("BUTTONS_MOUSE_RIGHT", "Buttons 1 to 7, numbered for the right hand")
                  : text("BUTTONS_MOUSE_LEFT", "Buttons 1 to 7, numbered for the left hand");
        if (fHighlighted >= 0) {
            //: %1: the description of the picture, %2: the button's number.
            description = text("BUTTONS_MOUSE_LIT", "%1; button %2 is lit")
                              .arg(description)
                              .arg(fHighlighted + 1);
        }
        fMousePanel->setAccessibleDescription(description);
    }
}

int ButtonsController::currentButton() const {
    if (!fPane) {
        return -1;
    }
    const std::vector<ButtonMapping*> mappings = fPane->mappings();
    if (mappings.empty()) {
        return -1; // not loaded: there is no current mapping to ask for
    }
    const auto found = std::find(mappings.begin(), mappings.end(), fPane->currentMapping());
    return found == mappings.end() ? -1 : static_cast<int>(found - mappings.begin());
}

template <typename Run> void ButtonsController::withCurrentButton(QDialog* panel, Run run) {
    const int button = currentButton();
    if (auto* name = qobject_cast<QLabel*>(viewWithTag(panel, kButtonNameTag))) {
        //: The heading of a dialog: the button it edits. %1: its number.
        name->setText(button < 0 ? QString()
                                 : text("BUTTONS_DIALOG_BUTTON", "Button %1").arg(button + 1));
        QFont bold = name->font();
        bold.setBold(true);
        name->setFont(bold);
    }
    const int lit = fHighlighted;
    setHighlightedButton(button);
    run();
    setHighlightedButton(lit);
}

void ButtonsController::setMapTypePopUps(TovikCopperhoundPref* pane,
                                         std::vector<QComboBox*> popUps) {
    fPane = pane;
    fMapTypePopUps.assign(popUps.begin(), popUps.end());
    for (QComboBox* popUp : popUps) {
        if (fFilteredPopUps.insert(popUp).second) {
            popUp->installEventFilter(this);
            // The open list lights its button in the mouse picture.
            QWidget* list = popUp->view()->window();
            bool tagged = false;
            const int tag = popUp->property("tag").toInt(&tagged);
            if (tagged && list != popUp->window()) {
                fPopUpLists[list] = tag;
                list->installEventFilter(this);
            }
        }
    }
    // Each load builds new mappings, and each save may follow a refused choice
    // that must show the old type again.
    fPopUpObserver = zed::PaneNotificationCenter::defaultCenter().addObserver(
        zed::kPrefsChangeNotification,
        [this](const zed::PaneNotification&) { syncMapTypePopUps(); });
    syncMapTypePopUps();
}

void ButtonsController::setSummaryLabels(std::vector<SummaryLabel*> labels) {
    fSummaries.assign(labels.begin(), labels.end());
    syncMapTypePopUps();
}

void ButtonsController::syncMapTypePopUps() {
    const std::vector<ButtonMapping*> mappings =
        fPane ? fPane->mappings() : std::vector<ButtonMapping*>{};
    for (std::size_t button = 0; button < fSummaries.size(); ++button) {
        if (SummaryLabel* summary = fSummaries[button]) {
            summary->setFullText(
                button < mappings.size()
                    ? zed::mappingSummary(*mappings[button], static_cast<int>(button))
                    : QString());
        }
    }
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
    if (const auto list = fPopUpLists.find(watched); list != fPopUpLists.end()) {
        if (event->type() == QEvent::Show) {
            setHighlightedButton(list->second);
        } else if (event->type() == QEvent::Hide && fModalRuns.empty()) {
            // A choice that opens a dialog keeps the button lit through it.
            setHighlightedButton(-1);
        }
        return QObject::eventFilter(watched, event);
    }
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
        fMousePanel->setPixmap(fHighlighted < 0 ? mouseImage()
                                                : mouseImageWithButton(fHighlighted));
    }
    describePictures();
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
    // From the advanced panel the keys go into its copy, kept or dropped
    // with it.
    panel->setAdvancedOwner(isAdvanced ? fAdvancedDraft.get() : nullptr);
    panel->notifyBegin(isAdvanced);
    showMouseImage(panel);
    // From the advanced panel the key panel is no sheet but a window of its
    // own over it, modal to the whole application.
    withCurrentButton(panel, [&] { runModal(panel, !isAdvanced); });
    if (panel) {
        panel->hide();
        // Stored however the run ended, unless the panel was cancelled.
        panel->notifyEnd();
        panel->setAdvancedOwner(nullptr);
    }
    if (isAdvanced) {
        showAdvancedKeys();
    }
}

// Advanced dialog

void ButtonsController::doAdvancedConfig(QObject*) {
    const QPointer<QDialog> panel(fAdvancedPanel);
    if (!panel) {
        return;
    }
    // The panel edits a copy: its key panels' keys, and the advanced type
    // itself, are stored only when it is confirmed.
    const int button = currentButton();
    const QPointer<ButtonMapping> mapping(button >= 0 ? fPane->currentMapping() : nullptr);
    if (mapping) {
        fAdvancedDraft = mapping->detachedCopy();
        fAdvancedDraft->setMapType(ButtonMapping::kAdvanced);
    }
    showAdvancedKeys();
    bool cancelled = false;
    const auto rejected =
        connect(panel, &QDialog::rejected, this, [&cancelled] { cancelled = true; });
    showMouseImage(panel);
    withCurrentButton(panel, [&] { runModal(panel, true); });
    disconnect(rejected);
    const std::unique_ptr<ButtonMapping> draft = std::move(fAdvancedDraft);
    if (panel) {
        panel->hide();
        if (!cancelled && mapping && draft) {
            mapping->assign(*draft);
        }
    }
    // The pop-up shows the type the button has now, kept or not.
    syncMapTypePopUps();
}

void ButtonsController::cancelAdvancedConfig(QObject*) {
    if (fAdvancedPanel) {
        fAdvancedPanel->reject();
    }
}

void ButtonsController::showAdvancedKeys() {
    auto* view = qobject_cast<QLabel*>(viewWithTag(fAdvancedPanel, kAdvancedKeysTag));
    if (!view) {
        return;
    }
    const ButtonMapping* keys = fAdvancedDraft ? fAdvancedDraft->advancedMapping() : nullptr;
    const int type = keys ? keys->mapType() : -1;
    const QString summary =
        type == ButtonMapping::kKeyCombination || type == ButtonMapping::kKeyMacro
            ? zed::mappingSummary(*keys)
            : text("BUTTONS_SUMMARY_NO_KEYS", "No keys recorded");
    //: The keys an advanced mapping types besides its steps. %1: the keys.
    view->setText(text("ADVANCED_KEYS", "Keys: %1").arg(summary));
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
    // Closed by the window's close button, Escape or Cancel: ends the run as
    // confirming does; the dialog tells by its rejection that it was cancelled.
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
    // Screen readers hear each control by the label of its row.
    for (QWidget* root :
         std::initializer_list<QWidget*>{page, assignKeyPanel, macroPanel, advancedPanel}) {
        zed::nameControlsByTheirLabels(root);
    }
    assignKeyPanel->setKeyMenu(assignKeyUi.assignKeyMenu);
    macroPanel->setKeyMenu(macroUi.macroKeyMenu);
    assignKeyPanel->setRecordControls(assignKeyUi.assignKeyRecordButton,
                                      assignKeyUi.assignKeyStatus);
    macroPanel->setRecordControls(macroUi.macroRecordButton, macroUi.macroStatus);

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
    QObject::connect(macroUi.macroRemoveLastButton, &QPushButton::clicked, macroPanel,
                     [macroPanel] { macroPanel->removeLastKeyCode(); });
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
    QObject::connect(advancedUi.advancedCancelButton, &QPushButton::clicked, controller,
                     [controller] { controller->cancelAdvancedConfig(); });

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
    controller->setSummaryLabels(
        {pageUi.buttonSummary1, pageUi.buttonSummary2, pageUi.buttonSummary3, pageUi.buttonSummary4,
         pageUi.buttonSummary5, pageUi.buttonSummary6, pageUi.buttonSummary7});
    if (pane) {
        pane->setButtonsController(controller);
    }
}
