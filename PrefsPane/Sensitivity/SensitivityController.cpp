#include "SensitivityController.h"

#include "CustomMovieView.h"
#include "PrefsPane/Services/PaneServices.h"

#include <QDialog>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMovie>

SensitivityController::SensitivityController(QDialog* advancedPanel, CustomMovieView* dblClickPanel,
                                             QObject* parent)
    : QObject(parent), fAdvancedPanel(advancedPanel), fDblClickPanel(dblClickPanel),
      fFilteredPanel(advancedPanel) {
    if (fAdvancedPanel) {
        fAdvancedPanel->installEventFilter(this);
    }
}

SensitivityController::~SensitivityController() {
    if (fDblClickPanel && fDblClickPanel->movie() == fMovie.get()) {
        fDblClickPanel->setMovie(nullptr);
    }
    fMovie.reset();
    // A sheet still running must not wait for a controller that is gone.
    if (fModalLoop) {
        fModalLoop->exit(0);
    }
}

void SensitivityController::awakeFromNib() {
    // Drawn light on dark for a dark theme, where the light one is a glaring box.
    const bool dark =
        fDblClickPanel && fDblClickPanel->palette().color(QPalette::Window).lightness() < 128;
    const zed::PaneBundle& bundle = zed::PaneServices::current().bundle();
    QString path;
    if (dark) {
        path = bundle.pathForResource(QStringLiteral("doubleclick-dark"), QStringLiteral("gif"));
    }
    if (path.isEmpty()) {
        path = bundle.pathForResource(QStringLiteral("doubleclick"), QStringLiteral("gif"));
    }
    // A missing resource leaves a movie that plays nothing.
    fMovie = std::make_unique<QMovie>(path);
    if (fDblClickPanel) {
        fDblClickPanel->setMovie(fMovie.get());
        fDblClickPanel->gotoEnd();
    }
}

void SensitivityController::doAdvancedSettings(QObject*) {
    if (!fAdvancedPanel || fModalLoop) {
        return; // no dialog, or it is open already
    }
    int returnCode = 0;
    QEventLoop loop;
    fModalLoop = &loop;
    fSheetContext = &returnCode;
    // Closing the pane's window destroys the dialog with it.
    connect(fAdvancedPanel, &QObject::destroyed, &loop, [&loop] { loop.exit(0); });

    const QPointer<SensitivityController> self(this);
    fAdvancedPanel->setWindowModality(Qt::WindowModal);
    fAdvancedPanel->show();
    fAdvancedPanel->raise();
    fAdvancedPanel->activateWindow();
    loop.exec(QEventLoop::DialogExec);

    if (!self) {
        return;
    }
    fModalLoop = nullptr;
    fSheetContext = nullptr;
    if (fAdvancedPanel) {
        disconnect(fAdvancedPanel, &QObject::destroyed, &loop, nullptr);
        fAdvancedPanel->hide();
    }
}

void SensitivityController::applyAdvancedSettings(QObject*) {
    if (fModalLoop) {
        advancedDidEnd(fAdvancedPanel, 1, fSheetContext);
    }
}

void SensitivityController::advancedDidEnd(QWidget*, int returnCode, int* contextInfo) {
    if (fModalLoop) {
        fModalLoop->exit(0);
    }
    if (contextInfo) {
        *contextInfo = returnCode;
    }
}

bool SensitivityController::eventFilter(QObject* watched, QEvent* event) {
    // Compared by address only: the dialog may be half destroyed by now.
    // Every change on the sheet takes effect at once, so Escape and the
    // window's close button end it as OK does; the run hides it.
    if (fModalLoop && watched == fFilteredPanel) {
        const bool escape = event->type() == QEvent::KeyPress &&
                            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
        if (escape || event->type() == QEvent::Close) {
            event->ignore();
            advancedDidEnd(fAdvancedPanel, 0, fSheetContext);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
