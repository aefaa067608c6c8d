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
check "grep -qx 'PartOf=graphical-session.target' '$unit'" "the unit stops with the session"
check "grep -qx 'After=graphical-session.target' '$unit'" "the unit starts after the session"
check "grep -qx 'WantedBy=graphical-session.target' '$unit'" "the unit is wanted by the session"
check "grep -qx 'Restart=on-failure' '$unit'" "the unit restarts on failure"

entry="$a/zed-agent.desktop"
wrapper="$p/libexec/zed/zed-agent-autostart"
check "[ -f '$entry' ]" "autostart entry in $autostart"
check "grep -qx 'X-GNOME-HiddenUnderSystemd=true' '$entry'" "autostart entry hidden under systemd"
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

# The wrapper starts the agent only where the unit does not: a stand-in
# systemctl answers for the user's manager.
if [ -x "$wrapper" ]; then
    fake="$root/fake"
    mkdir -p "$fake/bin"
    printf '#!/bin/sh\necho agent started\n' >"$fake/bin/zed-agent"
    chmod +x "$fake/bin/zed-agent"
    sed "s|$prefix/bin/zed-agent|$fake/bin/zed-agent|" "$wrapper" >"$fake/wrapper"
    chmod +x "$fake/wrapper"
    systemctl_says() { # exit status of is-enabled
        printf '#!/bin/sh\ncase "$*" in *show-environment*) exit 0;; *is-active*) exit 3;; *is-enabled*) exit %s;; esac\nexit 1\n' "$1" >"$fake/bin/systemctl"
        chmod +x "$fake/bin/systemctl"
    }
    systemctl_says 0
    check "[ -z \"\$(PATH='$fake/bin':/usr/bin:/bin '$fake/wrapper')\" ]" "no second agent where the unit is enabled"
    systemctl_says 1
    check "[ \"\$(PATH='$fake/bin':/usr/bin:/bin '$fake/wrapper')\" = 'agent started' ]" "the agent starts where the unit is not enabled"
    rm -f "$fake/bin/systemctl"
    check "[ \"\$(PATH='$fake/bin':/usr/bin:/bin '$fake/wrapper')\" = 'agent started' ]" "the agent starts without systemd"
fi

[ $fail -eq 0 ] && echo "everything is where it belongs"
exit $fail
