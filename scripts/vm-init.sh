#!/bin/busybox sh
# The first process of the small machine that runs the 32-bit tests (its
# initramfs's /init, made by vm-setup.sh). Mounts the host's / read-only with
# a writable layer in memory on top, and the build's vm folder read-write at
# the same path as on the host, runs the job the host left in it as
# results/job.sh, records the job's exit status in results/status and powers
# off. The host's / stays readable, cached, at /run/ferrowin-host. Everything
# it says goes to the console, which the host keeps in a log.
/bin/busybox --install -s /bin
export PATH=/bin

say() { echo "vm-init: $*"; }
fail() { say "$*; powering off" && poweroff -f; }

mkdir -p /proc /sys /dev /host /rw /newroot /vm /keep
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
for module in $(cat /modules/order); do
    insmod "/modules/$module.ko" || fail "cannot load the kernel module $module"
done

# The host's files do not change under a test run, so the guest may cache them.
share="trans=virtio,version=9p2000.L,msize=262144"
mount -t 9p -o "$share,ro,cache=loose" host /host || fail "cannot mount the host's / (9p tag host)"
mount -t 9p -o "$share" vm /vm || fail "cannot mount the build's vm folder (9p tag vm)"
mount -t tmpfs -o size=75% tmpfs /rw
mkdir -p /rw/upper /rw/work
mount -t overlay overlay -o lowerdir=/host,upperdir=/rw/upper,workdir=/rw/work /newroot ||
    fail "cannot lay a writable overlay on the host's /"

# The overlay in a second place, without the mounts made on it below.
mount --bind /newroot /keep
mount -t proc proc /newroot/proc
mount -t sysfs sysfs /newroot/sys
mount -t devtmpfs devtmpfs /newroot/dev
mkdir -p /newroot/dev/pts /newroot/dev/shm
mount -t devpts devpts /newroot/dev/pts
for dir in /dev/shm /tmp /run; do mount -t tmpfs tmpfs "/newroot$dir"; done
chmod 1777 /newroot/tmp /newroot/dev/shm
# "where" names the vm folder, then the folders the job works in: those stay
# in view over the fresh /tmp and /run (clones often live in /tmp).
sed 1d /vm/where | while IFS= read -r path; do
    mkdir -p "/newroot$path"
    mount --bind "/keep$path" "/newroot$path" || fail "cannot find $path in the host's files"
done
where=$(sed -n 1p /vm/where)
mount --bind /vm "/newroot$where"
mkdir -p /newroot/run/ferrowin-host
mount --bind /host /newroot/run/ferrowin-host

say "running the job"
chroot /newroot /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin HOME=/root \
    TERM=dumb /bin/sh "$where/results/job.sh"
echo $? >/vm/results/status
say "job ended with $(cat /vm/results/status); powering off"
umount "/newroot$where" 2>/dev/null
sync
poweroff -f
