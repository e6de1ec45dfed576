#!/usr/bin/env python3
"""png2ppm.py in.png out.ppm: decodes an 8-bit RGB/RGBA PNG (what rsvg-convert
writes) into a binary PPM for cjpeg, which reads no PNG. Alpha is dropped: the
JPEG faces are opaque backgrounds. Standard library only."""
import struct
import sys
import zlib


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else (b if pb <= pc else c)


def main(src, dst):
    data = open(src, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{src}: not a PNG")
    pos, idat, w = 8, b"", 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            w, h, depth, ctype, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or ctype not in (2, 6) or interlace:
                sys.exit(f"{src}: only 8-bit RGB/RGBA non-interlaced PNG")
            bpp = 3 if ctype == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = w * bpp
    prev = bytearray(stride)
    out = bytearray()
    for y in range(h):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if f == 1:
                line[i] = (line[i] + a) & 255
            elif f == 2:
                line[i] = (line[i] + b) & 255
            elif f == 3:
                line[i] = (line[i] + ((a + b) >> 1)) & 255
            elif f == 4:
                line[i] = (line[i] + paeth(a, b, c)) & 255
        prev = line
        if bpp == 3:
            out += line
        else:
            for x in range(w):
                out += line[x * 4:x * 4 + 3]
    with open(dst, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (w, h) + bytes(out))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: png2ppm.py in.png out.ppm")
    main(sys.argv[1], sys.argv[2])
