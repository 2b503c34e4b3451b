#!/bin/sh
# Finds out, by running it, whether Wine's 32-bit side works on this host, and
# records the path taken in $FERROWIN_BUILD/wine-mode: on the first line
# "full" (32- and 64-bit programs here), "vm" (64-bit programs here, 32-bit
# ones in a small emulated machine: vm-run.sh) or "64" (64-bit programs only),
# the reason on the second. Where the 32-bit side does not work, the path is
# "vm". FERROWIN_WINE32=0 takes the 64-bit-only path on any host;
# FERROWIN_WINE32=vm takes the machine's path on any host; FERROWIN_WINE32=1
# insists on the full path and fails where it cannot run. Prints the mode.
set -eu
: "${FERROWIN_BUILD:=$(cd "$(dirname "$0")/.." && pwd)/build}"
record=$FERROWIN_BUILD/wine-mode
mkdir -p "$FERROWIN_BUILD"

if ! answer=$(/usr/lib/wine/wine64 --version 2>&1); then
    echo "wine-probe: Wine's 64-bit loader does not run here: $answer" >&2
    echo "wine-probe: install wine64 (sh scripts/bootstrap.sh)" >&2
    exit 1
fi

if [ ! -e /usr/lib/wine/wine ]; then
    reason="Wine's 32-bit loader (package wine32:i386) is not installed"
elif answer=$(/usr/lib/wine/wine --version 2>&1); then
    reason=""
elif echo "$answer" | grep -q "Exec format error"; then
    reason="this host cannot execute 32-bit Linux programs (IA-32 emulation is off), so Wine's 32-bit loader fails with Exec format error"
else
    reason="Wine's 32-bit loader fails here: $(echo "$answer" | tail -n 1)"
fi

case ${FERROWIN_WINE32:-} in
0) mode=64 reason="FERROWIN_WINE32=0 asks for 64-bit Wine only${reason:+; besides, $reason}" ;;
vm) mode=vm reason="FERROWIN_WINE32=vm asks for the emulated machine${reason:+; besides, $reason}" ;;
1 | "")
    mode=full
    if [ -n "$reason" ] && [ "${FERROWIN_WINE32:-}" = 1 ]; then
        echo "wine-probe: FERROWIN_WINE32=1 asks for 32-bit Wine, but $reason" >&2
        exit 1
    fi
    [ -z "$reason" ] || mode=vm
    ;;
*)
    echo "wine-probe: FERROWIN_WINE32 must be 0, 1 or vm, not '$FERROWIN_WINE32'" >&2
    exit 1
    ;;
esac
printf '%s\n%s\n' "$mode" "$reason" >"$record"
echo "$mode"
