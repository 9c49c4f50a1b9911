#!/usr/bin/env python3
"""Makes the name and line map of a linked Windows program and puts it in.

Usage: make_name_map.py TOOLPREFIX PROGRAM

Reads the program's symbols (nm) and decoded DWARF line table (objdump) with
the target's binutils, writes the map, compresses and scrambles it, then
strips the DWARF from the program and adds the map as the section ".qrmap"
behind the existing ones, so no code address moves.

Map (all numbers 32-bit little-endian, addresses relative to the image base):
  "QRNM" functionCount lineCount stringBytes
  functions, sorted by start: start size name unit firstLine firstLineIndex lineCount
  lines, sorted by address within each function: address line
  strings: zero-terminated, "name" and "unit" are offsets into them
Stored form: "QRM1" rawSize, then zlib(map) XOR the key stream below.
"""
import os
import re
import struct
import subprocess
import sys
import tempfile
import zlib

# Must match crashreport/stack/NameMap.cpp.
SCRAMBLE_SEED = 0x5172D3A9
SECTION = ".qrmap"
# Source files, as opposed to headers (whose code is inlined elsewhere).
SOURCE = re.compile(r"\.(c|cc|cpp|cxx)$")


def key_stream_xor(data):
    state = SCRAMBLE_SEED
    out = bytearray(len(data))
    for i, b in enumerate(data):
        state ^= (state << 13) & 0xFFFFFFFF
        state ^= state >> 17
        state ^= (state << 5) & 0xFFFFFFFF
        out[i] = b ^ (state & 0xFF)
    return bytes(out)


def run(args, stdin=None):
    return subprocess.run(args, check=True, capture_output=True, text=True, input=stdin).stdout


def image_base_and_text(prefix, program):
    base = None
    for line in run([prefix + "objdump", "-p", program]).splitlines():
        parts = line.split()
        if len(parts) == 2 and parts[0] == "ImageBase":
            base = int(parts[1], 16)
    text = None
    end = 0
    for line in run([prefix + "objdump", "-h", program]).splitlines():
        parts = line.split()
        if len(parts) < 4 or not parts[0].isdigit():
            continue
        start, size = int(parts[3], 16), int(parts[2], 16)
        if parts[1] == ".text":
            text = (start, start + size)
        if not parts[1].startswith(".debug"):
            end = max(end, start + size)
    if base is None or text is None:
        raise SystemExit("make_name_map: no image base or .text in " + program)
    # The map goes behind the last section that stays, at the next page.
    return base, text, (end + 0xFFF) & ~0xFFF


def functions(prefix, program, text):
    """(address, mangled name) of the code symbols, sorted, one per address."""
    symbols = {}
    for line in run([prefix + "nm", program]).splitlines():
        parts = line.split()
        if len(parts) != 3 or parts[1] not in ("T", "t") or parts[2].startswith("."):
            continue
        address = int(parts[0], 16)
        if text[0] <= address < text[1]:
            symbols.setdefault(address, parts[2])
    return sorted(symbols.items())


def unwind_ends(prefix, program, base):
    """Function start -> end from the unwind data (x86-64: .pdata, x86: the
    frame descriptions), which bounds functions whose code has no symbol of
    its own behind it (the runtime libraries come without their local
    symbols)."""
    data = bytearray()
    try:
        dump = run([prefix + "objdump", "-s", "-j", ".pdata", program])
    except subprocess.CalledProcessError:
        return {}
    for line in dump.splitlines():
        parts = line.split()
        if len(parts) < 2 or not all(c in "0123456789abcdef" for c in parts[0]):
            continue
        for word in parts[1:5]:
            if len(word) == 8 and all(c in "0123456789abcdef" for c in word):
                data += bytes.fromhex(word)
    ends = {}
    for i in range(0, len(data) - 11, 12):
        begin, end, _ = struct.unpack_from("<III", data, i)
        ends[base + begin] = base + end
    if not ends:
        # x86 has no .pdata: its DWARF frame descriptions (.eh_frame, which
        # the exceptions use) bound the same functions.
        for line in run([prefix + "objdump", "--dwarf=frames", program]).splitlines():
            m = re.search(r" FDE cie=[0-9a-f]+ pc=([0-9a-f]+)\.\.([0-9a-f]+)$", line)
            if m:
                ends[int(m.group(1), 16)] = int(m.group(2), 16)
    return ends


def demangle(prefix, names):
    # -p: without parameter lists, as a person reads a stack.
    out = run([prefix + "c++filt", "-p"], "\n".join(names) + "\n").splitlines()
    if len(out) != len(names):
        out = names
    if prefix.split("/")[-1].startswith("i686"):
        # x86 C names: the compiler's leading underscore and stdcall's "@n" go.
        out = [re.sub(r"@\d+$", "", o[1:]) if o == n and o.startswith("_") else o for o, n in zip(out, names)]
    return out


def line_entries(prefix, program):
    """(address, line, file base name, is a statement) of every row of the
    line table."""
    rows = []
    for line in run([prefix + "objdump", "--dwarf=decodedline", program]).splitlines():
        parts = line.split()
        if len(parts) < 3 or not parts[1].isdigit() or not parts[2].startswith("0x"):
            continue
        rows.append((int(parts[2], 16), int(parts[1]), os.path.basename(parts[0]), parts[-1] == "x"))
    rows.sort(key=lambda r: r[0])  # stable: rows at one address keep their order
    return rows


def build_map(prefix, program):
    base, text, _ = image_base_and_text(prefix, program)
    syms = functions(prefix, program, text)
    names = demangle(prefix, [n for _, n in syms])
    rows = line_entries(prefix, program)
    ends = unwind_ends(prefix, program, base)
    strings = bytearray()
    offsets = {}

    def string(s):
        if s not in offsets:
            offsets[s] = len(strings)
            strings.extend(s.encode("utf-8", "replace") + b"\0")
        return offsets[s]

    funcs = []
    lines = []
    r = 0
    for i, (start, _) in enumerate(syms):
        end = syms[i + 1][0] if i + 1 < len(syms) else text[1]
        if start in ends and start < ends[start] < end:
            end = ends[start]
        while r < len(rows) and rows[r][0] < start:
            r += 1
        own = []
        j = r
        while j < len(rows) and rows[j][0] < end:
            own.append(rows[j])
            j += 1
        unit, first = "", 0
        if own:
            # The function's own file and line: its first statement row at its
            # start. The row of another function's end (the last line of the
            # code in front, often inlined header code) can share that address.
            at_start = [row for row in own if row[0] == own[0][0]]
            first_row = next((row for row in at_start if row[3]), own[0])
            # Inlined header code can come first (seen on x86: a function
            # that begins by building a string was named after
            # basic_string.h): a function with rows of a source file (not a
            # header) belongs to the first of those (a split-off ".cold"
            # part may have no statement row of it at all).
            source = next((row for row in own if SOURCE.search(row[2])), None)
            if source and not SOURCE.search(first_row[2]):
                first_row = source
            unit, first = first_row[2], first_row[1]
        first_index = len(lines)
        # Only the rows of the function's own file: inlined header code is
        # reported at the line of the function that it was inlined into.
        for address, line, name, _ in own:
            if name != unit:
                continue
            rva = address - base
            if lines and len(lines) > first_index and lines[-1][0] == rva:
                lines[-1] = (rva, line)
            else:
                lines.append((rva, line))
        funcs.append((start - base, end - start, string(names[i]), string(unit), first, first_index,
                      len(lines) - first_index))
    out = bytearray(b"QRNM")
    out += struct.pack("<III", len(funcs), len(lines), len(strings))
    for f in funcs:
        out += struct.pack("<7I", *f)
    for rva, line in lines:
        out += struct.pack("<II", rva, line)
    out += strings
    return bytes(out)


def stored(raw):
    return b"QRM1" + struct.pack("<I", len(raw)) + key_stream_xor(zlib.compress(raw, 9))


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    prefix, program = sys.argv[1], sys.argv[2]
    blob = stored(build_map(prefix, program))
    place = image_base_and_text(prefix, program)[2]
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "map.bin")
        with open(path, "wb") as f:
            f.write(blob)
        subprocess.run([prefix + "objcopy", "--strip-debug", "--add-section", SECTION + "=" + path,
                        "--set-section-flags", SECTION + "=alloc,load,readonly,data",
                        "--change-section-address", "%s=0x%x" % (SECTION, place), program], check=True,
                       # objcopy stamps a PE file with the time unless told one; 0, as the
                       # linker's --no-insert-timestamp leaves it, so that builds repeat.
                       env=dict(os.environ, SOURCE_DATE_EPOCH="0"))


if __name__ == "__main__":
    main()
