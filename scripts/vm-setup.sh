#!/bin/sh
# Makes the small machine that runs the 32-bit tests where this host cannot
# run 32-bit programs: Debian's own kernel (which runs them) and a busybox
# initramfs, in $FERROWIN_BUILD/vm. Quick when both are there; the initramfs
# is made again when vm-init.sh changes. The kernel comes from the
# linux-image-amd64 package, fetched with apt-get download and unpacked with
# dpkg-deb; nothing is installed. Each failing step says which and shows the
# end of its output.
set -eu
# apt's output is read below: in English, whatever the caller's locale.
export LC_ALL=C LANG=C
: "${FERROWIN_BUILD:=$(cd "$(dirname "$0")/.." && pwd)/build}"
vm=$FERROWIN_BUILD/vm
init=$(dirname "$0")/vm-init.sh
initrd_stamp=$(cksum <"$init")
mkdir -p "$vm"
log=$vm/setup.log
step_who=vm-setup step_log_kept=1
. "$(dirname "$0")/step.sh"
fail() { echo "vm-setup: $1" >&2 && exit 1; }

work=$vm/setup
rm -rf "$work"
mkdir -p "$work/deb"
# The modules for the virtio PCI bus, 9p shares and overlays, each after those
# it depends on (read from its own .modinfo: the package has no modules.dep).
# One built into the kernel (modules.builtin) needs no loading.
order=""
add_module() { # add_module NAME
    case " $order " in *" $1 "*) return ;; esac
    if grep -q "/$1\.ko\$" "$modules/modules.builtin" 2>/dev/null; then
        order="$order $1" builtin="$builtin $1"
        return
    fi
    file=$(find "$modules/kernel" -name "$1.ko" -o -name "$1.ko.xz" -o -name "$1.ko.zst" | head -n 1)
    [ -n "$file" ] || fail "the kernel package has no module $1 (.ko, .ko.xz or .ko.zst) and does not build it in"
    # Debian's kernels after 6.1 ship their modules compressed; busybox's
    # insmod wants them plain.
    case $file in
    *.xz) busybox unxz -c "$file" ;;
    *.zst) zstd -dc "$file" ;;
    *) cat "$file" ;;
    esac >"$vm/modules/$1.ko" || fail "cannot unpack $file"
    # The shell's variables are global: the list is expanded before recursing.
    for dep in $(tr '\0' '\n' <"$vm/modules/$1.ko" | sed -n 's/^depends=//p' | tr ',' ' '); do
        add_module "$dep"
    done
    order="$order $1"
}

# The package that holds Debian's kernel: the one linux-image-amd64 depends
# on, read from the Depends field of its control data in apt's index.
kernel_package() {
    step "asking apt for linux-image-amd64's control data" apt-cache show --no-all-versions linux-image-amd64
    awk '/^Depends:/ { sub(/^Depends:/, ""); print; exit }' "$log" | tr ',|' '\n\n' |
        sed -n 's/^ *\(linux-image-[0-9][^ ]*\).*/\1/p' | head -n 1
}

# Debian's kernel and the modules the machine loads, kept in $vm.
make_kernel() {
    echo "vm-setup: fetching $package (Debian's kernel for the machine that runs the 32-bit tests)" >&2
    (cd "$work/deb" && step "downloading $package with apt-get download" apt-get download "$package")
    deb=$(ls "$work/deb"/*.deb)
    echo "vm-setup: unpacking the kernel" >&2
    step "unpacking $deb" dpkg-deb -x "$deb" "$work/root"

    kernel=$(ls "$work/root/boot" | sed -n 's/^vmlinuz-//p' | head -n 1)
    [ -n "$kernel" ] || fail "$deb holds no boot/vmlinuz-*"
    # Debian 13 keeps the modules under /usr/lib, Debian 12 under /lib.
    modules=$work/root/usr/lib/modules/$kernel
    [ -d "$modules" ] || modules=$work/root/lib/modules/$kernel
    [ -d "$modules/kernel" ] || fail "$deb holds no lib/modules/$kernel/kernel or usr/lib/modules/$kernel/kernel"

    rm -rf "$vm/modules"
    mkdir -p "$vm/modules"
    builtin=""
    for module in virtio_pci 9pnet_virtio 9p overlay; do add_module "$module"; done
    # Only the modules to load: the built-in ones are there already.
    for module in $builtin; do order=$(echo " $order " | sed "s/ $module / /"); done
    echo "$order" >"$vm/modules/order"
    cp "$work/root/boot/vmlinuz-$kernel" "$vm/vmlinuz"
    echo "$package" >"$vm/kernel-ready"
}
package=$(kernel_package)
[ -n "$package" ] || fail "linux-image-amd64 depends on no linux-image package (run apt-get update?)"
# A kernel fetched for another release (or an older one) is fetched anew.
if [ "$(cat "$vm/kernel-ready" 2>/dev/null)" != "$package" ]; then
    make_kernel
elif [ "$(cat "$vm/initrd-ready" 2>/dev/null)" = "$initrd_stamp" ]; then
    rm -rf "$work"
    exit 0
fi

# The initramfs holds nothing else: busybox must need no shared libraries.
dpkg-query -W -f='${Status}\n' busybox-static 2>/dev/null | grep -q 'install ok installed' ||
    fail "busybox-static is not installed (sh scripts/bootstrap.sh installs it)"
echo "vm-setup: making the machine's initramfs" >&2
mkdir -p "$work/initramfs/bin"
cp -r "$vm/modules" "$work/initramfs/modules"
cp /bin/busybox "$work/initramfs/bin/busybox"
cp "$init" "$work/initramfs/init"
chmod 755 "$work/initramfs/init" "$work/initramfs/bin/busybox"
step "packing the initramfs" sh -c 'cd "$1" && find . | busybox cpio -o -H newc -R 0:0 | gzip -1 >"$2"' pack \
    "$work/initramfs" "$vm/initrd.img"
rm -rf "$work"
echo "$initrd_stamp" >"$vm/initrd-ready"
