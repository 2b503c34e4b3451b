#!/bin/sh
# Installs what is missing, finds out which Wine programs this host runs
# (scripts/wine-probe.sh; the tests' time limits depend on it), configures and
# builds the given targets (all when none are named) in $FERROWIN_BUILD
# (default build/), and prints the build folder's absolute path. With
# FERROWIN_TESTS=0 the tests are left out and Wine is not asked: the release
# is built that way.
# Usage: FERROWIN_BUILD=$(sh scripts/build.sh [TARGET...])
set -eu
cd "$(dirname "$0")/.."
sh scripts/bootstrap.sh
build=${FERROWIN_BUILD:-build}
mkdir -p "$build"
FERROWIN_BUILD=$(cd "$build" && pwd)
export FERROWIN_BUILD
if [ "${FERROWIN_TESTS:-1}" = 0 ]; then
    testing=-DBUILD_TESTING=OFF
else
    mode=$(sh scripts/wine-probe.sh)
    testing="-DBUILD_TESTING=ON -DFERROWIN_WINE_MODE=$mode"
fi
# shellcheck disable=SC2086 # one word per option
cmake --no-warn-unused-cli -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake $testing >/dev/null
targets=""
for target in "$@"; do
    targets="$targets --target $target"
done
# shellcheck disable=SC2086 # one word per option
cmake --build "$build" $targets -j"$(nproc)" -- --no-print-directory >/dev/null
echo "$FERROWIN_BUILD"
