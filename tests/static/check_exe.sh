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
expect() { # expect WHAT DETAIL COMMAND...: the check passes when COMMAND succeeds
    what=$1 detail=$2
    shift 2
    if "$@"; then check OK "$what"; else check FAIL "$what" "$detail"; fi
}
same() { # same WANTED FOUND WHAT
    expect "$3" "found ${2:-nothing}" [ "$2" = "$1" ]
}
has() { # has TEXT PATTERN
    echo "$1" | grep -q "$2"
}
lacks() { # lacks TEXT PATTERN
    ! has "$1" "$2"
}

# The import lookup entry of an import by ordinal: high bit set, the ordinal
# in the low bits.
case $bits in
32) triple=i686-w64-mingw32 format=pei-i386 magic=010b subsystem=4.0 ordinal17=80000011 ;;
64) triple=x86_64-w64-mingw32 format=pei-x86-64 magic=020b subsystem=5.2 ordinal17=8000000000000011 ;;
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

same "$format" "$("$triple-objdump" -f "$exe" | sed -n 's/.*file format //p')" "machine is $format"
same "$magic" "$(field Magic)" "optional header magic $magic"
same 00000002 "$(field Subsystem)" "GUI subsystem"
same "$subsystem" "$(field MajorSubsystemVersion).$(field MinorSubsystemVersion)" "subsystem version $subsystem"

# The import table: one "DLL Name:" line per DLL, then its entries, each led
# by its lookup value.
dlls=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort)
unexpected=$(echo "$dlls" | grep -vE '^(kernel32|user32|advapi32|comctl32)\.dll$' | tr '\n' ' ')
expect "imports only kernel32, user32, advapi32, comctl32" "also $unexpected" [ -z "$unexpected" ]
crt=$(echo "$dlls" | grep -E '^(msvcr|msvcp|ucrt|api-ms-win-crt|libstdc|libgcc|libwinpthread)' | tr '\n' ' ')
expect "no C-runtime DLL" "imports $crt" [ -z "$crt" ]
expect "no psapi.dll import (bound at run time)" "" lacks "$dlls" '^psapi\.dll$'
comctl=$(echo "$headers" | awk '
    /DLL Name:/ { inside = tolower($3) == "comctl32.dll"; next }
    inside && /^[[:space:]]*$/ { inside = 0 }
    inside && /vma:/ { next }
    inside { print $1 }' | tr '\n' ' ')
expect "comctl32 imported by ordinal 17 only" "entries: ${comctl:-none}" [ "$comctl" = "$ordinal17 " ]

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
            print count, missing
        }')
    count=${found%% *} missing=${found#* }
    # The entry point is always wanted, so count is never 0.
    expect "unwind data (.pdata) for each of the $count functions in .text" "none for$missing" [ -z "$missing" ]
fi

if [ "$bits" = 32 ]; then
    size=$(wc -c <"$exe")
    expect "32-bit executable at most 12 KiB ($size bytes)" "" [ "$size" -le 12288 ]
fi

. "$(dirname "$0")/hardening_checks.sh"
check_dll_characteristics
check_checksum
check_relocations "${3:-}"
check_load_config
check_manifest

[ "$failures" -eq 0 ] || exit 1
