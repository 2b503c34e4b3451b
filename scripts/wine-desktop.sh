#!/bin/sh
# Starts Wine's desktop in Ferrowin's prefix on $DISPLAY and keeps it up until
# the prefix's Wine processes are ended (wine-stop.sh), so that no test is the
# program that waits for it: Wine gives its desktop process 10 s to start,
# and a program whose wait ran out can make no window at all
# (tests/support/desktop_holder.cpp). Gives up after $1 seconds (default 300).
set -eu
. "$(dirname "$0")/wine-env.sh"
holder=$FERROWIN_RUN_BUILD/tests/support/desktop_holder.exe
limit=${1:-300}
[ -f "$holder" ] || { echo "wine-desktop: $holder is not built" >&2 && exit 1; }
out=$(mktemp)
trap 'rm -f "$out"' EXIT
start=$(date +%s) tries=0
until grep -q '^ready' "$out"; do
    tries=$((tries + 1))
    "$FERROWIN_WINE" "$holder" >"$out" 2>&1 </dev/null &
    # Until it is ready or has ended without a window (then once more).
    while kill -0 $! 2>/dev/null && ! grep -q '^ready' "$out"; do
        [ $(($(date +%s) - start)) -lt "$limit" ] ||
            { echo "wine-desktop: Wine's desktop did not start in $limit s ($tries starts)" >&2 && exit 1; }
        sleep 1
    done
done
echo "wine-desktop: Wine's desktop is up after $(($(date +%s) - start)) s ($tries starts)"
