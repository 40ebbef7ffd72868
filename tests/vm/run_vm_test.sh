#!/usr/bin/env bash
# Runs the force-feedback device test in a QEMU guest and compares what the device saw with the
# expected log.
#
#   run_vm_test.sh DRIVER CLIENT GUEST_INIT EXPECTED_LOG WORK_DIR RUMBLE_CLIENT EXPECTED_RUMBLE_LOG
#
# The guest runs the sine device test (CLIENT, compared with EXPECTED_LOG), then the rumble pad
# test (RUMBLE_CLIENT, compared with EXPECTED_RUMBLE_LOG).
#
# Debian's kernel package (the one linux-image-amd64 depends on) is fetched with apt-get download
# and unpacked, never installed; the uncompressed kernel and the input modules are kept in
# ${KINETRA_VM_CACHE:-~/.cache/kinetra-vm}/<package>_<version>. The initramfs (static busybox,
# the driver, the client and every library they load) is built afresh in WORK_DIR each run.
#
# Exit status: 0 pass, 1 fail (QEMU missing among them), 77 skipped (QEMU is installed but cannot
# start on this machine).
set -euo pipefail

if [ $# -ne 7 ]; then
    echo "usage: $0 DRIVER CLIENT GUEST_INIT EXPECTED_LOG WORK_DIR RUMBLE_CLIENT EXPECTED_RUMBLE_LOG" >&2
    exit 2
fi
rumble_client=$(readlink -f "$6")
expected_rumble=$(readlink -f "$7")
driver=$(readlink -f "$1")
client=$(readlink -f "$2")
guest_init=$(readlink -f "$3")
expected=$(readlink -f "$4")
work=$5
qemu=${KINETRA_VM_QEMU:-qemu-system-x86_64}
busybox=${KINETRA_VM_BUSYBOX:-/bin/busybox}
guest_timeout=${KINETRA_VM_TIMEOUT:-150}
SKIP=77
fetch_tmp=""
trap '[ -z "$fetch_tmp" ] || rm -rf "$fetch_tmp"' EXIT

say() { echo "vm-test: $*" >&2; }
fail() {
    say "FAIL: $*"
    exit 1
}

# --- can QEMU start at all? ------------------------------------------------------------------
if ! command -v "$qemu" >/dev/null 2>&1; then
    fail "$qemu is not installed (tools/install-deps.sh test)"
fi
if ! probe=$(timeout 20 "$qemu" -accel tcg -machine none -nodefaults -display none \
    -monitor none -serial none -no-reboot -S -qmp stdio 2>&1 <<<'{"execute":"qmp_capabilities"}
{"execute":"quit"}'); then
    say "SKIP: $qemu cannot start here: $probe"
    exit $SKIP
fi
if [ ! -x "$busybox" ] || ldd "$busybox" >/dev/null 2>&1; then
    fail "$busybox is not a static busybox (install busybox-static)"
fi

mkdir -p "$work"
work=$(readlink -f "$work")

# --- kernel and modules, cached per package version -------------------------------------------
cache_root=${KINETRA_VM_CACHE:-${XDG_CACHE_HOME:-${HOME:-$work}/.cache}/kinetra-vm}
mkdir -p "$cache_root"

# Sets pkg and version from the package index (empty when it does not know them).
find_kernel_package() {
    pkg=$(apt-cache depends linux-image-amd64 2>/dev/null |
        awk '!f && /Depends: linux-image-/{print $2; f = 1}' || true)
    version=""
    if [ -n "$pkg" ]; then
        version=$(apt-cache show --no-all-versions "$pkg" 2>/dev/null |
            awk '!f && /^Version:/{print $2; f = 1}' || true)
    fi
}
find_kernel_package
if { [ -z "$pkg" ] || [ -z "$version" ]; } && [ "$(id -u)" = 0 ] &&
    ! ls -d "$cache_root"/linux-image-*/ >/dev/null 2>&1; then
    say "the package index does not know linux-image-amd64; running apt-get update"
    apt-get update -qq >/dev/null 2>&1 || true
    find_kernel_package
fi
if [ -n "$pkg" ] && [ -n "$version" ]; then
    kdir=$cache_root/${pkg}_$version
else
    # No package index: use the newest kernel already cached, if any.
    kdir=$(ls -d "$cache_root"/linux-image-*/ 2>/dev/null | sort -V | tail -1 || true)
    kdir=${kdir%/}
    [ -n "$kdir" ] || fail "cannot find the linux-image-amd64 package (apt-get update?) and nothing is cached in $cache_root"
    say "no package index; using the cached $(basename "$kdir")"
fi

# Writes DIR/kernel (vmlinux with a PVH entry note, or the bzImage) and DIR/modules/*.ko with
# DIR/modules/order (dependencies first).
prepare_kernel() {
    local dir=$1 tmp
    tmp=$(mktemp -d "$cache_root/.fetch.XXXXXX")
    fetch_tmp=$tmp
    say "fetching $pkg $version (once; cached in $dir)"
    (cd "$tmp" && apt-get download -q "$pkg=$version" >/dev/null 2>"$tmp/apt.err") ||
        fail "apt-get download $pkg=$version failed: $(tail -3 "$tmp/apt.err")"
    mkdir "$tmp/x"
    dpkg-deb -x "$tmp"/*.deb "$tmp/x" || fail "cannot unpack the kernel package"
    local vmlinuz
    vmlinuz=$(ls "$tmp"/x/boot/vmlinuz-* 2>/dev/null | sed -n 1p)
    [ -n "$vmlinuz" ] || fail "the kernel package holds no /boot/vmlinuz-*"
    mkdir -p "$tmp/out/modules"

    # The bzImage carries the kernel as an xz stream; QEMU boots the uncompressed ELF directly
    # (much faster than letting the guest decompress itself) when it has a PVH entry note.
    local off
    off=$(LC_ALL=C grep -obUaP '\xfd\x37\x7a\x58\x5a\x00' "$vmlinuz" | sed -n 1p | cut -d: -f1 || true)
    if [ -n "$off" ]; then
        # xz may complain about what follows the stream; the ELF note check below decides.
        tail -c +$((off + 1)) "$vmlinuz" | xz -dc >"$tmp/vmlinux" 2>/dev/null || true
    fi
    if [ -s "$tmp/vmlinux" ] && command -v readelf >/dev/null &&
        readelf -n "$tmp/vmlinux" 2>/dev/null | grep -c 'Xen.*(0x00000012)' >/dev/null; then
        mv "$tmp/vmlinux" "$tmp/out/kernel"
    else
        say "no uncompressed PVH kernel found; booting the bzImage (slower)"
        cp "$vmlinuz" "$tmp/out/kernel"
    fi

    # Modules, with their dependencies first (read from each module's own depends= entry).
    local moddir order=()
    moddir=$(ls -d "$tmp"/x/lib/modules/*/kernel 2>/dev/null | sed -n 1p)
    [ -n "$moddir" ] || fail "the kernel package holds no modules"
    add_module() {
        local name=$1 file base dep deps seen
        for seen in "${order[@]}"; do [ "$seen" = "$name.ko" ] && return 0; done
        file=$(find "$moddir" -name "$name.ko" -o -name "$name.ko.xz" -o -name "$name.ko.gz" \
            -o -name "$name.ko.zst" | sed -n 1p)
        if [ -z "$file" ]; then
            # Module names use '_' and '-' interchangeably.
            file=$(find "$moddir" -name "${name//_/-}.ko*" -o -name "${name//-/_}.ko*" | sed -n 1p)
        fi
        if [ -z "$file" ]; then
            # Not a module: built into this kernel.
            grep -q "/$name.ko" "$moddir/../modules.builtin" 2>/dev/null ||
                say "module $name not found; assuming it is built in"
            return 0
        fi
        base=$tmp/out/modules/$name.ko
        case "$file" in
            *.ko.xz) xz -dc "$file" >"$base" ;;
            *.ko.gz) gzip -dc "$file" >"$base" ;;
            *.ko.zst) zstd -qdc "$file" >"$base" ;;
            *) cp "$file" "$base" ;;
        esac
        deps=$(tr '\0' '\n' <"$base" | sed -n 's/^depends=//p' | sed -n 1p | tr ',' ' ')
        for dep in $deps; do add_module "$dep"; done
        order+=("$name.ko")
    }
    add_module evdev
    add_module uinput
    printf '%s\n' "${order[@]}" >"$tmp/out/modules/order"
    echo "$pkg $version" >"$tmp/out/package"
    rm -rf "$dir"
    mv "$tmp/out" "$dir"
    rm -rf "$tmp"
    fetch_tmp=""
}

exec 9>"$cache_root/.lock"
flock -w 600 9 || fail "the kernel cache $cache_root stays locked"
if [ ! -s "$kdir/kernel" ] || [ ! -s "$kdir/modules/order" ]; then
    [ -n "$pkg" ] && [ -n "$version" ] || fail "no kernel cached in $kdir"
    prepare_kernel "$kdir"
    # Older kernels are of no more use.
    for old in "$cache_root"/linux-image-*/; do
        [ "${old%/}" = "$kdir" ] || rm -rf "${old%/}"
    done
fi
flock -u 9

# --- initramfs ---------------------------------------------------------------------------------
root=$work/initramfs
rm -rf "$root"
mkdir -p "$root"/{bin,dev,proc,sys,tmp,modules,lib64}
cp "$busybox" "$root/bin/busybox"
cp "$guest_init" "$root/init"
chmod 755 "$root/init"
cp "$driver" "$root/bin/ff_driver"
cp "$client" "$root/bin/ff_client"
cp "$rumble_client" "$root/bin/ff_rumble_client"
cp "$kdir"/modules/* "$root/modules/"

# Every shared library the programs load, at its host path; libudev is loaded at run time by
# SDL, so ldd cannot see it.
copy_libs() {
    local lib
    for lib in $(ldd "$@" 2>/dev/null | awk '/=> \//{print $3} /^[ \t]*\/[^ ]+ \(/{print $1}' | sort -u); do
        if [ ! -e "$root$lib" ]; then
            mkdir -p "$root$(dirname "$lib")"
            cp -L "$lib" "$root$lib"
        fi
    done
}
copy_libs "$driver" "$client" "$rumble_client"
udev_lib=$(ldconfig -p 2>/dev/null | awk '!f && /libudev\.so\.1 .*x86-64/{print $NF; f = 1}')
[ -n "$udev_lib" ] || udev_lib=/lib/x86_64-linux-gnu/libudev.so.1
if [ -e "$udev_lib" ]; then
    mkdir -p "$root$(dirname "$udev_lib")"
    cp -L "$udev_lib" "$root$udev_lib"
    copy_libs "$udev_lib"
else
    say "warning: libudev.so.1 not found; SDL may not see the device"
fi
(cd "$root" && find . | cpio -o -H newc --quiet) >"$work/initramfs.cpio"

# --- run the guest -------------------------------------------------------------------------------
console=$work/console.log
raw=$work/guest-output.log
rm -f "$console" "$raw"
say "booting $(cat "$kdir/package") under $qemu (software emulation, at most ${guest_timeout}s)"
start=$(date +%s)
set +e
# Two virtual processors, so that the client's two threads really overlap.
timeout -k 5 "$guest_timeout" "$qemu" -accel tcg -smp 2 -m 512M -nodefaults -no-reboot \
    -display none -monitor none \
    -serial "file:$console" -serial "file:$raw" \
    -kernel "$kdir/kernel" -initrd "$work/initramfs.cpio" \
    -append "console=ttyS0 panic=-1 quiet" >"$work/qemu.out" 2>&1 </dev/null
qemu_status=$?
set -e
say "guest ran $(($(date +%s) - start)) s (qemu status $qemu_status)"

show_guest() {
    echo "---- guest diagnostics ----" >&2
    sed -n '/^=== kinetra-vm diagnostics/,$p' "$raw" 2>/dev/null | tr -d '\r' >&2 || true
    echo "---- qemu ----" >&2
    cat "$work/qemu.out" >&2 || true
    echo "---- last kernel messages ----" >&2
    tail -n 30 "$console" 2>/dev/null | tr -d '\r' >&2 || true
}

if [ $qemu_status -eq 124 ] || [ $qemu_status -eq 137 ]; then
    show_guest
    fail "the guest did not power off within ${guest_timeout}s"
fi
if [ ! -s "$raw" ] || ! grep -q '^=== kinetra-vm done' <(tr -d '\r' <"$raw"); then
    show_guest
    fail "the guest wrote no complete log (qemu status $qemu_status)"
fi

actual=$work/actual.log
tr -d '\r' <"$raw" | sed -n '/^=== kinetra-vm log begin/,/^=== kinetra-vm log end/p' |
    sed '1d;$d' >"$actual"
guest_status=$(tr -d '\r' <"$raw" | sed -n 's/^=== kinetra-vm log end status=//p')

grep -v '^#' "$expected" >"$work/expected.log"
if ! diff -u --label expected "$work/expected.log" --label actual "$actual" >"$work/log.diff"; then
    echo "---- what the device saw differs from the expected log (- expected, + actual) ----" >&2
    cat "$work/log.diff" >&2
    show_guest
    fail "device log mismatch (full log: $actual)"
fi
if [ "$guest_status" != 0 ]; then
    show_guest
    fail "the driver or the client failed in the guest (status $guest_status)"
fi

actual_rumble=$work/actual-rumble.log
tr -d '\r' <"$raw" | sed -n '/^=== kinetra-vm rumble log begin/,/^=== kinetra-vm rumble log end/p' |
    sed '1d;$d' >"$actual_rumble"
rumble_status=$(tr -d '\r' <"$raw" | sed -n 's/^=== kinetra-vm rumble log end status=//p')
grep -v '^#' "$expected_rumble" >"$work/expected-rumble.log"
if ! diff -u --label expected "$work/expected-rumble.log" --label actual "$actual_rumble" \
    >"$work/rumble.diff"; then
    echo "---- what the rumble pad saw differs from the expected log (- expected, + actual) ----" >&2
    cat "$work/rumble.diff" >&2
    show_guest
    fail "rumble pad log mismatch (full log: $actual_rumble)"
fi
if [ "$rumble_status" != 0 ]; then
    show_guest
    fail "the driver or the rumble client failed in the guest (status $rumble_status)"
fi
sed -n 's/^ff_rumble_client: \(reconnected .*\)/vm-test: rumble pad \1/p; s/^ff_driver: \(first rumble .*\)/vm-test: \1/p' \
    <(tr -d '\r' <"$raw") >&2 || true
say "PASS: $(grep -c . "$actual") device log lines and $(grep -c . "$actual_rumble") rumble pad log lines as expected"
