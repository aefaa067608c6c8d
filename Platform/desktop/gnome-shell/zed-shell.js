
// What the ZED agent asks of the shell, on the session bus:
// - com.tovik.ZED.ShellFocus on /com/tovik/ZED/ShellFocus: FocusedApp() and
//   the signal FocusChanged(s), the application in front by its desktop file
//   id; empty when no application has the focus (the overview, the lock
//   screen). Window titles are never read.
// - com.tovik.ZED.ShellOverlay on /com/tovik/ZED/ShellOverlay: the agent's
//   sensitivity display, a picture shown where the shell shows its own
//   on-screen displays, above every window, full-screen ones too, and never
//   taking a click. Geometry() gives the main monitor and its work area in
//   stage coordinates; Show(x, y, width, height, stride, pixels) shows the
//   picture (premultiplied ARGB32 in the agent's byte order) with its top
//   left corner at x, y; Hide() removes it.
const FOCUS_INTERFACE = `<node>
  <interface name="com.tovik.ZED.ShellFocus">
    <method name="FocusedApp"><arg type="s" direction="out"/></method>
    <signal name="FocusChanged"><arg type="s"/></signal>
  </interface>
</node>`;

const OVERLAY_INTERFACE = `<node>
  <interface name="com.tovik.ZED.ShellOverlay">
    <method name="Geometry">
      <arg type="i" name="monitorX" direction="out"/>
      <arg type="i" name="monitorY" direction="out"/>
      <arg type="i" name="monitorWidth" direction="out"/>
      <arg type="i" name="monitorHeight" direction="out"/>
      <arg type="i" name="workX" direction="out"/>
      <arg type="i" name="workY" direction="out"/>
      <arg type="i" name="workWidth" direction="out"/>
      <arg type="i" name="workHeight" direction="out"/>
    </method>
    <method name="Show">
      <arg type="i" name="x" direction="in"/>
      <arg type="i" name="y" direction="in"/>
      <arg type="i" name="width" direction="in"/>
      <arg type="i" name="height" direction="in"/>
      <arg type="i" name="stride" direction="in"/>
      <arg type="ay" name="pixels" direction="in"/>
    </method>
    <method name="Hide"/>
  </interface>
</node>`;

// Larger than the display ever is: a bigger picture is refused.
const MAX_SIDE = 4096;

class ZedShell {
    enable() {
        this._tracker = Shell.WindowTracker.get_default();
        this._focus = Gio.DBusExportedObject.wrapJSObject(FOCUS_INTERFACE, this);
        this._focus.export(Gio.DBus.session, '/com/tovik/ZED/ShellFocus');
        this._handler = this._tracker.connect('notify::focus-app', () =>
            this._focus.emit_signal('FocusChanged', new GLib.Variant('(s)', [this.FocusedApp()])));
        this._overlay = Gio.DBusExportedObject.wrapJSObject(OVERLAY_INTERFACE, this);
        this._overlay.export(Gio.DBus.session, '/com/tovik/ZED/ShellOverlay');
    }

    disable() {
        this.Hide();
        this._overlay.unexport();
        this._overlay = null;
        this._tracker.disconnect(this._handler);
        this._focus.unexport();
        this._focus = null;
        this._tracker = null;
    }

    FocusedApp() {
        const app = this._tracker ? this._tracker.focus_app : null;
        return app ? (app.get_id() || '') : '';
    }

    Geometry() {
        const layout = Main.layoutManager;
        const monitor = layout.primaryMonitor;
        if (!monitor)
            return [0, 0, 0, 0, 0, 0, 0, 0];
        const work = layout.getWorkAreaForMonitor(layout.primaryIndex);
        return [monitor.x, monitor.y, monitor.width, monitor.height,
            work.x, work.y, work.width, work.height];
    }

    Show(x, y, width, height, stride, pixels) {
        if (width <= 0 || height <= 0 || width > MAX_SIDE || height > MAX_SIDE ||
            stride < width * 4 || pixels.length < stride * (height - 1) + width * 4)
            throw new Error(`a picture of ${width} x ${height} needs ${width * 4} bytes a row`);
        const content = St.ImageContent.new_with_preferred_size(width, height);
        const picture = [new GLib.Bytes(pixels), Cogl.PixelFormat.BGRA_8888_PRE,
            width, height, stride];
        if (SHELL_MAJOR >= 48)
            picture.unshift(global.stage.context.get_backend().get_cogl_context());
        content.set_bytes(...picture);
        if (!this._picture) {
            this._picture = new St.Widget({reactive: false, can_focus: false});
            Main.uiGroup.add_child(this._picture);
        }
        Main.uiGroup.set_child_above_sibling(this._picture, null);
        this._picture.set_content(content);
        this._picture.set_position(x, y);
        this._picture.set_size(width, height);
        this._picture.show();
    }

    Hide() {
        if (this._picture) {
            this._picture.destroy();
            this._picture = null;
        }
    }
}
