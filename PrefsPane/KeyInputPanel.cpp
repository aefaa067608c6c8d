#include "KeyInputPanel.h"

#include "KeyNames.h"
#include "PaneAssert.h"
#include "Platform/core/SystemLog.h"
#include "Platform/keyboard/KeyCodes.h"
#include "Platform/keyboard/KeyboardLayout.h"
#include "SettingsBinder.h"
#include "TovikCopperhoundPref.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <algorithm>
#include <cstdlib>

namespace {

const QChar kDownArrow(0x2193);
const QChar kUpArrow(0x2191);

constexpr std::uint16_t kEscape = 53;
constexpr std::uint16_t kRightCommand = 54;
constexpr std::uint16_t kCommand = 55;
constexpr std::uint16_t kShift = 56;
constexpr std::uint16_t kCapsLock = 57;
constexpr std::uint16_t kOption = 58;
constexpr std::uint16_t kControl = 59;
constexpr std::uint16_t kRightShift = 60;
constexpr std::uint16_t kRightOption = 61;
constexpr std::uint16_t kRightControl = 62;
constexpr std::uint16_t kFunction = 63;

// Keys that report changes of the modifier state instead of presses.
bool isModifierKey(std::uint16_t code) {
    return code >= kRightCommand && code <= kFunction;
}

// The flag a modifier key holds down; 0 for Caps Lock, Fn and other keys.
std::uint32_t modifierMask(std::uint16_t code) {
    switch (code) {
    case kRightCommand:
    case kCommand:
        return KeyInputPanel::kCommandKeyMask;
    case kShift:
    case kRightShift:
        return KeyInputPanel::kShiftKeyMask;
    case kOption:
    case kRightOption:
        return KeyInputPanel::kAlternateKeyMask;
    case kControl:
    case kRightControl:
        return KeyInputPanel::kControlKeyMask;
    default:
        return 0;
    }
}

// The left-hand key of each modifier flag, in the order a combination's
// modifiers are named when the panel saw none of them go down.
constexpr std::array<std::pair<std::uint32_t, std::uint16_t>, 4> kModifierKeys{{
    {KeyInputPanel::kControlKeyMask, kControl},
    {KeyInputPanel::kAlternateKeyMask, kOption},
    {KeyInputPanel::kShiftKeyMask, kShift},
    {KeyInputPanel::kCommandKeyMask, kCommand},
}};

// Super (Meta) is the Command key, Alt the Option key.
std::uint32_t modifierFlags(Qt::KeyboardModifiers modifiers) {
    std::uint32_t flags = 0;
    if (modifiers & Qt::ShiftModifier) {
        flags |= KeyInputPanel::kShiftKeyMask;
    }
    if (modifiers & Qt::ControlModifier) {
        flags |= KeyInputPanel::kControlKeyMask;
    }
    if (modifiers & Qt::AltModifier) {
        flags |= KeyInputPanel::kAlternateKeyMask;
    }
    if (modifiers & Qt::MetaModifier) {
        flags |= KeyInputPanel::kCommandKeyMask;
    }
    return flags;
}

// An item's value as the agent reads it: its leading digits.
std::uint16_t itemValue(const QString& item) {
    const QByteArray text = item.toLatin1();
    return static_cast<std::uint16_t>(std::strtol(text.constData(), nullptr, 10));
}

} // namespace

KeyInputPanel::KeyInputPanel(QWidget* parent)
    : QDialog(parent), fBeep([] { QApplication::beep(); }) {}

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

    // The panel itself keeps the focus, so that no control spends a key
    // (Space on a button, arrows on the pop-up) before it is recorded.
    const QList<QWidget*> controls = findChildren<QWidget*>();
    for (QWidget* control : controls) {
        control->setFocusPolicy(Qt::NoFocus);
    }
    setFocusPolicy(Qt::StrongFocus);
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
    fHeldModifiers.clear();
    fKeysDown.clear();
    fKeyEquivalentsDown.clear();

    if (!text || text->empty()) {
        fKeyCodes = QStringList();
        fTextBox->setText(QString());
        updateCount();
        return;
    }
    fKeyCodes = QString::fromStdString(*text).split(QLatin1Char(','));
    QStringList labels;
    for (const QString& item : *fKeyCodes) {
        const std::uint16_t value = itemValue(item);
        QString label;
        if (fIsMacro) {
            label += (value & kKeyRelease) ? kUpArrow : kDownArrow;
        }
        label += getKeyString(value & 0xFF);
        labels.push_back(label);
    }
    fTextBox->setText(labels.join(QLatin1Char(' ')));
    updateCount();
}

void KeyInputPanel::updateCount() {
    if (!fCountLabel) {
        return;
    }
    const auto count = fKeyCodes ? fKeyCodes->size() : 0;
    //: %1: entries recorded, %2: the most a macro holds.
    fCountLabel->setText(qtTrId("MACRO_COUNT").arg(count).arg(kMaxMacroEntries));
}

void KeyInputPanel::notifyEnd() {
    if (!fKeyCodes) {
        return; // not open
    }
    if (fCancelled) {
        fKeyCodes.reset();
        return;
    }
    // The type goes with the keys: a button that did something else keeps
    // doing it until the panel is confirmed.
    const std::string text = fKeyCodes->join(QLatin1Char(',')).toStdString();
    fKeyCodes.reset();
    editedMapping()->setKeyList(
        fIsMacro ? ButtonMapping::kKeyMacro : ButtonMapping::kKeyCombination, text);
}

bool KeyInputPanel::performKeyEquivalent(const KeyEvent& event) {
    if (!(event.modifierFlags & kCommandKeyMask)) {
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
            appendEntry(modifier, kKeyPress);
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
    // Also a stored macro that is longer already.
    return fIsMacro && fKeyCodes && fKeyCodes->size() >= kMaxMacroEntries;
}

void KeyInputPanel::appendLabel(const QString& label) {
    fTextBox->setText(fTextBox->text() + QLatin1Char(' ') + label);
}

void KeyInputPanel::appendEntry(std::uint16_t keyCode, int direction) {
    QString label = getKeyString(keyCode);
    if (fIsMacro) {
        label.prepend(direction == kKeyRelease ? kUpArrow : kDownArrow);
    }
    appendLabel(label);
    fKeyCodes->push_back(QString::number(keyCode | direction));
    updateCount();
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
    appendEntry(keyCode, kKeyPress);
}

void KeyInputPanel::handleKeyUp(std::uint16_t keyCode) {
    if (!fKeyCodes || !fIsMacro || isFull()) {
        return;
    }
    appendEntry(keyCode, kKeyRelease);
}

void KeyInputPanel::flagsChanged(const KeyEvent& event) {
    if (!fKeyCodes || event.keyCode == kFunction) {
        return;
    }
    const std::uint32_t mask = modifierMask(event.keyCode);
    // Caps Lock and keys without a flag count every change as a press.
    const bool press = mask == 0 || (event.modifierFlags & mask) != 0;
    if (!fIsMacro) {
        // Modifiers pressed after a key join its combination.
        if (press) {
            appendEntry(event.keyCode, kKeyPress);
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
    appendEntry(event.keyCode, press ? kKeyPress : kKeyRelease);
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
    fTextBox->setText(QString());
    if (fKeyCodes) {
        fKeyCodes->clear();
    }
    updateCount();
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
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // Taken, so that the key comes as a key press instead of a shortcut.
        event->accept();
        return true;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        keyEvent(static_cast<QKeyEvent*>(event));
        return true;
    case QEvent::Show:
        setFocus(Qt::OtherFocusReason);
        return QDialog::event(event);
    default:
        return QDialog::event(event);
    }
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

    if (event.keyCode == kEscape) {
        // The way out by keyboard; the special-key menu still records Escape.
        if (press && !event.isRepeat) {
            cancel();
        }
        return;
    }

    if (isModifierKey(event.keyCode)) {
        // Modifier keys report a change of state: one per press for Caps
        // Lock, one per press and release for the others.
        if (event.isRepeat || (event.keyCode == kCapsLock && !press)) {
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
