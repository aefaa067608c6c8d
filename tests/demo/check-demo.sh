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
    local left deadline=$((SECONDS + 60))
    # Processes the demo ended as it left get a minute to be gone (a loaded
    # machine is slow to reap them).
    while left=$(leftovers "$1") && [ -n "$left" ] && [ "$SECONDS" -lt "$deadline" ]; do
        sleep 0.1
    done
    if [ -n "$left" ]; then
        failed "$2 left processes running 60 s after it ended:"
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
# Waits up to a minute until the run's agent is up: the simulator and the
# bus came before it.
wait_for_agent() { # marker
    local deadline=$((SECONDS + 60))
    while [ "$SECONDS" -lt "$deadline" ]; do
        leftovers "$1" | grep -q '/zed-agent' && return 0
        kill -0 "$demo_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
# Waits for the demo to end and sets $status; a demo still running after
# DEADLINE seconds (its own waits give up after 60 s each) is a failure,
# and its process group is killed.
wait_for_demo() { # marker deadline
    local deadline=$((SECONDS + $2))
    while kill -0 "$demo_pid" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do
        sleep 0.1
    done
    if kill -0 "$demo_pid" 2>/dev/null; then
        failed "the demo ($1) did not end within $2 s"
        kill -KILL -- "-$demo_pid" 2>/dev/null
    fi
    wait "$demo_pid"
    status=$?
}

# A whole run: it succeeds, shows every section and ends what it started.
start_demo whole "$bin"
wait_for_demo whole 600
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
wait_for_demo failing 300
[ "$status" -ne 0 ] || failed "the demo did not report its failure"
grep -qF "the agent did not answer" "$scratch/failing.err" || failed "no message for the failure"
expect_nothing_left failing "a failed run"

# Interrupted once everything runs: SIGTERM to the demo alone, then Ctrl-C.
for how in TERM INT; do
    start_demo "interrupted-$how" "$bin"
    if ! wait_for_agent "interrupted-$how"; then
        failed "the demo did not start its agent within 60 s"
        cat "$scratch/interrupted-$how.err"
    elif [ "$how" = TERM ]; then
        kill -TERM "$demo_pid"
    else
        kill -INT -- "-$demo_pid"
    fi
    # Its cleanup gives each of its three processes a minute to end.
    wait_for_demo "interrupted-$how" 300
    expect_nothing_left "interrupted-$how" "a run ended by SIG$how"
done

[ "$fail" -eq 0 ] && echo "the demo ends everything it starts"
exit "$fail"
