// A stand-in for GNOME Shell under gjs, around the extension's shared code:
// real Gio and GLib (the extension's objects are exported on the real session
// bus), and the shell's own parts faked. Each picture shown is written to
// $ZED_STAND_IN_OUT/N.raw and told on standard output as
// "show N x y width height stride format"; "hide" when it is removed.
// $ZED_STAND_IN_MONITOR holds the main monitor and its work area, eight
// integers separated by commas.
const { Gio, GLib } = imports.gi;
const SHELL_MAJOR = 43;
const OUT = GLib.getenv('ZED_STAND_IN_OUT');
const MONITOR = (GLib.getenv('ZED_STAND_IN_MONITOR') || '0,0,1280,1024,0,0,1280,1024')
    .split(',').map(Number);
let shown = 0;

const Cogl = {PixelFormat: {BGRA_8888_PRE: 'BGRA_8888_PRE'}};

const St = {
    ImageContent: {
        new_with_preferred_size: () => ({
            set_bytes(...args) {
                this.args = args;
            },
        }),
    },
    Widget: class {
        set_content(content) {
            this._content = content;
        }
        set_position(x, y) {
            this._at = [x, y];
        }
        set_size(width, height) {
            this._size = [width, height];
        }
        show() {
            const [bytes, format, width, height, stride] = this._content.args;
            GLib.file_set_contents(`${OUT}/${shown}.raw`, bytes.get_data());
            print(`show ${shown++} ${this._at.join(' ')} ${this._size.join(' ')} ` +
                  `${width} ${height} ${stride} ${format}`);
        }
        destroy() {
            print('hide');
        }
    },
};

const Shell = {
    WindowTracker: {
        get_default: () => ({focus_app: null, connect: () => 1, disconnect: () => {}}),
    },
};

const Main = {
    layoutManager: {
        primaryIndex: 0,
        primaryMonitor: {x: MONITOR[0], y: MONITOR[1], width: MONITOR[2], height: MONITOR[3]},
        getWorkAreaForMonitor: () =>
            ({x: MONITOR[4], y: MONITOR[5], width: MONITOR[6], height: MONITOR[7]}),
    },
    uiGroup: {add_child: () => {}, set_child_above_sibling: () => {}},
};
