// The "Sensitivity" page and its advanced-settings sheet, built from their
// interface files: the controls are bound by the main view's binder; the
// page keeps what the settings decide besides their values (which kind of
// sensitivity can be changed, the double-click test's interval, who
// accelerates the pointer).
#pragma once

#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <memory>

class SensitivityController;
class TovikCopperhoundPref;

namespace Ui {
class SensitivityPage;
class AdvancedSettings;
} // namespace Ui

class SensitivityPage : public QWidget {
    Q_OBJECT

public:
    // The sheet is a child of `sheetParent` (the main view), shown modal to its window.
    SensitivityPage(TovikCopperhoundPref* pane, QWidget* sheetParent, QWidget* parent = nullptr);
    ~SensitivityPage() override;

    QDialog* advancedPanel() const { return advancedPanel_; }
    SensitivityController* controller() const { return controller_; }

private:
    // Of the sensitivity controls, only those of the chosen kind (one value,
    // or separate X and Y) can be changed.
    void updateSensitivityKind();
    // The double-click test counts clicks at the speed the user has set.
    void updateDoubleClickInterval();
    // Says who accelerates the pointer: the desktop or the mouse's driver.
    void updateAccelerationNote();

    TovikCopperhoundPref* pane_;
    std::unique_ptr<Ui::SensitivityPage> ui_;
    std::unique_ptr<Ui::AdvancedSettings> advancedUi_;
    QPointer<QDialog> advancedPanel_;
    SensitivityController* controller_ = nullptr;
};
