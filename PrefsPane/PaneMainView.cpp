#include "PaneMainView.h"

#include "MouseStatusLine.h"
#include "Platform/dbus/Platform.h"
#include "PrefsPane/Buttons/ButtonsPage.h"
#include "PrefsPane/Model/TovikCopperhoundPref.h"
#include "PrefsPane/Sensitivity/CustomMovieView.h"
#include "PrefsPane/Sensitivity/SensitivityController.h"
#include "PrefsPane/Widgets/PaneAccessibility.h"
#include "PrefsPane/Widgets/SettingsBinder.h"
#include "ui_MainView.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>

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

// Where the pane names a set's applications: typed, picked from the
// installed ones, or the window in front after a countdown.
class ApplicationsDialog : public QDialog {
public:
    ApplicationsDialog(QWidget* parent, const QString* name, const QStringList& applications)
        : QDialog(parent) {
        setObjectName(QStringLiteral("applicationsDialog"));
        setWindowTitle(qtTrId("PANE_APPS_DIALOG_TITLE"));
        setWindowModality(Qt::WindowModal);
        auto* layout = new QVBoxLayout(this);
        nameEdit_ = new QLineEdit(name ? *name : QString(), this);
        nameEdit_->setObjectName(QStringLiteral("setNameEdit"));
        nameEdit_->setPlaceholderText(qtTrId("PANE_APPS_NAME_PLACEHOLDER"));
        nameEdit_->setAccessibleName(qtTrId("PANE_APPS_NAME_LABEL"));
        nameEdit_->setVisible(name != nullptr);
        layout->addWidget(nameEdit_);
        list_ = new QListWidget(this);
        list_->setObjectName(QStringLiteral("setApplicationsList"));
        list_->setAccessibleName(qtTrId("PANE_APPS_LIST_LABEL"));
        list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
        for (const QString& a : applications) {
            add(a);
        }
        layout->addWidget(list_);

        auto* typed = new QHBoxLayout;
        typedEdit_ = new QLineEdit(this);
        typedEdit_->setObjectName(QStringLiteral("setApplicationEdit"));
        typedEdit_->setPlaceholderText(qtTrId("PANE_APPS_TYPED_PLACEHOLDER"));
        typedEdit_->setAccessibleName(qtTrId("PANE_APPS_TYPED_PLACEHOLDER"));
        typed->addWidget(typedEdit_);
        typed->addWidget(button("setApplicationAddButton", "PANE_APPS_ADD_TYPED", [this] {
            add(typedEdit_->text().trimmed());
            typedEdit_->clear();
        }));
        layout->addLayout(typed);

        auto* more = new QHBoxLayout;
        more->addWidget(button("installedApplicationsButton", "PANE_APPS_INSTALLED",
                               [this] { pickInstalled(); }));
        frontButton_ = button("frontApplicationButton", "PANE_APPS_FRONT", [this] { countDown(); });
        more->addWidget(frontButton_);
        more->addWidget(button("setApplicationRemoveButton", "PANE_APPS_REMOVE", [this] {
            qDeleteAll(list_->selectedItems());
            changed();
        }));
        layout->addLayout(more);
        message_ = new QLabel(this);
        message_->setObjectName(QStringLiteral("frontApplicationMessage"));
        message_->setWordWrap(true);
        message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
        message_->hide();
        layout->addWidget(message_);

        buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
        connect(nameEdit_, &QLineEdit::textChanged, this, [this] { changed(); });
        layout->addWidget(buttons_);
        timer_.setInterval(1000);
        connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
        changed();
    }

    QString name() const { return nameEdit_->text().trimmed(); }
    QStringList applications() const {
        QStringList apps;
        for (int i = 0; i < list_->count(); ++i) {
            apps << list_->item(i)->data(Qt::UserRole).toString();
        }
        return apps;
    }
    // The agent's answer after the countdown, as the dialog shows it.
    void takeFront(const zed::FrontApplication& front) {
        const QString app = QString::fromStdString(front.application);
        if (!app.isEmpty()) {
            add(app);
            message_->hide();
            return;
        }
        message_->setText(
            !front.agentRuns ? qtTrId("PANE_APPS_FRONT_NO_AGENT")
            : front.why.empty()
                ? qtTrId("PANE_APPS_FRONT_NOT_YET")
                : qtTrId("PANE_APPS_FRONT_CANNOT_TELL").arg(QString::fromStdString(front.why)));
        message_->show();
    }

private:
    template <typename F> QPushButton* button(const char* name, const char* text, F action) {
        auto* b = new QPushButton(qtTrId(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, action);
        return b;
    }
    void add(const QString& app) {
        if (app.isEmpty() || !list_->findItems(app, Qt::MatchFixedString).isEmpty()) {
            return; // names compare without regard to case, as the agent matches them
        }
        auto* item = new QListWidgetItem(app, list_);
        item->setData(Qt::UserRole, app);
        changed();
    }
    void changed() {
        buttons_->button(QDialogButtonBox::Ok)
            ->setEnabled(list_->count() > 0 && (nameEdit_->isHidden() || !name().isEmpty()));
    }
    void pickInstalled() {
        QDialog picker(this);
        picker.setObjectName(QStringLiteral("installedApplicationsDialog"));
        picker.setWindowTitle(qtTrId("PANE_APPS_INSTALLED_TITLE"));
        auto* layout = new QVBoxLayout(&picker);
        auto* filter = new QLineEdit(&picker);
        filter->setObjectName(QStringLiteral("installedFilterEdit"));
        filter->setPlaceholderText(qtTrId("PANE_APPS_SEARCH"));
        filter->setAccessibleName(qtTrId("PANE_APPS_SEARCH"));
        auto* list = new QListWidget(&picker);
        list->setObjectName(QStringLiteral("installedList"));
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        for (const auto& app : zed::Platform::current().installedApplications().list()) {
            auto* item = new QListWidgetItem(QString::fromStdString(app.name), list);
            item->setData(Qt::UserRole, QString::fromStdString(app.id));
            item->setToolTip(QString::fromStdString(app.id));
        }
        connect(filter, &QLineEdit::textChanged, list, [list](const QString& text) {
            for (int i = 0; i < list->count(); ++i) {
                QListWidgetItem* item = list->item(i);
                item->setHidden(
                    !item->text().contains(text, Qt::CaseInsensitive) &&
                    !item->data(Qt::UserRole).toString().contains(text, Qt::CaseInsensitive));
            }
        });
        auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &picker);
        connect(box, &QDialogButtonBox::accepted, &picker, &QDialog::accept);
        connect(box, &QDialogButtonBox::rejected, &picker, &QDialog::reject);
        connect(list, &QListWidget::itemDoubleClicked, &picker, &QDialog::accept);
        layout->addWidget(filter);
        layout->addWidget(list);
        layout->addWidget(box);
        if (picker.exec() == QDialog::Accepted) {
            for (QListWidgetItem* item : list->selectedItems()) {
                add(item->data(Qt::UserRole).toString());
            }
        }
    }
    // Three seconds for the user to bring the window to the front; the
    // first question already has the agent follow the desktop.
    void countDown() {
        const zed::FrontApplication first = zed::Platform::current().frontApplication().ask();
        if (!first.agentRuns || !first.why.empty()) {
            takeFront(first);
            return;
        }
        remaining_ = 3;
        frontButton_->setEnabled(false);
        frontButton_->setText(qtTrId("PANE_APPS_FRONT_COUNTDOWN").arg(remaining_));
        timer_.start();
    }
    void tick() {
        if (--remaining_ > 0) {
            frontButton_->setText(qtTrId("PANE_APPS_FRONT_COUNTDOWN").arg(remaining_));
            return;
        }
        timer_.stop();
        frontButton_->setText(qtTrId("PANE_APPS_FRONT"));
        frontButton_->setEnabled(true);
        takeFront(zed::Platform::current().frontApplication().ask());
    }

    QLineEdit* nameEdit_;
    QLineEdit* typedEdit_;
    QListWidget* list_;
    QPushButton* frontButton_;
    QLabel* message_;
    QDialogButtonBox* buttons_;
    QTimer timer_;
    int remaining_ = 0;
};

// Puts the button beside the control, in the same row of its layout.
void placeBeside(QWidget* control, QWidget* button) {
    QWidget* parent = control->parentWidget();
    QList<QLayout*> layouts = parent->findChildren<QLayout*>();
    for (QLayout* layout : layouts) {
        const int at = layout->indexOf(control);
        if (at < 0) {
            continue;
        }
        if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
            int row = 0, column = 0, rows = 0, columns = 0;
            grid->getItemPosition(at, &row, &column, &rows, &columns);
            // A column of its own, right of the page's three.
            grid->addWidget(button, row, std::max(3, column + columns), Qt::AlignLeft);
            return;
        }
        if (auto* box = qobject_cast<QBoxLayout*>(layout)) {
            box->insertWidget(at + 1, button, 0, Qt::AlignLeft);
            return;
        }
    }
    if (parent->layout()) {
        parent->layout()->addWidget(button);
    }
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

    // After the buttons page, so that its controls may bind settings too.
    binder_ = new SettingsBinder(pane_, this);
    binder_->bind(this);

    buildApplicationsBar();
    // Screen readers hear each control by the label of its row; the Tab key
    // goes from the applications bar through the tabs and the pages in
    // reading order (a setting's mark right after it) to the links.
    QList<QWidget*> order{setPopUp_};
    for (QWidget* w : setPopUp_->parentWidget()->findChildren<QPushButton*>()) {
        order << w;
    }
    order << ui_->pageTabs->tabBar();
    QList<QWidget*> pageStops = zed::tabStops(ui_->sensitivityTab);
    pageStops << resetButton(QStringLiteral("buttonMappings"));
    pageStops += zed::tabStops(ui_->buttonsTab);
    for (QWidget* w : pageStops) {
        const bool settingsReset =
            w != resetButton(QStringLiteral("buttonMappings")) &&
            std::any_of(resetButtons_.begin(), resetButtons_.end(),
                        [w](const auto& entry) { return entry.second == w; });
        if (order.contains(w) || settingsReset) {
            continue; // a setting's reset comes right after its control
        }
        order << w;
        const QString property = w->property("binding").toString();
        QToolButton* reset = property.isEmpty() ? nullptr : resetButton(property);
        if (reset && !order.contains(reset)) {
            order << reset;
        }
    }
    order += {ui_->siteButton, ui_->updateButton, ui_->restoreDefaultsButton, ui_->helpButton};
    zed::setTabOrderChain(order);
    markOverrides();
    connect(pane_, &TovikCopperhoundPref::applicationSetsChanged, this,
            &PaneMainView::showApplicationSets);
    connect(pane_, &TovikCopperhoundPref::settingsChanged, this, &PaneMainView::markOverrides);
    showApplicationSets();
}

void PaneMainView::buildApplicationsBar() {
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("applicationsBar"));
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(qtTrId("PANE_SETS_LABEL"), bar);
    setPopUp_ = new QComboBox(bar);
    setPopUp_->setObjectName(QStringLiteral("applicationSetPopUp"));
    setPopUp_->setToolTip(qtTrId("PANE_SETS_TIP"));
    setPopUp_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    label->setBuddy(setPopUp_);
    connect(setPopUp_, &QComboBox::activated, pane_,
            [this](int item) { pane_->selectSet(item - 1); });
    const auto button = [bar, layout](const char* name, const char* text, const char* tip) {
        auto* b = new QPushButton(qtTrId(text), bar);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(qtTrId(tip));
        return b;
    };
    auto* add = button("applicationSetAddButton", "PANE_SETS_ADD", "PANE_SETS_ADD_TIP");
    renameButton_ =
        button("applicationSetRenameButton", "PANE_SETS_RENAME", "PANE_SETS_RENAME_TIP");
    applicationsButton_ =
        button("applicationSetAppsButton", "PANE_SETS_APPS", "PANE_SETS_APPS_TIP");
    removeButton_ =
        button("applicationSetRemoveButton", "PANE_SETS_REMOVE", "PANE_SETS_REMOVE_TIP");
    connect(add, &QPushButton::clicked, this, &PaneMainView::addApplicationSet);
    connect(renameButton_, &QPushButton::clicked, this, &PaneMainView::renameApplicationSet);
    connect(applicationsButton_, &QPushButton::clicked, this, &PaneMainView::editApplications);
    connect(removeButton_, &QPushButton::clicked, this, &PaneMainView::confirmRemoveApplicationSet);
    layout->addWidget(label);
    layout->addWidget(setPopUp_, 1);
    for (QWidget* w :
         {static_cast<QWidget*>(add), static_cast<QWidget*>(renameButton_),
          static_cast<QWidget*>(applicationsButton_), static_cast<QWidget*>(removeButton_)}) {
        layout->addWidget(w);
    }
    // Below the status line, above the pages it chooses the settings of.
    ui_->mainLayout->insertWidget(1, bar);

    // Each setting a set may change gets its mark, the button that resets it.
    QMap<QString, QWidget*> lastControl;
    QList<QString> order;
    for (QWidget* control : findChildren<QWidget*>()) {
        const QString property = control->property("binding").toString();
        if (!property.isEmpty() && pane_->mayDiffer(property)) {
            if (!lastControl.contains(property)) {
                order << property;
            }
            lastControl[property] = control;
        }
    }
    const auto makeReset = [this](const QString& property, QWidget* parent, const QString& what) {
        auto* reset = new QToolButton(parent);
        reset->setObjectName(property + QStringLiteral("Reset"));
        reset->setText(qtTrId("PANE_SET_RESET"));
        reset->setToolTip(qtTrId("PANE_SET_RESET_TIP"));
        reset->setAccessibleName(qtTrId("PANE_SET_RESET_NAME").arg(what));
        reset->hide();
        connect(reset, &QToolButton::clicked, pane_,
                [this, property] { pane_->resetOverride(property); });
        resetButtons_.emplace_back(property, reset);
        return reset;
    };
    for (const QString& property : order) {
        QWidget* control = lastControl[property];
        const QString what =
            control->accessibleName().isEmpty() ? property : control->accessibleName();
        placeBeside(control, makeReset(property, control->parentWidget(), what));
    }
    QToolButton* buttonsReset =
        makeReset(QStringLiteral("buttonMappings"), ui_->buttonsTab, qtTrId("PANE_TAB_BUTTONS"));
    ui_->buttonsTabLayout->insertWidget(0, buttonsReset, 0, Qt::AlignRight);
}

QToolButton* PaneMainView::resetButton(const QString& property) const {
    for (const auto& [name, button] : resetButtons_) {
        if (name == property) {
            return button;
        }
    }
    return nullptr;
}

void PaneMainView::showApplicationSets() {
    const QSignalBlocker quiet(setPopUp_);
    setPopUp_->clear();
    setPopUp_->addItem(qtTrId("PANE_SETS_ALL"));
    for (const auto& set : pane_->applicationSets()) {
        setPopUp_->addItem(QString::fromStdString(set.name));
    }
    setPopUp_->setCurrentIndex(pane_->selectedSet() + 1);
    const bool selected = pane_->selectedSet() >= 0;
    for (QWidget* w :
         {static_cast<QWidget*>(renameButton_), static_cast<QWidget*>(applicationsButton_),
          static_cast<QWidget*>(removeButton_)}) {
        w->setEnabled(selected);
    }
    markOverrides();
}

void PaneMainView::markOverrides() {
    const bool selected = pane_->selectedSet() >= 0;
    for (const auto& [property, button] : resetButtons_) {
        button->setVisible(selected && pane_->isOverridden(property));
    }
    // The desktop's settings are the same for every application.
    QList<QWidget*> fixed{ui_->restoreDefaultsButton};
    for (QWidget* control : findChildren<QWidget*>()) {
        const QString property = control->property("binding").toString();
        if (!property.isEmpty() && !pane_->mayDiffer(property)) {
            fixed << control;
        }
    }
    for (QWidget* control : fixed) {
        const bool marked = control->property("zedSetFixed").toBool();
        if (selected && !marked) {
            control->setProperty("zedSetFixed", true);
            control->setProperty("zedToolTip", control->toolTip());
            control->setProperty("zedEnabled", control->isEnabled());
            control->setToolTip(qtTrId("PANE_SET_FIXED_TIP"));
            control->setEnabled(false);
        } else if (!selected && marked) {
            control->setProperty("zedSetFixed", false);
            control->setToolTip(control->property("zedToolTip").toString());
            control->setEnabled(control->property("zedEnabled").toBool());
        }
    }
}

bool PaneMainView::askApplications(QString* name, QStringList* applications) {
    ApplicationsDialog dialog(this, name, *applications);
    // Said once, the first time sets are edited: a desktop that cannot tell
    // the window in front makes sets of no use until something is enabled.
    if (!toldUntracked_) {
        toldUntracked_ = true;
        const zed::FrontApplication front = zed::Platform::current().frontApplication().ask();
        if (front.agentRuns && !front.why.empty()) {
            dialog.takeFront(front);
        }
    }
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    if (name) {
        *name = dialog.name();
    }
    *applications = dialog.applications();
    return true;
}

namespace {
std::vector<std::string> toStrings(const QStringList& list) {
    std::vector<std::string> out;
    for (const QString& s : list) {
        out.push_back(s.toStdString());
    }
    return out;
}
} // namespace

void PaneMainView::addApplicationSet() {
    QString name;
    QStringList apps;
    if (askApplications(&name, &apps)) {
        const int index = pane_->addApplicationSet(name.toStdString(), toStrings(apps));
        pane_->selectSet(index);
    }
}

void PaneMainView::renameApplicationSet() {
    const int index = pane_->selectedSet();
    const auto sets = pane_->applicationSets();
    if (index < 0 || static_cast<std::size_t>(index) >= sets.size()) {
        return;
    }
    bool ok = false;
    const QString name = QInputDialog::getText(
        this, qtTrId("PANE_SETS_RENAME_TITLE"), qtTrId("PANE_APPS_NAME_LABEL"), QLineEdit::Normal,
        QString::fromStdString(sets[static_cast<std::size_t>(index)].name), &ok);
    if (ok && !name.trimmed().isEmpty()) {
        pane_->renameApplicationSet(index, name.trimmed().toStdString());
    }
}

void PaneMainView::editApplications() {
    const int index = pane_->selectedSet();
    const auto sets = pane_->applicationSets();
    if (index < 0 || static_cast<std::size_t>(index) >= sets.size()) {
        return;
    }
    QStringList apps;
    for (const std::string& a : sets[static_cast<std::size_t>(index)].applications) {
        apps << QString::fromStdString(a);
    }
    if (askApplications(nullptr, &apps)) {
        pane_->setSetApplications(index, toStrings(apps));
    }
}

void PaneMainView::confirmRemoveApplicationSet() {
    const int index = pane_->selectedSet();
    const auto sets = pane_->applicationSets();
    if (index < 0 || static_cast<std::size_t>(index) >= sets.size()) {
        return;
    }
    const QString name = QString::fromStdString(sets[static_cast<std::size_t>(index)].name);
    QMessageBox box(QMessageBox::Question, qtTrId("PANE_SETS_REMOVE_TITLE").arg(name), QString(),
                    QMessageBox::NoButton, this);
    box.setTextFormat(Qt::RichText);
    box.setText(QStringLiteral("<b>%1</b>")
                    .arg(qtTrId("PANE_SETS_REMOVE_TITLE").arg(name).toHtmlEscaped()));
    box.setInformativeText(qtTrId("PANE_SETS_REMOVE_MESSAGE").toHtmlEscaped());
    QPushButton* remove =
        box.addButton(qtTrId("PANE_SETS_REMOVE_CONFIRM"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(qtTrId("PANE_RESTORE_CANCEL"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.setWindowModality(Qt::WindowModal);
    box.exec();
    if (box.clickedButton() == remove) {
        pane_->removeApplicationSet(index);
    }
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
