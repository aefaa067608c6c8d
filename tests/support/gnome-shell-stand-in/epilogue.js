
// The shell's name on the bus, then the extension enabled, as the shell does.
const zed = new ZedShell();
const loop = new GLib.MainLoop(null, false);
Gio.bus_own_name(Gio.BusType.SESSION, 'org.gnome.Shell', Gio.BusNameOwnerFlags.NONE, null,
    () => {
        zed.enable();
        print('ready');
    },
    () => loop.quit());
loop.run();
