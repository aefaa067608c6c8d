#!/usr/bin/env bash
# Builds the Debian package with CPack into a temporary folder and checks its
# contents. Usage: check-deb.sh BUILD_DIR PREFIX
set -u
build=$1 prefix=$2
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
for path in "$prefix/bin/zed-agent" "$prefix/lib/systemd/user/zed-agent.service" \
    "/etc/xdg/autostart/zed-agent.desktop" "$prefix/lib/udev/rules.d/70-zed-uinput.rules" \
    "$prefix/libexec/zed/zed-agent-autostart"; do
    case $prefix in /usr | /usr/local) ;; *) [ "$path" = /etc/xdg/autostart/zed-agent.desktop ] && continue ;; esac
    if ! grep -qx "\.$path" <<<"$contents"; then
        echo "FAIL: $path is not in the package"
        fail=1
    fi
done
grep -q '^Package: zed$' <<<"$control" || { echo "FAIL: package name: $control"; fail=1; }
dpkg-deb -I "$deb" postinst >/dev/null 2>&1 || { echo "FAIL: no postinst"; fail=1; }
[ $fail -eq 0 ] && echo "$(basename "$deb") holds the agent, its unit, autostart entry and udev rule"
exit $fail
