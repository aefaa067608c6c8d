// Tells the ZED agent which application is in front: its desktop file, else
// its window class; an empty name for what is no application window (the
// desktop, a panel, the lock screen). Never a window's title.
function tell(window) {
    var name = "";
    if (window && window.normalWindow) {
        name = window.desktopFileName || window.resourceClass || "";
    }
    callDBus("com.tovik.ZED.Agent", "/com/tovik/ZED/Focus", "com.tovik.ZED.Focus",
             "FocusChanged", String(name));
}
if (workspace.windowActivated) { // Plasma 6
    workspace.windowActivated.connect(tell);
    tell(workspace.activeWindow);
} else { // Plasma 5
    workspace.clientActivated.connect(tell);
    tell(workspace.activeClient);
}
