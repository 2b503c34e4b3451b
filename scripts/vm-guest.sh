#!/bin/sh
# The job inside the small machine (vm-run.sh boots it): the host's files,
# read-only beneath a writable layer in memory, and $FERROWIN_BUILD/vm shared
# with the host. Here 32-bit Wine runs.
#   vm-guest.sh tests       runs the _x86 entries named in results/tests.regex
#                           under CTest on a virtual display; wine-run.sh
#                           records each one's output and status
#   vm-guest.sh screenshot  saves results/ferrowin.png of the 32-bit program
set -eu
vm=$FERROWIN_BUILD/vm
results=$vm/results
cd "$FERROWIN_ROOT"
echo "vm-guest: $(uname -r), $(nproc) processors; $1"

# This machine's own record of the Wine path (in the writable layer).
FERROWIN_WINE32=1 sh scripts/wine-probe.sh
. scripts/wine-env.sh
# The host need not have made its own prefix folder yet.
mkdir -p "$WINEPREFIX" /tmp/prefix/lower /tmp/prefix/upper /tmp/prefix/work

# The host's prefix is made by the 64-bit loader; this one by the full path.
# Making it takes minutes here, so the first boot keeps a copy in vm/, and
# later boots lay a layer in memory over that copy (read through the cached
# view of the host's files).
stamp="$(wine --version) $(cksum <scripts/wineprefix.sh)"
if [ -f "$vm/wineprefix/.ferrowin-ready" ] && [ "$(cat "$vm/wineprefix.stamp" 2>/dev/null)" = "$stamp" ]; then
    # Bound to a plain name first: a comma would end the overlay's option.
    mount --bind "/run/ferrowin-host$vm/wineprefix" /tmp/prefix/lower
    mount -t overlay overlay -o lowerdir=/tmp/prefix/lower,upperdir=/tmp/prefix/upper,workdir=/tmp/prefix/work \
        "$WINEPREFIX"
    echo "vm-guest: the 32-bit prefix from an earlier boot"
else
    mount -t tmpfs tmpfs "$WINEPREFIX"
    start=$(date +%s)
    sh scripts/wineprefix.sh
    echo "vm-guest: made the 32-bit prefix in $(($(date +%s) - start)) s"
    rm -rf "$vm/wineprefix" "$vm/wineprefix.new" "$vm/wineprefix.stamp"
    cp -a "$WINEPREFIX" "$vm/wineprefix.new"
    mv "$vm/wineprefix.new" "$vm/wineprefix"
    echo "$stamp" >"$vm/wineprefix.stamp"
    echo "vm-guest: kept a copy of it for later boots ($(($(date +%s) - start)) s in all)"
fi

case $1 in
tests)
    export FERROWIN_VM_RESULTS=$results/tests
    status=0
    # Wine's desktop first, which starts too slowly here for the first test
    # that would wait for it (wine-desktop.sh). -FS: the machine's set-up is
    # this very job.
    # shellcheck disable=SC2016 # expanded by the inner shell
    xvfb-run -a -s "$FERROWIN_SCREEN" sh -c 'sh scripts/wine-desktop.sh &&
        exec ctest --test-dir "$1" -FS x86_vm -R "$2" --output-on-failure' \
        sh "$FERROWIN_BUILD" "$(cat "$results/tests.regex")" >"$results/ctest.log" 2>&1 ||
        status=$?
    echo "vm-guest: CTest ended with $status"
    ;;
screenshot)
    xvfb-run -a -s "$FERROWIN_SCREEN" sh scripts/screenshot.sh "$FERROWIN_BUILD/ferrowin.exe" \
        "$results/ferrowin.png" >"$results/screenshot.log" 2>&1
    ;;
esac
sh scripts/wine-stop.sh
