#!/bin/sh
# Installs what is missing, builds Ferrowin and starts it under Wine: on
# $DISPLAY when there is one, otherwise on a virtual display, saving a
# screenshot after a few seconds and saying where. Where Wine runs only
# 64-bit programs, the 64-bit executable is started instead, and it says why
# and how to see the 32-bit one: FERROWIN_WINE32=vm starts that in the
# emulated machine (scripts/vm-run.sh), headless, and saves its screenshot.
set -eu
cd "$(dirname "$0")/.."
FERROWIN_BUILD=$(sh scripts/build.sh ferrowin)
export FERROWIN_BUILD
. scripts/wine-env.sh
shot=$FERROWIN_BUILD/ferrowin.png
if [ "$FERROWIN_WINE_MODE" = vm ] && [ "${FERROWIN_WINE32:-}" = vm ]; then
    echo "run: starting the 32-bit ferrowin.exe in the emulated machine, headless (a few minutes)"
    sh scripts/vm-run.sh screenshot "$shot"
    echo "The 32-bit Ferrowin ran in the emulated machine; screenshot saved to $shot"
    exit 0
fi
build_run_tree ferrowin
exe=$FERROWIN_RUN_BUILD/ferrowin.exe
if [ "$FERROWIN_WINE_MODE" = vm ]; then
    echo "run: starting the 64-bit ferrowin.exe; the 32-bit one can be seen with FERROWIN_WINE32=vm sh scripts/run.sh (in an emulated machine, headless: a screenshot): $FERROWIN_WINE32_REASON"
elif [ "$FERROWIN_WINE_MODE" = 64 ]; then
    echo "run: starting the 64-bit ferrowin.exe; the 32-bit one is not run: $FERROWIN_WINE32_REASON"
fi

if [ -n "${DISPLAY:-}" ]; then
    sh scripts/wineprefix.sh
    exec sh scripts/wine-run.sh "$exe"
fi

xvfb-run -a -s "$FERROWIN_SCREEN" sh scripts/screenshot.sh "$exe" "$shot"
echo "No \$DISPLAY: Ferrowin ran on a virtual display; screenshot saved to $shot"
