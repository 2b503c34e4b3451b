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
testing=-DBUILD_TESTING=OFF
[ "${FERROWIN_TESTS:-1}" = 0 ] || testing="-DBUILD_TESTING=ON -DFERROWIN_WINE_MODE=$(sh scripts/wine-probe.sh)"
# shellcheck disable=SC2086 # one word per option
cmake --no-warn-unused-cli -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake $testing >/dev/null
# shellcheck disable=SC2046 # one word per option
cmake --build "$build" $([ $# = 0 ] || printf -- '--target %s ' "$@") -j"$(nproc)" -- --no-print-directory >/dev/null
echo "$FERROWIN_BUILD"
