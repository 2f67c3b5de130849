#!/usr/bin/env python3
"""Reads and fixes PE32+ images without any Windows tool.

  set-checksum FILE       compute the image checksum and write it into the header
  verify-checksum FILE    exit 1 unless the stored checksum equals the computed one
  imports FILE            print the imported DLL names, one a line
  check-imports FILE...   exit 1 if an image imports a DLL outside the system list
  exports FILE            print "ordinal name" for each export
  info FILE               machine, magic, subsystem, DLL characteristics, timestamp
  check-security FILE...  exit 1 unless high-entropy ASLR, dynamic base and NX are set
  resource TYPE ID FILE [OUT]
                          the data of resource TYPE/ID (a number or a name, e.g.
                          BINARY 129; first language found) to OUT or to stdout
"""
import struct
import sys

SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
    "ws2_32.dll", "version.dll", "msvcrt.dll", "ole32.dll", "comctl32.dll",
    "shlwapi.dll", "ntdll.dll", "bcrypt.dll", "ucrtbase.dll",
}

DLLCHAR_HIGH_ENTROPY_VA = 0x0020
DLLCHAR_DYNAMIC_BASE = 0x0040
DLLCHAR_NX_COMPAT = 0x0100


class Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("not an MZ image")
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        coff = self.pe + 4
        (self.machine, self.nsections, self.timestamp, _, _, self.opt_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, coff)
        self.opt = coff + 20
        self.magic = struct.unpack_from("<H", data, self.opt)[0]
        if self.magic != 0x20B:
            raise ValueError("not PE32+")
        self.checksum_offset = self.opt + 64
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", data, self.opt + 68)
        self.ndirs = struct.unpack_from("<I", data, self.opt + 108)[0]
        self.dirs = [struct.unpack_from("<II", data, self.opt + 112 + 8 * i) for i in range(self.ndirs)]
        sect = self.opt + self.opt_size
        self.sections = []
        for i in range(self.nsections):
            name, vsize, va, rawsize, rawptr = struct.unpack_from("<8sIIII", data, sect + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode(), va, max(vsize, rawsize), rawptr, rawsize))

    def offset(self, rva):
        for _, va, size, rawptr, rawsize in self.sections:
            if va <= rva < va + size:
                if rva - va >= rawsize:
                    raise ValueError("rva in uninitialised data")
                return rawptr + rva - va
        raise ValueError("rva %#x outside every section" % rva)

    def cstring(self, rva):
        off = self.offset(rva)
        end = self.data.index(b"\0", off)
        return self.data[off:end].decode("ascii")

    def imports(self):
        names = []
        if self.ndirs < 2 or self.dirs[1][0] == 0:
            return names
        off = self.offset(self.dirs[1][0])
        while True:
            desc = struct.unpack_from("<IIIII", self.data, off)
            if desc == (0, 0, 0, 0, 0):
                break
            names.append(self.cstring(desc[3]))
            off += 20
        if self.ndirs > 13 and self.dirs[13][0]:  # delay-load imports count too
            off = self.offset(self.dirs[13][0])
            while True:
                desc = struct.unpack_from("<8I", self.data, off)
                if not any(desc):
                    break
                names.append(self.cstring(desc[1]))
                off += 32
        return names

    def resource(self, type_key, id_key):
        """The bytes of the first language of resource type_key/id_key, or None."""
        if self.ndirs < 3 or self.dirs[2][0] == 0:
            return None
        root = self.offset(self.dirs[2][0])

        def entries(directory):
            named, numbered = struct.unpack_from("<HH", self.data, directory + 12)
            for i in range(named + numbered):
                name, target = struct.unpack_from("<II", self.data, directory + 16 + 8 * i)
                if name & 0x80000000:
                    at = root + (name & 0x7FFFFFFF)
                    length = struct.unpack_from("<H", self.data, at)[0]
                    key = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le").upper()
                else:
                    key = name
                yield key, target

        def child(directory, key):
            for entry_key, target in entries(directory):
                if entry_key == key and target & 0x80000000:
                    return root + (target & 0x7FFFFFFF)
            return None

        names = child(root, type_key)
        languages = child(names, id_key) if names is not None else None
        if languages is None:
            return None
        for _, target in entries(languages):
            if not target & 0x80000000:
                rva, size = struct.unpack_from("<II", self.data, root + target)
                off = self.offset(rva)
                return self.data[off:off + size]
        return None

    def exports(self):
        if self.ndirs < 1 or self.dirs[0][0] == 0:
            return []
        off = self.offset(self.dirs[0][0])
        (_, _, _, _, _, base, nfuncs, nnames, funcs, names, ords) = struct.unpack_from("<IIHHIIIIIII", self.data, off)
        result = []
        named = {}
        for i in range(nnames):
            name_rva = struct.unpack_from("<I", self.data, self.offset(names) + 4 * i)[0]
            ordinal_index = struct.unpack_from("<H", self.data, self.offset(ords) + 2 * i)[0]
            named[ordinal_index] = self.cstring(name_rva)
        for i in range(nfuncs):
            rva = struct.unpack_from("<I", self.data, self.offset(funcs) + 4 * i)[0]
            if rva:
                result.append((base + i, named.get(i, "")))
        return result


def pe_checksum(data, checksum_offset):
    """The image checksum of imagehlp's CheckSumMappedFile."""
    total = 0
    padded = data + (b"\0" if len(data) % 2 else b"")
    for i in range(0, len(padded), 2):
        if checksum_offset <= i < checksum_offset + 4:
            continue
        total += padded[i] | (padded[i + 1] << 8)
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def load(path):
    with open(path, "rb") as f:
        return Image(f.read())


def resource_key(text):
    return int(text, 0) if text[:1].isdigit() else text.upper()


def extract_resource(args):
    if len(args) not in (3, 4):
        print(__doc__, file=sys.stderr)
        return 2
    data = load(args[2]).resource(resource_key(args[0]), resource_key(args[1]))
    if data is None:
        print("%s: no resource %s %s" % (args[2], args[0], args[1]), file=sys.stderr)
        return 1
    if len(args) == 4:
        with open(args[3], "wb") as f:
            f.write(data)
    else:
        sys.stdout.buffer.write(data)
    return 0


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    cmd, files = argv[1], argv[2:]
    if cmd == "resource":
        return extract_resource(files)
    status = 0
    for path in files:
        img = load(path)
        if cmd == "set-checksum":
            value = pe_checksum(img.data, img.checksum_offset)
            data = bytearray(img.data)
            struct.pack_into("<I", data, img.checksum_offset, value)
            with open(path, "wb") as f:
                f.write(data)
        elif cmd == "verify-checksum":
            stored = struct.unpack_from("<I", img.data, img.checksum_offset)[0]
            computed = pe_checksum(img.data, img.checksum_offset)
            print("%s: stored %#010x computed %#010x" % (path, stored, computed))
            if stored == 0 or stored != computed:
                status = 1
        elif cmd == "imports":
            for name in img.imports():
                print(name)
        elif cmd == "check-imports":
            foreign = [n for n in img.imports()
                       if n.lower() not in SYSTEM_DLLS and not n.lower().startswith("api-ms-win-")]
            print("%s imports: %s" % (path, ", ".join(img.imports())))
            if foreign:
                print("%s: not a system DLL: %s" % (path, ", ".join(foreign)))
                status = 1
        elif cmd == "exports":
            for ordinal, name in img.exports():
                print(ordinal, name)
        elif cmd == "info":
            print("%s: machine %#06x magic %#05x subsystem %d dllcharacteristics %#06x timestamp %d characteristics %#06x" % (
                path, img.machine, img.magic, img.subsystem, img.dll_characteristics, img.timestamp, img.characteristics))
        elif cmd == "check-security":
            wanted = {"high-entropy ASLR": DLLCHAR_HIGH_ENTROPY_VA, "dynamic base": DLLCHAR_DYNAMIC_BASE,
                      "NX compatible": DLLCHAR_NX_COMPAT}
            missing = [k for k, bit in wanted.items() if not img.dll_characteristics & bit]
            print("%s: dllcharacteristics %#06x%s" % (path, img.dll_characteristics,
                  "; missing " + ", ".join(missing) if missing else ""))
            if missing or img.machine != 0x8664:
                status = 1
        else:
            print(__doc__, file=sys.stderr)
            return 2
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
