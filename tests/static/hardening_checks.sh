# The hardening checks of check_exe.sh, sourced by it: ASLR, DEP and
# Terminal Server flags, NO_SEH or HIGH_ENTROPY_VA, the header's checksum,
# relocations proven by a second link at another image base, the load
# configuration and the stack protector's use of its cookie, the manifest. They use check_exe.sh's
# check, field, $headers, $resources, $exe, $bits and $triple.
. "$(dirname "$0")/../../scripts/pe.sh"

check_dll_characteristics() {
    flags=$((0x$(field DllCharacteristics)))
    # DYNAMIC_BASE 0x40, NX_COMPAT 0x100, TERMINAL_SERVER_AWARE 0x8000;
    # NO_SEH 0x400, HIGH_ENTROPY_VA 0x20.
    [ $((flags & 0x140)) = $((0x140)) ] && r=OK || r=FAIL
    check $r "DYNAMIC_BASE and NX_COMPAT" "DllCharacteristics $(field DllCharacteristics)"
    [ $((flags & 0x8000)) != 0 ] && r=OK || r=FAIL
    check $r "TERMINAL_SERVER_AWARE" "DllCharacteristics $(field DllCharacteristics)"
    if [ "$bits" = 32 ]; then
        [ $((flags & 0x400)) != 0 ] && r=OK || r=FAIL
        check $r "NO_SEH" "DllCharacteristics $(field DllCharacteristics)"
    else
        [ $((flags & 0x20)) != 0 ] && r=OK || r=FAIL
        check $r "HIGH_ENTROPY_VA" "DllCharacteristics $(field DllCharacteristics)"
    fi
}

# CheckSum, computed here from the file's 32-bit words: their sum folded to
# 16 bits equals the platform's sum of 16-bit words with end-around carries.
# A step that writes the file after the linker leaves the linker's sum stale.
check_checksum() {
    pe_headers "$exe"
    stored=$(pe_u32 "$exe" "$pe_checksum_at")
    computed=$(od -An -v -tu4 "$exe" | awk -v skip=$((pe_checksum_at / 4)) -v bytes="$(wc -c <"$exe")" '
        { for (i = 1; i <= NF; i++) if (n++ != skip) sum += $i }
        END {
            while (sum > 65535) sum = sum % 65536 + int(sum / 65536)
            printf "%d\n", sum + bytes
        }')
    [ "$stored" = "$computed" ] && r=OK || r=FAIL
    check $r "CheckSum matches the file" "$(printf 'header 0x%08x, file 0x%08x' "$stored" "$computed")"
}

# The sections of an image that have bytes in the file (not .bss), as
# "NAME SIZE FILE-OFFSET VMA", all decimal.
sections_of() { # sections_of EXE
    "$triple-objdump" -h "$1" | awk '$1 ~ /^[0-9]+$/ && $6 !~ /^0+$/ { print $2, $3, $6, $4 }' |
        while read -r name size offset vma; do
            echo "$name $((0x$size)) $((0x$offset)) $((0x$vma))"
        done
}

# Applies EXE's base relocations for the difference of the two image bases
# and compares every section with the same program linked at the other base:
# a missing or wrong relocation leaves a difference.
check_relocations() { # check_relocations OTHER-EXE
    what="relocations take the image to another base byte for byte"
    if [ ! -f "${1:-}" ]; then
        check FAIL "$what" "no second link to compare with (${1:-none given})"
        return
    fi
    work=$(mktemp -d)
    sections_of "$exe" >"$work/sections"
    sections_of "$1" >"$work/other"
    pe_headers "$1"
    other_base=$pe_image_base
    pe_headers "$exe"
    # The fixups as "RVA TYPE", from objdump's reading of .reloc.
    "$triple-objdump" -p "$exe" | awk '$1 == "reloc" && $6 != "ABSOLUTE" { gsub(/[][]/, "", $5); print $5, $6 }' >"$work/fixups"
    od -An -v -tu1 "$exe" | tr -s ' ' '\n' | grep . >"$work/bytes"
    od -An -v -tu1 "$1" | tr -s ' ' '\n' | grep . >"$work/other-bytes"
    found=$(awk -v delta=$((other_base - pe_image_base)) -v base="$pe_image_base" '
        function hex(s,    n, i) {
            n = 0
            for (i = 1; i <= length(s); i++) n = n * 16 + index("0123456789abcdef", tolower(substr(s, i, 1))) - 1
            return n
        }
        FILENAME == ARGV[1] { name[++count] = $1; size[count] = $2; offset[count] = $3; rva[count] = $4 - base; next }
        FILENAME == ARGV[2] { other[FNR] = $1 " " $2 " " $3; next }
        FILENAME == ARGV[3] { fixup_rva[++fixups] = hex($1); fixup_type[fixups] = $2; next }
        FILENAME == ARGV[4] { a[FNR - 1] = $1; next }
        { b[FNR - 1] = $1 }
        END {
            if (fixups == 0) { print "no base relocations"; exit }
            for (s = 1; s <= count; s++)
                if (other[s] != name[s] " " size[s] " " offset[s]) { print "section " s " differs in name, size or place"; exit }
            for (f = 1; f <= fixups; f++) {
                width = fixup_type[f] == "HIGHLOW" ? 4 : fixup_type[f] == "DIR64" ? 8 : 0
                if (!width) { print "unexpected fixup type " fixup_type[f]; exit }
                at = -1
                for (s = 1; s <= count; s++)
                    if (fixup_rva[f] >= rva[s] && fixup_rva[f] + width <= rva[s] + size[s]) at = offset[s] + fixup_rva[f] - rva[s]
                if (at < 0) { printf "fixup at RVA %x is in no section\n", fixup_rva[f]; exit }
                v = 0
                for (i = width - 1; i >= 0; i--) v = v * 256 + a[at + i]
                v += delta
                if (width == 4) v %= 4294967296
                for (i = 0; i < width; i++) { a[at + i] = v % 256; v = int(v / 256) }
            }
            for (s = 1; s <= count; s++)
                for (k = offset[s]; k < offset[s] + size[s]; k++)
                    if (a[k] != b[k]) { differ++; if (!first) first = sprintf("%s+0x%x", name[s], k - offset[s]) }
            if (differ) print differ " bytes differ, the first at " first
            else print "OK " fixups " fixups"
        }' "$work/sections" "$work/other" "$work/fixups" "$work/bytes" "$work/other-bytes")
    rm -rf "$work"
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
    pe_headers "$exe"
    if [ "$rva" = 0 ] || ! offset=$(pe_file_offset "$exe" "$rva"); then
        check FAIL "load configuration directory" "data directory 10 is ${entry:-missing}"
        return
    fi
    found="$size $(pe_u32 "$exe" "$offset")"
    [ "$found" = "$directory $structure" ] && r=OK || r=FAIL
    check $r "load configuration sizes: directory $directory, structure $structure" "found $found"
    found=$(pe_u16 "$exe" $((offset + flags_at)))
    [ "$found" = 2048 ] && r=OK || r=FAIL
    check $r "DependentLoadFlags LOAD_LIBRARY_SEARCH_SYSTEM32" "found $found"
    found=0
    address=$(pe_pointer "$exe" $((offset + cookie_at)))
    if [ "$address" -gt "$pe_image_base" ] && cookie_offset=$(pe_file_offset "$exe" $((address - pe_image_base))); then
        found=$(pe_pointer "$exe" "$cookie_offset")
    fi
    [ "$found" = "$cookie" ] && r=OK || r=FAIL
    check $r "security cookie holds the default value" "found $found at $(printf 0x%x "$address")"
    found=$(cookie_readers "$address")
    [ "$found" -ge 2 ] && r=OK || r=FAIL
    check $r "the stack protector's code reads the security cookie ($found instructions)" \
        "the cookie at $(printf 0x%x "$address") is not the guard the code checks"
}

# How many instructions of .text read or write the variable at ADDRESS: as
# an absolute operand (32-bit), or through a RIP-relative operand (objdump
# notes its target after #) that is the variable or a pointer slot holding
# its address, which is how x86-64 code reaches a variable of another object.
# The executable has no symbols, so this is how a guard shows: each protected
# function reads it on entry and compares with it before returning.
cookie_readers() { # cookie_readers ADDRESS
    work=$(mktemp -d)
    sections_of "$exe" >"$work/sections"
    od -An -v -tu1 "$exe" | tr -s ' ' '\n' | grep . >"$work/bytes"
    "$triple-objdump" -d -j .text "$exe" >"$work/code"
    awk -v cookie="$(printf %x "$1")" -v value="$1" -v width=$((bits / 8)) -v base="$pe_image_base" '
        function hex(s,    n, i) {
            n = 0
            for (i = 1; i <= length(s); i++) n = n * 16 + index("0123456789abcdef", tolower(substr(s, i, 1))) - 1
            return n
        }
        FILENAME == ARGV[1] { size[++count] = $2; offset[count] = $3; rva[count] = $4 - base; next }
        FILENAME == ARGV[2] { b[FNR - 1] = $1; next }
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
                r = hex(at) - base
                for (s = 1; s <= count; s++)
                    if (r >= rva[s] && r + width <= rva[s] + size[s]) {
                        v = 0
                        for (i = width - 1; i >= 0; i--) v = v * 256 + b[offset[s] + r - rva[s] + i]
                        if (v == value) n += refs[at]
                    }
            }
            print n + 0
        }' "$work/sections" "$work/bytes" "$work/code"
    rm -rf "$work"
}

check_manifest() {
    manifest=$(echo "$resources" | awk '$1 == "1" && $2 == "24" { inside = 1 } inside { print } inside && /^END/ { exit }')
    level=$(echo "$manifest" | sed -n 's/.*requestedExecutionLevel level=""\([A-Za-z]*\)"".*/\1/p')
    [ "$level" = asInvoker ] && r=OK || r=FAIL
    [ -n "$manifest" ] && found="level ${level:-missing}" || found="no manifest 1"
    check $r "manifest 1 asks for asInvoker" "$found"
    case $manifest in
    *Common-Controls*) r=FAIL ;;
    *) r=OK ;;
    esac
    check $r "manifest takes no common controls 6"
}
