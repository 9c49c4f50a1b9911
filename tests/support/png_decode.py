#!/usr/bin/env python3
"""Decodes a palette PNG as the crash reporter writes it, independently of
the program: checks the signature, the chunk order (IHDR, PLTE, IDAT, IEND),
every chunk's CRC-32, the zlib header 0x78 0x01 (zlib checks the Adler-32)
and filter byte 0 on every row. Writes the pixels as red, green, blue bytes,
top row first, to OUT. Exits 1 with a message on the first fault."""
import struct
import sys
import zlib


def fail(text):
    print("png_decode: " + text, file=sys.stderr)
    sys.exit(1)


def main(path, out):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        fail("bad signature")
    pos, chunks = 8, []
    while pos < len(data):
        if pos + 12 > len(data):
            fail("truncated chunk")
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        (crc,) = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        if zlib.crc32(kind + body) != crc:
            fail("bad CRC in " + kind.decode("latin-1"))
        chunks.append((kind, body))
        pos += 12 + length
    if [k for k, _ in chunks] != [b"IHDR", b"PLTE", b"IDAT", b"IEND"]:
        fail("chunks %r" % [k for k, _ in chunks])
    width, height, depth, colour, comp, filt, inter = struct.unpack(">IIBBBBB", chunks[0][1])
    if colour != 3 or comp or filt or inter or depth not in (4, 8):
        fail("bad IHDR")
    plte = chunks[1][1]
    if len(plte) % 3 or len(plte) // 3 > (1 << depth):
        fail("bad PLTE length")
    palette = [plte[i:i + 3] for i in range(0, len(plte), 3)]
    idat = chunks[2][1]
    if idat[:2] != b"\x78\x01":
        fail("zlib header %r" % idat[:2])
    raw = zlib.decompress(idat)
    row_bytes = (width * depth + 7) // 8
    if len(raw) != (row_bytes + 1) * height:
        fail("image data length")
    pixels = bytearray()
    for y in range(height):
        row = raw[y * (row_bytes + 1):(y + 1) * (row_bytes + 1)]
        if row[0] != 0:
            fail("filter byte %d in row %d" % (row[0], y))
        for x in range(width):
            if depth == 8:
                index = row[1 + x]
            else:
                byte = row[1 + x // 2]
                index = byte >> 4 if x % 2 == 0 else byte & 15
            if index >= len(palette):
                fail("index outside the palette")
            pixels += palette[index]
    open(out, "wb").write(pixels)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
