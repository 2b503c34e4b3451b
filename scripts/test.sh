#!/bin/sh
# Installs what is missing, builds Ferrowin and its tests, and runs every test
# under Wine on a virtual X display. The output ends with CTest's summary.
# On a host that cannot run 32-bit programs, the 32-bit entries run in a small
# emulated machine (scripts/vm-run.sh); with FERROWIN_WINE32=0 they are
# reported as skipped, with the reason.
set -eu
cd "$(dirname "$0")/.."
FERROWIN_BUILD=$(sh scripts/build.sh)
export FERROWIN_BUILD
. scripts/wine-env.sh
case $FERROWIN_WINE_MODE in
64)
    echo "test: the _x86 entries will be skipped: $FERROWIN_WINE32_REASON"
    ;;
vm)
    echo "test: the _x86 entries run in an emulated machine, all in one boot (qemu without KVM: slow): $FERROWIN_WINE32_REASON"
    sh scripts/vm-setup.sh
    # The machine runs the _x86 entries that these arguments select.
    FERROWIN_CTEST_ARGS=$(for arg; do printf '%s ' "$(quote "$arg")"; done)
    export FERROWIN_CTEST_ARGS
    ;;
esac
# CTest runs in a process group of its own (setsid), so that an interrupted
# run can end all of it: CTest, the virtual display, the tests and the
# emulated machine, and then every Wine process of the build's prefix.
mkdir -p "$FERROWIN_BUILD/vm"
touch "$FERROWIN_BUILD/vm/test-started"
setsid xvfb-run -a -s "$FERROWIN_SCREEN" ctest --test-dir "$FERROWIN_BUILD" --output-on-failure "$@" &
run=$!
interrupted() {
    trap '' INT TERM
    echo "test: interrupted; stopping the tests and Wine" >&2
    kill -TERM "-$run" 2>/dev/null || true
    sh scripts/wine-stop.sh
    exit "$1"
}
trap 'interrupted 130' INT
trap 'interrupted 143' TERM
status=0
wait "$run" || status=$?
sh scripts/wine-stop.sh
log=$FERROWIN_BUILD/vm/results/ctest.log
if [ "$FERROWIN_WINE_MODE" = vm ] && [ -n "$(find "$log" -newer "$FERROWIN_BUILD/vm/test-started" 2>/dev/null)" ]; then
    echo "test: the _x86 entries' times in the emulated machine: $log"
fi
exit $status
