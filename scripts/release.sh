#!/bin/sh
# Builds the release zip: the 32-bit and 64-bit executables, the README and a
# SHA-256 list, in dist/ferrowin-VERSION.zip.
set -eu
cd "$(dirname "$0")/.."
sh scripts/bootstrap.sh
for arch in i686 x86_64; do
    cmake --no-warn-unused-cli -S . -B "build-release/$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DFERROWIN_WITH_X64=OFF >/dev/null
    cmake --build "build-release/$arch" --target ferrowin -j"$(nproc)" -- --no-print-directory >/dev/null
done
# The version is project()'s in CMakeLists.txt, as CMake wrote it for the program.
header=build-release/i686/generated/res/program.h
version=$(sed -n 's/^#define PROGRAM_VERSION "\(.*\)"$/\1/p' "$header" 2>/dev/null || true)
if [ -z "$version" ]; then
    echo "release: no PROGRAM_VERSION in $header; nothing made" >&2
    exit 1
fi

stage="dist/ferrowin-$version"
rm -rf "$stage" "$stage.zip"
mkdir -p "$stage"
cp build-release/i686/ferrowin.exe "$stage/ferrowin.exe"
cp build-release/x86_64/ferrowin.exe "$stage/ferrowin64.exe"
cp README.md "$stage/README.md"
(cd "$stage" && sha256sum ferrowin.exe ferrowin64.exe README.md >SHA256SUMS)
# Fixed times and no extra attributes: the same sources give the same zip.
find "$stage" -exec touch -d '2026-01-01 00:00:00 UTC' {} +
(cd dist && zip -q -X -r "ferrowin-$version.zip" "ferrowin-$version")
echo "$(pwd)/$stage.zip"
cat "$stage/SHA256SUMS"
