# The hardening checks of check_exe.sh, sourced by it: ASLR, DEP and
# Terminal Server flags, NO_SEH or HIGH_ENTROPY_VA, the header's checksum,
# relocations proven by a second link at another image base, the load
# configuration and the stack protector's use of its cookie, the manifest.
# They use check_exe.sh's helpers, $headers, $resources, $exe, $bits, $triple.
. "$(dirname "$0")/../../scripts/pe.sh"
pe_headers "$exe"

check_dll_characteristics() {
    flags=$((0x$(field DllCharacteristics)))
    # DYNAMIC_BASE 0x40, NX_COMPAT 0x100, TERMINAL_SERVER_AWARE 0x8000;
    # NO_SEH 0x400, HIGH_ENTROPY_VA 0x20.
    has_flags 0x140 "DYNAMIC_BASE and NX_COMPAT"
    has_flags 0x8000 TERMINAL_SERVER_AWARE
    if [ "$bits" = 32 ]; then has_flags 0x400 NO_SEH; else has_flags 0x20 HIGH_ENTROPY_VA; fi
}
has_flags() { # has_flags MASK WHAT
    expect "$2" "DllCharacteristics $(field DllCharacteristics)" [ $((flags & $1)) = $(($1)) ]
}

# CheckSum, computed here from the file's 32-bit words: their sum folded to
# 16 bits equals the platform's sum of 16-bit words with end-around carries.
# A step that writes the file after the linker leaves the linker's sum stale.
check_checksum() {
    stored=$(pe_u32 "$exe" "$pe_checksum_at")
    computed=$(od -An -v -tu4 "$exe" | awk -v skip=$((pe_checksum_at / 4)) -v bytes="$(wc -c <"$exe")" '
        { for (i = 1; i <= NF; i++) if (n++ != skip) sum += $i }
        END {
            while (sum > 65535) sum = sum % 65536 + int(sum / 65536)
            printf "%d\n", sum + bytes
        }')
    expect "CheckSum matches the file" "$(printf 'header 0x%08x, file 0x%08x' "$stored" "$computed")" [ "$stored" = "$computed" ]
}

# The sections of an image that have bytes in the file (not .bss), as
# "NAME SIZE VMA FILE-OFFSET" in hex.
sections_of() { # sections_of EXE
    "$triple-objdump" -h "$1" | awk '$1 ~ /^[0-9]+$/ && $6 !~ /^0+$/ { print $2, $3, $4, $6 }'
}

# The executable as the awk programs below read it: its sections, then its
# bytes (od's decimal dump), given as their first two files; with base, the
# image base, set.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sections_of "$exe" >"$work/sections"
od -An -v -tu1 "$exe" >"$work/bytes"
image_awk='
    function hex(s,    n, i) {
        for (i = 1; i <= length(s); i++) n = n * 16 + index("0123456789abcdef", tolower(substr(s, i, 1))) - 1
        return n + 0
    }
    # The file offset of the WIDTH bytes at RVA R; -1 when no section holds them.
    function offset_of(r, width,    s) {
        for (s = 1; s <= count; s++)
            if (r >= rva[s] && r + width <= rva[s] + size[s]) return offset[s] + r - rva[s]
        return -1
    }
    # The little-endian number in the WIDTH bytes at file offset AT.
    function value_at(at, width,    v, i) {
        for (i = width - 1; i >= 0; i--) v = v * 256 + a[at + i]
        return v
    }
    FILENAME == ARGV[1] { name[++count] = $1; size[count] = hex($2); rva[count] = hex($3) - base; offset[count] = hex($4); next }
    FILENAME == ARGV[2] { for (i = 1; i <= NF; i++) a[bytes++] = $i; next }'

# Applies EXE's base relocations for the difference of the two image bases
# and compares every section with the same program linked at the other base:
# a missing or wrong relocation leaves a difference.
check_relocations() { # check_relocations OTHER-EXE
    what="relocations take the image to another base byte for byte"
    if [ ! -f "${1:-}" ]; then
        check FAIL "$what" "no second link to compare with (${1:-none given})"
        return
    fi
    sections_of "$1" >"$work/other-sections"
    od -An -v -tu1 "$1" >"$work/other-bytes"
    other_base=$(pe_headers "$1" && echo "$pe_image_base")
    # The fixups are objdump's reading of .reloc: "reloc N offset X [RVA] TYPE".
    found=$(echo "$headers" | awk -v delta=$((other_base - pe_image_base)) -v base="$pe_image_base" "$image_awk"'
        FILENAME == ARGV[3] { other[FNR] = $1 " " hex($2) " " hex($4); next }
        FILENAME == ARGV[4] { for (i = 1; i <= NF; i++) b[other_bytes++] = $i; next }
        $1 == "reloc" && $6 != "ABSOLUTE" { gsub(/[][]/, "", $5); fixup_rva[++fixups] = hex($5); fixup_type[fixups] = $6 }
        END {
            if (fixups == 0) { print "no base relocations"; exit }
            for (s = 1; s <= count; s++)
                if (other[s] != name[s] " " size[s] " " offset[s]) { print "section " s " differs in name, size or place"; exit }
            for (f = 1; f <= fixups; f++) {
                width = fixup_type[f] == "HIGHLOW" ? 4 : fixup_type[f] == "DIR64" ? 8 : 0
                if (!width) { print "unexpected fixup type " fixup_type[f]; exit }
                at = offset_of(fixup_rva[f], width)
                if (at < 0) { printf "fixup at RVA %x is in no section\n", fixup_rva[f]; exit }
                v = value_at(at, width) + delta
                if (width == 4) v %= 4294967296
                for (i = 0; i < width; i++) { a[at + i] = v % 256; v = int(v / 256) }
            }
            for (s = 1; s <= count; s++)
                for (k = offset[s]; k < offset[s] + size[s]; k++)
                    if (a[k] != b[k]) { differ++; if (!first) first = sprintf("%s+0x%x", name[s], k - offset[s]) }
            if (differ) print differ " bytes differ, the first at " first
            else print "OK " fixups " fixups"
        }' "$work/sections" "$work/bytes" "$work/other-sections" "$work/other-bytes" -)
    case $found in
    OK*) check OK "$what (${found#OK })" ;;
    *) check FAIL "$what" "$found" ;;
    esac
}

# Data directory 10 and the structure it points at: the sizes old and new
# loaders accept, DependentLoadFlags LOAD_LIBRARY_SEARCH_SYSTEM32 and a cookie
# that holds the documented default, which loaders replace with a random one.
check_load_config() {
    if [ "$bits" = 32 ]; then
        structure=164 directory=64 flags_at=54 cookie_at=60 cookie=3141592654
    else
        structure=264 directory=264 flags_at=78 cookie_at=88 cookie=47936899621426
    fi
    entry=$(echo "$headers" | awk '$1 == "Entry" && $2 == "a" { print $3, $4 }')
    rva=$((0x${entry% *})) size=$((0x${entry#* }))
    if [ "$rva" = 0 ] || ! offset=$(pe_file_offset "$exe" "$rva"); then
        check FAIL "load configuration directory" "data directory 10 is ${entry:-missing}"
        return
    fi
    same "$directory $structure" "$size $(pe_u32 "$exe" "$offset")" "load configuration sizes: directory $directory, structure $structure"
    same 2048 "$(pe_u16 "$exe" $((offset + flags_at)))" "DependentLoadFlags LOAD_LIBRARY_SEARCH_SYSTEM32"
    found=0
    address=$(pe_pointer "$exe" $((offset + cookie_at)))
    if [ "$address" -gt "$pe_image_base" ] && cookie_offset=$(pe_file_offset "$exe" $((address - pe_image_base))); then
        found=$(pe_pointer "$exe" "$cookie_offset")
    fi
    expect "security cookie holds the default value" "found $found at $(printf 0x%x "$address")" [ "$found" = "$cookie" ]
    found=$(cookie_readers "$address")
    expect "the stack protector's code reads the security cookie ($found instructions)" \
        "the cookie at $(printf 0x%x "$address") is not the guard the code checks" [ "$found" -ge 2 ]
}

# How many instructions of .text read or write the variable at ADDRESS: as
# an absolute operand (32-bit), or through a RIP-relative operand (objdump
# notes its target after #) that is the variable or a pointer slot holding
# its address, which is how x86-64 code reaches a variable of another object.
# The executable has no symbols, so this is how a guard shows: each protected
# function reads it on entry and compares with it before returning.
cookie_readers() { # cookie_readers ADDRESS
    "$triple-objdump" -d -j .text "$exe" |
        awk -v cookie="$(printf %x "$1")" -v value="$1" -v width=$((bits / 8)) -v base="$pe_image_base" "$image_awk"'
        /^ *[0-9a-f]+:\t/ {
            split($0, part, "\t")
            if (part[3] ~ /^(call|j)/) next
            if (match(part[3], /# 0x[0-9a-f]+/)) at = substr(part[3], RSTART + 4, RLENGTH - 4)
            else if (match(part[3], /[ ,]0x[0-9a-f]+(,|$)/)) at = substr(part[3], RSTART + 3, RLENGTH - 3)
            else next
            sub(/,$/, "", at)
            sub(/^0+/, "", at)
            refs[at]++
        }
        END {
            for (at in refs) {
                if (at == cookie) { n += refs[at]; continue }
                at_file = offset_of(hex(at) - base, width)
                if (at_file >= 0 && value_at(at_file, width) == value) n += refs[at]
            }
            print n + 0
        }' "$work/sections" "$work/bytes" -
}

check_manifest() {
    manifest=$(echo "$resources" | awk '$1 == "1" && $2 == "24" { inside = 1 } inside { print } inside && /^END/ { exit }')
    level=$(echo "$manifest" | sed -n 's/.*requestedExecutionLevel level=""\([A-Za-z]*\)"".*/\1/p')
    [ -n "$manifest" ] && found="level ${level:-missing}" || found="no manifest 1"
    expect "manifest 1 asks for asInvoker" "$found" [ "$level" = asInvoker ]
    expect "manifest takes no common controls 6" "" lacks "$manifest" Common-Controls
}
