#!/bin/sh
# Creates Ferrowin's Wine prefix with the loader this host runs; quick when
# the prefix is there and was made by the same loader. A prefix made by the
# other loader is made anew.
set -eu
. "$(dirname "$0")/wine-env.sh"
marker=$WINEPREFIX/.ferrowin-ready
[ -f "$marker" ] && [ "$(cat "$marker")" = "$FERROWIN_PREFIX_KIND" ] && exit 0
sh "$FERROWIN_ROOT/scripts/wine-stop.sh"
# The folder itself stays: in the emulated machine it is a mount point.
mkdir -p "$WINEPREFIX"
find "$WINEPREFIX" -mindepth 1 -maxdepth 1 -exec rm -rf {} +
log=$FERROWIN_BUILD/wineboot.log
step_who=wineprefix step_log_kept=1
. "$FERROWIN_ROOT/scripts/step.sh"
# Wine's first process on a new prefix waits 5 minutes for wineboot, then
# fails to load kernel32 while wineboot goes on: on a slow machine (the
# emulated one) what counts is wineboot's own end, and the checks below.
"$FERROWIN_WINE" wineboot -i >"$log" 2>&1 || wineserver -w
# Without a window manager, Wine's managed windows wait 2 s on every hide.
step "setting Managed=N in the prefix" "$FERROWIN_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
wineserver -w
[ -f "$WINEPREFIX/system.reg" ] || { echo "wineprefix: wineboot left no registry in $WINEPREFIX ($log)" >&2; exit 1; }
echo "$FERROWIN_PREFIX_KIND" >"$marker"
