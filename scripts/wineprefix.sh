#!/bin/sh
# Creates Ferrowin's Wine prefix with the loader this host runs; quick when
# the prefix is there and was made by the same loader. A prefix made by the
# other loader is made anew.
set -eu
. "$(dirname "$0")/wine-env.sh"
marker=$WINEPREFIX/.ferrowin-ready
if [ -f "$marker" ] && [ "$(cat "$marker")" = "$FERROWIN_PREFIX_KIND" ]; then
    exit 0
fi
sh "$FERROWIN_ROOT/scripts/wine-stop.sh"
# The folder itself stays: in the emulated machine it is a mount point.
mkdir -p "$WINEPREFIX"
find "$WINEPREFIX" -mindepth 1 -maxdepth 1 -exec rm -rf {} +
log=$FERROWIN_BUILD/wineboot.log
fail() {
    echo "wineprefix: $1; the last lines of $log:" >&2
    tail -n 15 "$log" >&2
    exit 1
}
if ! "$FERROWIN_WINE" wineboot -i >"$log" 2>&1; then
    fail "making the prefix with $FERROWIN_WINE failed"
fi
# Without a window manager, Wine's managed windows wait 2 s on every hide.
if ! "$FERROWIN_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$log" 2>&1; then
    fail "setting Managed=N in the prefix failed"
fi
wineserver -w
[ -f "$WINEPREFIX/system.reg" ] || fail "wineboot left no registry in $WINEPREFIX"
echo "$FERROWIN_PREFIX_KIND" >"$marker"
