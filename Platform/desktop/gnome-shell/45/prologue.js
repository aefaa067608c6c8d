// ZED's GNOME Shell extension, for GNOME Shell 45 and later. Built from this
// prologue, zed-shell.js and the epilogue.
import Cogl from 'gi://Cogl';
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import Shell from 'gi://Shell';
import St from 'gi://St';
import * as Main from 'resource:///org/gnome/shell/ui/main.js';
import * as Config from 'resource:///org/gnome/shell/misc/config.js';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';
const SHELL_MAJOR = parseInt(Config.PACKAGE_VERSION);
