#!/usr/bin/env python3
"""png2ico.py out.ico in.png...: one icon file from square PNGs of different
sizes. Sizes below 256 are stored as 32-bit bitmaps with their AND mask, which
every Windows reads (XP shows no PNG-compressed entry); 256 is stored as the
PNG itself, as Vista and later expect."""
import struct
import sys

from pngread import read_rgba


def bitmap_entry(w, h, rows):
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    mask_stride = ((w + 31) // 32) * 4
    mask = bytearray()
    for line in reversed(rows):  # bottom-up
        for x in range(w):
            r, g, b, a = line[x * 4:x * 4 + 4]
            xor += bytes((b, g, r, a))
        bits = bytearray(mask_stride)
        for x in range(w):
            if line[x * 4 + 3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(xor) + bytes(mask)


def main(dst, sources):
    entries = []
    for src in sources:
        w, h, rows = read_rgba(src)
        if w != h or w > 256:
            sys.exit(f"{src}: icons are square and at most 256 pixels")
        body = open(src, "rb").read() if w == 256 else bitmap_entry(w, h, rows)
        entries.append((w, body))
    entries.sort(key=lambda e: e[0])
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for w, body in entries:
        side = 0 if w == 256 else w
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(body), offset)
        offset += len(body)
    for _, body in entries:
        out += body
    with open(dst, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit("usage: png2ico.py out.ico in.png...")
    main(sys.argv[1], sys.argv[2:])
