#!/usr/bin/python3
"""Reads and fixes PE32+ images without any Windows tool (on Debian's pefile).

  set-checksum FILE       compute the image checksum and write it into the header
  verify-checksum FILE    exit 1 unless the stored checksum equals the computed one
  imports FILE            print the imported DLL names, one a line
  imported-functions FILE print "DLL function" for each function imported by name
  check-imports FILE...   exit 1 if an image imports statically a DLL that is not a
                          KnownDLL (or ntdll, or an API set)
  exports FILE            print "ordinal name" for each export
  info FILE               machine, magic, subsystem and its version, DLL characteristics, timestamp
  check-security FILE...  exit 1 unless high-entropy ASLR, dynamic base and NX are set,
                          the subsystem version is at least 6.0, the stack
                          protector checks its guard, and no crypto API
                          (Crypt*) is imported
  resource TYPE ID FILE [OUT]
                          the data of resource TYPE/ID (a number or a name, e.g.
                          BINARY 129; first language found) to OUT or to stdout
"""
import collections
import struct
import sys

try:
    import pefile
except ImportError:
    sys.exit("pe_tool.py needs Debian's python3-pefile (apt-get install python3-pefile)")

# The KnownDLLs of every Windows from 7 on: Windows maps these from the system
# directory whatever folder the program was started from. Any other DLL named
# in the import table is looked for in the program's own folder first (a
# Downloads folder can hold anything), so it must be loaded at run time by its
# full path instead. ntdll is in every process before the program's imports.
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "comdlg32.dll", "difxapi.dll", "gdi32.dll", "imagehlp.dll",
    "imm32.dll", "kernel32.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll", "ole32.dll",
    "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shell32.dll",
    "shlwapi.dll", "user32.dll", "wldap32.dll", "ws2_32.dll", "ntdll.dll",
}

SECURITY_FLAGS = {
    "high-entropy ASLR": pefile.DLL_CHARACTERISTICS["IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA"],
    "dynamic base": pefile.DLL_CHARACTERISTICS["IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE"],
    "NX compatible": pefile.DLL_CHARACTERISTICS["IMAGE_DLLCHARACTERISTICS_NX_COMPAT"],
}
# The stack protector's guard before its program's entry point seeds it
# (common/win32/stack_guard.cpp): where these bytes lie in the image is where
# the guard is.
UNSEEDED_GUARD = struct.pack("<Q", 0x64726175474B4D5A)  # "ZMKGuard"


def load(path):
    image = pefile.PE(path, fast_load=True)
    if image.FILE_HEADER.Machine != pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"] or \
            image.OPTIONAL_HEADER.Magic != pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS:
        raise SystemExit("%s: not a PE32+ x86-64 image" % path)
    image.parse_data_directories(directories=[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"],
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"],
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"],
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXCEPTION"]])
    return image


def imports(image):
    return [entry.dll.decode() for entry in getattr(image, "DIRECTORY_ENTRY_IMPORT", [])]


def exports(image):
    directory = getattr(image, "DIRECTORY_ENTRY_EXPORT", None)
    if directory is None:
        return []
    return sorted((symbol.ordinal, symbol.name.decode() if symbol.name else "")
                  for symbol in directory.symbols if symbol.address)


def resource_key(text):
    return int(text, 0) if text[:1].isdigit() else text.upper()


def entry_matches(entry, key):
    if isinstance(key, int):
        return entry.name is None and entry.id == key
    return entry.name is not None and str(entry.name).upper() == key


def resource(image, type_key, id_key):
    root = getattr(image, "DIRECTORY_ENTRY_RESOURCE", None)
    for type_entry in root.entries if root else []:
        if not entry_matches(type_entry, type_key):
            continue
        for id_entry in type_entry.directory.entries:
            if entry_matches(id_entry, id_key):
                data = id_entry.directory.entries[0].data.struct
                return image.get_data(data.OffsetToData, data.Size)
    return None


def extract_resource(args):
    if len(args) not in (3, 4):
        print(__doc__, file=sys.stderr)
        return 2
    data = resource(load(args[2]), resource_key(args[0]), resource_key(args[1]))
    if data is None:
        print("%s: no resource %s %s" % (args[2], args[0], args[1]), file=sys.stderr)
        return 1
    if len(args) == 4:
        with open(args[3], "wb") as f:
            f.write(data)
    else:
        sys.stdout.buffer.write(data)
    return 0


def imported_functions(image):
    return [(entry.dll.decode(), symbol.name.decode()) for entry in getattr(image, "DIRECTORY_ENTRY_IMPORT", [])
            for symbol in entry.imports if symbol.name]


def rel32(code, at):
    return int.from_bytes(code[at:at + 4], "little", signed=True)


def guard_checks(image):
    """How many of the stack protector's checks the image makes: the calls of
    its failure handler from the functions (as .pdata bounds them) that read
    the guard. The guard is found by its unseeded value (8-byte aligned, in
    writable data); a function reads it through a RIP-relative operand (the
    last of its instruction) that names the guard or a pointer to it. The
    handler is the callee that the most of those functions call."""
    memory = image.get_memory_mapped_image()
    # In writable data, never in the resources (the installer carries the
    # library, guard and all).
    resources = image.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]]
    found = [section.VirtualAddress + at for section in image.sections
             if section.Characteristics & pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_WRITE"]
             and not section.contains_rva(resources.VirtualAddress)
             for at in range(0, section.SizeOfRawData, 8)
             if memory.startswith(UNSEEDED_GUARD, section.VirtualAddress + at)]
    if len(found) != 1:
        return 0
    guard = found[0]
    pointer = struct.pack("<Q", image.OPTIONAL_HEADER.ImageBase + guard)
    places = {guard} | {at for at in range(len(memory)) if memory.startswith(pointer, at)}
    calls = collections.Counter()
    callers = collections.Counter()
    for function in getattr(image, "DIRECTORY_ENTRY_EXCEPTION", []):
        begin, end = function.struct.BeginAddress, function.struct.EndAddress
        code = memory[begin:end]
        if not any(begin + at + 4 + rel32(code, at) in places for at in range(len(code) - 3)):
            continue
        callees = [begin + at + 5 + rel32(code, at + 1) for at in range(len(code) - 4) if code[at] == 0xE8]
        calls.update(callees)
        callers.update(set(callees))
    if not callers:
        return 0
    handler = callers.most_common(1)[0][0]
    return calls[handler]


def check_security(path, image):
    header = image.OPTIONAL_HEADER
    missing = [name for name, bit in SECURITY_FLAGS.items() if not header.DllCharacteristics & bit]
    if (header.MajorSubsystemVersion, header.MinorSubsystemVersion) < (6, 0):
        missing.append("subsystem version 6.0")
    checks = guard_checks(image)
    if checks == 0:
        missing.append("stack protector guard checks")
    crypto = [name for _, name in imported_functions(image) if name.startswith("Crypt")]
    if crypto:
        missing.append("no crypto API import (imports %s)" % ", ".join(crypto))
    print("%s: dllcharacteristics %#06x, subsystem version %d.%d, %d stack guard checks%s" % (
        path, header.DllCharacteristics, header.MajorSubsystemVersion, header.MinorSubsystemVersion, checks,
        "; missing " + ", ".join(missing) if missing else ", no crypto API import"))
    return 1 if missing else 0


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    cmd, files = argv[1], argv[2:]
    if cmd == "resource":
        return extract_resource(files)
    status = 0
    for path in files:
        image = load(path)
        header = image.OPTIONAL_HEADER
        if cmd == "set-checksum":
            header.CheckSum = image.generate_checksum()
            data = image.write()
            image.close()
            with open(path, "wb") as f:
                f.write(data)
        elif cmd == "verify-checksum":
            stored, computed = header.CheckSum, image.generate_checksum()
            print("%s: stored %#010x computed %#010x" % (path, stored, computed))
            if stored == 0 or stored != computed:
                status = 1
        elif cmd == "imports":
            for name in imports(image):
                print(name)
        elif cmd == "imported-functions":
            for dll, name in imported_functions(image):
                print(dll, name)
        elif cmd == "check-imports":
            names = imports(image)
            foreign = [n for n in names if n.lower() not in KNOWN_DLLS and not n.lower().startswith("api-ms-win-")]
            print("%s imports: %s" % (path, ", ".join(names)))
            if foreign:
                print("%s: not a KnownDLL, searched for beside the program first: %s" % (path, ", ".join(foreign)))
                status = 1
        elif cmd == "exports":
            for ordinal, name in exports(image):
                print(ordinal, name)
        elif cmd == "info":
            print("%s: machine %#06x magic %#05x subsystem %d version %d.%d dllcharacteristics %#06x "
                  "timestamp %d characteristics %#06x" % (
                      path, image.FILE_HEADER.Machine, header.Magic, header.Subsystem,
                      header.MajorSubsystemVersion, header.MinorSubsystemVersion, header.DllCharacteristics,
                      image.FILE_HEADER.TimeDateStamp, image.FILE_HEADER.Characteristics))
        elif cmd == "check-security":
            status |= check_security(path, image)
        else:
            print(__doc__, file=sys.stderr)
            return 2
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
