#!/bin/sh
# Builds the release zip, the 32-bit and 64-bit executables, the README and a
# SHA-256 list, in dist/ferrowin-VERSION.zip, and the test kit for Windows
# from the same build (scripts/make-kit.sh) in dist/ferrowin-tests-VERSION.zip.
# Everything is built as scripts/build.sh builds it for the tests (the 64-bit
# programs in the 32-bit build's x86_64/ tree), and the executables pass the
# executable checks the tests run before anything is zipped.
set -eu
cd "$(dirname "$0")/.."
release=$(FERROWIN_BUILD=build-release sh scripts/build.sh)
# The version is project()'s in CMakeLists.txt, as CMake wrote it for the program.
header=$release/generated/res/program.h
version=$(sed -n 's/^#define PROGRAM_VERSION "\(.*\)"$/\1/p' "$header" 2>/dev/null || true)
[ -n "$version" ] || { echo "release: no PROGRAM_VERSION in $header; nothing made" >&2 && exit 1; }

stage="dist/ferrowin-$version"
rm -rf "$stage" "$stage.zip"
for bits in 32 64; do
    [ "$bits" = 32 ] && tree=$release || tree=$release/x86_64
    log=$tree/exe-checks.log
    if ! /usr/bin/python3 tests/static/check_exe.py "$tree/ferrowin.exe" "$bits" "$tree/ferrowin_rebased.exe" >"$log" 2>&1; then
        echo "release: the $bits-bit executable fails its checks ($log); nothing made:" >&2
        grep -v '^ok ' "$log" >&2
        exit 1
    fi
done
mkdir -p "$stage"
cp "$release/ferrowin.exe" "$stage/ferrowin.exe"
cp "$release/x86_64/ferrowin.exe" "$stage/ferrowin64.exe"
cp README.md "$stage/README.md"
(cd "$stage" && sha256sum ferrowin.exe ferrowin64.exe README.md >SHA256SUMS)
# Fixed times and no extra attributes: the same sources give the same zip.
find "$stage" -exec touch -d '2026-01-01 00:00:00 UTC' {} +
(cd dist && find "ferrowin-$version" | LC_ALL=C sort | zip -q -X -D "ferrowin-$version.zip" -@)
cp "$release/kit/ferrowin-tests-$version.zip" "dist/ferrowin-tests-$version.zip"
echo "$(pwd)/$stage.zip"
cat "$stage/SHA256SUMS"
echo "$(pwd)/dist/ferrowin-tests-$version.zip"
