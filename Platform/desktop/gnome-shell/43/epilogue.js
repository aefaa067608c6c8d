
function init() {
    return new ZedShell();
}
