#!/bin/sh
# Points data directory 10 (load configuration) of a linked executable at its
# _load_config_used, found in the link's map file: ld 2.40 does not. Its size
# is 64 in a 32-bit image, the only one Windows XP's loader takes (the
# structure's own Size tells newer loaders the rest), the structure's Size in
# a 64-bit one. The CheckSum the linker computed is then computed anew.
# Nothing is written unless the whole structure, with its documented Size,
# lies in one section.
# Usage: set-load-config.sh EXE MAP
set -eu
exe=$1 map=$2
. "$(dirname "$0")/pe.sh"

fail() { echo "set-load-config.sh: $*; $exe left as linked" >&2 && exit 1; }

# The map lists each symbol as "ADDRESS NAME", the address in hex with or
# without 0x; the 32-bit name may have the compiler's extra leading underscore.
address=$(awk '$2 == "_load_config_used" || $2 == "__load_config_used" { print $1; exit }' "$map")
[ -n "$address" ] || fail "no _load_config_used in $map"
digits=${address#0[xX]}
case $digits in
"" | *[!0-9a-fA-F]*) fail "the address of _load_config_used in $map, \"$address\", is not a hex number" ;;
esac
pe_headers "$exe"
if [ "$pe_magic" = 267 ]; then
    documented=164 size=64
elif [ "$pe_magic" = 523 ]; then
    documented=264 size=264
else
    fail "optional header magic $pe_magic is neither PE32 (267) nor PE32+ (523)"
fi
rva=$((0x$digits - pe_image_base))
# The whole structure must lie in one section's bytes, not only its start.
offset=$(pe_file_offset "$exe" "$rva") && end=$(pe_file_offset "$exe" $((rva + documented - 1))) &&
    [ "$end" = $((offset + documented - 1)) ] ||
    fail "_load_config_used ($address, RVA $(printf 0x%x "$rva")) is not within one section of $exe"
found=$(pe_u32 "$exe" "$offset")
[ "$found" = "$documented" ] ||
    fail "the structure at _load_config_used ($address) has Size $found, not the documented $documented"

pe_write_u32 "$exe" $((pe_directories + 10 * 8)) "$rva"
pe_write_u32 "$exe" $((pe_directories + 10 * 8 + 4)) "$size"
pe_write_u32 "$exe" "$pe_checksum_at" "$(pe_checksum "$exe")"
