
export default class ZedExtension extends Extension {
    enable() {
        this._zed = new ZedShell();
        this._zed.enable();
    }

    disable() {
        this._zed.disable();
        this._zed = null;
    }
}
