#include "DialogUtils.h"

#include "PaneServices.h"
#include "Platform/core/Log.h"
#include "QObjectOwner.h"

#include <QApplication>
#include <QEventLoop>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace {

// The modal runs in progress, innermost last in the chain.
QEventLoop* sModalLoop = nullptr;

class ModalRun {
public:
    explicit ModalRun(QEventLoop& loop) : outer_(std::exchange(sModalLoop, &loop)) {}
    ~ModalRun() { sModalLoop = outer_; }
    ModalRun(const ModalRun&) = delete;
    ModalRun& operator=(const ModalRun&) = delete;

private:
    QEventLoop* outer_;
};

} // namespace

QWidget* DialogUtils::mainWindow() {
    if (QWidget* active = QApplication::activeWindow()) {
        return active->window();
    }
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        if (w->isVisible() && qobject_cast<QMainWindow*>(w)) {
            return w;
        }
    }
    return nullptr;
}

void DialogUtils::displayMapTypeAlert() {
    const zed::PaneBundle& bundle = zed::PaneServices::current().bundle();
    const QString title = bundle.localizedString("CLICK_TYPE_ERROR_TITLE");
    const QString message = bundle.localizedString("CLICK_TYPE_ERROR_MESSAGE");
    const QString buttonTitle = bundle.localizedString("CLICK_TYPE_ERROR_DEF_BUTTON");

    QWidget* window = mainWindow();
    // A warning, not an error: nothing went wrong, a choice was refused. The
    // summary leads the body in bold (desktops that show no title on such
    // dialogs still show it), the explanation follows.
    auto panel = zed::QObjectOwner<QMessageBox>::make(QMessageBox::Warning, title, QString(),
                                                      QMessageBox::NoButton, window);
    panel->setTextFormat(Qt::RichText);
    panel->setText(QStringLiteral("<b>%1</b>").arg(title.toHtmlEscaped()));
    panel->setInformativeText(message.toHtmlEscaped());
    // A button without a title could not be read; the standard one can.
    QPushButton* button = buttonTitle.isEmpty()
                              ? panel->addButton(QMessageBox::Ok)
                              : panel->addButton(buttonTitle, QMessageBox::AcceptRole);
    panel->setDefaultButton(button);
    panel->setEscapeButton(button);
    panel->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);

    QEventLoop loop;
    const ModalRun run(loop);
    QMessageBox* sheet = panel.get();
    QObject::connect(sheet, &QDialog::finished, sheet,
                     [sheet](int result) { sheetDidEnd(sheet, result, nullptr); });
    // Closing the main window destroys the alert with it: do not wait forever.
    QObject::connect(sheet, &QObject::destroyed, &loop, [&loop] { loop.exit(0); });
    panel->show();
    loop.exec(QEventLoop::DialogExec);

    if (panel) {
        panel->hide();
    }
    panel.reset();
}

void DialogUtils::displayLinkFailure(const QUrl& url) {
    const QString address = url.toString(QUrl::PreferLocalFile);
    zed::log("no program opened %s", qPrintable(address));
    QWidget* window = mainWindow();
    auto* box = new QMessageBox(QMessageBox::Warning, qtTrId("LINK_FAILURE_TITLE"), QString(),
                                QMessageBox::Ok, window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::RichText);
    box->setText(QStringLiteral("<b>%1</b>").arg(qtTrId("LINK_FAILURE_TITLE").toHtmlEscaped()));
    //: %1: the web address or help file that no program opened.
    box->setInformativeText(qtTrId("LINK_FAILURE_MESSAGE").arg(address).toHtmlEscaped());
    // The address can be selected and copied into a browser by hand.
    box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    box->open();
}

void DialogUtils::sheetDidEnd(QWidget*, int returnCode, int* contextInfo) {
    if (sModalLoop) {
        sModalLoop->exit(0);
    }
    if (contextInfo) {
        *contextInfo = returnCode;
    }
}
