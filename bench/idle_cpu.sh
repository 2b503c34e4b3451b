#!/bin/sh
# Installs what is missing, builds Ferrowin and the idle child process, and
# compares Ferrowin's idle CPU with Wine's own task manager on a virtual X
# display: bench/idle_cpu_measure.sh does the measuring.
# Arguments: [seconds per window] [idle children] [settle seconds].
set -eu
cd "$(dirname "$0")/.."
FERROWIN_BUILD=$(sh scripts/build.sh ferrowin idle_child show_tab)
export FERROWIN_BUILD
WINEPREFIX=$FERROWIN_BUILD/wineprefix
export WINEPREFIX
sh scripts/wineprefix.sh
echo "machine: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')," \
    "load average $(cut -d' ' -f1-3 /proc/loadavg)"
xvfb-run -a -s '-screen 0 1280x1024x24' sh bench/idle_cpu_measure.sh "$@"
