# Debian 12's own kernel for the test machines (scripts/vm-test and
# scripts/system-test): the image package that linux-image-amd64 depends on,
# fetched with apt-get download and unpacked into VMDIR/kernel once, with an
# uncompressed vmlinux beside it; later runs reuse it until Debian publishes
# a newer one. Sourced; the caller defines say, die, as_root, $depmod and
# $vmdir. find_kernel sets $kernel (the unpacked folder), $release and
# $modroot (its modules).

# The image package that linux-image-amd64 depends on now: NAME=VERSION.
kernel_package() {
    apt-cache show --no-all-versions linux-image-amd64 2>/dev/null |
        sed -n 's/^Depends:.*\(linux-image-[^ ,]*\) (= \([^)]*\)).*/\1=\2/p' | head -n 1
}

fetch_kernel() { # NAME=VERSION DIR
    local package=$1 dir=$2 work=$2.partial deb release
    say "fetching $package"
    rm -rf "$work"
    mkdir -p "$work/download"
    apt_options=()
    # As root, apt hands downloads to its sandbox user, who cannot write
    # into a build tree; root does it directly instead (quietly).
    [ "$(id -u)" -ne 0 ] || apt_options=(-o APT::Sandbox::User=root)
    if ! (cd "$work/download" && apt-get download -q "${apt_options[@]}" "$package"); then
        rm -rf "$work"
        return 1
    fi
    deb=$(echo "$work"/download/*.deb)
    dpkg-deb -x "$deb" "$work/root"
    rm -rf "$work/download"
    release=$(ls "$work/root/lib/modules")
    "$depmod" -b "$work/root" "$release"
    python3 scripts/vm/extract-vmlinux "$work/root/boot/vmlinuz-$release" "$work/vmlinux"
    echo "$release" >"$work/release"
    mv "$work" "$dir"
}

find_kernel() {
    local lists_changed answer package
    # apt-cache takes seconds on a machine without a package cache: its answer
    # is kept until the package lists change.
    lists_changed=$(stat -c %Y /var/lib/apt/lists 2>/dev/null || echo 0)
    answer=$vmdir/kernel-package
    if [ -f "$answer" ] && [ "$(sed -n 1p "$answer")" = "$lists_changed" ]; then
        package=$(sed -n 2p "$answer")
    else
        package=$(kernel_package)
        if [ -z "$package" ]; then
            # A machine that never fetched the package lists.
            as_root apt-get update -qq || true
            lists_changed=$(stat -c %Y /var/lib/apt/lists 2>/dev/null || echo 0)
            package=$(kernel_package)
        fi
        [ -z "$package" ] || printf '%s\n%s\n' "$lists_changed" "$package" >"$answer"
    fi
    if [ -n "$package" ]; then
        kernel=$vmdir/kernel/${package/=/_}
        if [ ! -f "$kernel/vmlinux" ]; then
            mkdir -p "$vmdir/kernel"
            if ! fetch_kernel "$package" "$kernel"; then
                # Package lists older than the archive name a version it no
                # longer has: fetch them afresh and ask again, once.
                as_root apt-get update -qq || true
                package=$(kernel_package)
                [ -n "$package" ] || die "cannot tell which kernel package to fetch"
                printf '%s\n%s\n' "$(stat -c %Y /var/lib/apt/lists 2>/dev/null || echo 0)" \
                    "$package" >"$answer"
                kernel=$vmdir/kernel/${package/=/_}
                [ -f "$kernel/vmlinux" ] || fetch_kernel "$package" "$kernel" ||
                    die "apt-get download $package failed"
            fi
            # Older kernels are no longer needed.
            find "$vmdir/kernel" -mindepth 1 -maxdepth 1 ! -path "$kernel" -exec rm -rf {} +
        fi
    else
        kernel=$(find "$vmdir/kernel" -mindepth 1 -maxdepth 1 -type d ! -name '*.partial' \
            2>/dev/null | sort | tail -n 1)
        [ -n "$kernel" ] || die "cannot tell which kernel package to fetch (apt-cache show linux-image-amd64)"
        say "no package lists: using the kernel unpacked before ($(basename "$kernel"))"
    fi
    release=$(cat "$kernel/release")
    modroot=$kernel/root/lib/modules/$release
}
