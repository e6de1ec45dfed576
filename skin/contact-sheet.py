#!/usr/bin/env python3
"""Contact sheet of a rendered skin folder: every file at its own pixel size,
its name underneath, on mid-grey so transparent corners show.

    python3 skin/contact-sheet.py build/win64/pic docs/skin/contact-sheet.png

Lays the images out as an SVG that embeds them and renders it with rsvg-convert.
"""
import base64
import os
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_skin  # noqa: E402

SHEET_W = 1720
GAP = 22
LABEL = 18
GREY = "#808080"


def size_of(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] == b"\x89PNG\r\n\x1a\n":
        return struct.unpack(">II", data[16:24])
    # JPEG: walk the markers to the frame header
    i = 2
    while i < len(data):
        marker, length = data[i + 1], struct.unpack(">H", data[i + 2:i + 4])[0]
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            h, w = struct.unpack(">HH", data[i + 5:i + 9])
            return w, h
        i += 2 + length
    raise ValueError(f"{path}: no size")


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: contact-sheet.py <pic folder> <out.png>")
    folder, out = sys.argv[1], sys.argv[2]
    # the loader's order first, then anything else the folder holds
    order = [n for n, _, _ in check_skin.SKIN]
    names = sorted(os.listdir(folder), key=lambda n: (order.index(n) if n in order else len(order), n))
    items = [(n, *size_of(os.path.join(folder, n))) for n in names]

    parts, x, y, row_h = [], GAP, GAP, 0
    for name, w, h in items:
        label = f"{name} ({w}x{h})"
        cell_w = max(w, int(len(label) * 7.3) + 4)
        if x + cell_w > SHEET_W - GAP:
            x, y, row_h = GAP, y + row_h + LABEL + GAP, 0
        mime = "image/png" if name.endswith(".png") else "image/jpeg"
        with open(os.path.join(folder, name), "rb") as f:
            b64 = base64.b64encode(f.read()).decode()
        parts.append(f'<image x="{x}" y="{y}" width="{w}" height="{h}" href="data:{mime};base64,{b64}"/>')
        parts.append(f'<rect x="{x - 0.5}" y="{y - 0.5}" width="{w + 1}" height="{h + 1}" fill="none" '
                     f'stroke="#6a6a6a" stroke-width="1" stroke-dasharray="3 3"/>')
        parts.append(f'<text x="{x}" y="{y + h + 14}" font-family="DejaVu Sans" font-size="12" '
                     f'fill="#ffffff">{label}</text>')
        x += cell_w + GAP
        row_h = max(row_h, h)
    total_h = y + row_h + LABEL + GAP
    doc = (f'<svg xmlns="http://www.w3.org/2000/svg" width="{SHEET_W}" height="{total_h}">'
           f'<rect width="100%" height="100%" fill="{GREY}"/>' + "".join(parts) + "</svg>")
    with tempfile.NamedTemporaryFile("w", suffix=".svg", delete=False) as f:
        f.write(doc)
        tmp = f.name
    try:
        subprocess.run(["rsvg-convert", "-o", out, tmp], check=True)
    finally:
        os.unlink(tmp)
    print(f"{len(items)} images -> {out}")


if __name__ == "__main__":
    main()
