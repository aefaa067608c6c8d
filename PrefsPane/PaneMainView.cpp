#include "PaneMainView.h"

#include "ButtonsPageHook.h"
#include "CustomMovieView.h"
#include "MouseStatusLine.h"
#include "PaneAccessibility.h"
#include "SensitivityController.h"
#include "SettingsBinder.h"
#include "TovikCopperhoundPref.h"
#include "ui_AdvancedSettings.h"
#include "ui_MainView.h"
#include "ui_SensitivityPage.h"

#include <QDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>

namespace {

// A page that scrolls when the window is smaller than it, and otherwise asks
// for room to show it whole.
class PageScrollArea : public QScrollArea {
public:
    explicit PageScrollArea(QWidget* parent = nullptr) : QScrollArea(parent) {
        setWidgetResizable(true);
        setFrameShape(QFrame::NoFrame);
        setFocusPolicy(Qt::NoFocus);
    }

    QSize sizeHint() const override {
        QSize size = widget() ? widget()->sizeHint() : QScrollArea::sizeHint();
        // Wrapped texts may need more lines at that width than the hint says.
        if (widget() && widget()->hasHeightForWidth()) {
            size.setHeight(std::max(size.height(), widget()->heightForWidth(size.width())));
        }
        // The window that shows the pane keeps itself within the screen.
        return size + QSize(2 * frameWidth(), 2 * frameWidth());
    }

    QSize minimumSizeHint() const override {
        // Scrolls down to a few lines of the page, never wider than a narrow
        // window.
        const int line = fontMetrics().height();
        return {std::min(widget() ? widget()->minimumSizeHint().width() : 0, 24 * line) +
                    verticalScrollBar()->sizeHint().width(),
                6 * line};
    }
};

// Wraps each page of the tabs in a scroll area of its own.
void makePagesScroll(QTabWidget* tabs) {
    for (int i = 0; i < tabs->count(); ++i) {
        QWidget* page = tabs->widget(i);
        const QString title = tabs->tabText(i);
        tabs->removeTab(i);
        auto* scroll = new PageScrollArea;
        scroll->setObjectName(page->objectName() + QStringLiteral("Scroll"));
        scroll->setWidget(page);
        tabs->insertTab(i, scroll, title);
    }
    tabs->setCurrentIndex(0);
}

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

PaneMainView::PaneMainView(TovikCopperhoundPref* pane, QWidget* parent)
    : QWidget(parent), pane_(pane), ui_(std::make_unique<Ui::MainView>()),
      pageUi_(std::make_unique<Ui::SensitivityPage>()),
      advancedUi_(std::make_unique<Ui::AdvancedSettings>()) {
    ui_->setupUi(this);
    // Above the pages: whether the settings reach a mouse at all.
    statusLine_ = new MouseStatusLine(this);
    ui_->mainLayout->insertWidget(0, statusLine_);

    sensitivityPage_ = new QWidget(ui_->sensitivityTab);
    pageUi_->setupUi(sensitivityPage_);
    ui_->sensitivityTabLayout->addWidget(sensitivityPage_);
    alignLabelColumns(sensitivityPage_);

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
    connect(ui_->restoreDefaultsButton, &QPushButton::clicked, this,
            &PaneMainView::confirmRestoreDefaults);

    AttachButtonsPage(ui_->buttonsPageContainer, pane_);
    makePagesScroll(ui_->pageTabs);

    // Screen readers hear each control by the label of its row; the Tab key
    // goes from the tabs through the pages in reading order to the links.
    zed::nameControlsByTheirLabels(sensitivityPage_);
    zed::nameControlsByTheirLabels(advancedPanel_);
    QList<QWidget*> order{ui_->pageTabs->tabBar()};
    order += zed::tabStops(ui_->sensitivityTab);
    order += zed::tabStops(ui_->buttonsTab);
    order += {ui_->siteButton, ui_->updateButton, ui_->restoreDefaultsButton, ui_->helpButton};
    zed::setTabOrderChain(order);
    zed::setTabOrderChain(zed::tabStops(advancedPanel_));

    // After the buttons page, so that its controls may bind settings too.
    binder_ = new SettingsBinder(pane_, this);
    binder_->bind(this);
    connect(pane_, &TovikCopperhoundPref::settingsChanged, this,
            &PaneMainView::updateSensitivityKind);
    updateSensitivityKind();
    connect(pane_, &TovikCopperhoundPref::settingsChanged, this,
            &PaneMainView::updateDoubleClickInterval);
    updateDoubleClickInterval();
    connect(pane_, &TovikCopperhoundPref::settingsChanged, this,
            &PaneMainView::updateAccelerationNote);
    updateAccelerationNote();

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

void PaneMainView::confirmRestoreDefaults() {
    // Asked first: every setting and every button's mapping would go.
    QMessageBox box(QMessageBox::Question, qtTrId("PANE_RESTORE_TITLE"), QString(),
                    QMessageBox::NoButton, this);
    box.setTextFormat(Qt::RichText);
    box.setText(QStringLiteral("<b>%1</b>").arg(qtTrId("PANE_RESTORE_TITLE").toHtmlEscaped()));
    box.setInformativeText(qtTrId("PANE_RESTORE_MESSAGE").toHtmlEscaped());
    QPushButton* restore = box.addButton(qtTrId("PANE_RESTORE_CONFIRM"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(qtTrId("PANE_RESTORE_CANCEL"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.setWindowModality(Qt::WindowModal);
    box.exec();
    if (box.clickedButton() == restore) {
        pane_->restoreDefaults();
    }
}

void PaneMainView::updateAccelerationNote() {
    // "MasterAccelOn" 1: the mouse's driver accelerates, the desktop's own
    // acceleration is off; otherwise the desktop accelerates by the amount.
    pageUi_->accelerationNote->setText(pane_->masterAccelOn() == 1
                                           ? qtTrId("SENS_ACCEL_BY_MOUSE")
                                           : qtTrId("SENS_ACCEL_BY_DESKTOP"));
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
