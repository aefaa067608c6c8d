#!/usr/bin/env bash
# Builds the Debian package with CPack into a temporary folder and checks its
# contents: everything under /usr (and the autostart entry in /etc), whatever
# prefix the build tree was configured with, and the installed paths named in
# the files that name them. Usage: check-deb.sh BUILD_DIR WITH_DRIVER(0|1)
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
names /etc/xdg/autostart/zed-agent.desktop "Exec=/usr/libexec/zed/zed-agent-autostart"
names /usr/libexec/zed/zed-agent-autostart 'exec "/usr/bin/zed-agent" "$@"'
if [ "$driver" = 1 ]; then
    names /usr/lib/systemd/system/zed-driver.service "ExecStart=/usr/bin/zed-driver"
fi

grep -q '^Package: zed$' <<<"$control" || { echo "FAIL: package name: $control"; fail=1; }
for script in postinst prerm postrm; do
    dpkg-deb -I "$deb" $script >/dev/null 2>&1 || { echo "FAIL: no $script"; fail=1; }
done
if [ "$driver" = 1 ]; then
    dpkg-deb -I "$deb" postinst 2>/dev/null | grep -q 'udevadm control --reload-rules' ||
        { echo "FAIL: postinst does not reload the udev rules"; fail=1; }
    dpkg-deb -I "$deb" postinst 2>/dev/null | grep -q 'systemctl daemon-reload' ||
        { echo "FAIL: postinst does not reload systemd"; fail=1; }
fi
[ $fail -eq 0 ] && echo "$(basename "$deb") holds everything under /usr, naming /usr"
exit $fail
