#!/bin/sh
# Creates Ferrowin's Wine prefix once; quick when it is already there.
set -eu
. "$(dirname "$0")/wine-env.sh"
[ -f "$WINEPREFIX/.ferrowin-ready" ] && exit 0
mkdir -p "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
# Without a window manager, Wine's managed windows wait 2 s on every hide.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w
touch "$WINEPREFIX/.ferrowin-ready"
