#!/bin/sh
# Checks a built executable without running it: PE machine, GUI subsystem and
# its version, the DLLs it imports, its resources' language, its hardening
# (hardening_checks.sh), and its size. REBASED is the same program linked at
# another image base. Usage: check_exe.sh EXE 32|64 REBASED. Prints one line
# per check; exits 1 when any failed.
set -u
# Tool output in English, whatever locale the caller runs in.
export LC_ALL=C
exe=$1 bits=$2
failures=0

check() { # check OK|FAIL WHAT [DETAIL]
    if [ "$1" = OK ]; then
        echo "ok   $2"
    else
        echo "FAIL $2${3:+: $3}"
        failures=$((failures + 1))
    fi
}

case $bits in
32) triple=i686-w64-mingw32 format=pei-i386 magic=010b subsystem="4 0" ;;
64) triple=x86_64-w64-mingw32 format=pei-x86-64 magic=020b subsystem="5 2" ;;
*) echo "usage: check_exe.sh EXE 32|64 REBASED" >&2 && exit 2 ;;
esac
if [ ! -f "$exe" ]; then
    echo "FAIL $exe does not exist"
    exit 1
fi
headers=$("$triple-objdump" -p "$exe" 2>&1) || {
    echo "FAIL objdump cannot read $exe: $headers"
    exit 1
}

field() { # the value of a header line, e.g. field MajorSubsystemVersion
    echo "$headers" | awk -v name="$1" '$1 == name { print $2; exit }'
}

found=$("$triple-objdump" -f "$exe" | sed -n 's/.*file format //p')
[ "$found" = "$format" ] && r=OK || r=FAIL
check $r "machine is $format" "found ${found:-nothing}"

[ "$(field Magic)" = "$magic" ] && r=OK || r=FAIL
check $r "optional header magic $magic" "found $(field Magic)"

[ "$(field Subsystem)" = 00000002 ] && r=OK || r=FAIL
check $r "GUI subsystem" "found $(field Subsystem)"

found="$(field MajorSubsystemVersion) $(field MinorSubsystemVersion)"
[ "$found" = "$subsystem" ] && r=OK || r=FAIL
check $r "subsystem version $(echo "$subsystem" | tr ' ' .)" "found $(echo "$found" | tr ' ' .)"

# The import table: one "DLL Name:" line per DLL, then its entries, each led
# by its lookup value (high bit set: an import by ordinal, in the low bits).
dlls=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
unexpected=""
for dll in $dlls; do
    case $dll in
    kernel32.dll | user32.dll | advapi32.dll | comctl32.dll) ;;
    *) unexpected="$unexpected $dll" ;;
    esac
done
[ -z "$unexpected" ] && r=OK || r=FAIL
check $r "imports only kernel32, user32, advapi32, comctl32" "also$unexpected"

crt=$(echo "$dlls" | tr ' ' '\n' | grep -iE '^(msvcr|msvcp|ucrt|api-ms-win-crt|libstdc|libgcc|libwinpthread)' | tr '\n' ' ')
[ -z "$crt" ] && r=OK || r=FAIL
check $r "no C-runtime DLL" "imports $crt"

case " $dlls " in
*" psapi.dll "*) r=FAIL ;;
*) r=OK ;;
esac
check $r "no psapi.dll import (bound at run time)"

comctl=$(echo "$headers" | awk '
    /DLL Name:/ { inside = tolower($3) == "comctl32.dll"; next }
    inside && /^[[:space:]]*$/ { inside = 0 }
    inside && /vma:/ { next }
    inside { print $1 }' | tr '\n' ' ')
case $comctl in
80000011\ | 8000000000000011\ ) r=OK ;;
*) r=FAIL ;;
esac
check $r "comctl32 imported by ordinal 17 only" "entries: ${comctl:-none}"

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
found=$(language_of dialog 101)
[ "$found" = "25,1" ] && r=OK || r=FAIL
check $r "dialog 101 in language 0x0419" "found ${found:-no such dialog}"
found=$(language_of version 1)
[ "$found" = "25,1" ] && r=OK || r=FAIL
check $r "version block in language 0x0419" "found ${found:-no version block}"
echo "$resources" | grep -q 'BLOCK "041904[bB]0"' && r=OK || r=FAIL
check $r "version strings for 0x0419, code page 1200"

# Every function of the 64-bit code needs its .pdata entry, or the system
# cannot unwind through it (exceptions, stack walks). The executable has no
# symbols: its functions are the entry point and what the code calls or takes
# the address of. Import thunks (one indirect jmp each) need no entry.
if [ "$bits" = 64 ]; then
    entry=$(printf '%x' $((0x$(field ImageBase) + 0x$(field AddressOfEntryPoint))))
    found=$({
        echo "entry $entry"
        echo "$headers" | sed -n '/^The Function Table/,/^$/p'
        "$triple-objdump" -d -j .text "$exe"
    } | awk '
        # Addresses as keys: lower-case hex without 0x and leading zeros.
        function key(text) {
            text = tolower(text)
            sub(/^0x/, "", text)
            sub(/^0+/, "", text)
            return text
        }
        $1 == "entry" { wanted[key($2)] = 1; next }
        $1 ~ /^[0-9a-f]+:$/ && NF == 4 && $2 ~ /^[0-9a-f]+$/ { listed[key($2)] = 1; next }
        /^ *[0-9a-f]+:\t/ {
            split($0, part, "\t")
            at = key(part[1])
            sub(/:$/, "", at)
            sub(/^ */, "", at)
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
            print count + 0, missing
        }')
    count=${found%% *} missing=${found#* }
    [ "$count" -gt 0 ] && [ -z "$missing" ] && r=OK || r=FAIL
    check $r "unwind data (.pdata) for each of the $count functions in .text" "none for$missing"
fi

if [ "$bits" = 32 ]; then
    size=$(wc -c <"$exe")
    [ "$size" -le 12288 ] && r=OK || r=FAIL
    check $r "32-bit executable at most 12 KiB ($size bytes)"
fi

# Hardening: ASLR, DEP, SEH, checksum, relocations, load configuration and
# stack protector, manifest.
. "$(dirname "$0")/hardening_checks.sh"
check_dll_characteristics
check_checksum
check_relocations "${3:-}"
check_load_config
check_manifest

[ "$failures" -eq 0 ] || exit 1
