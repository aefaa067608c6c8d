#include "PaneHost.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeySequence>
#include <QScreen>
#include <QShortcut>
#include <QTimer>

namespace zed {

HostStrings::HostStrings(const QLocale& locale) {
    const QString folder = QStringLiteral(":/zed-prefs/translations");
    if (translator_.load(locale, QStringLiteral("zed-prefs"), QStringLiteral("_"), folder) ||
        translator_.load(QStringLiteral("zed-prefs_en"), folder)) {
        QCoreApplication::installTranslator(&translator_);
    }
}

HostStrings::~HostStrings() = default;

PanePlugin::PanePlugin() = default;

PanePlugin::~PanePlugin() {
    pane_.reset();
}

QStringList PanePlugin::paneFolders() {
    // The build tree's, then the one beside the installed program (a package
    // installs under another prefix than the build was configured with), then
    // the configured one.
    const QDir programs(QCoreApplication::applicationDirPath());
    QStringList folders{
        QDir::cleanPath(programs.absoluteFilePath(QStringLiteral("../lib/panes"))),
        QDir::cleanPath(programs.absoluteFilePath(QStringLiteral("../" ZED_PANE_RELATIVE_DIR))),
        QStringLiteral(ZED_PANE_INSTALL_DIR)};
    folders.removeDuplicates();
    return folders;
}

QString PanePlugin::findPane() {
    for (const QString& folder : paneFolders()) {
        const QDir panes(folder);
        const QStringList names = panes.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& name : names) {
            const QString library = panes.filePath(name + QLatin1Char('/') + name + ".so");
            if (QFileInfo(library).isFile() &&
                QPluginLoader(library).metaData().value("IID").toString() ==
                    QLatin1String(PreferencePaneFactory_iid)) {
                return QFileInfo(library).canonicalFilePath();
            }
        }
    }
    return {};
}

bool PanePlugin::load(const QString& path) {
    if (path.isEmpty()) {
        //: %1: the folders searched, one a line.
        error_ = qtTrId("HOST_NO_PANE").arg(paneFolders().join(QLatin1Char('\n')));
        return false;
    }
    loader_.setFileName(path);
    if (!loader_.load()) {
        //: %1: the library, %2: the loader's reason.
        error_ = qtTrId("HOST_PANE_NOT_LOADED").arg(path, loader_.errorString());
        return false;
    }
    auto* factory = qobject_cast<PreferencePaneFactory*>(loader_.instance());
    if (factory) {
        pane_ = factory->createPane();
    }
    if (!pane_) {
        //: %1: the library.
        error_ = qtTrId("HOST_NOT_A_PANE").arg(path);
        return false;
    }
    return true;
}

QJsonObject PanePlugin::info() const {
    return loader_.metaData().value("MetaData").toObject();
}

PrefsWindow::PrefsWindow(PreferencePane& pane, QWidget* parent) : QMainWindow(parent), pane_(pane) {
    // The desktop's keys for quitting and closing, and Ctrl+Q wherever the
    // desktop names none; one shortcut, so that no key is taken twice.
    QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Quit);
    keys += QKeySequence::keyBindings(QKeySequence::Close);
    keys += QKeySequence(Qt::CTRL | Qt::Key_Q);
    QList<QKeySequence> unique;
    for (const QKeySequence& k : keys) {
        if (!k.isEmpty() && !unique.contains(k)) {
            unique += k;
        }
    }
    auto* shortcut = new QShortcut(this);
    shortcut->setKeys(unique);
    connect(shortcut, &QShortcut::activated, this, &QWidget::close);
}

PrefsWindow::~PrefsWindow() {
    unselect();
    // The view belongs to the pane, which may outlive this window.
    if (QWidget* view = centralWidget(); view && view == pane_.mainView()) {
        takeCentralWidget()->setParent(nullptr);
    }
}

void PrefsWindow::showPane() {
    QWidget* view = pane_.loadMainView();
    if (view && centralWidget() != view) {
        setCentralWidget(view);
    }
    pane_.willSelect();
    selected_ = true;
    // Measured as it will be shown: styled, and with the layouts the pane's
    // selection asked for.
    ensurePolished();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    fitPane(false);
    show();
    // Wrapped texts settle at the width they are shown at; the user's own
    // size is never made smaller.
    QTimer::singleShot(0, this, [this] { fitPane(true); });
}

void PrefsWindow::fitPane(bool growOnly) {
    // Room for the whole pane where the screen has it, not the two thirds of
    // the screen that a new window is given at most; a smaller screen gets a
    // window that fits it, and the pane's pages scroll.
    const QScreen* screen = this->screen();
    if (!screen) {
        return;
    }
    const QSize fitting = sizeHint().boundedTo(screen->availableSize() * 0.9);
    const QSize wanted = fitting.expandedTo(minimumSizeHint());
    resize(growOnly ? size().expandedTo(wanted) : wanted);
}

void PrefsWindow::closeEvent(QCloseEvent* event) {
    unselect();
    event->accept();
}

void PrefsWindow::unselect() {
    if (selected_) {
        selected_ = false;
        pane_.didUnselect();
    }
}

} // namespace zed
