#!/bin/sh
# Checks a built executable without running it: PE machine, GUI subsystem and
# its version, the DLLs it imports, its resources' language, its size, and its
# hardening: ASLR, DEP, SEH, checksum, relocations (proven by REBASED, the
# same program linked at another image base), load configuration and stack
# protector, manifest. Usage: check_exe.sh EXE 32|64 REBASED. Prints one line
# per check; exits 1 when any failed.
set -u
# Tool output in English, whatever locale the caller runs in.
export LC_ALL=C
exe=$1 bits=$2 rebased=${3:-}
failures=0

expect() { # expect WHAT DETAIL COMMAND...: the check passes when COMMAND succeeds
    what=$1 detail=$2
    shift 2
    "$@" && echo "ok   $what" && return
    echo "FAIL $what${detail:+: $detail}"
    failures=$((failures + 1))
}
same() { expect "$3" "found ${2:-nothing}" [ "$2" = "$1" ]; } # same WANTED FOUND WHAT
has() { echo "$1" | grep -q "$2"; }                           # has TEXT PATTERN
lacks() { ! has "$1" "$2"; }                                  # lacks TEXT PATTERN

case $bits in
32) triple=i686-w64-mingw32 format=pei-i386 magic=010b subsystem=4.0 ;;
64) triple=x86_64-w64-mingw32 format=pei-x86-64 magic=020b subsystem=5.2 ;;
*) echo "usage: check_exe.sh EXE 32|64 REBASED" >&2 && exit 2 ;;
esac
headers=$("$triple-objdump" -p "$exe" 2>&1) || { echo "FAIL objdump cannot read $exe: $headers" && exit 1; }

field() { # the value of a header line, e.g. field MajorSubsystemVersion
    echo "$headers" | awk -v name="$1" '$1 == name { print $2; exit }'
}
. "$(dirname "$0")/../../scripts/pe.sh"
pe_headers "$exe"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$triple-objdump" -d -j .text "$exe" >"$work/code"

same "$format" "$("$triple-objdump" -f "$exe" | sed -n 's/.*file format //p')" "machine is $format"
same "$magic" "$(field Magic)" "optional header magic $magic"
same 00000002 "$(field Subsystem)" "GUI subsystem"
same "$subsystem" "$(field MajorSubsystemVersion).$(field MinorSubsystemVersion)" "subsystem version $subsystem"

# The import descriptors, read from the bytes: one line per DLL, its name in
# lower case, then each entry as "#ORDINAL" or its name.
imports=$(/usr/bin/python3 -c '
import sys, pefile
pe = pefile.PE(sys.argv[1], fast_load=True)
pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
for dll in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
    print(dll.dll.decode().lower(), *("#%d" % i.ordinal if i.import_by_ordinal else i.name.decode() for i in dll.imports))
' "$exe" 2>&1) || imports="unreadable: $imports"
dlls=$(echo "$imports" | awk '{ print $1 }' | sort)
unexpected=$(echo "$dlls" | grep -q . && echo "$dlls" | grep -vE '^(kernel32|user32|advapi32|comctl32)\.dll$' | tr '\n' ' ' || echo "no import table")
expect "imports only kernel32, user32, advapi32, comctl32: no C runtime, psapi bound at run time" \
    "also ${unexpected:-nothing}" [ -z "$unexpected" ]
comctl=$(echo "$imports" | awk '$1 == "comctl32.dll" { $1 = ""; print substr($0, 2) }')
expect "comctl32 imported by ordinal 17 only" "entries: ${comctl:-none}" [ "$comctl" = "#17" ]

# The resources, decompiled: each is preceded by a comment naming its type and
# name; a LANGUAGE line (25, 1 being LANG_RUSSIAN, SUBLANG_DEFAULT) holds for
# every resource after it until the next one.
resources=$("$triple-windres" -i "$exe" -O rc 2>&1) || resources=""
language_of() { # language_of TYPE NAME
    echo "$resources" | awk -v type="$1" -v name="$2" '
        /Type: / { t = $3 }
        /Name: / { n = $2; sub(/\.$/, "", n) }
        /^LANGUAGE / { language = $2 $3 }
        t == type && n == name && $1 == name && $2 ~ /^[A-Z]/ { print language; exit }'
}
same 25,1 "$(language_of dialog 101)" "dialog 101 in language 0x0419"
same 25,1 "$(language_of version 1)" "version block in language 0x0419"
expect "version strings for 0x0419, code page 1200" "" has "$resources" 'BLOCK "041904[bB]0"'

# Every function of the 64-bit code needs its .pdata entry, or the system
# cannot unwind through it (exceptions, stack walks). The executable has no
# symbols: its functions are the entry point and what the code calls or takes
# the address of. Import thunks (one indirect jmp each) need no entry.
if [ "$bits" = 64 ]; then
    entry=$(printf '%x' $((0x$(field ImageBase) + 0x$(field AddressOfEntryPoint))))
    found=$(echo "$headers" | sed -n '/^The Function Table/,/^$/p' | awk -v entry="$entry" '
        # Addresses as keys: lower-case hex without 0x and leading zeros.
        function key(text) {
            sub(/^(0x)?0*/, "", text)
            sub(/:$/, "", text)
            return tolower(text)
        }
        BEGIN { wanted[key(entry)] = 1 }
        FILENAME == ARGV[1] { if ($1 ~ /^[0-9a-f]+:$/ && NF == 4) listed[key($2)] = 1; next }
        /^ *[0-9a-f]+:\t/ {
            split($0, part, "\t")
            at = key($1)
            code[at] = 1
            if (part[3] ~ /^jmp +\*/) thunk[at] = 1
            if (part[3] ~ /^call +0x[0-9a-f]+$/) wanted[key($NF)] = 1
            if (part[3] ~ /^lea .*# 0x[0-9a-f]+$/) taken[key($NF)] = 1
        }
        END {
            for (a in taken) if (a in code) wanted[a] = 1
            for (a in wanted) {
                ++count
                if (!(a in listed) && !(a in thunk)) missing = missing " 0x" a
            }
            print count, missing
        }' - "$work/code")
    count=${found%% *} missing=${found#* }
    # The entry point is always wanted, so count is never 0.
    expect "unwind data (.pdata) for each of the $count functions in .text" "none for$missing" [ -z "$missing" ]
fi

file_bytes=$(wc -c <"$exe")
[ "$bits" = 64 ] || expect "32-bit executable at most 12 KiB ($file_bytes bytes)" "" [ "$file_bytes" -le 12288 ]

flags=$((0x$(field DllCharacteristics)))
has_flags() { # has_flags MASK WHAT
    expect "$2" "DllCharacteristics $(field DllCharacteristics)" [ $((flags & $1)) = $(($1)) ]
}
has_flags 0x140 "DYNAMIC_BASE (0x40) and NX_COMPAT (0x100)"
has_flags 0x8000 TERMINAL_SERVER_AWARE
if [ "$bits" = 32 ]; then has_flags 0x400 NO_SEH; else has_flags 0x20 HIGH_ENTROPY_VA; fi

# CheckSum, computed here from the file's 32-bit words: their sum folded to
# 16 bits equals the platform's sum of 16-bit words with end-around carries.
# A step that writes the file after the linker leaves the linker's sum stale.
stored=$(pe_u32 "$exe" "$pe_checksum_at")
computed=$(od -An -v -tu4 "$exe" | awk -v skip=$((pe_checksum_at / 4)) -v bytes="$file_bytes" '
    { for (i = 1; i <= NF; i++) if (n++ != skip) sum += $i }
    END { while (sum > 65535) sum = sum % 65536 + int(sum / 65536); printf "%d\n", sum + bytes }')
expect "CheckSum matches the file" "$(printf 'header 0x%08x, file 0x%08x' "$stored" "$computed")" [ "$stored" = "$computed" ]

# The sections of an image that have bytes in the file (not .bss), as
# "NAME SIZE VMA FILE-OFFSET" in hex.
sections_of() { # sections_of EXE
    "$triple-objdump" -h "$1" | awk '$1 ~ /^[0-9]+$/ && $6 !~ /^0+$/ { print $2, $3, $4, $6 }'
}
# The executable as the awk programs below read it, from their first two files
# (its sections, then od's decimal dump of its bytes) and base, its image base.
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

# EXE's base relocations, applied for the difference of the two image bases,
# must turn every section into REBASED's: a missing or wrong relocation leaves
# a difference. The fixups are objdump's reading of .reloc, one a line:
# "reloc N offset X [RVA] TYPE".
what="relocations take the image to another base byte for byte"
if [ -f "$rebased" ]; then
    sections_of "$rebased" >"$work/other-sections"
    od -An -v -tu1 "$rebased" >"$work/other-bytes"
    other_base=$(pe_headers "$rebased" && echo "$pe_image_base")
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
else
    found="no second link to compare with (${rebased:-none given})"
fi
case $found in OK*) what="$what (${found#OK })" ;; esac
expect "$what" "$found" [ "${found%% *}" = OK ]

# How many instructions of .text read or write the variable at ADDRESS: as
# an absolute operand (32-bit), or through a RIP-relative operand (objdump
# notes its target after #) that is the variable or a pointer slot holding
# its address, which is how x86-64 code reaches a variable of another object.
# The executable has no symbols, so this is how a guard shows: each protected
# function reads it on entry and compares with it before returning.
cookie_readers() { # cookie_readers ADDRESS
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
        }' "$work/sections" "$work/bytes" "$work/code"
}

# Data directory 10 and the structure it points at: the sizes old and new
# loaders accept, DependentLoadFlags LOAD_LIBRARY_SEARCH_SYSTEM32 and a cookie
# that holds the documented default, which loaders replace with a random one.
case $bits in
32) structure=164 directory=64 flags_at=54 cookie_at=60 cookie=3141592654 ;;
64) structure=264 directory=264 flags_at=78 cookie_at=88 cookie=47936899621426 ;;
esac
entry=$(echo "$headers" | awk '$1 == "Entry" && $2 == "a" { print $3, $4 }')
rva=$((0x${entry% *})) size=$((0x${entry#* }))
if [ "$rva" = 0 ] || ! offset=$(pe_file_offset "$exe" "$rva"); then
    expect "load configuration directory" "data directory 10 is ${entry:-missing}" false
else
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
fi

# Manifest 1 (resource type 24), its bytes as the loader reads them.
manifest=$(/usr/bin/python3 -c '
import sys, pefile
pe = pefile.PE(sys.argv[1])
for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
    if kind.id == 24:
        for name in kind.directory.entries:
            if name.id == 1:
                data = name.directory.entries[0].data.struct
                sys.stdout.write(pe.get_data(data.OffsetToData, data.Size).decode("utf-8"))
' "$exe" 2>&1)
level=$(echo "$manifest" | sed -n 's/.*requestedExecutionLevel level="\([A-Za-z]*\)".*/\1/p')
[ -n "$manifest" ] && found="level ${level:-missing}" || found="no manifest 1"
expect "manifest 1 asks for asInvoker" "$found" [ "$level" = asInvoker ]
# The manifest must be there and name its assembly, so that this looks at it.
expect "manifest takes no common controls 6" "it names them, or it is not there (${found})" \
    sh -c 'echo "$1" | grep -q "<assemblyIdentity" && ! echo "$1" | grep -q Common-Controls' - "$manifest"

[ "$failures" -eq 0 ] || exit 1
