// The key capture panel: records the keys that a mouse button is to type,
// either as a key combination (the assign-key panel: a key, then the
// modifiers held with it) or as a key macro (the macro panel, presses and
// releases in order), spells them as the buttons page does, and hands the
// recording to the button's mapping as a key list ("512,256") when it is
// confirmed. Keys are recorded only while its Record button is on, so that
// every key (Tab, Return and Escape too) can be recorded, and otherwise the
// panel is an ordinary dialog: Tab moves, Return confirms, Escape cancels.
#pragma once

#include "Platform/core/ButtonMappings.h"
#include "PrefsPane/Model/TovikCopperhoundPref.h"

#include <QAbstractButton>
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <vector>

class QComboBox;
class QKeyEvent;

class KeyInputPanel : public QDialog {
    Q_OBJECT

public:
    static constexpr int kAssignKeyTextTag = 998;
    static constexpr int kMacroTextTag = 999;
    // The view that counts a macro's entries ("3 of 16").
    static constexpr int kCountTag = 97;
    // A macro's recording stops after this long with every key up; a
    // combination's stops as soon as its keys are let go.
    static constexpr int kMacroPauseMs = 3000;

    // The special keys of the pop-up, by item: F1-F13, Tab, Escape, Shift,
    // Control, Option, Command.
    // clang-format off
    static constexpr std::array<std::uint16_t, 19> kKeyMenuItems{
        122, 120, 99, 118, 96, 97, 98, 100, 101, 109, 103, 111, 105, 48, 53,
        zed::buttons::kShiftKey, zed::buttons::kControlKey, zed::buttons::kOptionKey,
        zed::buttons::kCommandKey};
    // clang-format on

    // What the panel reads of a key event.
    struct KeyEvent {
        std::uint16_t keyCode = 0;       // virtual key code
        std::uint32_t modifierFlags = 0; // zed::buttons::kShiftMask ...
        bool isRepeat = false;
    };

    explicit KeyInputPanel(QWidget* parent = nullptr);
    ~KeyInputPanel() override;

    // The pane object, asked for the mapping being edited.
    void setDelegate(TovikCopperhoundPref* delegate) { fDelegate = delegate; }
    TovikCopperhoundPref* delegate() const { return fDelegate; }
    // In advanced mode the panel edits the advanced mapping of this record
    // (the advanced panel's copy being edited) instead of that of the pane's
    // current mapping; null for the latter.
    void setAdvancedOwner(ButtonMapping* owner) { fAdvancedOwner = owner; }
    // The Record toggle and the view that shows that keys are being recorded.
    void setRecordControls(QAbstractButton* recordButton, QLabel* status);
    QAbstractButton* recordButton() const { return fRecordButton; }
    QLabel* statusLabel() const { return fStatusLabel; }
    // The pause that ends a macro's recording; for tests.
    void setMacroPause(int milliseconds) { fPauseTimer.setInterval(milliseconds); }
    // The special-key pop-up.
    void setKeyMenu(QComboBox* keyMenu) { fKeyMenu = keyMenu; }
    QComboBox* keyMenu() const { return fKeyMenu; }

    // Once, after the interface file was loaded: finds the text box (tag 998
    // for the assign-key panel, else 999 for the macro panel) and names the
    // special keys as the recording names them.
    void awakeFromNib();
    // Loads the keys of the current mapping, or of its advanced mapping.
    void notifyBegin(bool isAdvanced);
    // Stores the recording into that mapping, which saves and notifies;
    // after a cancel only drops it.
    void notifyEnd();

    // Handled when Command is held: the key is recorded as pressed and
    // released at once, and no shortcut sees it.
    bool performKeyEquivalent(const KeyEvent& event);
    // In the assign-key panel the key is followed by the modifiers that the
    // event's flags hold down.
    void keyDown(const KeyEvent& event);
    void keyUp(const KeyEvent& event);
    void flagsChanged(const KeyEvent& event);
    void handleKeyDown(std::uint16_t keyCode);
    void handleKeyUp(std::uint16_t keyCode);
    // A fixed label, else the character of the user's keyboard layout.
    QString getKeyString(std::uint16_t keyCode) const;

    bool isMacro() const { return fIsMacro; }
    bool isAdvanced() const { return fIsAdvanced; }
    QLabel* textBox() const { return fTextBox; }
    // The macro panel's count of entries, or null.
    QLabel* countLabel() const { return fCountLabel; }
    // The recording as the buttons page spells it ("Ctrl+Shift+K",
    // "↓Ctrl ↓C ↑C ↑Ctrl"); screen readers get it as the description of
    // the text box.
    QString spelledKeys() const;
    bool isRecording() const { return fRecording; }
    // The recording; empty while the panel is closed.
    const std::optional<QStringList>& keyCodes() const { return fKeyCodes; }

    // How the panel refuses a key (the system beep unless replaced).
    void setBeep(std::function<void()> beep) { fBeep = std::move(beep); }

public slots:
    // Starts or stops taking keys; an open panel only.
    void setRecording(bool recording);
    void clearKeyCodes(QObject* sender = nullptr);
    // Drops the last entry of the recording.
    void removeLastKeyCode(QObject* sender = nullptr);
    void hitKeyDown(QObject* sender = nullptr);
    void hitKeyUp(QObject* sender = nullptr);
    // Leaves the panel without keeping what was typed: the mapping keeps its
    // keys and type. The Cancel button does this.
    void cancel(QObject* sender = nullptr);
    // Escape and the window's close button cancel too.
    void reject() override;

protected:
    // While recording every key reaches the recording, whichever control
    // has the focus: no shortcut, default button or focus change takes it
    // first.
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool takeKey(QEvent* event);
    void keyEvent(QKeyEvent* event);
    bool allKeysUp() const;
    ButtonMapping* editedMapping() const;
    bool isFull() const;
    // The text box, its description and the count, from the recording.
    void showKeyCodes();
    void updateCount();
    // One item, `direction` being zed::buttons::kKeyPress or kKeyRelease.
    void appendEntry(std::uint16_t keyCode, std::int32_t direction);
    // The modifier keys that the flags hold down: those seen going down, in
    // that order, and the left-hand key for a flag none of them explains.
    std::vector<std::uint16_t> heldModifiers(std::uint32_t modifierFlags) const;

    QLabel* fTextBox = nullptr;
    QLabel* fCountLabel = nullptr;
    QPointer<QAbstractButton> fRecordButton;
    QPointer<QLabel> fStatusLabel;
    bool fRecording = false;
    // A combination's recording replaces the old one with its first key.
    bool fNewCombination = false;
    QTimer fPauseTimer;
    std::optional<QStringList> fKeyCodes;
    QPointer<QComboBox> fKeyMenu;
    bool fIsMacro = false;
    bool fIsAdvanced = false;

    QPointer<TovikCopperhoundPref> fDelegate;
    QPointer<ButtonMapping> fAdvancedOwner;
    std::function<void()> fBeep;
    bool fCancelled = false;
    // Modifier keys held, by virtual key code, in the order they went down:
    // tells a release of one Shift while the other is still held, and which
    // modifiers a key combination holds.
    std::vector<std::uint16_t> fHeldModifiers;
    // Other keys seen going down since the panel opened: a release of any
    // other key (the Return that opened the panel) is not the user's typing.
    std::set<std::uint16_t> fKeysDown;
    // Keys taken as key equivalents: their release was recorded with the press.
    std::set<std::uint16_t> fKeyEquivalentsDown;
};
