#!/usr/bin/env python3
"""Draws the tray icon (16x16, 32-bit with alpha): a blue rounded square with
a white "Q" ring and tail, and writes it as resources/tray.ico."""
import os
import struct

SIZE = 16


def pixel(x, y):
    cx, cy = x + 0.5, y + 0.5
    # Rounded square background.
    inset = 1.0
    r = 3.0
    dx = max(inset + r - cx, 0, cx - (SIZE - inset - r))
    dy = max(inset + r - cy, 0, cy - (SIZE - inset - r))
    if dx * dx + dy * dy > r * r:
        return (0, 0, 0, 0)
    # White ring of the "Q" and its tail.
    d = ((cx - 7.5) ** 2 + (cy - 7.5) ** 2) ** 0.5
    ring = 2.6 <= d <= 4.4
    tail = 9 <= x <= 12 and 9 <= y <= 12 and abs((x - 9) - (y - 9)) <= 0
    if ring or tail:
        return (255, 255, 255, 255)
    return (0x1E, 0x63, 0xC8, 255)  # RGB


def build():
    rows = []
    for y in reversed(range(SIZE)):  # bottom-up DIB
        for x in range(SIZE):
            r, g, b, a = pixel(x, y)
            rows.append(struct.pack("BBBB", b, g, r, a))
    xor = b"".join(rows)
    mask_row = 4  # 16 bits, padded to 32
    and_mask = bytearray()
    for y in reversed(range(SIZE)):
        bits = 0
        for x in range(SIZE):
            if pixel(x, y)[3] == 0:
                bits |= 1 << (15 - x)
        and_mask += struct.pack(">H", bits) + b"\0\0"
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    image = header + xor + bytes(and_mask)
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return icondir + entry + image


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    data = build()
    with open(os.path.join(here, "tray.ico"), "wb") as f:
        f.write(data)
    # The same bytes as hex, for the main window's stored description.
    hexed = data.hex().upper()
    for i in range(0, len(hexed), 64):
        print("      " + hexed[i:i + 64])
