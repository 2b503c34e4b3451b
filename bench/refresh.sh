#!/bin/sh
# Installs what is missing, builds the refresh benchmarks and runs them under
# Wine on a virtual X display. Prints one table, the refresh/bare-calls ratio
# last. Arguments go to refresh_bench: [runs] [idle children] [--no-scaled].
set -eu
cd "$(dirname "$0")/.."
FERROWIN_BUILD=$(sh scripts/build.sh bench)
export FERROWIN_BUILD
WINEPREFIX=$FERROWIN_BUILD/wineprefix
export WINEPREFIX
sh scripts/wineprefix.sh
echo "machine: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')," \
    "load average $(cut -d' ' -f1-3 /proc/loadavg)"
# Wine is stopped while the display is still up, so that nothing complains
# about a lost X connection on the way out.
xvfb-run -a -s '-screen 0 1280x1024x24' sh -c \
    'status=0; sh scripts/wine-run.sh "$FERROWIN_BUILD/bench/refresh_bench.exe" "$@" || status=$?
     wineserver -k 2>/dev/null || true; exit $status' refresh "$@"
