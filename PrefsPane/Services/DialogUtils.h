// The pane's alerts.
#pragma once

class QUrl;
class QWidget;

class DialogUtils {
public:
    DialogUtils() = delete;

    // The refusal of a map-type choice that would leave no button with map
    // type 0: a warning with one button, window-modal on the main window, its
    // summary in bold above the explanation. Blocks in a nested event loop until the user dismisses
    // it.
    static void displayMapTypeAlert();

    // That no program opened the address, and what to do: window-modal on
    // the main window, without waiting; the address also goes to standard
    // error, where it can be copied.
    static void displayLinkFailure(const QUrl& url);

    // End of the alert: stops the innermost modal run and, when contextInfo
    // is given, stores the return code through it.
    static void sheetDidEnd(QWidget* sheet, int returnCode, int* contextInfo);

    // The window that alerts attach to: the active window, else the first
    // visible main window, else none.
    static QWidget* mainWindow();
};
