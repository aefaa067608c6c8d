// Lets ZED's tests drive the shell as a user would (focus a window, take a
// screenshot) through the shell's own Eval and Screenshot calls.
class ZedTests {
    enable() {
        global.context.unsafe_mode = true;
    }

    disable() {
        global.context.unsafe_mode = false;
    }
}

function init() {
    return new ZedTests();
}
