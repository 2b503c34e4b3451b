"""Points data directory 10 (load configuration) of a linked executable at its
_load_config_used, found in the link's map file: ld 2.40 does not. Its size is
64 in a 32-bit image, the only one Windows XP's loader takes (the structure's
own Size tells newer loaders the rest), the structure's Size in a 64-bit one.
The CheckSum the linker computed is then computed anew. Nothing is written
unless the whole structure, with its documented Size, lies in one section.
Usage: set-load-config.py EXE MAP"""
import sys

import pefile

exe, map_file = sys.argv[1:3]


def fail(why):
    sys.exit("set-load-config.py: %s; %s left as linked" % (why, exe))


# The map lists each symbol as "ADDRESS NAME", the address in hex with or
# without 0x; the 32-bit name may have the compiler's extra leading underscore.
with open(map_file) as lines:
    found = [w[0] for w in map(str.split, lines) if len(w) == 2 and w[1] in ("_load_config_used", "__load_config_used")]
if not found:
    fail("no _load_config_used in " + map_file)
try:
    address = int(found[0], 16)
except ValueError:
    fail('the address of _load_config_used in %s, "%s", is not a hex number' % (map_file, found[0]))

with open(exe, "rb") as file:
    pe = pefile.PE(data=file.read(), fast_load=True)
documented, size = {0x10B: (164, 64), 0x20B: (264, 264)}.get(pe.OPTIONAL_HEADER.Magic, (0, 0))
if not documented:
    fail("optional header magic 0x%x is neither PE32 nor PE32+" % pe.OPTIONAL_HEADER.Magic)
rva = address - pe.OPTIONAL_HEADER.ImageBase
# The whole structure must lie in one section's bytes, not only its start.
section = pe.get_section_by_rva(rva)
if section is None or rva + documented > section.VirtualAddress + section.SizeOfRawData:
    fail("_load_config_used (%s, RVA 0x%x) is not within one section of %s" % (found[0], rva, exe))
size_found = pe.get_dword_at_rva(rva)
if size_found != documented:
    fail("the structure at _load_config_used (%s) has Size %d, not the documented %d" % (found[0], size_found, documented))

directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[10]
directory.VirtualAddress, directory.Size = rva, size
# The sum is taken over the file as written, so the directory goes in first.
pe = pefile.PE(data=pe.write(), fast_load=True)
pe.OPTIONAL_HEADER.CheckSum = pe.generate_checksum()
pe.write(exe)
