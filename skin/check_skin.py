#!/usr/bin/env python3
"""check_skin.py <pic folder>: every file of the skin set is there, has its
drawn pixel size, and is of the format its name says (PNG signature and IHDR;
JPEG SOI and a frame header). Exit status 1 with one line per fault."""
import os
import struct
import sys

# (name, width, height): the size each image is drawn at in the large window
SKIN = [
    ("App.png", 64, 64),
    ("small_task.png", 32, 32),
    ("Main-ui-background.png", 800, 800),
    ("left_arrow.png", 100, 100),
    ("left_arrow_select.png", 100, 100),
    ("right_arrow.png", 100, 100),
    ("right_arrow_select.png", 100, 100),
    ("mode_switch.png", 100, 100),
    ("mode_switch_select.png", 100, 100),
    ("mode_switch_pic.png", 100, 100),
    ("mode_switch_pic_select.png", 100, 100),
    ("close_btn.png", 150, 70),
    ("close_select_btn.png", 150, 70),
    ("setup_btn.png", 150, 100),
    ("setup_select_btn.png", 150, 100),
    ("capture_btn.png", 150, 100),
    ("capture_select_btn.png", 150, 100),
    ("delete_btn.png", 150, 100),
    ("delete_select_btn.png", 150, 100),
    ("GPS_unknow_1.png", 170, 57),
    ("GPS_unknow_2.png", 170, 57),
    ("GPS_unknow_3.png", 170, 57),
    ("GPS_good.png", 170, 57),
    ("GPS_off.png", 170, 57),
    ("setup_background.jpg", 600, 600),
    ("setup_close.png", 30, 30),
    ("setup_camera1_on.png", 80, 50),
    ("setup_camera1_off.png", 80, 50),
    ("setup_camera2_on.png", 80, 50),
    ("setup_camera2_off.png", 80, 50),
    ("setup_camera3_on.png", 80, 50),
    ("setup_camera3_off.png", 80, 50),
    ("setup_res_vga_on.png", 100, 60),
    ("setup_res_vga_off.png", 100, 60),
    ("setup_res_svga_on.png", 100, 60),
    ("setup_res_svga_off.png", 100, 60),
    ("setup_res_xvga_on.png", 100, 60),
    ("setup_res_xvga_off.png", 100, 60),
    ("setup_res_native_on.png", 100, 60),
    ("setup_res_native_off.png", 100, 60),
    ("setup_preview_480x320_on.png", 100, 60),
    ("setup_preview_480x320_off.png", 100, 60),
    ("setup_preview_640x480_on.png", 100, 60),
    ("setup_preview_640x480_off.png", 100, 60),
    ("setup_geotagging_on_on.png", 80, 35),
    ("setup_geotagging_on_off.png", 80, 35),
    ("setup_geotagging_off_on.png", 80, 35),
    ("setup_geotagging_off_off.png", 80, 35),
    ("setup_geotagging_set.png", 80, 35),
    ("setup_flash_on_on.png", 80, 35),
    ("setup_flash_on_off.png", 80, 35),
    ("setup_flash_off_on.png", 80, 35),
    ("setup_flash_off_off.png", 80, 35),
    ("setup_idle_5min_on.png", 80, 30),
    ("setup_idle_5min_off.png", 80, 30),
    ("setup_idle_10min_on.png", 80, 30),
    ("setup_idle_10min_off.png", 80, 30),
    ("setup_idle_15min_on.png", 80, 30),
    ("setup_idle_15min_off.png", 80, 30),
    ("setup_idle_20min_on.png", 80, 30),
    ("setup_idle_20min_off.png", 80, 30),
    ("setup_idle_30min_on.png", 80, 30),
    ("setup_idle_30min_off.png", 80, 30),
    ("setup_application_description.png", 255, 35),
    ("setup_AppDescription_Logo.png", 300, 150),
    ("setup_AppDescription_Bk.jpg", 600, 600),
    ("setup_AppDescription_close.png", 30, 30),
    ("setup_user_manual.png", 180, 35),
    ("setup_GpsSet_bk.png", 600, 300),
    ("setup_GpsSet_autoscan.png", 300, 50),
    ("setup_GpsSet_scanning.png", 300, 50),
    ("setup_GpsSet_ok.png", 70, 50),
    ("setup_GpsSet_cancel.png", 150, 50),
]


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", data[16:24])


def jpeg_size(data):
    if data[:3] != b"\xff\xd8\xff":
        return None
    i = 2
    while i + 9 <= len(data) and data[i] == 0xFF:
        marker = data[i + 1]
        length = struct.unpack(">H", data[i + 2:i + 4])[0]
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            h, w = struct.unpack(">HH", data[i + 5:i + 9])
            return w, h
        i += 2 + length
    return None


def check(folder):
    faults = []
    for name, w, h in SKIN:
        path = os.path.join(folder, name)
        if not os.path.isfile(path):
            faults.append(f"{name}: missing")
            continue
        with open(path, "rb") as f:
            data = f.read()
        kind, size = ("JPEG", jpeg_size(data)) if name.endswith(".jpg") else ("PNG", png_size(data))
        if size is None:
            faults.append(f"{name}: not a {kind} file")
        elif size != (w, h):
            faults.append(f"{name}: {size[0]}x{size[1]}, expected {w}x{h}")
    return faults


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: check_skin.py <pic folder>")
    faults = check(sys.argv[1])
    for line in faults:
        print(line)
    print(f"{len(SKIN) - len(faults)} of {len(SKIN)} skin files good")
    sys.exit(1 if faults else 0)
