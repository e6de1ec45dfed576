#!/usr/bin/env python3
"""The skin checker against folders made here: the full set passes; a missing
file, a wrong size, a PNG under a .jpg name and a PNG with a garbled header are
each reported by name."""
import os
import struct
import sys
import tempfile
import unittest
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_skin  # noqa: E402


def png(w, h):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
            + chunk(b"IEND", b""))


def jpeg(w, h):
    app0 = b"\xff\xe0" + struct.pack(">H", 16) + b"JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00"
    sof = b"\xff\xc0" + struct.pack(">HBHHB", 17, 8, h, w, 3) + b"\x01\x11\x00\x02\x11\x01\x03\x11\x01"
    return b"\xff\xd8" + app0 + sof + b"\xff\xd9"


class CheckSkin(unittest.TestCase):
    def make(self, folder):
        for name, w, h in check_skin.SKIN:
            with open(os.path.join(folder, name), "wb") as f:
                f.write(jpeg(w, h) if name.endswith(".jpg") else png(w, h))

    def test_full_set_passes(self):
        with tempfile.TemporaryDirectory() as d:
            self.make(d)
            self.assertEqual(check_skin.check(d), [])

    def test_each_fault_is_named(self):
        cases = [
            ("GPS_unknow_2.png", None, "GPS_unknow_2.png: missing"),
            ("close_btn.png", png(110, 50), "close_btn.png: 110x50, expected 150x70"),
            ("setup_background.jpg", png(600, 600), "setup_background.jpg: not a JPEG file"),
            ("setup_AppDescription_Bk.jpg", jpeg(600, 599),
             "setup_AppDescription_Bk.jpg: 600x599, expected 600x600"),
            ("App.png", b"GIF89a" + png(64, 64)[6:], "App.png: not a PNG file"),
        ]
        for name, content, fault in cases:
            with self.subTest(name=name), tempfile.TemporaryDirectory() as d:
                self.make(d)
                path = os.path.join(d, name)
                if content is None:
                    os.remove(path)
                else:
                    with open(path, "wb") as f:
                        f.write(content)
                self.assertEqual(check_skin.check(d), [fault])

    def test_table_names_are_unique(self):
        names = [n for n, _, _ in check_skin.SKIN]
        self.assertEqual(len(names), len(set(names)))
        self.assertEqual(len(names), 73)


if __name__ == "__main__":
    unittest.main()
