#!/bin/sh
# Installs what is missing, builds Ferrowin and its tests, and runs every test
# under Wine on a virtual X display. The output ends with CTest's summary.
set -eu
cd "$(dirname "$0")/.."
build=$(sh scripts/build.sh)
status=0
xvfb-run -a -s '-screen 0 1280x1024x24' ctest --test-dir "$build" --output-on-failure || status=$?
WINEPREFIX=$build/wineprefix wineserver -k 2>/dev/null || true
exit $status
