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
# CTest runs in a process group of its own (setsid), so that an interrupted
# run can end all of it: CTest, the virtual display, the tests, and then every
# Wine process of the build's prefix.
setsid xvfb-run -a -s '-screen 0 1280x1024x24' ctest --test-dir "$FERROWIN_BUILD" --output-on-failure "$@" &
run=$!
interrupted() {
    trap '' INT TERM
    echo "test: interrupted; stopping the tests and Wine" >&2
    kill -TERM "-$run" 2>/dev/null || true
    sh scripts/wine-stop.sh
    exit "$1"
}
trap 'interrupted 130' INT
trap 'interrupted 143' TERM
status=0
wait "$run" || status=$?
sh scripts/wine-stop.sh
exit $status
