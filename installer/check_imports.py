#!/usr/bin/env python3
"""Checks that Windows programs import only DLLs that every supported Windows has.

    check_imports.py FILE_OR_ZIP...

Each argument is a PE file (program or DLL) or a zip, whose PE members are
checked as shipped. Both the import table and the delay-load import table
are read. Wine ships DLLs that no Windows has (its own zlib1.dll, for one),
so a program that runs under Wine can still fail to start on a real PC: this
reads the files instead of running them.
"""
import io
import struct
import sys
import zipfile

# Part of every Windows the program supports (7 and later), each in
# System32 (or SysWOW64 for x86 programs on x86-64 Windows).
SYSTEM_DLLS = {
    "kernel32.dll": "processes, threads, files, memory",
    "user32.dll": "windows, messages, menus",
    "gdi32.dll": "drawing, fonts, bitmaps",
    "advapi32.dll": "registry, security",
    "shell32.dll": "tray icon, shell folders, ShellExecute",
    "comctl32.dll": "common controls (list views, tabs, progress bars)",
    "comdlg32.dll": "the file save dialog",
    "ole32.dll": "COM for the shell (the installer)",
    "version.dll": "file version information of modules",
    "psapi.dll": "module and process lists",
    "setupapi.dll": "the hardware list of the bug report",
    "wtsapi32.dll": "the session of the bug report",
    "msvcrt.dll": "the C runtime mingw-w64 builds on, a system DLL since Windows 2000",
    "ws2_32.dll": "Winsock 2 (the server loads it at run time)",
}


class PeError(Exception):
    pass


def _u16(data, off):
    return struct.unpack_from("<H", data, off)[0]


def _u32(data, off):
    return struct.unpack_from("<I", data, off)[0]


def imported_dlls(data):
    """Names of the DLLs a PE image imports, directly or delay-loaded."""
    if data[:2] != b"MZ":
        raise PeError("no MZ header")
    pe = _u32(data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise PeError("no PE signature")
    coff = pe + 4
    sections_count = _u16(data, coff + 2)
    optional_size = _u16(data, coff + 16)
    opt = coff + 20
    magic = _u16(data, opt)
    if magic == 0x10B:
        image_base = _u32(data, opt + 28)
        directories = opt + 96
    elif magic == 0x20B:
        image_base = struct.unpack_from("<Q", data, opt + 24)[0]
        directories = opt + 112
    else:
        raise PeError("unknown optional header 0x%x" % magic)
    sections = []
    table = opt + optional_size
    for i in range(sections_count):
        s = table + 40 * i
        virtual_size, rva, raw_size, raw = struct.unpack_from("<IIII", data, s + 8)
        sections.append((rva, max(virtual_size, raw_size), raw))

    def offset(rva):
        for start, size, raw in sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise PeError("address 0x%x outside every section" % rva)

    def name_at(rva):
        off = offset(rva)
        end = data.index(b"\0", off)
        return data[off:end].decode("ascii").lower()

    def descriptors(index, size):
        """The table of data directory INDEX: SIZE-byte entries up to an empty one."""
        rva, length = struct.unpack_from("<II", data, directories + 8 * index)
        if not rva or not length:
            return
        off = offset(rva)
        while len(data[off:off + size]) == size and data[off:off + size] != bytes(size):
            yield data[off:off + size]
            off += size

    # Imports: 20-byte descriptors, the name's offset at +12.
    names = [name_at(_u32(d, 12)) for d in descriptors(1, 20)]
    # Delay-load: 32-byte descriptors, attributes at +0 and the name at +4;
    # old-style ones hold addresses instead of offsets.
    for d in descriptors(13, 32):
        attributes, name = _u32(d, 0), _u32(d, 4)
        names.append(name_at(name if attributes & 1 else name - image_base))
    return names


def pe_files(path):
    """(shown name, bytes) of every PE file the argument stands for."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] == b"MZ":
        return [(path, data)]
    if not zipfile.is_zipfile(io.BytesIO(data)):
        raise PeError("%s is neither a PE file nor a zip" % path)
    found = []
    with zipfile.ZipFile(io.BytesIO(data)) as z:
        for member in z.namelist():
            content = z.read(member)
            if content[:2] == b"MZ":
                found.append(("%s:%s" % (path, member), content))
    if not found:
        raise PeError("%s ships no program" % path)
    return found


def main(args):
    if not args:
        print(__doc__.strip())
        return 2
    bad = 0
    for arg in args:
        try:
            files = pe_files(arg)
        except (OSError, PeError) as e:
            print("imports: %s" % e)
            bad += 1
            continue
        for shown, data in files:
            try:
                dlls = imported_dlls(data)
            except (PeError, struct.error, ValueError) as e:
                print("imports: %s: cannot read its tables: %s" % (shown, e))
                bad += 1
                continue
            if "kernel32.dll" not in dlls:
                print("imports: %s: no kernel32.dll among %s: the tables were misread" % (shown, dlls))
                bad += 1
            foreign = sorted(set(d for d in dlls if d not in SYSTEM_DLLS))
            if foreign:
                print("imports: %s needs %s, which Windows does not have" % (shown, ", ".join(foreign)))
                bad += 1
            else:
                print("imports: %s: %s" % (shown, ", ".join(sorted(set(dlls)))))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
