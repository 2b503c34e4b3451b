#!/bin/sh
# Installs what is missing, builds the refresh benchmarks and runs them under
# Wine on a virtual X display. Prints one table, the refresh/bare-calls ratio
# last. Arguments go to refresh_bench: [runs] [idle children] [--no-scaled].
targets=bench
. "$(dirname "$0")/common.sh"
# Wine is stopped while the display is still up, so that nothing complains
# about a lost X connection on the way out.
xvfb-run -a -s "$FERROWIN_SCREEN" sh -c \
    'status=0; sh scripts/wine-run.sh "$bench_build/bench/refresh_bench.exe" "$@" || status=$?
     wineserver -k 2>/dev/null || true; exit $status' refresh "$@"
