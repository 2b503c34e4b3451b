#!/bin/sh
# Runs a Windows program under Wine in Ferrowin's prefix (the tests' emulator).
# The output goes through a file: Wine's background processes, started by
# whichever program comes first, inherit its output and would hold a pipe
# open, and CTest waits for the pipe, long after the program itself ended.
. "$(dirname "$0")/wine-env.sh"
out=$(mktemp)
status=0
wine "$@" >"$out" 2>&1 </dev/null || status=$?
cat "$out"
rm -f "$out"
exit $status
