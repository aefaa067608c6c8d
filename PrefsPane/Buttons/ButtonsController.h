// The buttons page: keeps the hand and mouse pictures in step with the
// stored orientation, and runs the dialogs in which the user edits the
// current button's mapping: the assign-key panel (a key combination), the
// macro panel (a key macro) and the advanced panel, whose controls open the
// two key panels again for the button's advanced mapping.
#pragma once

#include "PrefsPane/Model/PaneNotificationCenter.h"
#include "PrefsPane/Model/TovikCopperhoundPref.h"
#include "PrefsPane/Widgets/PaneAccessibility.h"

#include <QDialog>
#include <QLabel>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <array>
#include <map>
#include <memory>
#include <set>
#include <vector>

class QComboBox;
class QEventLoop;
class QSvgRenderer;
class KeyInputPanel;
class SummaryLabel;

class ButtonsController : public QObject {
    Q_OBJECT

public:
    // The seven map-type pop-ups, tagged 0-6.
    static constexpr int kButtonCount = 7;
    // The view in each dialog that shows the mouse.
    static constexpr int kMouseImageTag = 99;
    // The view in each dialog that names the button being edited.
    static constexpr int kButtonNameTag = 98;
    // The view of the advanced panel that shows the keys it holds.
    static constexpr int kAdvancedKeysTag = 96;

    explicit ButtonsController(QObject* parent = nullptr);
    ~ButtonsController() override;

    // Outlets, as the interface file connects them.
    void setAssignKeyPanel(KeyInputPanel* panel) { fAssignKeyPanel = panel; }
    void setMacroPanel(KeyInputPanel* panel) { fMacroPanel = panel; }
    void setAdvancedPanel(QDialog* panel) { fAdvancedPanel = panel; }
    void setHandsPanel(QLabel* view) { fHandsPanel = view; }
    void setMousePanel(QLabel* view) { fMousePanel = view; }
    KeyInputPanel* assignKeyPanel() const { return fAssignKeyPanel; }
    KeyInputPanel* macroPanel() const { return fMacroPanel; }
    QDialog* advancedPanel() const { return fAdvancedPanel; }
    QLabel* handsPanel() const { return fHandsPanel; }
    QLabel* mousePanel() const { return fMousePanel; }

    // The pop-ups whose items are the map types; they are kept showing the
    // types of the pane's mappings, and change a mapping only by a choice in
    // their open list: the wheel and the keys that would step through a
    // closed pop-up are left to the page.
    void setMapTypePopUps(TovikCopperhoundPref* pane, std::vector<QComboBox*> popUps);
    // The views that say in words what each button does, by button; kept up
    // to date with the pop-ups.
    void setSummaryLabels(std::vector<SummaryLabel*> labels);

    // Once, after the interface was loaded: observes the settings saves and
    // loads the pictures.
    void awakeFromNib();

    int orientation() const { return fOrientation; }
    const QPixmap& rightHandImage() const { return fRightHandImage; }
    const QPixmap& leftHandImage() const { return fLeftHandImage; }
    const QPixmap& rightMouseImage() const { return fRightMouseImage; }
    const QPixmap& leftMouseImage() const { return fLeftMouseImage; }
    // The mouse of the current orientation with one button (0-6) lit.
    QPixmap mouseImageWithButton(int button) const;

    // The button (0-6) lit in the page's mouse picture while its menu or one
    // of its dialogs is open, or -1.
    int highlightedButton() const { return fHighlighted; }
    void setHighlightedButton(int button);

    // The dialog of the innermost modal run, or null.
    QDialog* modalPanel() const;
    // Whether that run is a sheet on the main window.
    bool modalPanelIsSheet() const;

    void assignKey(bool isAdvanced);
    void macroConfig(bool isAdvanced);
    // Ends the modal run of that panel: stops its loop and stores the code.
    void dialogDidEnd(QWidget* sheet, int returnCode, int* contextInfo);
    void doUpdatePrefs(const zed::PaneNotification& notification);

public slots:
    // The pane sends these with itself as sender when a map type is chosen.
    void doAssignKey(QObject* sender = nullptr);
    void doMacroConfig(QObject* sender = nullptr);
    void doAdvancedConfig(QObject* sender = nullptr);
    // From the advanced panel's controls.
    void doAdvancedAssignKey(QObject* sender = nullptr);
    void doAdvancedMacroConfig(QObject* sender = nullptr);
    // The advanced panel's Cancel: the button keeps its mapping.
    void cancelAdvancedConfig(QObject* sender = nullptr);
    // The dialogs' confirming controls.
    void applyAssignKey(QObject* sender = nullptr);
    void applyMacroConfig(QObject* sender = nullptr);
    void applyAdvancedConfig(QObject* sender = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void syncMapTypePopUps();

private:
    struct ModalRun {
        QPointer<QDialog> panel;
        QEventLoop* loop;
        int* contextInfo;
        bool sheet;
    };

    void runKeyPanel(KeyInputPanel* panel, bool isAdvanced);
    // Shows the panel and blocks in a nested loop until its run is ended.
    void runModal(QDialog* panel, bool asSheet);
    void endSheet(QDialog* panel, int returnCode);
    void showMouseImage(QDialog* panel);
    // The advanced panel's view of the keys of the mapping it edits.
    void showAdvancedKeys();
    const QPixmap& mouseImage() const;
    // The index of the pane's current mapping, or -1.
    int currentButton() const;
    // Runs a dialog of the current button with that button lit and named.
    template <typename Run> void withCurrentButton(QDialog* panel, Run run);
    void describePictures();

    QPointer<KeyInputPanel> fAssignKeyPanel;
    QPointer<KeyInputPanel> fMacroPanel;
    QPointer<QDialog> fAdvancedPanel;
    QPointer<QLabel> fHandsPanel;
    QPointer<QLabel> fMousePanel;
    QPixmap fRightHandImage;
    QPixmap fLeftHandImage;
    QPixmap fRightMouseImage;
    QPixmap fLeftMouseImage;
    std::unique_ptr<QSvgRenderer> fRightMouseArt;
    std::unique_ptr<QSvgRenderer> fLeftMouseArt;
    int fOrientation = 0;
    int fHighlighted = -1;
    std::vector<QPointer<SummaryLabel>> fSummaries;
    // The pop-ups' open lists (windows of their own), by button.
    std::map<const QObject*, int> fPopUpLists;

    zed::AccessibleNames fAccessibleNames;
    zed::PaneNotificationCenter::Registration fPrefsObserver;
    zed::PaneNotificationCenter::Registration fPopUpObserver;
    QPointer<TovikCopperhoundPref> fPane;
    std::vector<QPointer<QComboBox>> fMapTypePopUps;
    // The same pop-ups, compared by address only: a pop-up being destroyed
    // still passes through the filter.
    std::set<const QObject*> fFilteredPopUps;
    // The copy of the current mapping that the open advanced panel edits;
    // stored only when the panel is confirmed.
    std::unique_ptr<ButtonMapping> fAdvancedDraft;
    // Nested modal runs, innermost last.
    std::vector<ModalRun> fModalRuns;
};
