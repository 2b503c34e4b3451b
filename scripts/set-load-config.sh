#!/bin/sh
# Points data directory 10 (load configuration) of a linked executable at its
# _load_config_used, found in the link's map file: ld 2.40 does not. The
# directory's size is 64 in a 32-bit image, the size Windows XP's loader takes
# as the only valid one there (the structure's own Size field tells newer
# loaders how much of it there is), and the structure's Size in a 64-bit one.
# Usage: set-load-config.sh EXE MAP
set -eu
exe=$1 map=$2
. "$(dirname "$0")/pe.sh"

# The map lists each symbol as "ADDRESS NAME"; the 32-bit name has the
# compiler's extra leading underscore.
address=$(awk '$2 == "_load_config_used" || $2 == "__load_config_used" { print $1; exit }' "$map")
if [ -z "$address" ]; then
    echo "set-load-config.sh: no _load_config_used in $map" >&2
    exit 1
fi
pe_headers "$exe"
rva=$((address - pe_image_base))
if [ "$pe_magic" = 267 ]; then
    size=64
else
    offset=$(pe_file_offset "$exe" "$rva") || {
        echo "set-load-config.sh: _load_config_used ($address) is in no section of $exe" >&2
        exit 1
    }
    size=$(pe_u32 "$exe" "$offset")
fi
pe_write_u32 "$exe" $((pe_directories + 10 * 8)) "$rva"
pe_write_u32 "$exe" $((pe_directories + 10 * 8 + 4)) "$size"
