#include "PaneMainView.h"

#include "ButtonsPageHook.h"
#include "CustomMovieView.h"
#include "SensitivityController.h"
#include "SettingsBinder.h"
#include "TovikCopperhoundPref.h"
#include "ui_AdvancedSettings.h"
#include "ui_MainView.h"
#include "ui_SensitivityPage.h"

#include <QDialog>

PaneMainView::PaneMainView(TovikCopperhoundPref* pane, QWidget* parent)
    : QWidget(parent), pane_(pane), ui_(std::make_unique<Ui::MainView>()),
      pageUi_(std::make_unique<Ui::SensitivityPage>()),
      advancedUi_(std::make_unique<Ui::AdvancedSettings>()) {
    ui_->setupUi(this);

    sensitivityPage_ = new QWidget(ui_->sensitivityTab);
    pageUi_->setupUi(sensitivityPage_);
    ui_->sensitivityTabLayout->addWidget(sensitivityPage_);

    // A sheet of the pane's window: its child, shown modal to that window only.
    advancedPanel_ = new QDialog(this);
    advancedUi_->setupUi(advancedPanel_);
    advancedPanel_->setWindowFlags(Qt::Sheet | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    sensitivityController_ = new SensitivityController(advancedPanel_, pageUi_->dblClickView, this);
    connect(pageUi_->advancedButton, &QPushButton::clicked, sensitivityController_,
            [this] { sensitivityController_->doAdvancedSettings(pageUi_->advancedButton); });
    connect(advancedUi_->applyButton, &QPushButton::clicked, sensitivityController_,
            [this] { sensitivityController_->applyAdvancedSettings(advancedUi_->applyButton); });

    connect(ui_->siteButton, &QPushButton::clicked, pane_,
            [this] { pane_->doTovikSite(ui_->siteButton); });
    connect(ui_->updateButton, &QPushButton::clicked, pane_,
            [this] { pane_->doTovikUpdate(ui_->updateButton); });
    connect(ui_->helpButton, &QPushButton::clicked, pane_,
            [this] { pane_->doTovikHelp(ui_->helpButton); });

    AttachButtonsPage(ui_->buttonsPageContainer, pane_);

    // After the buttons page, so that its controls may bind settings too.
    binder_ = new SettingsBinder(pane_, this);
    binder_->bind(this);
    connect(pane_, &TovikCopperhoundPref::settingsChanged, this,
            &PaneMainView::updateSensitivityKind);
    updateSensitivityKind();
    connect(pane_, &TovikCopperhoundPref::settingsChanged, this,
            &PaneMainView::updateDoubleClickInterval);
    updateDoubleClickInterval();

    sensitivityController_->awakeFromNib();
}

PaneMainView::~PaneMainView() = default;

QTabWidget* PaneMainView::pageTabs() const {
    return ui_->pageTabs;
}

QWidget* PaneMainView::buttonsPageContainer() const {
    return ui_->buttonsPageContainer;
}

void PaneMainView::updateDoubleClickInterval() {
    pageUi_->dblClickView->setDoubleClickInterval(pane_->doubleClickInterval());
}

void PaneMainView::updateSensitivityKind() {
    // "MasterSensitivityOn" 0 means separate X and Y values.
    const bool separate = pane_->masterSensitivityOn() == 0;
    const Ui::SensitivityPage& page = *pageUi_;
    const std::initializer_list<QWidget*> overall = {page.sensitivityLabel, page.sensitivitySlider,
                                                     page.sensitivitySpin};
    const std::initializer_list<QWidget*> perAxis = {
        page.sensitivityXLabel, page.sensitivityXSlider, page.sensitivityXSpin,
        page.sensitivityYLabel, page.sensitivityYSlider, page.sensitivityYSpin};
    for (QWidget* w : overall) {
        w->setEnabled(!separate);
    }
    for (QWidget* w : perAxis) {
        w->setEnabled(separate);
    }
}
