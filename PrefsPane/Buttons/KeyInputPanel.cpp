#include "KeyInputPanel.h"

#include "KeyNames.h"
#include "MyPopUpButton.h"
#include "Platform/core/Log.h"
#include "Platform/keyboard/KeyCodes.h"
#include "Platform/keyboard/KeyboardLayout.h"
#include "PrefsPane/Model/PaneAssert.h"
#include "PrefsPane/Model/TovikCopperhoundPref.h"
#include "PrefsPane/Widgets/SettingsBinder.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>

namespace {

namespace buttons = zed::buttons;

// Keys that report changes of the modifier state instead of presses.
bool isModifierKey(std::uint16_t code) {
    return code == buttons::kFunctionKey ||
           (code <= 0xFF && buttons::isModifierKey(static_cast<std::uint8_t>(code)));
}

// The flag a modifier key holds down; 0 for Caps Lock (a toggle, never held),
// Fn and other keys.
std::uint32_t modifierMask(std::uint16_t code) {
    if (code == buttons::kCapsLockKey || code > 0xFF) {
        return 0;
    }
    return buttons::modifierMask(static_cast<std::uint8_t>(code));
}

// The left-hand key of each modifier flag, in the order a combination's
// modifiers are named when the panel saw none of them go down.
constexpr std::array<std::pair<std::uint32_t, std::uint16_t>, 4> kModifierKeys{{
    {buttons::kControlMask, buttons::kControlKey},
    {buttons::kAlternateMask, buttons::kOptionKey},
    {buttons::kShiftMask, buttons::kShiftKey},
    {buttons::kCommandMask, buttons::kCommandKey},
}};

// Super (Meta) is the Command key, Alt the Option key.
std::uint32_t modifierFlags(Qt::KeyboardModifiers modifiers) {
    std::uint32_t flags = 0;
    if (modifiers & Qt::ShiftModifier) {
        flags |= buttons::kShiftMask;
    }
    if (modifiers & Qt::ControlModifier) {
        flags |= buttons::kControlMask;
    }
    if (modifiers & Qt::AltModifier) {
        flags |= buttons::kAlternateMask;
    }
    if (modifiers & Qt::MetaModifier) {
        flags |= buttons::kCommandMask;
    }
    return flags;
}

// The translation of an id, or the English text when the strings lack it.
QString text(const char* id, const char* english) {
    const QString t = qtTrId(id);
    return t.isEmpty() || t == QLatin1String(id) ? QString::fromUtf8(english) : t;
}

bool isKeyEvent(const QEvent* event) {
    return event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress ||
           event->type() == QEvent::KeyRelease;
}

} // namespace

KeyInputPanel::KeyInputPanel(QWidget* parent)
    : QDialog(parent), fBeep([] { QApplication::beep(); }) {
    fPauseTimer.setSingleShot(true);
    fPauseTimer.setInterval(kMacroPauseMs);
    connect(&fPauseTimer, &QTimer::timeout, this, [this] { setRecording(false); });
}

KeyInputPanel::~KeyInputPanel() = default;

void KeyInputPanel::awakeFromNib() {
    fIsMacro = false;
    fTextBox = qobject_cast<QLabel*>(viewWithTag(this, kAssignKeyTextTag));
    if (!fTextBox) {
        fTextBox = qobject_cast<QLabel*>(viewWithTag(this, kMacroTextTag));
        fIsMacro = true;
    }
    ZED_PANE_ASSERT(fTextBox != nullptr, "fTextBox != NULL");
    // Neither editable nor selectable: the box only shows the recording,
    // wrapped over as many lines as a full macro needs.
    fTextBox->setTextInteractionFlags(Qt::NoTextInteraction);
    fTextBox->setTextFormat(Qt::PlainText);
    fTextBox->setWordWrap(true);
    const int lines = fIsMacro ? 3 : 1;
    fTextBox->setMinimumHeight(fTextBox->fontMetrics().lineSpacing() * lines +
                               2 * (fTextBox->frameWidth() + fTextBox->margin()) + 2);
    fCountLabel = fIsMacro ? qobject_cast<QLabel*>(viewWithTag(this, kCountTag)) : nullptr;
    updateCount();

    // The menu's keys are called what the recording calls them.
    if (fKeyMenu) {
        for (int item = 0;
             item < fKeyMenu->count() && static_cast<std::size_t>(item) < kKeyMenuItems.size();
             ++item) {
            fKeyMenu->setItemText(item,
                                  getKeyString(kKeyMenuItems[static_cast<std::size_t>(item)]));
        }
    }

    // The controls take the keyboard as in any dialog; while recording the
    // panel takes every key before them. Return confirms whichever button
    // has the focus, so that it never starts a recording by surprise.
    const QList<QWidget*> controls = findChildren<QWidget*>();
    for (QWidget* control : controls) {
        control->installEventFilter(this);
        if (auto* button = qobject_cast<QPushButton*>(control); button && !button->isDefault()) {
            button->setAutoDefault(false);
        }
    }
    if (auto* popUp = qobject_cast<MyPopUpButton*>(fKeyMenu.data())) {
        popUp->setForwardsKeys(false);
    }
}

void KeyInputPanel::setRecordControls(QAbstractButton* recordButton, QLabel* status) {
    fRecordButton = recordButton;
    fStatusLabel = status;
    if (fRecordButton) {
        fRecordButton->setCheckable(true);
        connect(fRecordButton, &QAbstractButton::toggled, this,
                [this](bool on) { setRecording(on); });
    }
    setRecording(false);
}

void KeyInputPanel::setRecording(bool recording) {
    recording = recording && fKeyCodes.has_value();
    fRecording = recording;
    fPauseTimer.stop();
    // Keys already down when the recording starts are not the user's typing.
    fHeldModifiers.clear();
    fKeysDown.clear();
    fKeyEquivalentsDown.clear();
    fNewCombination = recording && !fIsMacro;
    const QString status = recording ? text("KEYS_RECORDING", "Press keys now\u2026") : QString();
    if (fRecordButton) {
        const QSignalBlocker quiet(fRecordButton.data());
        fRecordButton->setChecked(recording);
        fRecordButton->setAccessibleDescription(status);
    }
    if (fStatusLabel) {
        fStatusLabel->setText(status);
    }
}

bool KeyInputPanel::allKeysUp() const {
    return fKeysDown.empty() && fHeldModifiers.empty() && fKeyEquivalentsDown.empty();
}

ButtonMapping* KeyInputPanel::editedMapping() const {
    if (fIsAdvanced && fAdvancedOwner) {
        return fAdvancedOwner->advMapping();
    }
    ZED_PANE_ASSERT(fDelegate != nullptr, "fDelegate != NULL");
    ButtonMapping* mapping = fDelegate->currentMapping();
    return fIsAdvanced ? mapping->advMapping() : mapping;
}

void KeyInputPanel::notifyBegin(bool isAdvanced) {
    fIsAdvanced = isAdvanced;
    ButtonMapping* mapping = editedMapping();
    const std::optional<std::string>& text = fIsMacro ? mapping->macro() : mapping->keys();
    fCancelled = false;
    // Items are kept as stored, also those this version would not write.
    fKeyCodes = !text || text->empty()
                    ? QStringList()
                    : QString::fromStdString(*text).split(QLatin1Char(buttons::kKeyListSeparator));
    setRecording(false);
    showKeyCodes();
    if (fRecordButton) {
        fRecordButton->setFocus(Qt::OtherFocusReason);
    }
}

QString KeyInputPanel::spelledKeys() const {
    if (!fKeyCodes) {
        return {};
    }
    const QString list = fKeyCodes->join(QLatin1Char(buttons::kKeyListSeparator));
    return fIsMacro ? zed::keyMacroText(list) : zed::keyCombinationText(list);
}

void KeyInputPanel::showKeyCodes() {
    const QString spelled = spelledKeys();
    fTextBox->setText(spelled);
    fTextBox->setAccessibleDescription(
        spelled.isEmpty() ? text("BUTTONS_SUMMARY_NO_KEYS", "No keys recorded") : spelled);
    updateCount();
}

void KeyInputPanel::updateCount() {
    if (!fCountLabel) {
        return;
    }
    const auto count = fKeyCodes ? fKeyCodes->size() : 0;
    //: %1: entries recorded, %2: the most a macro holds.
    fCountLabel->setText(
        qtTrId("MACRO_COUNT").arg(count).arg(static_cast<int>(buttons::kMaxMacroItems)));
}

void KeyInputPanel::notifyEnd() {
    if (!fKeyCodes) {
        return; // not open
    }
    setRecording(false);
    if (fCancelled) {
        fKeyCodes.reset();
        return;
    }
    // The type goes with the keys: a button that did something else keeps
    // doing it until the panel is confirmed.
    const std::string text = fKeyCodes->join(QLatin1Char(buttons::kKeyListSeparator)).toStdString();
    fKeyCodes.reset();
    editedMapping()->setKeyList(
        fIsMacro ? ButtonMapping::kKeyMacro : ButtonMapping::kKeyCombination, text);
}

bool KeyInputPanel::performKeyEquivalent(const KeyEvent& event) {
    if (!(event.modifierFlags & buttons::kCommandMask)) {
        return false;
    }
    keyDown(event);
    keyUp(event);
    return true;
}

void KeyInputPanel::keyDown(const KeyEvent& event) {
    if (event.isRepeat) {
        return;
    }
    handleKeyDown(event.keyCode);
    if (!fIsMacro && fKeyCodes) {
        // A chord: the agent holds these while it types the key.
        for (std::uint16_t modifier : heldModifiers(event.modifierFlags)) {
            appendEntry(modifier, buttons::kKeyPress);
        }
    }
}

std::vector<std::uint16_t> KeyInputPanel::heldModifiers(std::uint32_t modifierFlags) const {
    std::vector<std::uint16_t> held;
    for (std::uint16_t code : fHeldModifiers) {
        if (modifierFlags & modifierMask(code)) {
            held.push_back(code);
        }
    }
    for (const auto& [mask, leftKey] : kModifierKeys) {
        const bool explained = std::any_of(held.begin(), held.end(), [mask = mask](auto code) {
            return modifierMask(code) == mask;
        });
        if ((modifierFlags & mask) && !explained) {
            held.push_back(leftKey); // held since before the panel opened
        }
    }
    return held;
}

void KeyInputPanel::keyUp(const KeyEvent& event) {
    if (!event.isRepeat) {
        handleKeyUp(event.keyCode);
    }
}

bool KeyInputPanel::isFull() const {
    // A full macro takes no further keys, modifiers included; nor does a
    // stored macro that is longer already.
    return fIsMacro && fKeyCodes &&
           static_cast<std::size_t>(fKeyCodes->size()) >= buttons::kMaxMacroItems;
}

void KeyInputPanel::appendEntry(std::uint16_t keyCode, std::int32_t direction) {
    if (fNewCombination) {
        fKeyCodes->clear();
        fNewCombination = false;
    }
    fKeyCodes->push_back(QString::number(keyCode | direction));
    showKeyCodes();
}

void KeyInputPanel::handleKeyDown(std::uint16_t keyCode) {
    if (!fKeyCodes) {
        return;
    }
    if (isFull()) {
        fBeep();
        return;
    }
    if (!fIsMacro) {
        // Each key starts a new combination.
        clearKeyCodes();
    }
    appendEntry(keyCode, buttons::kKeyPress);
}

void KeyInputPanel::handleKeyUp(std::uint16_t keyCode) {
    if (!fKeyCodes || !fIsMacro || isFull()) {
        return;
    }
    appendEntry(keyCode, buttons::kKeyRelease);
}

void KeyInputPanel::flagsChanged(const KeyEvent& event) {
    if (!fKeyCodes || event.keyCode == buttons::kFunctionKey) {
        return;
    }
    const std::uint32_t mask = modifierMask(event.keyCode);
    // Caps Lock and keys without a flag count every change as a press.
    const bool press = mask == 0 || (event.modifierFlags & mask) != 0;
    if (!fIsMacro) {
        // Modifiers pressed after a key join its combination.
        if (press) {
            appendEntry(event.keyCode, buttons::kKeyPress);
        }
        return;
    }
    // The limit counts every entry, as it does for other keys.
    if (isFull()) {
        if (press) {
            fBeep();
        }
        return;
    }
    appendEntry(event.keyCode, press ? buttons::kKeyPress : buttons::kKeyRelease);
}

QString KeyInputPanel::getKeyString(std::uint16_t keyCode) const {
    // The desktop's names, in the pane's language.
    if (QString fixed = zed::fixedKeyName(keyCode); !fixed.isEmpty()) {
        return fixed;
    }

    std::optional<std::uint16_t> evdev;
    if (keyCode <= 0xFF) {
        evdev = zed::evdevFromVirtualKey(static_cast<std::uint8_t>(keyCode));
    }
    const char32_t character =
        evdev ? zed::KeyboardLayout::current().unshiftedCharacter(*evdev) : 0;
    const std::uint32_t result = character;
    zed::systemLog("keycode = %x, keychar = %c or %c", keyCode, static_cast<int>(result & 0xFF),
                   static_cast<int>(result >> 16));
    zed::systemLog("keys = %ld", static_cast<long>(result));
    // The whole character, not only its low byte, so that layouts beyond
    // Latin-1 name their keys too.
    return character ? QString::fromUcs4(&character, 1) : QString();
}

void KeyInputPanel::clearKeyCodes(QObject*) {
    if (fKeyCodes) {
        fKeyCodes->clear();
    }
    showKeyCodes();
}

void KeyInputPanel::removeLastKeyCode(QObject*) {
    if (fKeyCodes && !fKeyCodes->isEmpty()) {
        fKeyCodes->removeLast();
        showKeyCodes();
    }
}

void KeyInputPanel::hitKeyDown(QObject*) {
    const int item = fKeyMenu ? fKeyMenu->currentIndex() : -1;
    if (item >= 0 && static_cast<std::size_t>(item) < kKeyMenuItems.size()) {
        handleKeyDown(kKeyMenuItems[static_cast<std::size_t>(item)]);
    }
}

void KeyInputPanel::hitKeyUp(QObject*) {
    const int item = fKeyMenu ? fKeyMenu->currentIndex() : -1;
    if (item >= 0 && static_cast<std::size_t>(item) < kKeyMenuItems.size()) {
        handleKeyUp(kKeyMenuItems[static_cast<std::size_t>(item)]);
    }
}

void KeyInputPanel::cancel(QObject*) {
    reject();
}

void KeyInputPanel::reject() {
    // What was typed is dropped when the run is over.
    fCancelled = true;
    QDialog::reject();
}

bool KeyInputPanel::event(QEvent* event) {
    if (fRecording && isKeyEvent(event)) {
        return takeKey(event);
    }
    return QDialog::event(event);
}

bool KeyInputPanel::eventFilter(QObject* watched, QEvent* event) {
    if (fRecording && isKeyEvent(event)) {
        return takeKey(event);
    }
    return QDialog::eventFilter(watched, event);
}

bool KeyInputPanel::takeKey(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        // Taken, so that the key comes as a key press instead of a shortcut.
        event->accept();
        return true;
    }
    auto* key = static_cast<QKeyEvent*>(event);
    keyEvent(key);
    if (!fRecording || event->type() != QEvent::KeyRelease || key->isAutoRepeat() || !allKeysUp()) {
        return true;
    }
    if (!fIsMacro) {
        // A combination is done once its keys are let go.
        if (!fKeyCodes->isEmpty() && !fNewCombination) {
            setRecording(false);
        }
    } else {
        fPauseTimer.start();
    }
    return true;
}

void KeyInputPanel::keyEvent(QKeyEvent* qtEvent) {
    qtEvent->accept();
    // On X11 the native scan code is the X key code: evdev + 8.
    const auto virtualKey = zed::virtualKeyFromX11Keycode(qtEvent->nativeScanCode());
    if (!virtualKey) {
        return; // a key the stored lists cannot name
    }
    const bool press = qtEvent->type() == QEvent::KeyPress;
    KeyEvent event{*virtualKey, modifierFlags(qtEvent->modifiers()), qtEvent->isAutoRepeat()};
    if (press) {
        fPauseTimer.stop(); // the user is still typing
    }

    if (isModifierKey(event.keyCode)) {
        // Modifier keys report a change of state: one per press for Caps
        // Lock, one per press and release for the others.
        if (event.isRepeat || (event.keyCode == buttons::kCapsLockKey && !press)) {
            return;
        }
        const std::uint32_t mask = modifierMask(event.keyCode);
        const auto seen = std::find(fHeldModifiers.begin(), fHeldModifiers.end(), event.keyCode);
        if (mask != 0 && press && seen == fHeldModifiers.end()) {
            fHeldModifiers.push_back(event.keyCode);
        } else if (mask != 0 && !press) {
            if (seen == fHeldModifiers.end()) {
                return; // went down before the panel opened
            }
            fHeldModifiers.erase(seen);
        }
        // The key's own flag stays set while its twin on the other side is held.
        const bool held =
            std::any_of(fHeldModifiers.begin(), fHeldModifiers.end(),
                        [mask](std::uint16_t code) { return modifierMask(code) == mask; });
        event.modifierFlags = (event.modifierFlags & ~mask) | (held ? mask : 0);
        flagsChanged(event);
        return;
    }

    if (press) {
        if (performKeyEquivalent(event)) {
            fKeyEquivalentsDown.insert(event.keyCode);
            return;
        }
        if (!event.isRepeat) {
            fKeysDown.insert(event.keyCode);
        }
        keyDown(event);
        return;
    }
    if (event.isRepeat) {
        return; // the key is still down
    }
    if (fKeyEquivalentsDown.erase(event.keyCode) > 0) {
        return; // recorded with its press
    }
    if (fKeysDown.erase(event.keyCode) == 0) {
        return; // went down before the panel opened
    }
    keyUp(event);
}
