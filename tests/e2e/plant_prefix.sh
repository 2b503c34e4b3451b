#!/bin/sh
# Makes a copy of the build's Wine prefix with planted system DLLs: files are
# links, except the registry, which Wine writes, and the planted DLLs.
# Usage: plant_prefix.sh PREFIX COPY [FOLDER DLL]... where FOLDER is system32
# (64-bit DLLs) or syswow64 (32-bit ones), which is system32 in a 32-bit prefix.
set -eu
from=$1 to=$2
shift 2
[ -d "$to" ] && WINEPREFIX=$to wineserver -k 2>/dev/null || true
rm -rf "$to"
# Where the prefix lies on another file system than the copy (an overlay in
# the emulated machine), symbolic links stand in for hard links; the drive
# links stay relative, so that C: is the copy's own.
if ! cp -al "$from" "$to" 2>/dev/null; then
    rm -rf "$to"
    cp -as "$(cd "$from" && pwd)" "$to"
    rm -rf "$to/dosdevices"
    cp -a "$from/dosdevices" "$to/"
fi
for file in "$from"/*.reg; do
    cp --remove-destination "$file" "$to/"
done
while [ $# -ge 2 ]; do
    folder=$to/drive_c/windows/$1
    [ -d "$folder" ] || folder=$to/drive_c/windows/system32
    cp --remove-destination "$2" "$folder/"
    shift 2
done
