#!/bin/sh
# Installs what is missing, builds Ferrowin and its tests, and runs every test
# under Wine on a virtual X display. The last line is CTest's summary.
set -eu
cd "$(dirname "$0")/.."
sh scripts/bootstrap.sh
build=${FERROWIN_BUILD:-build}
cmake --no-warn-unused-cli -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build "$build" -j"$(nproc)" -- --no-print-directory >/dev/null
status=0
xvfb-run -a -s '-screen 0 1280x1024x24' ctest --test-dir "$build" --output-on-failure || status=$?
WINEPREFIX=$(cd "$build" && pwd)/wineprefix wineserver -k 2>/dev/null || true
exit $status
