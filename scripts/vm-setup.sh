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
[ -f "$vm/kernel-ready" ] && [ "$(cat "$vm/initrd-ready" 2>/dev/null)" = "$initrd_stamp" ] && exit 0

log=$vm/setup.log
step_who=vm-setup step_log_kept=1
. "$(dirname "$0")/step.sh"
fail() { echo "vm-setup: $1" >&2 && exit 1; }

work=$vm/setup
rm -rf "$work"
mkdir -p "$work/deb"
# The modules for the virtio PCI bus, 9p shares and overlays, each after those
# it depends on (read from its own .modinfo: the package has no modules.dep).
order=""
add_module() { # add_module NAME
    case " $order " in *" $1 "*) return ;; esac
    file=$(find "$modules" -name "$1.ko" -o -name "$1.ko.xz" | head -n 1)
    [ -n "$file" ] || fail "the kernel package has no module $1.ko or $1.ko.xz"
    # Debian's kernels after 6.1 ship their modules xz-compressed; busybox's
    # insmod wants them plain.
    case $file in *.xz) busybox unxz -c "$file" ;; *) cat "$file" ;; esac >"$vm/modules/$1.ko" ||
        fail "cannot unpack $file"
    # The shell's variables are global: the list is expanded before recursing.
    for dep in $(tr '\0' '\n' <"$vm/modules/$1.ko" | sed -n 's/^depends=//p' | tr ',' ' '); do
        add_module "$dep"
    done
    order="$order $1"
}

# Debian's kernel and the modules the machine loads, kept in $vm.
make_kernel() {
    # linux-image-amd64 only depends on the versioned package that holds the kernel.
    step "asking apt which package holds Debian's kernel" apt-cache depends linux-image-amd64
    package=$(sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' "$log" | head -n 1)
    [ -n "$package" ] || fail "apt-cache names no kernel package for linux-image-amd64 (run apt-get update?)"
    echo "vm-setup: fetching $package (Debian's kernel for the machine that runs the 32-bit tests)" >&2
    (cd "$work/deb" && step "downloading $package with apt-get download" apt-get download "$package")
    deb=$(ls "$work/deb"/*.deb)
    echo "vm-setup: unpacking the kernel" >&2
    step "unpacking $deb" dpkg-deb -x "$deb" "$work/root"

    kernel=$(ls "$work/root/boot" | sed -n 's/^vmlinuz-//p' | head -n 1)
    [ -n "$kernel" ] || fail "$deb holds no boot/vmlinuz-*"
    modules=$work/root/lib/modules/$kernel/kernel

    rm -rf "$vm/modules"
    mkdir -p "$vm/modules"
    for module in virtio_pci 9pnet_virtio 9p overlay; do add_module "$module"; done
    echo "$order" >"$vm/modules/order"
    cp "$work/root/boot/vmlinuz-$kernel" "$vm/vmlinuz"
    echo "$package" >"$vm/kernel-ready"
}
[ -f "$vm/kernel-ready" ] || make_kernel

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
