#!/bin/sh
# Installs what is missing, builds Ferrowin and starts it under Wine: on
# $DISPLAY when there is one, otherwise on a virtual display, saving a
# screenshot after a few seconds and saying where. Where Wine runs only
# 64-bit programs, the 64-bit executable is started instead, and it says why.
set -eu
cd "$(dirname "$0")/.."
FERROWIN_BUILD=$(sh scripts/build.sh ferrowin)
export FERROWIN_BUILD
. scripts/wine-env.sh
exe=$FERROWIN_BUILD/ferrowin.exe
if [ "$FERROWIN_WINE_MODE" = 64 ]; then
    sh scripts/build.sh x86_64 >/dev/null
    exe=$FERROWIN_BUILD/x86_64/ferrowin.exe
    echo "run: starting the 64-bit ferrowin.exe; the 32-bit one is not run: $FERROWIN_WINE32_REASON"
fi

if [ -n "${DISPLAY:-}" ]; then
    sh scripts/wineprefix.sh
    exec sh scripts/wine-run.sh "$exe"
fi

shot=$FERROWIN_BUILD/ferrowin.png
xvfb-run -a -s '-screen 0 1024x768x24' sh scripts/screenshot.sh "$exe" "$shot"
echo "No \$DISPLAY: Ferrowin ran on a virtual display; screenshot saved to $shot"
