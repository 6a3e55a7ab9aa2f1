#!/usr/bin/env python3
"""Draws the program's 32 x 32, 256-colour icon and writes it as a Windows .ico file."""
import struct
import sys

W = H = 32
BLUE, WHITE, SCREEN, CLEAR = (0x1E, 0x5A, 0xA8), (0xFF, 0xFF, 0xFF), (0x7F, 0xC4, 0xFF), None


def pixel(x, y):
    # rounded blue tile
    r = 6
    cx = min(max(x, r), W - 1 - r)
    cy = min(max(y, r), H - 1 - r)
    if (x - cx) ** 2 + (y - cy) ** 2 > r * r:
        return CLEAR
    if 5 <= x <= 26 and 7 <= y <= 21:  # monitor
        if 7 <= x <= 24 and 9 <= y <= 19:
            if 15 <= x <= 16 and (11 <= y <= 12 or 14 <= y <= 18):
                return BLUE  # the "i"
            shade = (y - 9) * 6
            return (max(SCREEN[0] - shade, 0), max(SCREEN[1] - shade // 2, 0), SCREEN[2])
        return WHITE
    if (14 <= x <= 17 and 22 <= y <= 24) or (10 <= x <= 21 and 25 <= y <= 26):
        return WHITE  # stand
    shade = y * 2
    return (BLUE[0], max(BLUE[1] - shade // 2, 0), max(BLUE[2] - shade, 0))


palette, index = [], {}
rows = []
for y in range(H):
    row = []
    for x in range(W):
        c = pixel(x, y) or (0, 0, 0)
        if c not in index:
            index[c] = len(palette)
            palette.append(c)
        row.append((index[c], pixel(x, y) is None))
    rows.append(row)
palette += [(0, 0, 0)] * (256 - len(palette))

xor = b"".join(bytes(i for i, _ in rows[y]) for y in reversed(range(H)))
and_mask = b""
for y in reversed(range(H)):
    bits = 0
    for x in range(W):
        bits = (bits << 1) | (1 if rows[y][x][1] else 0)
    and_mask += struct.pack(">I", bits)
header = struct.pack("<IiiHHIIiiII", 40, W, H * 2, 1, 8, 0, len(xor) + len(and_mask), 0, 0, 256, 0)
pal = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
image = header + pal + xor + and_mask
ico = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", W, H, 0, 0, 1, 8, len(image), 22)
sys.stdout.buffer.write(ico + image)
