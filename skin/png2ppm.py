#!/usr/bin/env python3
"""png2ppm.py in.png out.ppm: turns a PNG into a binary PPM for cjpeg, which
reads no PNG. Alpha is dropped: the JPEG faces are opaque backgrounds."""
import sys

from pngread import read_rgba


def main(src, dst):
    w, h, rows = read_rgba(src)
    out = bytearray()
    for line in rows:
        for x in range(w):
            out += line[x * 4:x * 4 + 3]
    with open(dst, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (w, h) + bytes(out))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: png2ppm.py in.png out.ppm")
    main(sys.argv[1], sys.argv[2])
