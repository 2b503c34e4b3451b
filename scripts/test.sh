#!/bin/sh
# Installs what is missing, builds Ferrowin and its tests, and runs every test
# under Wine on a virtual X display. The output ends with CTest's summary.
# On a host whose Wine runs 64-bit programs only, the 32-bit entries are
# reported as skipped, with the reason.
set -eu
cd "$(dirname "$0")/.."
FERROWIN_BUILD=$(sh scripts/build.sh)
export FERROWIN_BUILD
. scripts/wine-env.sh
if [ "$FERROWIN_WINE_MODE" = 64 ]; then
    echo "test: the _x86 entries will be skipped: $FERROWIN_WINE32_REASON"
fi
# An interrupted run leaves no Wine process behind.
trap 'sh scripts/wine-stop.sh; exit 130' INT
trap 'sh scripts/wine-stop.sh; exit 143' TERM
status=0
xvfb-run -a -s '-screen 0 1280x1024x24' ctest --test-dir "$FERROWIN_BUILD" --output-on-failure "$@" || status=$?
sh scripts/wine-stop.sh
exit $status
