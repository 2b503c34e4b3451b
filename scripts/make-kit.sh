#!/bin/sh
# Makes the test kit from a build tree that holds the tests (the 32-bit build,
# with the 64-bit one in its x86_64/ tree): both executables, the test
# programs that run on Windows, the DLLs they plant and tests/kit/run-tests.cmd,
# as NAME/x86/... and NAME/x64/... in ZIP, with fixed times, so that the same
# sources give the same zip. Fails, naming them, when a program in the kit
# imports a DLL that a bare Windows lacks. With a third argument, also unzips
# the kit into that folder. Does nothing when the kit is newer than all that
# goes into it.
# Usage: make-kit.sh BUILD ZIP [FOLDER]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1 zip=$2 folder=${3:-}
name=$(basename "$zip" .zip)
files="ferrowin.exe tests/table_tests.exe tests/ui_tests.exe tests/trim_tests.exe
tests/process_ops_tests.exe tests/soak_tests.exe tests/e2e/e2e_driver.exe
tests/e2e/stack_overrun.exe tests/e2e/planted_psapi/ferrowin.exe
tests/e2e/planted_psapi/psapi.dll tests/e2e/planted_comctl32/ferrowin.exe
tests/e2e/planted_comctl32/comctl32.dll"
# Nothing to do when the kit is there and none of what goes into it is newer.
current=1
[ -f "$zip" ] && { [ -z "$folder" ] || [ -d "$folder" ]; } || current=0
for input in "$root/tests/kit/run-tests.cmd" "$0"; do
    [ "$current" = 0 ] || [ ! "$input" -nt "$zip" ] || current=0
done
for file in $files; do
    for tree in "$build" "$build/x86_64"; do
        [ -f "$tree/$file" ] || { echo "make-kit: $tree/$file is not built" >&2 && exit 1; }
        [ "$current" = 0 ] || [ ! "$tree/$file" -nt "$zip" ] || current=0
    done
done
[ "$current" = 0 ] || exit 0

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
kit=$stage/$name
for bits in x86 x64; do
    [ "$bits" = x86 ] && tree=$build || tree=$build/x86_64
    for file in $files; do
        mkdir -p "$kit/$bits/$(dirname "$file")"
        cp "$tree/$file" "$kit/$bits/$file"
    done
done
# cmd reads its labels reliably only from lines that end as Windows' do.
sed 's/$/\r/' "$root/tests/kit/run-tests.cmd" >"$kit/run-tests.cmd"

# Every DLL a program imports must come with Windows itself: no MinGW runtime.
/usr/bin/python3 - "$kit" <<'EOF'
import os, sys
import pefile
system = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "comctl32.dll", "psapi.dll", "msvcrt.dll"}
bad = []
for folder, _, files in os.walk(sys.argv[1]):
    for file in files:
        if file.endswith((".exe", ".dll")):
            pe = pefile.PE(os.path.join(folder, file), fast_load=True)
            pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
            names = {d.dll.decode().lower() for d in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
            if names - system:
                bad.append("%s: %s" % (os.path.relpath(os.path.join(folder, file), sys.argv[1]), " ".join(sorted(names - system))))
if bad:
    sys.exit("make-kit: programs that import DLLs a bare Windows lacks:\n  " + "\n  ".join(bad))
EOF

find "$kit" -exec touch -d '2026-01-01 00:00:00 UTC' {} +
mkdir -p "$(dirname "$zip")"
rm -f "$zip"
zip=$(cd "$(dirname "$zip")" && pwd)/$(basename "$zip")
# The files in one order whatever the file system's.
(cd "$stage" && find "$name" | LC_ALL=C sort | zip -q -X -D "$zip" -@)
if [ -n "$folder" ]; then
    rm -rf "$folder"
    mkdir -p "$folder"
    /usr/bin/python3 -m zipfile -e "$zip" "$folder"
fi
