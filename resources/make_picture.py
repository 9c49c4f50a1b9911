#!/usr/bin/env python3
"""Turns one icon of the Tango set (PNG) into a picture of the crash dialog:
a Windows bitmap file with the 40-byte information header and 32-bit pixels
(blue, green, red, alpha), bottom row first, exactly SIZE x SIZE.

    make_picture.py SOURCE.png SIZE OUT.bmp
"""
import struct
import sys
import zlib


def decode_png(data):
    """Pixels of an 8-bit, non-interlaced PNG as rows of (r, g, b, a)."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    at, idat, palette, trns = 8, b"", None, None
    width = height = depth = colour = interlace = None
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        at += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"PLTE":
            palette = [tuple(body[i:i + 3]) for i in range(0, len(body), 3)]
        elif kind == b"tRNS":
            trns = body
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    if depth != 8 or interlace != 0:
        raise ValueError("only 8-bit, non-interlaced PNG files are supported")
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour]
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            upleft = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - upleft
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - upleft)
                pred = left if pa <= pb and pa <= pc else up if pb <= pc else upleft
                line[i] = (line[i] + pred) & 255
        previous = line
        row = []
        for x in range(width):
            px = line[x * channels:(x + 1) * channels]
            if colour == 6:
                row.append(tuple(px))
            elif colour == 2:
                row.append((px[0], px[1], px[2], 255))
            elif colour == 0:
                row.append((px[0], px[0], px[0], 255))
            elif colour == 4:
                row.append((px[0], px[0], px[0], px[1]))
            else:
                r, g, b = palette[px[0]]
                a = trns[px[0]] if trns and px[0] < len(trns) else 255
                row.append((r, g, b, a))
        rows.append(row)
    return width, height, rows


def main():
    source, size, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    with open(source, "rb") as f:
        width, height, rows = decode_png(f.read())
    if (width, height) != (size, size):
        raise SystemExit(f"{source}: {width}x{height}, not {size}x{size}")
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 32, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(out, "wb") as f:
        f.write(header + info + pixels)


if __name__ == "__main__":
    main()
