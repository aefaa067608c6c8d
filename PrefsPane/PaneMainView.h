// The pane's main view as built from its interface files: the "Sensitivity"
// and "Buttons" pages, the links to the maker's site, update page and help,
// and the advanced-settings dialog, every control bound to the pane's model.
#pragma once

#include "PrefsPane/Sensitivity/SensitivityPage.h"
#include "PrefsPane/Widgets/PaneAccessibility.h"

#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <memory>

class MouseStatusLine;
class QComboBox;
class QPushButton;
class QTabWidget;
class QToolButton;
class SensitivityController;
class SettingsBinder;
class TovikCopperhoundPref;

namespace Ui {
class MainView;
} // namespace Ui

class PaneMainView : public QWidget {
    Q_OBJECT

public:
    explicit PaneMainView(TovikCopperhoundPref* pane, QWidget* parent = nullptr);
    ~PaneMainView() override;

    QTabWidget* pageTabs() const;
    SensitivityPage* sensitivityPage() const { return sensitivityPage_; }
    QWidget* buttonsPageContainer() const;
    QDialog* advancedPanel() const { return sensitivityPage_->advancedPanel(); }
    SensitivityController* sensitivityController() const { return sensitivityPage_->controller(); }
    SettingsBinder* binder() const { return binder_; }
    MouseStatusLine* statusLine() const { return statusLine_; }

    // The "Settings for:" pop-up: all applications, then each set.
    QComboBox* applicationSetPopUp() const { return setPopUp_; }
    // A setting's mark and reset button (the property's name), shown while
    // the selected set has its own value.
    QToolButton* resetButton(const QString& property) const;

    // Asks the applications of a set (and its name when `name` is not
    // null); false when cancelled.
    bool askApplications(QString* name, QStringList* applications);

public slots:
    // Asks, then puts back the settings the mouse started with.
    void confirmRestoreDefaults();
    // The applications bar's actions.
    void addApplicationSet();
    void renameApplicationSet();
    void editApplications();
    void confirmRemoveApplicationSet();

private:
    void buildApplicationsBar();
    // The marks of the settings a set may change, and the others disabled
    // while a set is selected.
    void markOverrides();
    void showApplicationSets();

    TovikCopperhoundPref* pane_;
    zed::AccessibleNames accessibleNames_;
    std::unique_ptr<Ui::MainView> ui_;
    // Children of this view.
    SensitivityPage* sensitivityPage_ = nullptr;
    SettingsBinder* binder_ = nullptr;
    MouseStatusLine* statusLine_ = nullptr;
    QComboBox* setPopUp_ = nullptr;
    QPushButton* renameButton_ = nullptr;
    QPushButton* applicationsButton_ = nullptr;
    QPushButton* removeButton_ = nullptr;
    std::vector<std::pair<QString, QToolButton*>> resetButtons_;
    bool toldUntracked_ = false; // that the desktop cannot tell the window in front
};

// The pane's model with this view as its main view: what the plug-in hands
// the settings application.
std::unique_ptr<TovikCopperhoundPref> makeTovikCopperhoundPane();
