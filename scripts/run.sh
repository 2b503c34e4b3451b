#!/bin/sh
# Installs what is missing, builds Ferrowin and starts it under Wine: on
# $DISPLAY when there is one, otherwise on a virtual display, saving a
# screenshot after a few seconds and saying where.
set -eu
cd "$(dirname "$0")/.."
FERROWIN_BUILD=$(sh scripts/build.sh ferrowin)
export FERROWIN_BUILD

if [ -n "${DISPLAY:-}" ]; then
    sh scripts/wineprefix.sh
    exec sh scripts/wine-run.sh "$FERROWIN_BUILD/ferrowin.exe"
fi

shot="$FERROWIN_BUILD/ferrowin.png"
xvfb-run -a -s '-screen 0 1024x768x24' sh scripts/screenshot.sh "$FERROWIN_BUILD/ferrowin.exe" "$shot"
echo "No \$DISPLAY: Ferrowin ran on a virtual display; screenshot saved to $shot"
