#!/usr/bin/env python3
"""Writes every SVG source of the skin into skin/svg/ from one palette.

This script is the source of truth: change a colour or a shape here, run
`python3 skin/make_skin.py`, commit the SVGs it rewrites, and rebuild.
Each output is named after the file the program loads plus ".svg"
("close_btn.png.svg" renders to "pic/close_btn.png").
"""
import math
import os
import sys

# --- palette -----------------------------------------------------------------
BODY = "#1F232A"        # window body
PANEL = "#2A2F38"       # panels behind the button column and the bottom row
FACE = "#353B46"        # raised button face
FACE_DOWN = "#181B21"   # pressed button face
EDGE = "#4A5261"        # outlines, frames
INK = "#FFFFFF"         # icons and labels
MUTED = "#9AA3B2"       # captions, "off" labels
DIM = "#5A6270"
OFF_TEXT = "#B9C1CD"     # labels of unchosen options         # greyed-out icons
ACCENT = "#2F8CFF"      # on, selected, shutter
ACCENT_DOWN = "#1E63C0"
GREEN = "#35C46A"       # GPS fix
LIGHT = "#EEF1F5"       # description page
LIGHT_EDGE = "#C9D0DA"
DARK_TEXT = "#1F232A"

FONT = "DejaVu Sans"
STROKE = 2              # icon stroke at the large size

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "svg")


def svg(w, h, body):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" '
            f'viewBox="0 0 {w} {h}">\n{body}</svg>\n')


def text(x, y, s, size=16, fill=INK, weight="normal", anchor="middle"):
    # y is the vertical centre of the caps: the baseline sits 0.36 em below it
    base = y + size * 0.36
    return (f'<text x="{x}" y="{base:.1f}" font-family="{FONT}" font-size="{size}" '
            f'font-weight="{weight}" fill="{fill}" text-anchor="{anchor}">{s}</text>\n')


def rrect(x, y, w, h, r, fill="none", stroke="none", sw=0, extra=""):
    return (f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="{r}" fill="{fill}" '
            f'stroke="{stroke}" stroke-width="{sw}" {extra}/>\n')


# --- icons: paths in a 48 x 48 box, stroked --------------------------------
def gear_path():
    pts = []
    teeth = 8
    for i in range(teeth * 4):
        a = 2 * math.pi * i / (teeth * 4) - math.pi / 2
        r = 18 if (i % 4) in (1, 2) else 13.5
        pts.append(f"{24 + r * math.cos(a):.2f} {24 + r * math.sin(a):.2f}")
    return "M" + " L".join(pts) + " Z M30.5 24 A6.5 6.5 0 1 0 17.5 24 A6.5 6.5 0 1 0 30.5 24 Z"


def satellite_path():
    """Body between two solar panels with cell lines, a dish below, tilted 45 degrees."""
    shapes = [
        [(20, 17), (28, 17), (28, 31), (20, 31)],          # body
        [(4, 19), (16, 19), (16, 29), (4, 29)],            # left panel
        [(32, 19), (44, 19), (44, 29), (32, 29)],          # right panel
    ]
    lines = [[(16, 24), (20, 24)], [(28, 24), (32, 24)], [(10, 19), (10, 29)], [(38, 19), (38, 29)],
             [(24, 31), (24, 35)], [(19, 39), (29, 39)]]
    c, s45 = math.cos(-math.pi / 4), math.sin(-math.pi / 4)

    def rot(p):
        x, y = p[0] - 24, p[1] - 24
        return f"{24 + x * c - y * s45:.2f} {24 + x * s45 + y * c:.2f}"
    d = ""
    for pts in shapes:
        d += "M" + " L".join(rot(p) for p in pts) + " Z "
    for a, b in lines:
        d += f"M{rot(a)} L{rot(b)} "
    # dish: a shallow bowl under the body
    d += f"M{rot((18, 35))} Q{rot((24, 42))} {rot((30, 35))}"
    return d


ICONS = {
    "close": "M14 14 L34 34 M34 14 L14 34",
    "gear": gear_path(),
    "camera": "M6 18 Q6 14 10 14 H16 L19 9 H29 L32 14 H38 Q42 14 42 18 V36 Q42 40 38 40 H10 "
              "Q6 40 6 36 Z M31 27 A7 7 0 1 0 17 27 A7 7 0 1 0 31 27 Z",
    "bin": "M11 14 H37 M20 14 V9 H28 V14 M14 14 L16.5 40 H31.5 L34 14 M21 20 V34 M27 20 V34",
    "left": "M29 11 L16 24 L29 37",
    "right": "M19 11 L32 24 L19 37",
    "gallery": "M7 13 Q7 10 10 10 H38 Q41 10 41 13 V35 Q41 38 38 38 H10 Q7 38 7 35 Z "
               "M7 33 L18 22 L27 31 L32 26 L41 35 M34.5 17.5 A3 3 0 1 0 28.5 17.5 A3 3 0 1 0 34.5 17.5 Z",
    "satellite": satellite_path(),
    "info": "M24 22 V34 M24 15 V15.5 M42 24 A18 18 0 1 0 6 24 A18 18 0 1 0 42 24 Z",
    "book": "M24 14 Q16 9 7 11 V37 Q16 35 24 40 Q32 35 41 37 V11 Q32 9 24 14 Z M24 14 V40",
    "radar": "M24 24 L36 12 M42 24 A18 18 0 1 1 24 6 M33 24 A9 9 0 1 1 24 15",
}


def icon(name, cx, cy, size=48, color=INK, sw=STROKE):
    s = size / 48.0
    return (f'<g transform="translate({cx - size / 2:.2f} {cy - size / 2:.2f}) scale({s:.4f})" '
            f'fill="none" stroke="{color}" stroke-width="{sw / s:.3f}" stroke-linecap="round" '
            f'stroke-linejoin="round"><path d="{ICONS[name]}"/></g>\n')


# --- main-window faces -----------------------------------------------------
def face(w, h, pressed, fill=None, fill_down=None, r=14, m=3):
    """A raised rounded face; the pressed one is darker with an inset accent ring.
    The margin m keeps a gap between buttons the layout stacks edge to edge."""
    if not pressed:
        return rrect(m, m, w - 2 * m, h - 2 * m, r, fill or FACE, EDGE, 1.5)
    return (rrect(m, m, w - 2 * m, h - 2 * m, r, fill_down or FACE_DOWN, EDGE, 1.5)
            + rrect(m + 3, m + 3, w - 2 * m - 6, h - 2 * m - 6, r - 3, "none",
                    ACCENT if fill is None else INK, 2))


def shift(pressed):
    return ' transform="translate(1 1)"' if pressed else ""


def column_button(w, h, ico, label, pressed, accent=False):
    f = face(w, h, pressed, ACCENT if accent else None, ACCENT_DOWN if accent else None)
    if h >= 100:
        inner = icon(ico, w / 2, 40, 44) + text(w / 2, 80, label, 16, INK, "bold")
    else:
        inner = icon(ico, 44, h / 2, 36) + text(96, h / 2, label, 17, INK, "bold")
    return svg(w, h, f + f"<g{shift(pressed)}>\n" + inner + "</g>\n")


def round_button(ico, pressed, size=100):
    c = size / 2
    if pressed:
        f = (f'<circle cx="{c}" cy="{c}" r="{c - 2}" fill="{FACE_DOWN}" stroke="{EDGE}" stroke-width="1.5"/>\n'
             f'<circle cx="{c}" cy="{c}" r="{c - 6}" fill="none" stroke="{ACCENT}" stroke-width="2"/>\n')
    else:
        f = f'<circle cx="{c}" cy="{c}" r="{c - 2}" fill="{FACE}" stroke="{EDGE}" stroke-width="1.5"/>\n'
    return svg(size, size, f + f"<g{shift(pressed)}>\n" + icon(ico, c, c, 52) + "</g>\n")


def gps(state):
    """GPS indicator, 170 x 57: satellite, three signal arcs, a word."""
    w, h = 170, 57
    fix = state == "good"
    off = state == "off"
    ring = GREEN if fix else EDGE
    out = rrect(1, 1, w - 2, h - 2, 27, PANEL, ring, 2 if fix else 1.5)
    sat = DIM if off else (GREEN if fix else INK)
    out += icon("satellite", 30, 28, 40, sat)
    # signal arcs to the right of the satellite: lit one by one while searching
    lit = {"unknown1": 1, "unknown2": 2, "unknown3": 3, "good": 3, "off": 0}[state]
    for i in range(3):
        r = 6 + i * 5.5
        col = (GREEN if fix else ACCENT) if i < lit else "#434B58"
        x0, y0 = 50 + r * 0.7071, 28 - r * 0.7071
        x1, y1 = 50 + r * 0.7071, 28 + r * 0.7071
        out += (f'<path d="M{x0:.2f} {y0:.2f} A{r} {r} 0 0 1 {x1:.2f} {y1:.2f}" fill="none" '
                f'stroke="{col}" stroke-width="3" stroke-linecap="round"/>\n')
    word = {"good": "GPS fix", "off": "GPS off"}.get(state, "Searching")
    out += text(119, 28.5, word, 15, MUTED if off else (GREEN if fix else INK), "bold")
    if off:
        out += f'<path d="M12 10 L48 46" stroke="{MUTED}" stroke-width="3" stroke-linecap="round"/>\n'
    return svg(w, h, out)


def app_icon(size):
    """Camera on a tripod, filled shapes so it survives 16 x 16."""
    s = size / 64.0
    g = app_glyph_flat()
    return svg(size, size, f'<g transform="scale({s})">\n{g}</g>\n')


def main_background():
    w = h = 800
    out = rrect(0, 0, w, h, 0, BODY)
    out += rrect(6, 6, w - 7, h - 7, 16, "none", "#2C323C", 2)
    # brand, clear of the rounded corner
    out += (f'<g transform="translate(48 38) scale(0.75)">' + app_glyph_flat() + '</g>\n')
    out += text(108, 62, "Tamsel", 26, INK, "bold", "start")
    # viewer frame
    out += rrect(81, 160, 492, 372, 6, "#000000", EDGE, 2)
    # button column and bottom row panels
    out += rrect(612, 146, 180, 430, 18, PANEL, "#343A45", 1.5)
    out += rrect(72, 560, 508, 128, 18, PANEL, "#343A45", 1.5)
    # thumbnail box frame (the program fills the box itself)
    out += rrect(199, 571, 135, 103, 4, "#000000", EDGE, 1.5)
    return svg(w, h, out)


def app_glyph_flat():
    return (rrect(0, 0, 64, 64, 14, ACCENT)
            + f'<path d="M9 17 Q9 13 13 13 H22 L25 8 H39 L42 13 H51 Q55 13 55 17 V36 Q55 40 51 40 H13 '
              f'Q9 40 9 36 Z" fill="{INK}"/>\n'
            + f'<circle cx="32" cy="26.5" r="8.5" fill="{ACCENT}"/>\n'
            + f'<circle cx="32" cy="26.5" r="4.5" fill="{INK}"/>\n'
            + f'<path d="M32 40 V58 M32 42 L18 58 M32 42 L46 58" stroke="{INK}" stroke-width="6" '
              f'stroke-linecap="round" fill="none"/>\n')


# --- setup faces ------------------------------------------------------------
def option(w, h, label, on, size=15):
    """A choice: "on" is a solid accent pill with a tick; "off" only an outline."""
    r = min(h / 2, 12)
    if on:
        out = rrect(1, 1, w - 2, h - 2, r, ACCENT, ACCENT, 1.5)
        # a tick in the corner where the face is tall enough: on reads as chosen
        if h >= 60:
            out += (f'<path d="M{w - 17} 9 l3 3 l6 -6" fill="none" stroke="{INK}" stroke-width="2" '
                    f'stroke-linecap="round" stroke-linejoin="round"/>\n')
        out += text(w / 2, h / 2, label, size, INK, "bold")
    else:
        out = rrect(1.5, 1.5, w - 3, h - 3, r, "none", EDGE, 1.5)
        out += text(w / 2, h / 2, label, size, OFF_TEXT)
    return svg(w, h, out)


def action(w, h, label, ico=None, size=15, style="face"):
    r = min(h / 2, 12)
    if style == "accent":
        out = rrect(1, 1, w - 2, h - 2, r, ACCENT, ACCENT, 1.5)
    elif style == "busy":
        out = rrect(1, 1, w - 2, h - 2, r, FACE_DOWN, ACCENT, 2, 'stroke-dasharray="8 5"')
    else:
        out = rrect(1, 1, w - 2, h - 2, r, FACE, EDGE, 1.5)
    if ico:
        isz = h - 12
        out += icon(ico, 8 + isz / 2 + 4, h / 2, isz, ACCENT if style == "busy" else INK)
        out += text(w / 2 + isz / 2 + 2, h / 2, label, size, INK, "bold")
    else:
        out += text(w / 2, h / 2, label, size, INK, "bold")
    return svg(w, h, out)


def small_close():
    return svg(30, 30, f'<circle cx="15" cy="15" r="14" fill="{FACE}" stroke="{EDGE}" stroke-width="1.5"/>\n'
               + f'<path d="M10 10 L20 20 M20 10 L10 20" stroke="{INK}" stroke-width="2.5" '
                 f'stroke-linecap="round"/>\n')


def setup_background():
    w = h = 600
    out = rrect(0, 0, w, h, 0, BODY)
    out += rrect(6, 6, w - 7, h - 7, 16, "none", "#2C323C", 2)
    out += text(40, 32, "Setup", 22, INK, "bold", "start")
    cap = lambda x, y, s: text(x, y, s, 16, MUTED, "bold", "start")
    # group panels behind the option rows
    for (x, y, pw, ph) in [(40, 52, 530, 66), (40, 128, 530, 100), (40, 238, 530, 74),
                           (40, 322, 530, 70), (40, 402, 530, 76), (40, 488, 530, 80)]:
        out += rrect(x, y, pw, ph, 12, PANEL, "#343A45", 1)
    out += cap(60, 85, "Camera")
    out += cap(60, 145, "Resolution")
    out += cap(60, 275, "Preview size")
    out += cap(60, 339, "Geotagging")
    out += cap(382, 339, "Flash")
    out += cap(60, 421, "Idle time")
    out += cap(60, 505, "Help")
    return svg(w, h, out)


def description_background():
    w = h = 600
    out = rrect(0, 0, w, h, 0, LIGHT)
    out += rrect(0, 0, w, 60, 0, BODY)
    out += text(40, 33, "Application description", 20, INK, "bold", "start")
    out += f'<path d="M40 375 H560" stroke="{LIGHT_EDGE}" stroke-width="1.5"/>\n'
    out += f'<path d="M40 445 H560" stroke="{LIGHT_EDGE}" stroke-width="1.5"/>\n'
    return svg(w, h, out)


def description_logo():
    w, h = 300, 150
    out = f'<g transform="translate(20 35) scale(1.25)">' + app_glyph_flat() + '</g>\n'
    out += text(112, 64, "Tamsel", 40, DARK_TEXT, "bold", "start")
    out += text(114, 100, "camera and snapshots", 15, "#5A6270", "normal", "start")
    return svg(w, h, out)


def gps_background():
    w, h = 600, 300
    out = rrect(0, 0, w, h, 0, BODY)
    out += rrect(6, 6, w - 7, h - 7, 16, "none", "#2C323C", 2)
    out += icon("satellite", 62, 50, 40, ACCENT)
    out += text(92, 50, "GPS receiver", 22, INK, "bold", "start")
    out += rrect(40, 88, 530, 186, 12, PANEL, "#343A45", 1)
    out += text(232, 112, "Serial port", 16, MUTED, "bold", "end")
    return svg(w, h, out)


def build():
    files = {}
    files["App.png"] = app_icon(64)
    files["small_task.png"] = app_icon(32)
    files["Main-ui-background.png"] = main_background()
    for p in (False, True):
        sfx = "_select" if p else ""
        files[f"left_arrow{sfx}.png"] = round_button("left", p)
        files[f"right_arrow{sfx}.png"] = round_button("right", p)
        # live preview shows where a press leads: the gallery; review shows the camera
        files[f"mode_switch{sfx}.png"] = round_button("gallery", p)
        files[f"mode_switch_pic{sfx}.png"] = round_button("camera", p)
        mid = "_select" if p else ""
        files[f"close{mid}_btn.png"] = column_button(150, 70, "close", "Close", p)
        files[f"setup{mid}_btn.png"] = column_button(150, 100, "gear", "Setup", p)
        files[f"capture{mid}_btn.png"] = column_button(150, 100, "camera", "Capture", p, accent=True)
        files[f"delete{mid}_btn.png"] = column_button(150, 100, "bin", "Delete", p)
    for i in (1, 2, 3):
        files[f"GPS_unknow_{i}.png"] = gps(f"unknown{i}")
    files["GPS_good.png"] = gps("good")
    files["GPS_off.png"] = gps("off")

    files["setup_background.jpg"] = setup_background()
    files["setup_close.png"] = small_close()
    files["setup_AppDescription_close.png"] = small_close()
    for st in ("on", "off"):
        on = st == "on"
        for i in (1, 2, 3):
            files[f"setup_camera{i}_{st}.png"] = option(80, 50, f"Camera {i}", on, 14)
        for key, label in (("vga", "VGA"), ("svga", "SVGA"), ("xvga", "XVGA"), ("native", "Native")):
            files[f"setup_res_{key}_{st}.png"] = option(100, 60, label, on, 17)
        for key in ("480x320", "640x480"):
            files[f"setup_preview_{key}_{st}.png"] = option(100, 60, key.replace("x", "*"), on, 16)
        for what in ("geotagging", "flash"):
            files[f"setup_{what}_on_{st}.png"] = option(80, 35, "On", on, 15)
            files[f"setup_{what}_off_{st}.png"] = option(80, 35, "Off", on, 15)
        for m in (5, 10, 15, 20, 30):
            files[f"setup_idle_{m}min_{st}.png"] = option(80, 30, f"{m} min", on, 14)
    files["setup_geotagging_set.png"] = action(80, 35, "Set GPS", None, 14)
    files["setup_application_description.png"] = action(255, 35, "Application description", "info", 15)
    files["setup_user_manual.png"] = action(180, 35, "User manual", "book", 15)
    files["setup_AppDescription_Logo.png"] = description_logo()
    files["setup_AppDescription_Bk.jpg"] = description_background()
    files["setup_GpsSet_bk.png"] = gps_background()
    files["setup_GpsSet_autoscan.png"] = action(300, 50, "Auto scan", "radar", 17)
    files["setup_GpsSet_scanning.png"] = action(300, 50, "Scanning...", "radar", 17, "busy")
    files["setup_GpsSet_ok.png"] = action(70, 50, "OK", None, 17, "accent")
    files["setup_GpsSet_cancel.png"] = action(150, 50, "Cancel", None, 17)
    return files


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else OUT   # another folder: for comparing
    os.makedirs(out, exist_ok=True)
    files = build()
    for old in os.listdir(out):
        if old.endswith(".svg") and old[:-4] not in files:
            os.remove(os.path.join(out, old))
    for name, content in sorted(files.items()):
        with open(os.path.join(out, name + ".svg"), "w", encoding="utf-8") as f:
            f.write(content)
    print(f"{len(files)} SVG files in {out}", file=sys.stderr)


if __name__ == "__main__":
    main()
