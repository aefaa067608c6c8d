#include "PaneMainView.h"

#include "MouseStatusLine.h"
#include "PrefsPane/Buttons/ButtonsPage.h"
#include "PrefsPane/Model/TovikCopperhoundPref.h"
#include "PrefsPane/Sensitivity/CustomMovieView.h"
#include "PrefsPane/Sensitivity/SensitivityController.h"
#include "PrefsPane/Widgets/PaneAccessibility.h"
#include "PrefsPane/Widgets/SettingsBinder.h"
#include "ui_MainView.h"

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

} // namespace

PaneMainView::PaneMainView(TovikCopperhoundPref* pane, QWidget* parent)
    : QWidget(parent), pane_(pane), ui_(std::make_unique<Ui::MainView>()) {
    ui_->setupUi(this);
    // Above the pages: whether the settings reach a mouse at all.
    statusLine_ = new MouseStatusLine(this);
    ui_->mainLayout->insertWidget(0, statusLine_);

    sensitivityPage_ = new SensitivityPage(pane_, this, ui_->sensitivityTab);
    ui_->sensitivityTabLayout->addWidget(sensitivityPage_);

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
    QList<QWidget*> order{ui_->pageTabs->tabBar()};
    order += zed::tabStops(ui_->sensitivityTab);
    order += zed::tabStops(ui_->buttonsTab);
    order += {ui_->siteButton, ui_->updateButton, ui_->restoreDefaultsButton, ui_->helpButton};
    zed::setTabOrderChain(order);

    // After the buttons page, so that its controls may bind settings too.
    binder_ = new SettingsBinder(pane_, this);
    binder_->bind(this);
}

PaneMainView::~PaneMainView() = default;

QTabWidget* PaneMainView::pageTabs() const {
    return ui_->pageTabs;
}

QWidget* PaneMainView::buttonsPageContainer() const {
    return ui_->buttonsPageContainer;
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

std::unique_ptr<TovikCopperhoundPref> makeTovikCopperhoundPane() {
    auto pane = std::make_unique<TovikCopperhoundPref>();
    pane->setViewFactory([](TovikCopperhoundPref* model) {
        return zed::QObjectOwner<QWidget>(zed::QObjectOwner<PaneMainView>::make(model));
    });
    return pane;
}
