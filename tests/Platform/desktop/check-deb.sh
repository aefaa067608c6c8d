#!/usr/bin/env bash
# Builds the Debian package with CPack into a temporary folder and checks its
# contents: everything under /usr (and the autostart entry in /etc), whatever
# prefix the build tree was configured with, and the installed paths named in
# the files that name them; Debian's conventions (lintian, conffiles,
# stripped binaries, copyright and changelog); and what its maintainer
# scripts do, against stand-ins for udev, systemd and Debian's helpers. Usage: check-deb.sh BUILD_DIR WITH_DRIVER(0|1)
set -u
build=$1 driver=${2:-0}
if ! command -v dpkg-deb >/dev/null 2>&1; then
    echo "dpkg-deb is not installed: no Debian package to check"
    exit 77
fi
out=$(mktemp -d /tmp/zed-deb-XXXXXX)
trap 'rm -rf "$out"' EXIT
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1; then
    cat "$out/cpack.log"
    echo "FAIL: cpack"
    exit 1
fi
deb=$(ls "$out"/*.deb 2>/dev/null | head -n1)
if [ -z "$deb" ]; then
    echo "FAIL: cpack made no .deb"
    exit 1
fi
contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
control=$(dpkg-deb -f "$deb" Package Version Depends)
fail=0
expect=(/usr/bin/zed-agent /usr/lib/systemd/user/zed-agent.service
    /etc/xdg/autostart/zed-agent.desktop /usr/lib/udev/rules.d/70-zed-uinput.rules
    /usr/libexec/zed/zed-agent-autostart)
if [ "$driver" = 1 ]; then
    expect+=(/usr/bin/zed-driver /usr/lib/systemd/system/zed-driver.service
        /usr/lib/udev/rules.d/71-zed-driver.rules
        /usr/share/dbus-1/system.d/com.tovik.IORegistry.conf)
fi
for path in "${expect[@]}"; do
    if ! grep -qx "\.$path" <<<"$contents"; then
        echo "FAIL: $path is not in the package"
        fail=1
    fi
done
if grep -q '^\./usr/local' <<<"$contents"; then
    echo "FAIL: the package puts files under /usr/local:"
    grep '^\./usr/local' <<<"$contents" | head -n5
    fail=1
fi

# The files that name installed paths name the package's.
root="$out/root"
dpkg-deb -x "$deb" "$root"
names() { # file line
    if ! grep -qxF "$2" "$root$1" 2>/dev/null; then
        echo "FAIL: $1 does not say $2"
        fail=1
    fi
}
names /usr/lib/systemd/user/zed-agent.service "ExecStart=/usr/bin/zed-agent"
names /usr/lib/systemd/user/zed-agent.service "WantedBy=default.target"
names /etc/xdg/autostart/zed-agent.desktop "Exec=/usr/libexec/zed/zed-agent-autostart"
names /usr/libexec/zed/zed-agent-autostart 'exec "/usr/bin/zed-agent" "$@"'
if [ "$driver" = 1 ]; then
    names /usr/lib/systemd/system/zed-driver.service "ExecStart=/usr/bin/zed-driver"
fi

grep -q '^Package: zed$' <<<"$control" || { echo "FAIL: package name: $control"; fail=1; }
for script in postinst prerm postrm; do
    dpkg-deb -I "$deb" $script >/dev/null 2>&1 || { echo "FAIL: no $script"; fail=1; }
done

# Debian's conventions: documentation, copyright and changelog in
# /usr/share/doc/zed, every file under /etc a conffile (and only those),
# stripped programs and modules, a maintainer of the project's own.
doc=/usr/share/doc/zed
for path in "$doc/README.md" "$doc/copyright" "$doc/changelog.Debian.gz" \
    /usr/share/man/man1/zed-agent.1.gz /usr/share/lintian/overrides/zed; do
    grep -qx "\.$path" <<<"$contents" || { echo "FAIL: $path is not in the package"; fail=1; }
done
others=$(grep '^\./usr/share/doc/.' <<<"$contents" | grep -v '^\./usr/share/doc/zed/')
[ -z "$others" ] || { echo "FAIL: documentation outside $doc: $others"; fail=1; }
head -n1 "$root$doc/copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    { echo "FAIL: $doc/copyright is not machine-readable (format 1.0)"; fail=1; }
version=$(dpkg-deb -f "$deb" Version)
top=$(gzip -dc "$root$doc/changelog.Debian.gz" 2>/dev/null | head -n1)
[ "$top" = "zed ($version) unstable; urgency=medium" ] ||
    { echo "FAIL: the changelog's latest entry \"$top\" is not the package's version $version"; fail=1; }
maintainer=$(dpkg-deb -f "$deb" Maintainer)
case $maintainer in
*@localhost* | "") echo "FAIL: no maintainer address of the project's: \"$maintainer\""; fail=1 ;;
esac

in_etc=$(grep '^\./etc/.*[^/]$' <<<"$contents" | sed 's|^\.||' | sort)
conffiles=$(dpkg-deb -I "$deb" conffiles 2>/dev/null | sort)
[ -n "$in_etc" ] && [ "$in_etc" = "$conffiles" ] ||
    { echo "FAIL: conffiles \"$conffiles\" are not the files under /etc \"$in_etc\""; fail=1; }

elves=0
while read -r path; do
    [ -f "$root$path" ] && [ "$(head -c4 "$root$path" | tr -d '\0')" = "$(printf '\177ELF')" ] || continue
    elves=$((elves + 1))
    sections=$(readelf -SW "$root$path" 2>/dev/null)
    if grep -qE ' \.(symtab|debug_[a-z]+|comment) ' <<<"$sections"; then
        echo "FAIL: $path is not stripped: $(grep -oE ' \.(symtab|debug_[a-z]+|comment) ' <<<"$sections" | tr -d ' ' | tr '\n' ' ')"
        fail=1
    fi
done < <(grep -E '^\./usr/(bin|lib)/' <<<"$contents" | sed 's|^\.||')
[ "$elves" -ge 4 ] || { echo "FAIL: only $elves programs and modules found to check"; fail=1; }

# lintian, as Debian checks its packages: no error or warning left but what
# the package's overrides say is so on purpose, and no override that matches
# nothing. Its notes (I:) are shown, not failed on.
if command -v lintian >/dev/null 2>&1; then
    if ! said=$(lintian --fail-on error,warning --display-info "$deb" 2>&1) ||
        grep -qE '^[EW]:|unused-override|mismatched-override' <<<"$said"; then
        echo "FAIL: lintian:"
        grep -v 'running with root privileges' <<<"$said"
        fail=1
    elif grep -q '^I:' <<<"$said"; then
        echo "lintian's notes:"
        grep '^I:' <<<"$said"
    fi
else
    echo "SKIP: lintian is not installed (scripts/setup installs it): the package was not linted"
fi

# The maintainer scripts, run against stand-ins that record what they are
# asked: udevadm, modprobe, systemctl and Debian's systemd helpers. Copies of
# the scripts take folders of this test for /run/systemd/system (systemd
# runs), /etc/systemd/user and the agent's program.
scripts="$out/control"
dpkg-deb -e "$deb" "$scripts"
fake="$out/fake"
mkdir -p "$fake/bin" "$fake/run/systemd/system" "$fake/etc/systemd/user"
for tool in udevadm modprobe systemctl deb-systemd-helper deb-systemd-invoke; do
    # shellcheck disable=SC2016
    printf '#!/bin/sh\necho "%s $*" >>"$FAKE_LOG"\nexit "${FAKE_STATUS:-0}"\n' "$tool" >"$fake/bin/$tool"
    chmod +x "$fake/bin/$tool"
done
cp /bin/sleep "$fake/zed-agent"
for script in postinst prerm postrm; do
    sed -e "s|/run/systemd/system|$fake/run/systemd/system|g" \
        -e "s|/etc/systemd/user|$fake/etc/systemd/user|g" \
        -e "s|/usr/bin/zed-agent|$fake/zed-agent|g" "$scripts/$script" >"$fake/$script"
    chmod +x "$fake/$script"
done
# Runs a maintainer script with its arguments; sets $asked and $status.
maintain() {
    local script=$1
    shift
    : >"$fake/log"
    FAKE_LOG="$fake/log" PATH="$fake/bin:$PATH" "$fake/$script" "$@" >/dev/null 2>&1
    status=$?
    asked=$(cat "$fake/log")
}
times() { grep -cxF -- "$1" <<<"$asked"; }
expect_times() { # line count description
    [ "$(times "$1")" = "$2" ] || {
        echo "FAIL: $3: \"$1\" asked $(times "$1") times, not $2 (asked: $(tr '\n' ';' <<<"$asked"))"
        fail=1
    }
}
driver_trigger="udevadm trigger --subsystem-match=input --action=change"
driver_restart="deb-systemd-invoke restart zed-driver.service"

mkdir -p "$fake/etc/systemd/user/graphical-session.target.wants"
ln -s /usr/lib/systemd/user/zed-agent.service "$fake/etc/systemd/user/graphical-session.target.wants/"
maintain postinst configure
expect_times "$driver_trigger" 1 "a first installation marks the mice plugged in, which starts the driver"
expect_times "$driver_restart" 0 "a first installation starts the driver once, not again"
expect_times "deb-systemd-helper --user enable zed-agent.service" 1 "the agent's user unit is enabled for every user"
expect_times "systemctl --system daemon-reload" 1 "systemd learns the driver's unit"
if grep '^systemctl ' <<<"$asked" | grep -qv daemon-reload; then
    echo "FAIL: the postinst runs systemctl itself: $asked"
    fail=1
fi
[ ! -e "$fake/etc/systemd/user/graphical-session.target.wants" ] ||
    { echo "FAIL: the earlier packages' enabling of the agent was left"; fail=1; }
[ "$(grep -n 'daemon-reload' <<<"$asked" | cut -d: -f1)" -lt "$(grep -n -- "$driver_trigger" <<<"$asked" | cut -d: -f1)" ] ||
    { echo "FAIL: udev is asked for the driver before systemd knows its unit: $asked"; fail=1; }

maintain postinst configure 0.1.0-1
expect_times "$driver_restart" 1 "an upgrade restarts a running driver into the new program"
expect_times "$driver_trigger" 0 "an upgrade does not make the driver release and grab the mice again"

mv "$fake/run/systemd/system" "$fake/run/systemd/gone"
maintain postinst configure
expect_times "$driver_trigger" 1 "without systemd the mice are still marked"
expect_times "systemctl --system daemon-reload" 0 "without systemd, systemd is not asked"
mv "$fake/run/systemd/gone" "$fake/run/systemd/system"

# Removal ends the agents of the users logged in: through their managers,
# and those no manager runs by their program; a failing helper fails nothing.
"$fake/zed-agent" 300 &
direct_agent=$!
FAKE_STATUS=1 maintain prerm remove
[ "$status" -eq 0 ] || { echo "FAIL: prerm remove failed ($status) when the helpers failed"; fail=1; }
expect_times "deb-systemd-invoke --user stop zed-agent.service" 1 "removal stops the agent in every user's manager"
expect_times "deb-systemd-invoke stop zed-driver.service" 1 "removal stops the driver"
deadline=$((SECONDS + 60))
while kill -0 "$direct_agent" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do
    sleep 0.1
done
if kill -0 "$direct_agent" 2>/dev/null; then
    echo "FAIL: an agent no manager runs was still running 60 s after removal"
    kill -KILL "$direct_agent"
    fail=1
fi
wait "$direct_agent" 2>/dev/null
maintain prerm upgrade
[ -z "$asked" ] || { echo "FAIL: an upgrade's prerm stops things: $asked"; fail=1; }

FAKE_STATUS=1 maintain postrm purge
[ "$status" -eq 0 ] || { echo "FAIL: postrm purge failed ($status) when the helpers failed"; fail=1; }
expect_times "deb-systemd-helper --user purge zed-agent.service" 1 "purging forgets the agent's enabling"
maintain postrm remove
expect_times "deb-systemd-helper --user mask zed-agent.service" 1 "removal masks the agent's unit until purged"
[ $fail -eq 0 ] && echo "$(basename "$deb") holds everything under /usr, naming /usr, by Debian's conventions"
exit $fail
