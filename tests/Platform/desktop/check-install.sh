#!/usr/bin/env bash
# Installs the build into a temporary root and checks where everything lands.
# Usage: check-install.sh BUILD_DIR PREFIX AUTOSTART_DIR [OPTIONAL_PATH...]
# Optional paths (the settings application, the pane) are expected when given.
set -u
build=$1 prefix=$2 autostart=$3
shift 3
root=$(mktemp -d /tmp/zed-install-XXXXXX)
trap 'rm -rf "$root"' EXIT
fail=0
check() { # condition description
    if ! eval "$1"; then
        echo "FAIL: $2"
        fail=1
    fi
}

if ! DESTDIR="$root" cmake --install "$build" >"$root.log" 2>&1; then
    cat "$root.log"
    rm -f "$root.log"
    echo "FAIL: cmake --install"
    exit 1
fi
rm -f "$root.log"
p="$root$prefix"
case $autostart in /*) a="$root$autostart" ;; *) a="$p/$autostart" ;; esac

for program in zed-agent zed-mouse-sim zed-defaults; do
    check "[ -x '$p/bin/$program' ]" "program $program in $prefix/bin"
done
for module in zed-sens-display zed-gsettings; do
    check "[ -f '$p/lib/zed/$module.so' ]" "the agent's module $module in $prefix/lib/zed"
done
for path in "$@"; do
    check "[ -e '$p/$path' ]" "$prefix/$path"
done

unit="$p/lib/systemd/user/zed-agent.service"
check "[ -f '$unit' ]" "systemd user unit in $prefix/lib/systemd/user"
check "grep -qx 'ExecStart=$prefix/bin/zed-agent' '$unit'" "the unit starts the installed agent"
# Started with the user's manager (console logins and every desktop), and
# not tied to graphical-session.target, which many desktops never start.
check "grep -qx 'WantedBy=default.target' '$unit'" "the unit is wanted by the user's manager at login"
check "! grep -q 'graphical-session' '$unit'" "the unit does not wait for or stop with graphical-session.target"
check "grep -qx 'Restart=on-failure' '$unit'" "the unit restarts on failure"

entry="$a/zed-agent.desktop"
wrapper="$p/libexec/zed/zed-agent-autostart"
check "[ -f '$entry' ]" "autostart entry in $autostart"
check "! grep -q 'HiddenUnderSystemd' '$entry'" "autostart entry runs under systemd too (it hands the unit the display)"
check "grep -qx 'Exec=$prefix/libexec/zed/zed-agent-autostart' '$entry'" "autostart runs the wrapper"
check "[ -x '$wrapper' ]" "autostart wrapper in $prefix/libexec/zed"

rule="$p/lib/udev/rules.d/70-zed-uinput.rules"
check "[ -f '$rule' ]" "udev rule in $prefix/lib/udev/rules.d"
check "grep -q 'KERNEL==\"uinput\"' '$rule' && grep -q 'TAG+=\"uaccess\"' '$rule'" "the rule gives the seat user uinput"
check "grep -q 'static_node=uinput' '$rule'" "the rule covers the node before the module loads"
check "grep -qx uinput '$p/lib/modules-load.d/zed-uinput.conf'" "uinput loaded at boot"

# The driver, when it was built: its system unit (hardened), the udev rule
# that marks the maker's mice and starts it, and the bus policy that lets only
# root serve its name. The bus reads policies from /usr/share and /etc only.
if [ -x "$p/bin/zed-driver" ]; then
    driver_unit="$p/lib/systemd/system/zed-driver.service"
    check "[ -f '$driver_unit' ]" "driver's system unit in $prefix/lib/systemd/system"
    check "grep -qx 'ExecStart=$prefix/bin/zed-driver' '$driver_unit'" "the unit starts the installed driver"
    for line in Type=notify 'WatchdogSec=10s' Restart=on-failure NoNewPrivileges=yes \
        ProtectSystem=strict ProtectHome=yes PrivateTmp=yes DevicePolicy=closed \
        'DeviceAllow=/dev/uinput rw' 'DeviceAllow=char-input rw' \
        'RestrictAddressFamilies=AF_UNIX AF_NETLINK'; do
        check "grep -qxF '$line' '$driver_unit'" "the driver's unit has $line"
    done
    check "[ \$(grep -c '^DeviceAllow=' '$driver_unit') -eq 2 ]" "the driver's unit allows no other device"
    drule="$p/lib/udev/rules.d/71-zed-driver.rules"
    check "[ -f '$drule' ]" "driver's udev rule in $prefix/lib/udev/rules.d"
    check "grep -q 'ATTRS{id/vendor}==\"2f1a\", ATTRS{id/product}==\"0001|0002\", ENV{ZED_DRIVER}=\"1\"' '$drule'" "the rule marks the maker's mice"
    check "grep -q 'ENV{ZED_DRIVER}==\"1\", TAG+=\"systemd\", ENV{SYSTEMD_WANTS}+=\"zed-driver.service\"' '$drule'" "a marked mouse starts the driver"
    check "grep -q 'ATTRS{phys}==\"zed-driver/\*\"' '$drule'" "the driver's own pointer is not marked"
    case $prefix in /usr/local) policy="$root/etc/dbus-1/system.d" ;; *) policy="$p/share/dbus-1/system.d" ;; esac
    policy="$policy/com.tovik.IORegistry.conf"
    check "[ -f '$policy' ]" "the driver's bus policy where the system bus reads it"
    if [ -f "$policy" ] && command -v python3 >/dev/null 2>&1; then
        check "python3 - '$policy' <<'PY'
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
owners = [(p.attrib, a.attrib) for p in root.iter('policy') for a in p if 'own' in a.attrib]
callers = [a.attrib for p in root.iter('policy') if p.get('context') == 'default' for a in p]
assert owners == [({'user': 'root'}, {'own': 'com.tovik.IORegistry'})], owners
assert callers and all(a.get('send_destination') == 'com.tovik.IORegistry' for a in callers), callers
PY" "only root may own the driver's name, anyone may call it"
    fi
fi

# The wrapper's decisions, with a stand-in systemctl that records what it is
# asked and answers as the user's manager would (FAKE_* below), and a
# stand-in agent. Exactly one of: the unit started, the unit restarted to
# take this desktop, nothing (it runs already with this desktop, or is
# masked), the agent run directly.
if [ -x "$wrapper" ]; then
    fake="$root/fake"
    mkdir -p "$fake/bin"
    printf '#!/bin/sh\necho agent started\n' >"$fake/bin/zed-agent"
    chmod +x "$fake/bin/zed-agent"
    sed "s|$prefix/bin/zed-agent|$fake/bin/zed-agent|" "$wrapper" >"$fake/wrapper"
    chmod +x "$fake/wrapper"
    cat >"$fake/systemctl" <<'FAKE'
#!/bin/sh
echo "$*" >>"$FAKE_LOG"
case " $* " in
*" show-environment "*) [ "$FAKE_MANAGER" = 1 ] ;;
*" is-enabled "*) echo "$FAKE_ENABLED"; [ "$FAKE_ENABLED" = enabled ] ;;
*" is-active "*) [ "$FAKE_ACTIVE" = 1 ] ;;
*" --property=MainPID "*) echo "$FAKE_PID" ;;
*" restart "* | *" start "*) [ "$FAKE_STARTS" = 1 ] ;;
*" import-environment "* | *" unset-environment "*) exit 0 ;;
*) exit 1 ;;
esac
FAKE
    chmod +x "$fake/systemctl"
    ln -s "$fake/systemctl" "$fake/bin/systemctl"
    # Only what the wrapper runs besides systemctl: no real systemctl is found.
    mkdir -p "$fake/tools"
    ln -s "$(command -v tr)" "$(command -v sed)" "$fake/tools/"
    # Agents the unit runs: one in this desktop, one started at login before it.
    env -u WAYLAND_DISPLAY DISPLAY=:7 XDG_CURRENT_DESKTOP=XFCE sleep 300 &
    in_desktop=$!
    env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_CURRENT_DESKTOP sleep 300 &
    before_desktop=$!
    # Runs the wrapper in an Xfce session on X11, FAKE_* settings as
    # arguments; sets $said (its output) and $asked (the systemctl calls).
    autostart() {
        : >"$fake/log"
        said=$(env -u WAYLAND_DISPLAY -u SWAYSOCK -u XAUTHORITY DISPLAY=:7 \
            XDG_CURRENT_DESKTOP=XFCE XDG_SESSION_TYPE=x11 FAKE_LOG="$fake/log" \
            FAKE_MANAGER=1 FAKE_ENABLED=enabled FAKE_ACTIVE=0 FAKE_PID=0 FAKE_STARTS=1 \
            "$@" PATH="$fake/bin:$fake/tools" "$fake/wrapper" 2>/dev/null)
        asked=$(cat "$fake/log")
    }
    calls() { grep -c -- "--user $1 zed-agent.service\$" <<<"$asked"; }
    decided() { # description starts restarts agents
        local got
        got="$(calls start) $(calls restart) $(grep -c 'agent started' <<<"$said")"
        check "[ '$got' = '$2 $3 $4' ]" \
            "$1 (starts, restarts, agents: $got; asked: $(tr '\n' ';' <<<"$asked"))"
    }

    autostart
    decided "a manager without the unit running: the unit is started" 1 0 0
    check "grep -qx -- '--user import-environment DISPLAY XDG_CURRENT_DESKTOP XDG_SESSION_TYPE' <<<\"\$asked\"" \
        "the desktop's variables are handed to the manager"
    check "grep -qx -- '--user unset-environment WAYLAND_DISPLAY XAUTHORITY SWAYSOCK' <<<\"\$asked\"" \
        "another desktop's variables are dropped from the manager"
    autostart FAKE_ACTIVE=1 FAKE_PID=$in_desktop
    decided "the unit runs with this desktop: nothing is started twice" 0 0 0
    autostart FAKE_ACTIVE=1 FAKE_PID=$before_desktop
    decided "the unit runs since before the desktop: restarted once to take it" 0 1 0
    autostart FAKE_ACTIVE=1 FAKE_PID=
    decided "the unit runs but names no process: restarted once" 0 1 0
    autostart FAKE_ENABLED=masked
    decided "the user masked the unit: nothing runs" 0 0 0
    autostart FAKE_STARTS=0
    decided "the unit does not start: the agent runs directly" 1 0 1
    autostart FAKE_MANAGER=0
    decided "no user manager: the agent runs directly" 0 0 1
    check "! grep -q -- '-environment ' <<<\"\$asked\"" "nothing is handed to a manager that is not there"
    rm -f "$fake/bin/systemctl"
    autostart
    decided "no systemctl at all: the agent runs directly" 0 0 1
    kill "$in_desktop" "$before_desktop" 2>/dev/null
    wait "$in_desktop" "$before_desktop" 2>/dev/null
fi

[ $fail -eq 0 ] && echo "everything is where it belongs"
exit $fail
