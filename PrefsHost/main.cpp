// zed-prefs: the settings application. Loads the mouse's settings pane and
// shows it in a window; an optional argument names the pane's library.
#include "DisplayHold.h"
#include "PaneHost.h"
#include "Platform/core/Log.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv) {
    zed::DisplayHold display;
    if (!display.usable()) {
        zed::log("%s", display.why().c_str());
        return 1;
    }
    QApplication app(argc, argv);
    display.release();
    QApplication::setApplicationName(QStringLiteral("zed-prefs"));
    QApplication::setDesktopFileName(QStringLiteral("zed-prefs"));

    const zed::HostStrings strings;

    const QStringList args = QApplication::arguments();
    const QString path = args.size() > 1 ? args.at(1) : zed::PanePlugin::findPane();

    // Declared before the window, so that the pane outlives its window.
    zed::PanePlugin plugin;
    if (!plugin.load(path)) {
        zed::log("%s", qPrintable(plugin.error()));
        QMessageBox::critical(nullptr, qtTrId("HOST_ERROR_TITLE"), plugin.error());
        return 1;
    }

    zed::PrefsWindow window(*plugin.pane());
    const QString name = plugin.info().value("CFBundleName").toString();
    //: %1: the product's name.
    window.setWindowTitle(qtTrId("HOST_WINDOW_TITLE").arg(name));
    window.showPane();
    return QApplication::exec();
}
