// The pane's main view as built from its interface files: the "Sensitivity"
// and "Buttons" pages, the links to the maker's site, update page and help,
// and the advanced-settings dialog, every control bound to the pane's model.
#pragma once

#include "PaneAccessibility.h"

#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <memory>

class CustomMovieView;
class MouseStatusLine;
class QTabWidget;
class SensitivityController;
class SettingsBinder;
class TovikCopperhoundPref;

namespace Ui {
class MainView;
class SensitivityPage;
class AdvancedSettings;
} // namespace Ui

class PaneMainView : public QWidget {
    Q_OBJECT

public:
    explicit PaneMainView(TovikCopperhoundPref* pane, QWidget* parent = nullptr);
    ~PaneMainView() override;

    QTabWidget* pageTabs() const;
    QWidget* sensitivityPage() const { return sensitivityPage_; }
    QWidget* buttonsPageContainer() const;
    QDialog* advancedPanel() const { return advancedPanel_; }
    SensitivityController* sensitivityController() const { return sensitivityController_; }
    SettingsBinder* binder() const { return binder_; }
    MouseStatusLine* statusLine() const { return statusLine_; }

public slots:
    // Asks, then puts back the settings the mouse started with.
    void confirmRestoreDefaults();

private:
    // Of the sensitivity controls, only those of the chosen kind (one value,
    // or separate X and Y) can be changed.
    void updateSensitivityKind();
    // The double-click test counts clicks at the speed the user has set.
    void updateDoubleClickInterval();
    // Says who accelerates the pointer: the desktop or the mouse's driver.
    void updateAccelerationNote();

    TovikCopperhoundPref* pane_;
    zed::AccessibleNames accessibleNames_;
    std::unique_ptr<Ui::MainView> ui_;
    std::unique_ptr<Ui::SensitivityPage> pageUi_;
    std::unique_ptr<Ui::AdvancedSettings> advancedUi_;
    // Children of this view.
    QWidget* sensitivityPage_ = nullptr;
    QPointer<QDialog> advancedPanel_;
    SensitivityController* sensitivityController_ = nullptr;
    SettingsBinder* binder_ = nullptr;
    MouseStatusLine* statusLine_ = nullptr;
};
