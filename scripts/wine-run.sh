#!/bin/sh
# Runs a Windows program under Wine in Ferrowin's prefix (the tests' emulator).
# A test of a 32-bit program (FERROWIN_NEEDS_WINE32=1) is skipped with exit
# code 77 and the reason where Wine runs 64-bit programs only, and gives what
# the emulated machine recorded for it (FERROWIN_TEST) on the machine's path;
# in the machine, this script records it in FERROWIN_VM_RESULTS.
# The output goes through a file: Wine's background processes, started by
# whichever program comes first, inherit its output and would hold a pipe
# open, and CTest waits for the pipe, long after the program itself ended.
. "$(dirname "$0")/wine-env.sh"
if [ "${FERROWIN_NEEDS_WINE32:-0}" = 1 ]; then
    case $FERROWIN_WINE_MODE in
    64)
        echo "Skipped: 32-bit build not run: $FERROWIN_WINE32_REASON"
        exit 77
        ;;
    vm)
        exec sh "$FERROWIN_ROOT/scripts/vm-run.sh" result "${FERROWIN_TEST:?no test name}"
        ;;
    esac
fi
out=$(mktemp)
trap 'rm -f "$out"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
status=0
start=$(date +%s)
"$FERROWIN_WINE" "$@" >"$out" 2>&1 </dev/null || status=$?
cat "$out"
if [ -n "${FERROWIN_VM_RESULTS:-}" ]; then
    # The status last: the host takes a test without one as not run.
    cp "$out" "$FERROWIN_VM_RESULTS/$FERROWIN_TEST.out"
    echo $(($(date +%s) - start)) >"$FERROWIN_VM_RESULTS/$FERROWIN_TEST.seconds"
    echo $status >"$FERROWIN_VM_RESULTS/$FERROWIN_TEST.status"
fi
exit $status
