// Tells the ZED agent, on the session bus, which application is in front:
// com.tovik.ZED.ShellFocus on /com/tovik/ZED/ShellFocus, with FocusedApp()
// and the signal FocusChanged(s). The name is the application's desktop file
// id; empty when no application has the focus (the overview, the lock
// screen). For GNOME Shell 43 and 44.
const { Gio, GLib, Shell } = imports.gi;

const INTERFACE = `<node>
  <interface name="com.tovik.ZED.ShellFocus">
    <method name="FocusedApp"><arg type="s" direction="out"/></method>
    <signal name="FocusChanged"><arg type="s"/></signal>
  </interface>
</node>`;

class ZedFocus {
    enable() {
        this._tracker = Shell.WindowTracker.get_default();
        this._object = Gio.DBusExportedObject.wrapJSObject(INTERFACE, this);
        this._object.export(Gio.DBus.session, '/com/tovik/ZED/ShellFocus');
        this._handler = this._tracker.connect('notify::focus-app', () =>
            this._object.emit_signal('FocusChanged', new GLib.Variant('(s)', [this.FocusedApp()])));
    }

    disable() {
        this._tracker.disconnect(this._handler);
        this._object.unexport();
        this._object = null;
        this._tracker = null;
    }

    FocusedApp() {
        const app = this._tracker ? this._tracker.focus_app : null;
        return app ? (app.get_id() || '') : '';
    }
}

function init() {
    return new ZedFocus();
}
