#include "SensitivityPage.h"

#include "CustomMovieView.h"
#include "PrefsPane/Model/TovikCopperhoundPref.h"
#include "PrefsPane/Widgets/PaneAccessibility.h"
#include "SensitivityController.h"
#include "ui_AdvancedSettings.h"
#include "ui_SensitivityPage.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Lines up the label columns of the page's groups, so that their sliders
// start and end at the same place.
void alignLabelColumns(QWidget* page) {
    const QList<QGridLayout*> grids = page->findChildren<QGridLayout*>();
    int widest = 0;
    for (QGridLayout* grid : grids) {
        for (int row = 0; row < grid->rowCount(); ++row) {
            QLayoutItem* item = grid->itemAtPosition(row, 0);
            if (auto* label = item ? qobject_cast<QLabel*>(item->widget()) : nullptr;
                label && grid->itemAtPosition(row, 1) != item) {
                widest = std::max(widest, label->sizeHint().width());
            }
        }
    }
    for (QGridLayout* grid : grids) {
        grid->setColumnMinimumWidth(0, widest);
    }
}

} // namespace

SensitivityPage::SensitivityPage(TovikCopperhoundPref* pane, QWidget* sheetParent, QWidget* parent)
    : QWidget(parent), pane_(pane), ui_(std::make_unique<Ui::SensitivityPage>()),
      advancedUi_(std::make_unique<Ui::AdvancedSettings>()) {
    ui_->setupUi(this);
    alignLabelColumns(this);

    // A sheet of the pane's window: its child, shown modal to that window only.
    advancedPanel_ = new QDialog(sheetParent);
    advancedUi_->setupUi(advancedPanel_);
    advancedPanel_->setWindowFlags(Qt::Sheet | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    controller_ = new SensitivityController(advancedPanel_, ui_->dblClickView, this);
    connect(ui_->advancedButton, &QPushButton::clicked, controller_,
            [this] { controller_->doAdvancedSettings(ui_->advancedButton); });
    connect(advancedUi_->applyButton, &QPushButton::clicked, controller_,
            [this] { controller_->applyAdvancedSettings(advancedUi_->applyButton); });

    // Screen readers hear each control by the label of its row.
    zed::nameControlsByTheirLabels(this);
    zed::nameControlsByTheirLabels(advancedPanel_);
    zed::setTabOrderChain(zed::tabStops(advancedPanel_));

    connect(pane_, &TovikCopperhoundPref::settingsChanged, this,
            &SensitivityPage::updateSensitivityKind);
    updateSensitivityKind();
    connect(pane_, &TovikCopperhoundPref::settingsChanged, this,
            &SensitivityPage::updateDoubleClickInterval);
    updateDoubleClickInterval();
    connect(pane_, &TovikCopperhoundPref::settingsChanged, this,
            &SensitivityPage::updateAccelerationNote);
    updateAccelerationNote();

    controller_->awakeFromNib();
}

SensitivityPage::~SensitivityPage() = default;

void SensitivityPage::updateDoubleClickInterval() {
    ui_->dblClickView->setDoubleClickInterval(pane_->doubleClickInterval());
}

void SensitivityPage::updateAccelerationNote() {
    // "MasterAccelOn" 1: the mouse's driver accelerates, the desktop's own
    // acceleration is off; otherwise the desktop accelerates by the amount.
    ui_->accelerationNote->setText(pane_->masterAccelOn() == 1 ? qtTrId("SENS_ACCEL_BY_MOUSE")
                                                               : qtTrId("SENS_ACCEL_BY_DESKTOP"));
}

void SensitivityPage::updateSensitivityKind() {
    // "MasterSensitivityOn" 0 means separate X and Y values.
    const bool separate = pane_->masterSensitivityOn() == 0;
    const Ui::SensitivityPage& page = *ui_;
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
