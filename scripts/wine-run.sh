#!/bin/sh
# Runs a Windows program under Wine in Ferrowin's prefix (the tests' emulator).
# A test of a 32-bit program (FERROWIN_NEEDS_WINE32=1) on a host whose Wine
# runs 64-bit programs only is skipped with exit code 77 and the reason.
# The output goes through a file: Wine's background processes, started by
# whichever program comes first, inherit its output and would hold a pipe
# open, and CTest waits for the pipe, long after the program itself ended.
. "$(dirname "$0")/wine-env.sh"
if [ "${FERROWIN_NEEDS_WINE32:-0}" = 1 ] && [ "$FERROWIN_WINE_MODE" = 64 ]; then
    echo "Skipped: 32-bit build not run: $FERROWIN_WINE32_REASON"
    exit 77
fi
out=$(mktemp)
trap 'rm -f "$out"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
status=0
"$FERROWIN_WINE" "$@" >"$out" 2>&1 </dev/null || status=$?
cat "$out"
exit $status
