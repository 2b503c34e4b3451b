# Sourced by the benchmark scripts with $targets set: installs what is
# missing, builds those targets, makes the prefix and prints the machine.
# $bench_build is the build measured: the x86-64 one where this host's Wine
# runs 64-bit programs only (the emulated machine is too slow to measure).
set -eu
cd "$(dirname "$0")/.."
FERROWIN_BUILD=$(sh scripts/build.sh $targets)
. scripts/wine-env.sh
# shellcheck disable=SC2086 # one word per target
build_run_tree $targets
bench_build=$FERROWIN_RUN_BUILD
export FERROWIN_WINE bench_build
sh scripts/wineprefix.sh
echo "machine: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')," \
    "load average $(cut -d' ' -f1-3 /proc/loadavg)"
