// ZED's GNOME Shell extension, for GNOME Shell 43 and 44. Built from this
// prologue, zed-shell.js and the epilogue.
const { Cogl, Gio, GLib, Shell, St } = imports.gi;
const Main = imports.ui.main;
const SHELL_MAJOR = parseInt(imports.misc.config.PACKAGE_VERSION);
