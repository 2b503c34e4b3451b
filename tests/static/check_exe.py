"""Checks a built executable without running it: PE machine, GUI subsystem and
its version, the DLLs it imports, its resources' language, its size, and its
hardening: ASLR, DEP, SEH, checksum, relocations (proven by REBASED, the same
program linked at another image base), load configuration and stack
protector, manifest. Every fact is read from the file's bytes, with pefile for
the PE structures and capstone for the instructions.
Usage: check_exe.py EXE 32|64 REBASED. Prints one line per check; exits 1
when any failed."""
import sys

import capstone
from capstone import x86
import pefile

failures = 0


def expect(what, passed, detail=""):
    """Prints the outcome of one check; DETAIL says what was found instead."""
    global failures
    if passed:
        print("ok   " + what)
    else:
        print("FAIL " + what + (": " + detail if detail else ""))
        failures += 1


def same(wanted, found, what):
    expect(what, wanted == found, "found %s" % (found if found not in ("", None, []) else "nothing",))


def load(path):
    # The file's bytes, writable: the relocation check patches its own copy.
    with open(path, "rb") as file:
        return pefile.PE(data=bytearray(file.read()))


if len(sys.argv) < 3 or sys.argv[2] not in ("32", "64"):
    sys.exit("usage: check_exe.py EXE 32|64 REBASED")
path, bits, rebased = sys.argv[1], int(sys.argv[2]), (sys.argv[3:] or [""])[0]
try:
    pe = load(path)
except (OSError, pefile.PEFormatError) as error:
    print("FAIL %s is not a readable PE file: %s" % (path, error))
    sys.exit(1)
header, optional = pe.FILE_HEADER, pe.OPTIONAL_HEADER
base, width = optional.ImageBase, bits // 8
if bits == 32:
    machine, magic, subsystem, mode = 0x14C, 0x10B, (4, 0), capstone.CS_MODE_32
else:
    machine, magic, subsystem, mode = 0x8664, 0x20B, (5, 2), capstone.CS_MODE_64

same(machine, header.Machine, "machine 0x%x" % machine)
same(magic, optional.Magic, "optional header magic 0x%x" % magic)
same(2, optional.Subsystem, "GUI subsystem")
same(subsystem, (optional.MajorSubsystemVersion, optional.MinorSubsystemVersion), "subsystem version %d.%d" % subsystem)

# The import descriptors: each DLL's lower-case name and its entries, each as
# "#ORDINAL" or its name.
imports = {
    dll.dll.decode().lower(): ["#%d" % i.ordinal if i.import_by_ordinal else i.name.decode() for i in dll.imports]
    for dll in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
}
# comctl32 and psapi are not known DLLs: a bare name would find a copy in the
# program's folder first, so both are loaded by full path at run time.
allowed = {"kernel32.dll", "user32.dll", "advapi32.dll"}
expect(
    "imports only kernel32, user32, advapi32: no C runtime; comctl32 and psapi bound at run time",
    imports and set(imports) <= allowed,
    "also %s" % (" ".join(sorted(set(imports) - allowed)) if imports else "no import table"),
)

def resources(kind, name):
    """The languages of resource KIND/NAME, and the data of the first one."""
    for entry in getattr(getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None), "entries", []):
        if entry.id == kind:
            for named in entry.directory.entries:
                if named.id == name:
                    languages = named.directory.entries
                    return ["0x%04x" % language.id for language in languages], languages[0].data.struct
    return [], None


same(["0x0419"], resources(5, 101)[0], "dialog 101 in language 0x0419")
same(["0x0419"], resources(16, 1)[0], "version block in language 0x0419")
tables = [
    table.LangID.decode()
    for info in getattr(pe, "FileInfo", [])
    for block in info
    if block.name == "StringFileInfo"
    for table in block.StringTable
]
same(["041904b0"], [t.lower() for t in tables], "version strings for 0x0419, code page 1200")

text = pe.sections[0] if pe.sections and pe.sections[0].Name.rstrip(b"\0") == b".text" else None
code = []
if text:
    disassembler = capstone.Cs(capstone.CS_ARCH_X86, mode)
    disassembler.detail = True
    disassembler.skipdata = True
    # Bytes that decode to no instruction (padding, data) are stepped over.
    found = disassembler.disasm(bytes(text.get_data()[: text.Misc_VirtualSize]), base + text.VirtualAddress)
    code = [i for i in found if i.id != 0]
expect("the first section is .text and holds code", len(code) > 0)


def memory_target(instruction, operand):
    """The address that OPERAND, a memory operand, reads: absolute, or
    relative to the next instruction; None for any other addressing."""
    memory = operand.mem
    if memory.base == x86.X86_REG_RIP and memory.index == 0:
        return instruction.address + instruction.size + memory.disp
    if memory.base == 0 and memory.index == 0:
        return memory.disp & 0xFFFFFFFF
    return None


def targets(instruction):
    """Addresses named by INSTRUCTION's operands: immediates and memory."""
    for operand in instruction.operands:
        if operand.type == x86.X86_OP_IMM:
            yield operand.imm & (2**bits - 1)
        elif operand.type == x86.X86_OP_MEM:
            target = memory_target(instruction, operand)
            if target is not None:
                yield target


def is_thunk(instruction):
    # An import thunk: one indirect jump through the import address table.
    return instruction.mnemonic == "jmp" and instruction.operands[0].type == x86.X86_OP_MEM


# Every function of the 64-bit code needs its .pdata entry, or the system
# cannot unwind through it (exceptions, stack walks). The executable has no
# symbols: its functions are the entry point and what the code calls or takes
# the address of. Import thunks need no entry.
if bits == 64:
    starts = {i.address: i for i in code}
    wanted = {base + optional.AddressOfEntryPoint}
    for i in code:
        if i.mnemonic == "call" or i.mnemonic == "lea":
            wanted.update(t for t in targets(i) if t in starts)
    listed = {base + e.struct.BeginAddress for e in getattr(pe, "DIRECTORY_ENTRY_EXCEPTION", [])}
    missing = sorted(a for a in wanted if a not in listed and not (a in starts and is_thunk(starts[a])))
    expect(
        "unwind data (.pdata) for each of the %d functions in .text" % len(wanted),
        not missing,
        "none for " + " ".join("0x%x" % a for a in missing),
    )

size = len(pe.__data__)
if bits == 32:
    expect("32-bit executable at most 12 KiB (%d bytes)" % size, size <= 12288)

flags = optional.DllCharacteristics
for mask, what in [(0x140, "DYNAMIC_BASE (0x40) and NX_COMPAT (0x100)"), (0x8000, "TERMINAL_SERVER_AWARE")] + (
    [(0x400, "NO_SEH")] if bits == 32 else [(0x20, "HIGH_ENTROPY_VA")]
):
    expect(what, flags & mask == mask, "DllCharacteristics 0x%04x" % flags)

# A step that writes the file after the linker leaves the linker's sum stale.
computed = pe.generate_checksum()
expect(
    "CheckSum matches the file",
    optional.CheckSum == computed,
    "header 0x%08x, file 0x%08x" % (optional.CheckSum, computed),
)


def relocated():
    """Applies the base relocations for the difference of the two image bases
    and compares every section with REBASED's: a missing or wrong relocation
    leaves a difference. Works on a copy of EXE of its own. Returns the
    outcome, "OK ..." when they agree."""
    pe = load(path)
    try:
        other = load(rebased)
    except (OSError, pefile.PEFormatError):
        return "no second link to compare with (%s)" % (rebased or "none given")
    delta = other.OPTIONAL_HEADER.ImageBase - base
    fixups = [e for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []) for e in block.entries if e.type != 0]
    if not fixups:
        return "no base relocations"
    if [(s.Name, s.SizeOfRawData, s.PointerToRawData) for s in pe.sections] != [
        (s.Name, s.SizeOfRawData, s.PointerToRawData) for s in other.sections
    ]:
        return "the sections differ in name, size or place"
    # HIGHLOW and DIR64, the only kinds an x86 or x86-64 image has.
    kind = {3: (4, pe.get_dword_at_rva, pe.set_dword_at_rva), 10: (8, pe.get_qword_at_rva, pe.set_qword_at_rva)}
    for fixup in fixups:
        if fixup.type not in kind:
            return "unexpected fixup type %d" % fixup.type
        size, get, put = kind[fixup.type]
        if pe.get_section_by_rva(fixup.rva) is None or get(fixup.rva) is None:
            return "fixup at RVA 0x%x is in no section" % fixup.rva
        put(fixup.rva, (get(fixup.rva) + delta) % 2 ** (8 * size))
    for mine, theirs in zip(pe.sections, other.sections):
        a, b = mine.get_data(), theirs.get_data()
        differ = [k for k in range(len(a)) if a[k] != b[k]]
        if differ:
            return "%d bytes differ, the first at %s+0x%x" % (len(differ), mine.Name.rstrip(b"\0").decode(), differ[0])
    return "OK %d fixups" % len(fixups)


found = relocated()
what = "relocations take the image to another base byte for byte"
expect(what + (" (%s)" % found[3:] if found.startswith("OK") else ""), found.startswith("OK"), found)

# Data directory 10 and the structure it points at: the sizes old and new
# loaders accept, DependentLoadFlags LOAD_LIBRARY_SEARCH_SYSTEM32 and a cookie
# that holds the documented default, which loaders replace with a random one.
if bits == 32:
    structure, directory, flags_at, cookie_at, cookie = 164, 64, 54, 60, 0xBB40E64E
else:
    structure, directory, flags_at, cookie_at, cookie = 264, 264, 78, 88, 0x00002B992DDFA232
entry = pe.OPTIONAL_HEADER.DATA_DIRECTORY[10]
read = pe.get_dword_at_rva if bits == 32 else pe.get_qword_at_rva


def pointer_at(address):
    """The pointer-sized value at virtual ADDRESS, or None outside the file."""
    return read(address - base) if address and base < address < base + optional.SizeOfImage else None


if entry.VirtualAddress == 0 or pe.get_section_by_rva(entry.VirtualAddress) is None:
    expect("load configuration directory", False, "data directory 10 is at 0x%x" % entry.VirtualAddress)
else:
    same(
        (directory, structure),
        (entry.Size, pe.get_dword_at_rva(entry.VirtualAddress)),
        "load configuration sizes: directory %d, structure %d" % (directory, structure),
    )
    same(0x800, pe.get_word_at_rva(entry.VirtualAddress + flags_at), "DependentLoadFlags LOAD_LIBRARY_SEARCH_SYSTEM32")
    address = read(entry.VirtualAddress + cookie_at)
    found = pointer_at(address)
    expect(
        "security cookie holds the default value",
        found == cookie,
        "found %s at 0x%x" % ("nothing" if found is None else "0x%x" % found, address or 0),
    )
    # The instructions that read or write the cookie, directly or through a
    # pointer slot holding its address, which is how x86-64 code reaches a
    # variable of another object: each protected function reads it on entry
    # and compares with it before returning.
    readers = sum(
        1
        for i in code
        if not i.mnemonic.startswith(("call", "j"))
        and any(t == address or pointer_at(t) == address for t in targets(i))
    )
    expect(
        "the stack protector's code reads the security cookie (%d instructions)" % readers,
        readers >= 2,
        "the cookie at 0x%x is not the guard the code checks" % address,
    )

# Manifest 1 (resource type 24), its bytes as the loader reads them.
data = resources(24, 1)[1]
manifest = pe.get_data(data.OffsetToData, data.Size).decode("utf-8", "replace") if data else ""
level = manifest.partition('requestedExecutionLevel level="')[2].partition('"')[0]
found = ("level " + (level or "missing")) if manifest else "no manifest 1"
expect("manifest 1 asks for asInvoker", level == "asInvoker", found)
# The manifest must be there and name its assembly, so that this looks at it.
expect(
    "manifest takes no common controls 6",
    "<assemblyIdentity" in manifest and "Common-Controls" not in manifest,
    "it names them, or it is not there (%s)" % found,
)

sys.exit(1 if failures else 0)
