# Reading and patching fields of a PE file, sourced by the build's post-link
# step and the executable checks. Offsets and values are decimal numbers.

# pe_u16, pe_u32, pe_u64 FILE OFFSET: the unsigned value there; pe_pointer
# FILE OFFSET: 4 bytes in PE32, 8 in PE32+ (needs pe_headers).
pe_u16() { od -An -tu2 -j"$2" -N2 "$1" | tr -d ' '; }
pe_u32() { od -An -tu4 -j"$2" -N4 "$1" | tr -d ' '; }
pe_u64() { od -An -tu8 -j"$2" -N8 "$1" | tr -d ' '; }
pe_pointer() { if [ "$pe_magic" = 267 ]; then pe_u32 "$1" "$2"; else pe_u64 "$1" "$2"; fi; }

# Sets pe_magic (267 for PE32, 523 for PE32+), pe_image_base, pe_directories
# (the file offset of the data directories), pe_checksum_at (of CheckSum),
# pe_sections (of the section table) and pe_section_count.
pe_headers() { # pe_headers FILE
    pe_signature=$(pe_u32 "$1" 60)
    pe_optional=$((pe_signature + 24))
    pe_magic=$(pe_u16 "$1" "$pe_optional")
    pe_checksum_at=$((pe_optional + 64))
    if [ "$pe_magic" = 267 ]; then
        pe_image_base=$(pe_u32 "$1" $((pe_optional + 28)))
        pe_directories=$((pe_optional + 96))
    else
        pe_image_base=$(pe_u64 "$1" $((pe_optional + 24)))
        pe_directories=$((pe_optional + 112))
    fi
    pe_section_count=$(pe_u16 "$1" $((pe_signature + 6)))
    pe_sections=$((pe_optional + $(pe_u16 "$1" $((pe_signature + 20)))))
}

# The file offset of a relative virtual address, from the section table;
# fails when no section's raw data holds it.
pe_file_offset() { # pe_file_offset FILE RVA
    i=0
    while [ "$i" -lt "$pe_section_count" ]; do
        header=$((pe_sections + 40 * i))
        address=$(pe_u32 "$1" $((header + 12)))
        raw_size=$(pe_u32 "$1" $((header + 16)))
        if [ "$2" -ge "$address" ] && [ "$2" -lt $((address + raw_size)) ]; then
            echo $(($(pe_u32 "$1" $((header + 20))) + $2 - address))
            return 0
        fi
        i=$((i + 1))
    done
    return 1
}

# The image checksum as the platform computes it: the file's 16-bit words
# (CheckSum itself counted as zero) added with the carries folded back in
# after each word, then the file's length added (needs pe_headers).
pe_checksum() { # pe_checksum FILE
    od -An -v -tu2 "$1" | awk -v skip=$((pe_checksum_at / 2)) -v bytes="$(wc -c <"$1")" '
        { for (i = 1; i <= NF; i++) {
              if (word != skip && word != skip + 1) {
                  sum += $i
                  sum = sum % 65536 + int(sum / 65536)
              }
              word++
          } }
        END { printf "%d\n", sum + bytes }'
}

pe_write_u32() { # pe_write_u32 FILE OFFSET VALUE
    # shellcheck disable=SC2059 # the format is the bytes, as octal escapes
    printf "$(printf '\\%03o' $(($3 & 255)) $(($3 >> 8 & 255)) $(($3 >> 16 & 255)) $(($3 >> 24 & 255)))" |
        dd of="$1" bs=1 seek="$2" conv=notrunc 2>/dev/null
}
