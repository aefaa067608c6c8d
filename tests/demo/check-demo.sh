#!/usr/bin/env bash
# Runs scripts/demo against this build and checks that it leaves nothing it
# started running: after a whole run, after a failure midway, after SIGTERM
# to the demo and after Ctrl-C (SIGINT to its process group).
# Usage: check-demo.sh SOURCE_DIR BIN_DIR
set -u
src=$1 bin=$2
for tool in dbus-daemon python3 gdbus; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
scratch=$(mktemp -d /tmp/zed-demo-check-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
fail=0
failed() {
    echo "FAIL: $*"
    fail=1
}

# Every process the demo starts inherits the marker of its run, so what is
# left afterwards is found whatever it is and wherever it was reparented.
leftovers() { # marker
    local f p
    for f in $(grep -lzxF "ZED_DEMO_CHECK=$1" /proc/[0-9]*/environ 2>/dev/null); do
        p=${f%/environ}
        printf '%s %s\n' "${p#/proc/}" "$(tr '\0' ' ' 2>/dev/null <"$p/cmdline")"
    done
}
# Fails when the run left processes, then ends them so later runs start clean.
expect_nothing_left() { # marker what
    local left
    # Processes the demo ended as it left get a moment to be gone.
    for _ in $(seq 1 30); do
        left=$(leftovers "$1")
        [ -z "$left" ] && break
        sleep 0.1
    done
    if [ -n "$left" ]; then
        failed "$2 left processes running:"
        echo "$left" | sed 's/^/    /'
        kill -KILL $(echo "$left" | cut -d' ' -f1) 2>/dev/null
    fi
}
# Starts the demo in its own process group, as a shell starts a job.
start_demo() { # marker bin-dir
    set -m
    env ZED_DEMO_CHECK="$1" ZED_DEMO_BIN="$2" "$src/scripts/demo" \
        >"$scratch/$1.out" 2>"$scratch/$1.err" </dev/null &
    demo_pid=$!
    set +m
}
# Waits until the run's agent is up: the simulator and the bus came before it.
wait_for_agent() { # marker
    for _ in $(seq 1 600); do
        leftovers "$1" | grep -q '/zed-agent' && return 0
        kill -0 "$demo_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# A whole run: it succeeds, shows every section and ends what it started.
start_demo whole "$bin"
wait "$demo_pid"
status=$?
[ "$status" -eq 0 ] || { failed "the demo ended with status $status"; cat "$scratch/whole.err"; }
for section in "Starting the simulated mouse driver" "Plugging in a mouse" \
    "Button 2 (key combination" "Button 3 (on-the-fly sensitivity)" \
    "Unplugging the mouse and quitting the agent"; do
    grep -qF "== $section" "$scratch/whole.out" || failed "the demo did not show \"$section\""
done
expect_nothing_left whole "a whole run"
work=$(sed -n 's|^  settings stored in \(.*\)/config/com.tovik.ZED.plist:$|\1|p' "$scratch/whole.out")
[ -n "$work" ] && [ ! -e "$work" ] || failed "the demo left its folder \"$work\""

# A failure midway: an agent that never applies anything makes the demo give
# up waiting for the driver; it still ends the agent, the simulator and the bus.
mkdir "$scratch/bin"
ln -s "$bin/zed-mouse-sim" "$bin/zed-defaults" "$scratch/bin/"
printf '#!/bin/sh\necho "Waiting for prefs changes..."\nexec sleep 600\n' >"$scratch/bin/zed-agent"
chmod +x "$scratch/bin/zed-agent"
start_demo failing "$scratch/bin"
wait "$demo_pid"
status=$?
[ "$status" -ne 0 ] || failed "the demo did not report its failure"
grep -qF "the agent did not answer" "$scratch/failing.err" || failed "no message for the failure"
expect_nothing_left failing "a failed run"

# Interrupted once everything runs: SIGTERM to the demo alone, then Ctrl-C.
for how in TERM INT; do
    start_demo "interrupted-$how" "$bin"
    if ! wait_for_agent "interrupted-$how"; then
        failed "the demo did not start its agent"
        cat "$scratch/interrupted-$how.err"
    elif [ "$how" = TERM ]; then
        kill -TERM "$demo_pid"
    else
        kill -INT -- "-$demo_pid"
    fi
    wait "$demo_pid"
    expect_nothing_left "interrupted-$how" "a run ended by SIG$how"
done

[ "$fail" -eq 0 ] && echo "the demo ends everything it starts"
exit "$fail"
