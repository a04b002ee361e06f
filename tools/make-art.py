#!/usr/bin/python3
"""Draws the toolbar's art into res/art/: the window skin, the nine buttons (up and pressed),
the indicator images, the toolbar's window symbol, the program icon and the settings dialog's
pedal lamp.

Run it with Debian's python3 (python3-pil):   /usr/bin/python3 tools/make-art.py [--preview FILE]

The output is committed and the build uses the committed files; rerun the script after changing
it. The drawing is deterministic, so an unchanged script rewrites identical files.

Everything is placed from the main window's dialog template: under "MS Shell Dlg" 8 pt the
dialog base units are 6 x 13 pixels, and a control at (x, y, w, h) dialog units lies at
MulDiv(x, 6, 4), MulDiv(y, 13, 8), ... pixels. Bitmap buttons and bitmap statics take the size
of their image, so only their top-left corner comes from the template. The small images carry
the skin pixels that lie under them, so they blend into the window.
"""

import argparse
import math
import os
import struct

from PIL import Image, ImageDraw, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT_DIR = os.path.join(ROOT, "res", "art")

# The speed strip below the original 42-unit toolbar (68 pixels) makes it 50 units high; the
# upper part keeps its colours, the strip continues in the darkest tone.
SKIN_W, SKIN_H = 443, 81
UPPER_H = 68
SS = 8  # supersampling factor for anti-aliased shapes


# ---------------------------------------------------------------------------------------------
# Template geometry


def muldiv(a, b, c):
    # Windows' MulDiv rounds halves away from zero; all values here are positive.
    return (a * b * 2 + c) // (2 * c)


def dlu_rect(x, y, w, h):
    """Pixel rectangle (left, top, right, bottom), right/bottom exclusive."""
    l, t = muldiv(x, 6, 4), muldiv(y, 13, 8)
    return (l, t, l + muldiv(w, 6, 4), t + muldiv(h, 13, 8))


def at(x, y, size):
    l, t = muldiv(x, 6, 4), muldiv(y, 13, 8)
    return (l, t, l + size[0], t + size[1])


# Controls that paint themselves (their rectangle comes straight from the template).
CAPTION = dlu_rect(116, 3, 141, 11)  # 1033, black with cyan text
SLIDER_POS = dlu_rect(111, 12, 183, 11)  # 1027
LABEL_0 = dlu_rect(3, 16, 8, 8)
LABEL_5 = dlu_rect(97, 16, 8, 8)
LABEL_RECUL = dlu_rect(16, 16, 40, 8)
REWIND_TEXT = dlu_rect(55, 16, 31, 8)  # 1019, black with cyan text
SLIDER_REWIND = dlu_rect(0, 25, 111, 11)  # 1021
SLIDER_VOLUME = dlu_rect(250, 26, 44, 11)  # 1022
TIME_TEXT = dlu_rect(156, 26, 65, 9)  # 1011, black with cyan text
LABEL_SPEED = dlu_rect(16, 41, 40, 8)
SPEED_TEXT = dlu_rect(55, 41, 31, 8)  # 1046, black with cyan text
SLIDER_SPEED = dlu_rect(111, 38, 183, 11)  # 1047

# Images: name -> (file stem, size, rectangle at the template position).
BUTTONS = {
    "file": ((36, 16), at(13, 3, (36, 16))),
    "option": ((41, 16), at(38, 3, (41, 16))),
    "about": ((65, 16), at(66, 3, (65, 16))),
    "help": ((15, 15), at(259, 3, (15, 15))),
    "min": ((15, 15), at(270, 3, (15, 15))),
    "exit": ((15, 15), at(281, 3, (15, 15))),
    "play": ((18, 18), at(114, 24, (18, 18))),
    "pause": ((18, 18), at(128, 24, (18, 18))),
    "stop": ((18, 18), at(142, 24, (18, 18))),
}
WINDOW_ICON = at(1, 3, (16, 16))  # 1039, bitmap 148
VOLUME_ICON = at(244, 29, (10, 5))  # bitmap 149
TOPMOST = at(227, 27, (9, 12))  # 1038, bitmaps 163/164
PEDAL = at(89, 19, (10, 5))  # 1043, bitmaps 166/167/168

# Where the standard trackbar puts its thumb in an 18-pixel-high control without ticks: the
# thumb is 13 pixels high from the control's third row, 7 wide, travelling between 6 pixels
# from either end.
THUMB_TOP, THUMB_H, THUMB_INSET = 2, 13, 6


# ---------------------------------------------------------------------------------------------
# Colour helpers


def mix(a, b, t):
    t = min(1.0, max(0.0, t))
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


class Canvas:
    """An RGB image with blending pixel access."""

    def __init__(self, img):
        self.img = img
        self.px = img.load()
        self.w, self.h = img.size

    def get(self, x, y):
        return self.px[x, y]

    def put(self, x, y, c, a=1.0):
        if 0 <= x < self.w and 0 <= y < self.h and a > 0:
            self.px[x, y] = c if a >= 1 else mix(self.px[x, y], c, a)

    def fill(self, rect, c, a=1.0):
        l, t, r, b = rect
        for y in range(t, b):
            for x in range(l, r):
                self.put(x, y, c, a)

    def hline(self, x0, x1, y, c, a=1.0):
        for x in range(x0, x1):
            self.put(x, y, c, a)

    def vline(self, x, y0, y1, c, a=1.0):
        for y in range(y0, y1):
            self.put(x, y, c, a)

    def paint_mask(self, mask, c, ox=0, oy=0, k=1.0):
        """Blends colour c through an 'L' coverage mask placed at (ox, oy)."""
        mp = mask.load()
        for y in range(mask.size[1]):
            for x in range(mask.size[0]):
                v = mp[x, y]
                if v:
                    self.put(ox + x, oy + y, c, k * v / 255.0)


def coverage(w, h, draw_fn):
    """Anti-aliased coverage mask of w x h pixels; draw_fn(draw, s) draws in units of 1/s px."""
    big = Image.new("L", (w * SS, h * SS), 0)
    draw_fn(ImageDraw.Draw(big), SS)
    return big.resize((w, h), Image.BOX)


def rounded_mask(w, h, radius, inset=0.0):
    def fn(d, s):
        d.rounded_rectangle(
            [inset * s, inset * s, (w - inset) * s - 1, (h - inset) * s - 1],
            radius=max(0, radius - inset) * s,
            fill=255,
        )

    return coverage(w, h, fn)


# ---------------------------------------------------------------------------------------------
# Palette

SKIN_TOP = (63, 70, 80)
SKIN_MID = (44, 49, 57)
SKIN_BOTTOM = (28, 31, 36)
FRAME = (9, 10, 12)
BEVEL_LIGHT = (112, 121, 133)
BEVEL_DARK = (16, 18, 21)
WELL_EDGE_DARK = (8, 9, 11)
WELL_EDGE_LIGHT = (88, 96, 107)
CYAN = (0, 200, 200)
TEXT = (230, 235, 240)
TEXT_SHADOW = (14, 16, 19)


def skin_row_colour(y):
    t = min(1.0, y / (UPPER_H - 1))
    if t < 0.45:
        return mix(SKIN_TOP, SKIN_MID, t / 0.45)
    return mix(SKIN_MID, SKIN_BOTTOM, (t - 0.45) / 0.55)


# ---------------------------------------------------------------------------------------------
# Skin


def rect_pixels(rect):
    l, t, r, b = rect
    return {(x, y) for y in range(t, b) for x in range(l, r)}


def draw_well(cv, rects, interior, depth_shadow=0.55):
    """A recessed area: the union of rects (frame included), rounded by one pixel at every
    outer corner, dark on its upper and left edges, lit on its lower and right edges.
    interior(x, y) gives the fill colour of each inner pixel."""
    m = set()
    for r in rects:
        m |= rect_pixels(r)
    # Round the outer corners: drop pixels that have an outside neighbour both horizontally
    # and vertically.
    corners = set()
    for x, y in m:
        hz = (x - 1, y) not in m or (x + 1, y) not in m
        vt = (x, y - 1) not in m or (x, y + 1) not in m
        if hz and vt:
            corners.add((x, y))
    for x, y in corners:
        # Half-blend the corner so the rounding reads as anti-aliased.
        up_left = (x, y - 1) not in m or (x - 1, y) not in m
        cv.put(x, y, WELL_EDGE_DARK if up_left else WELL_EDGE_LIGHT, 0.35)
    m -= corners
    for x, y in sorted(m):
        top = (x, y - 1) not in m
        left = (x - 1, y) not in m
        bottom = (x, y + 1) not in m
        right = (x + 1, y) not in m
        if top or left:
            if bottom or right:
                cv.put(x, y, mix(WELL_EDGE_DARK, WELL_EDGE_LIGHT, 0.5), 0.8)
            else:
                cv.put(x, y, WELL_EDGE_DARK, 0.9)
        elif bottom or right:
            cv.put(x, y, WELL_EDGE_LIGHT, 0.55 if bottom else 0.40)
        else:
            c = interior(x, y)
            cv.put(x, y, c)
            # Inner shadow just below the dark top edge and right of the left edge.
            if (x, y - 2) not in m and (x, y - 1) in m:
                cv.put(x, y, (0, 0, 0), depth_shadow * 0.5)
            elif (x - 2, y) not in m and (x - 1, y) in m:
                cv.put(x, y, (0, 0, 0), depth_shadow * 0.3)


def grow(rect, n):
    l, t, r, b = rect
    return (l - n, t - n, r + n, b + n)


def slider_track(slider):
    """The area the slider's white thumb travels over (plus one pixel), frame included."""
    l, t, r, b = slider
    return (l + THUMB_INSET - 3, t + THUMB_TOP - 2, r - THUMB_INSET + 3, t + THUMB_TOP + THUMB_H + 2)


def draw_skin():
    img = Image.new("RGB", (SKIN_W, SKIN_H))
    cv = Canvas(img)
    for y in range(SKIN_H):
        cv.hline(0, SKIN_W, y, skin_row_colour(y))

    # A faint sheen over the upper third, strongest at the top edge.
    for y in range(1, 24):
        cv.hline(1, SKIN_W - 1, y, (255, 255, 255), 0.045 * (1 - y / 24.0))

    # Display: the caption strip above the position slider's track, sunk as one panel.
    cap_l = CAPTION[0] - 6
    pos_track = slider_track(SLIDER_POS)
    display = [
        (cap_l, CAPTION[1] - 2, CAPTION[2] + 2, CAPTION[3] + 2),
        (cap_l, pos_track[1], pos_track[2], pos_track[3]),
    ]
    caption_bottom = CAPTION[3]

    def display_fill(x, y):
        if y < caption_bottom:
            return (0, 0, 0)
        t = (y - caption_bottom) / max(1, pos_track[3] - caption_bottom)
        return mix((7, 8, 10), (15, 18, 22), t)

    draw_well(cv, display, display_fill)

    # Read-outs: black like the controls themselves, one black pixel of margin all round.
    black = lambda x, y: (0, 0, 0)
    # The read-out's label ends just left of it: one pixel less margin on that side.
    for readout in (REWIND_TEXT, SPEED_TEXT):
        l, t, r, b = grow(readout, 2)
        draw_well(cv, [(l + 1, t, r, b)], black)
    draw_well(cv, [grow(TIME_TEXT, 2)], black)

    # Tracks of the auto-rewind and volume sliders.
    def track_fill_for(rect):
        def fill(x, y):
            t = (y - rect[1]) / max(1, rect[3] - rect[1] - 1)
            return mix((11, 13, 16), (19, 22, 26), t)

        return fill

    for s in (SLIDER_REWIND, SLIDER_VOLUME, SLIDER_SPEED):
        tr = slider_track(s)
        tr = (max(tr[0], 3), tr[1], min(tr[2], SKIN_W - 3), tr[3])
        draw_well(cv, [tr], track_fill_for(tr))

    # Engraved groove under the left-hand button row, separating it from the auto-rewind group.
    gy = BUTTONS["file"][1][3] + 2
    for x in range(4, cap_l - 3):
        fade = min(1.0, (x - 4) / 10.0, (cap_l - 4 - x) / 10.0)
        cv.put(x, gy, WELL_EDGE_DARK, 0.55 * fade)
        cv.put(x, gy + 1, WELL_EDGE_LIGHT, 0.22 * fade)

    # The same groove above the speed strip, across the whole width.
    sy = slider_track(SLIDER_SPEED)[1] - 2
    for x in range(4, SKIN_W - 4):
        fade = min(1.0, (x - 4) / 10.0, (SKIN_W - 5 - x) / 10.0)
        cv.put(x, sy, WELL_EDGE_DARK, 0.55 * fade)
        cv.put(x, sy + 1, WELL_EDGE_LIGHT, 0.22 * fade)

    # Window frame: one dark outline with rounded corners, a lit top bevel, a dark lower edge.
    radius = 4
    outer = rounded_mask(SKIN_W, SKIN_H, radius)
    inner = rounded_mask(SKIN_W, SKIN_H, radius, inset=1)
    op, ip = outer.load(), inner.load()
    for y in range(SKIN_H):
        for x in range(SKIN_W):
            o, i = op[x, y] / 255.0, ip[x, y] / 255.0
            if i < 1:
                # Outside the rounded body the corner shows the frame colour.
                cv.put(x, y, FRAME, 1 - i if o >= 1 else 1)
    for x in range(2, SKIN_W - 2):
        edge = min(1.0, min(x - 2, SKIN_W - 3 - x) / 30.0)
        cv.put(x, 1, BEVEL_LIGHT, 0.30 + 0.55 * edge)
        cv.put(x, 2, BEVEL_LIGHT, 0.10 * edge)
        cv.put(x, SKIN_H - 2, BEVEL_DARK, 0.75)
    for y in range(2, SKIN_H - 2):
        cv.put(1, y, BEVEL_LIGHT, 0.28 * (1 - y / SKIN_H))
        cv.put(SKIN_W - 2, y, BEVEL_DARK, 0.55)
    # Soften the inner bevel's corners.
    for x, y in ((1, 1), (SKIN_W - 2, 1), (1, SKIN_H - 2), (SKIN_W - 2, SKIN_H - 2)):
        cv.put(x, y, FRAME, 0.6)
    return img


# ---------------------------------------------------------------------------------------------
# Pixel font for the button labels: cap height 7, x-height 5, descender 2, accents above.
# Each glyph lists rows from the cap line (row 0) down; 'A'/'À' carry two accent rows above.

GLYPHS = {
    "F": ["####", "#...", "#...", "###.", "#...", "#...", "#..."],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "A": ["..#..", ".#.#.", ".#.#.", "#...#", "#####", "#...#", "#...#"],
    "i": ["#", ".", "#", "#", "#", "#", "#"],
    "c": ["....", "....", ".###", "#...", "#...", "#...", ".###"],
    "h": ["#...", "#...", "###.", "#..#", "#..#", "#..#", "#..#"],
    "e": ["....", "....", ".##.", "#..#", "####", "#...", ".###"],
    "r": ["...", "...", "#.#", "##.", "#..", "#..", "#.."],
    "p": ["....", "....", "###.", "#..#", "#..#", "#..#", "###.", "#...", "#..."],
    "t": ["...", ".#.", "###", ".#.", ".#.", ".#.", "..#"],
    "o": ["....", "....", ".##.", "#..#", "#..#", "#..#", ".##."],
    "n": ["....", "....", "###.", "#..#", "#..#", "#..#", "#..#"],
    "s": ["....", "....", ".###", "#...", ".##.", "...#", "###."],
    " ": ["..", "..", "..", "..", "..", "..", ".."],
}
ACCENTS = {"À": ("A", [".#...", "..#.."])}


def text_pixels(text):
    """Pixels (x, y) of text, y relative to the cap line; returns (pixels, width)."""
    pts = []
    x = 0
    for ch in text:
        accent = None
        if ch in ACCENTS:
            ch, accent = ACCENTS[ch]
        rows = GLYPHS[ch]
        w = len(rows[0])
        for y, row in enumerate(rows):
            for i, v in enumerate(row):
                if v == "#":
                    pts.append((x + i, y))
        if accent:
            for y, row in enumerate(accent):
                for i, v in enumerate(row):
                    if v == "#":
                        pts.append((x + i, y - 3))
        x += w + 1
    return pts, x - 1


# ---------------------------------------------------------------------------------------------
# Buttons

FACE_UP_TOP, FACE_UP_BOTTOM = (84, 92, 103), (48, 53, 61)
FACE_DN_TOP, FACE_DN_BOTTOM = (27, 30, 35), (40, 45, 51)
BTN_BORDER = (8, 9, 11)
GLYPH_DOWN = (40, 214, 214)
GLYPH_EXIT_DOWN = (236, 104, 92)


def button_base(bg, pressed, radius):
    """Draws a button body over bg (a crop of the skin) and returns the canvas."""
    img = bg.copy()
    cv = Canvas(img)
    w, h = img.size
    outer = rounded_mask(w, h, radius)
    inner = rounded_mask(w, h, radius, inset=1)
    cv.paint_mask(outer, BTN_BORDER)
    face = Image.new("RGB", (w, h))
    fcv = Canvas(face)
    for y in range(h):
        t = y / (h - 1)
        if pressed:
            c = mix(FACE_DN_TOP, FACE_DN_BOTTOM, t)
        else:
            # A slightly curved profile: quick light fall-off at the top, flat below.
            c = mix(FACE_UP_TOP, FACE_UP_BOTTOM, t**0.8)
        fcv.hline(0, w, y, c)
    if pressed:
        # Inner shadow along the top and left: the face sits below the frame.
        fcv.hline(0, w, 1, (0, 0, 0), 0.55)
        fcv.hline(0, w, 2, (0, 0, 0), 0.22)
        fcv.vline(1, 1, h, (0, 0, 0), 0.35)
    else:
        fcv.hline(0, w, 1, (170, 180, 192), 0.55)
        fcv.hline(0, w, h - 2, (0, 0, 0), 0.25)
        fcv.vline(1, 2, h - 2, (255, 255, 255), 0.06)
    ip = inner.load()
    fp = face.load()
    for y in range(h):
        for x in range(w):
            a = ip[x, y] / 255.0
            if a > 0:
                cv.put(x, y, fp[x, y], a)
    return cv


def glyph_colour(pressed, name):
    if not pressed:
        return TEXT
    return GLYPH_EXIT_DOWN if name == "exit" else GLYPH_DOWN


def draw_pixels(cv, pts, ox, oy, colour, pressed):
    d = 1 if pressed else 0
    if not pressed:
        for x, y in pts:
            cv.put(ox + x, oy + y + 1, TEXT_SHADOW, 0.65)
    for x, y in pts:
        cv.put(ox + x + d, oy + y + d, colour)


def label_button(name, label, bg, pressed):
    cv = button_base(bg, pressed, 3)
    pts, tw = text_pixels(label)
    ox = (cv.w - tw) // 2
    oy = 4  # cap line; the baseline falls on row 10 of 16
    draw_pixels(cv, pts, ox, oy, glyph_colour(pressed, name), pressed)
    return cv.img


def mask_glyph(cv, mask, colour, pressed, shadow=True):
    d = 1 if pressed else 0
    if shadow and not pressed:
        cv.paint_mask(mask, TEXT_SHADOW, 0, 1, 0.6)
    cv.paint_mask(mask, colour, d, d)


def small_button(name, bg, pressed):
    w, h = bg.size
    cv = button_base(bg, pressed, 3)
    col = glyph_colour(pressed, name)
    if name == "help":
        q = [".###.", "##.##", "...##", "..##.", ".##..", ".....", ".##.."]
        pts = [(x, y) for y, r in enumerate(q) for x, v in enumerate(r) if v == "#"]
        draw_pixels(cv, pts, 5, 4, col, pressed)
    elif name == "min":
        pts = [(x, y) for x in range(7) for y in range(2)]
        draw_pixels(cv, pts, 4, 9, col, pressed)
    elif name == "exit":
        x = ["##...##", ".##.##.", "..###..", "...#...", "..###..", ".##.##.", "##...##"]
        pts = [(i, j) for j, r in enumerate(x) for i, v in enumerate(r) if v == "#"]
        draw_pixels(cv, pts, 4, 4, col, pressed)
    return cv.img


def transport_button(name, bg, pressed):
    w, h = bg.size
    cv = button_base(bg, pressed, 4)
    col = glyph_colour(pressed, name)
    if name == "play":

        def tri(d, s):
            d.polygon([(6.5 * s, 4.5 * s), (6.5 * s, 13.5 * s), (13.5 * s, 9 * s)], fill=255)

        mask_glyph(cv, coverage(w, h, tri), col, pressed)
    elif name == "pause":
        pts = [(x, y) for y in range(8) for x in (0, 1, 4, 5)]
        draw_pixels(cv, pts, 6, 5, col, pressed)
    elif name == "stop":
        pts = [(x, y) for y in range(6) for x in range(6)]
        draw_pixels(cv, pts, 6, 6, col, pressed)
    return cv.img


# ---------------------------------------------------------------------------------------------
# Indicators

PIN_ROWS = [
    "..aAAb...",
    ".aAHHAb..",
    ".aAHAAb..",
    "..aAAb...",
    "...ab....",
    "...ab....",
    ".aAAAAb..",
    "aAAAAAAb.",
    "...n.....",
    "...n.....",
    "...n.....",
    "...m.....",
]


def pin(bg, lit):
    img = bg.copy()
    cv = Canvas(img)
    if lit:
        pal = {"H": (200, 255, 255), "A": (0, 200, 200), "a": (0, 150, 152), "b": (0, 96, 100)}
        # A soft halo so the lit head reads at a glance.
        for x, y, a in ((3, 0, 0.15), (4, 0, 0.15), (0, 1, 0.12), (7, 1, 0.12), (0, 2, 0.12),
                        (7, 2, 0.12), (2, 4, 0.08), (5, 4, 0.08)):
            cv.put(x, y, CYAN, a)
    else:
        pal = {"H": (176, 184, 194), "A": (128, 136, 147), "a": (100, 107, 117), "b": (70, 76, 84)}
    pal["n"] = (170, 176, 184) if lit else (130, 136, 144)
    pal["m"] = (110, 116, 124) if lit else (92, 97, 104)
    for y, row in enumerate(PIN_ROWS):
        for x, v in enumerate(row):
            if v in pal:
                cv.put(x, y, pal[v])
    return img


def pedal(bg, state):
    img = bg.copy()
    cv = Canvas(img)
    w, h = img.size
    if state == "up":
        edge, fill, core = (46, 190, 96), (16, 44, 26), None
    elif state == "down":
        edge, fill, core = (90, 235, 140), (60, 220, 120), (200, 255, 215)
    else:
        edge, fill, core = (120, 62, 60), (30, 24, 25), None
    for y in range(h):
        for x in range(w):
            corner = (x in (0, w - 1)) and (y in (0, h - 1))
            border = x in (0, w - 1) or y in (0, h - 1)
            if corner:
                cv.put(x, y, edge, 0.35)
            elif border:
                cv.put(x, y, edge)
            else:
                cv.put(x, y, fill)
    if core:
        cv.hline(2, w - 2, 2, core)
    return img


# The settings dialog's lamp: 11 x 11 pixels in the standard 16 colours, a round lamp sunk into a
# light grey face like a radio button (grey and black above and left, white and light grey below
# and right), dark red when the pedal is released, bright red when it is pressed.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
LAMP_SIZE = 11
FACE = (192, 192, 192)


def lamp(lit):
    img = Image.new("RGB", (LAMP_SIZE, LAMP_SIZE), FACE)
    px = img.load()
    c = (LAMP_SIZE - 1) / 2.0
    glass = (255, 0, 0) if lit else (128, 0, 0)
    glint = (255, 255, 255) if lit else (255, 0, 0)
    for y in range(LAMP_SIZE):
        for x in range(LAMP_SIZE):
            d = math.hypot(x - c, y - c)
            upper_left = (x - c) + (y - c) < 0
            if d <= 3.3:
                px[x, y] = glass
            elif d <= 4.3:
                px[x, y] = (0, 0, 0) if upper_left else FACE
            elif d <= 5.3:
                px[x, y] = (128, 128, 128) if upper_left else (255, 255, 255)
    px[4, 3] = glint
    px[3, 4] = glint
    if lit:
        px[4, 4] = glint
    return img


def write_bmp16(path, img):
    """Writes a 4-bit (16-colour) Windows bitmap; every pixel must be one of VGA16."""
    w, h = img.size
    px = img.load()
    stride = ((w * 4 + 31) // 32) * 4
    rows = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        for x in range(w):
            i = VGA16.index(px[x, y])
            row[x // 2] |= i << (4 if x % 2 == 0 else 0)
        rows += row
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in VGA16)
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 0, len(rows), 3780, 3780, 16, 0)
    with open(path, "wb") as f:
        f.write(header + info + palette + bytes(rows))


def volume_wedge(bg):
    img = bg.copy()
    cv = Canvas(img)
    w, h = img.size

    def fn(d, s):
        d.polygon([(0.2 * s, h * s), (w * s, h * s), (w * s, 0)], fill=255)

    cv.paint_mask(coverage(w, h, fn), (176, 184, 194))
    return img


# ---------------------------------------------------------------------------------------------
# Program symbol: a quill whose nib rests on a sound wave, on a graphite tile.


def symbol_rgba(size):
    s = size * SS
    u = s / 48.0  # design grid of 48 units
    small = size <= 16
    big = Image.new("RGBA", (s, s), (0, 0, 0, 0))

    # Tile: a graphite square with rounded corners and a dark rim.
    tile = Image.new("L", (s, s), 0)
    box = [1 * u, 1 * u, 47 * u - 1, 47 * u - 1]
    ImageDraw.Draw(tile).rounded_rectangle(box, radius=9 * u, fill=255)
    grad = Image.new("RGBA", (s, s))
    gd = ImageDraw.Draw(grad)
    for y in range(s):
        gd.line([(0, y), (s, y)], fill=mix((76, 85, 97), (22, 25, 30), y / (s - 1)) + (255,))
    big.paste(grad, (0, 0), tile)
    rim = Image.new("L", (s, s), 0)
    ImageDraw.Draw(rim).rounded_rectangle(box, radius=9 * u, outline=255, width=max(1, int(1.4 * u)))
    big.paste((10, 12, 14, 255), (0, 0), rim)
    shine = Image.new("L", (s, s), 0)
    inset = [2.6 * u, 2.6 * u, 45.4 * u - 1, 45.4 * u - 1]
    ImageDraw.Draw(shine).rounded_rectangle(inset, radius=7.6 * u, outline=70, width=max(1, int(0.9 * u)))
    fade = Image.linear_gradient("L").resize((s, s)).point(lambda v: 255 - v)
    shine = Image.composite(shine, Image.new("L", (s, s), 0), fade.point(lambda v: 255 if v > 150 else v * 255 // 150))
    big.paste((255, 255, 255, 255), (0, 0), shine)
    d = ImageDraw.Draw(big)

    # Sound wave: bars symmetric about the line the nib writes on.
    mid = 34.0
    if small:
        # Pixel-aligned bars, three units (one pixel) wide with one-pixel gaps.
        heights = [3, 6, 12, 6, 15, 9, 3]
        for i, hgt in enumerate(heights):
            x = 6 + i * 6
            d.rectangle([x * u, (mid - hgt / 2) * u, (x + 3) * u - 1, (mid + hgt / 2) * u - 1], fill=CYAN + (255,))
    else:
        heights = [2, 4, 7, 11, 6, 9, 13, 8, 4, 6, 3]
        for i, hgt in enumerate(heights):
            x = 7.0 + i * 3.2
            d.rounded_rectangle([x * u, (mid - hgt / 2) * u, (x + 2.0) * u, (mid + hgt / 2) * u],
                                radius=1.0 * u, fill=CYAN + (255,))

    # Quill, on its own layer so that the barb cuts do not pierce the tile.
    q = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    qd = ImageDraw.Draw(q)
    nib = (14.0, 34.0)
    tip = (41.0, 5.5)

    def spine(t):
        b = math.sin(math.pi * t)
        return nib[0] + (tip[0] - nib[0]) * t + 2.5 * b, nib[1] + (tip[1] - nib[1]) * t + 2.5 * b

    def normal(t):
        # Unit normal pointing to the upper left of the spine.
        x1, y1 = spine(max(0.0, t - 0.01))
        x2, y2 = spine(min(1.0, t + 0.01))
        dx, dy = x2 - x1, y2 - y1
        n = math.hypot(dx, dy)
        return dy / n, -dx / n

    t0 = 0.24

    def edge(t, side):
        v = math.sin(math.pi * (t - t0) / (1 - t0)) ** 0.75 if t > t0 else 0.0
        w = (7.2 * (1.0 - 0.2 * t)) if side > 0 else 4.2
        x, y = spine(t)
        nx, ny = normal(t)
        return x + side * nx * w * v, y + side * ny * w * v

    n = 64
    ts = [t0 + (1 - t0) * k / n for k in range(n + 1)]
    upper = [edge(t, 1) for t in ts]
    lower = [edge(t, -1) for t in ts]
    mid_line = [spine(t) for t in ts]
    sc = lambda pts: [(x * u, y * u) for x, y in pts]
    qd.polygon(sc(upper + mid_line[::-1]), fill=(240, 244, 247, 255))
    qd.polygon(sc(mid_line + lower[::-1]), fill=(178, 204, 212, 255))
    if not small:
        # Barb cuts slanting back towards the nib.
        for t, side, depth in ((0.50, 1, 0.55), (0.68, 1, 0.5), (0.84, 1, 0.4), (0.58, -1, 0.5), (0.78, -1, 0.45)):
            ex, ey = edge(t, side)
            fx, fy = edge(t - 0.035, side)
            sx, sy = spine(t - 0.09)
            ix, iy = ex + (sx - ex) * depth, ey + (sy - ey) * depth
            qd.polygon(sc([(ex, ey), (fx, fy), (ix, iy)]), fill=(0, 0, 0, 0))
            qd.polygon(sc([(ex, ey), (ex + 0.8, ey - 0.8), (ix, iy)]), fill=(0, 0, 0, 0))
    # Spine, bare shaft and nib.
    qd.line(sc([spine(t0 + (1 - t0) * k / 40) for k in range(38)]), fill=(58, 66, 76, 255),
            width=max(1, int(1.1 * u)))
    shaft_top = spine(t0 + 0.02)
    qd.line(sc([nib, shaft_top]), fill=(214, 222, 228, 255), width=max(1, int((2.4 if small else 1.8) * u)))
    qd.polygon(sc([nib, (nib[0] + 1.0, nib[1] - 3.2), (nib[0] + 2.6, nib[1] - 2.0)]), fill=(60, 230, 230, 255))
    big.alpha_composite(q)
    return big.resize((size, size), Image.BOX)


def write_ico(path, images):
    """Writes a .ico of 32-bit images with alpha and the AND mask Windows expects."""
    entries, blobs = [], []
    for im in images:
        w, h = im.size
        px = im.load()
        header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        xor = bytearray()
        for y in range(h - 1, -1, -1):
            for x in range(w):
                r, g, b, a = px[x, y]
                xor += bytes((b, g, r, a))
        stride = ((w + 31) // 32) * 4
        andm = bytearray()
        for y in range(h - 1, -1, -1):
            row = bytearray(stride)
            for x in range(w):
                if px[x, y][3] == 0:
                    row[x // 8] |= 0x80 >> (x % 8)
            andm += row
        blob = header + bytes(xor) + bytes(andm)
        blobs.append(blob)
        entries.append((w, h))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (w, h), blob in zip(entries, blobs):
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    with open(path, "wb") as f:
        f.write(out)


def over(bg, rgba):
    base = bg.convert("RGBA")
    base.alpha_composite(rgba)
    return base.convert("RGB")


# ---------------------------------------------------------------------------------------------


def build():
    art = {}
    skin = draw_skin()
    art["skin"] = skin
    labels = {"file": "Fichier", "option": "Options", "about": "À propos"}
    for name, (size, rect) in BUTTONS.items():
        bg = skin.crop(rect)
        for pressed, suffix in ((False, "up"), (True, "down")):
            if name in labels:
                im = label_button(name, labels[name], bg, pressed)
            elif name in ("help", "min", "exit"):
                im = small_button(name, bg, pressed)
            else:
                im = transport_button(name, bg, pressed)
            assert im.size == size, name
            art["%s_%s" % (name, suffix)] = im
    art["top_on"] = pin(skin.crop(TOPMOST), True)
    art["top_off"] = pin(skin.crop(TOPMOST), False)
    art["pedal_up"] = pedal(skin.crop(PEDAL), "up")
    art["pedal_down"] = pedal(skin.crop(PEDAL), "down")
    art["no_pedal"] = pedal(skin.crop(PEDAL), "none")
    art["volume"] = volume_wedge(skin.crop(VOLUME_ICON))
    icons = {n: symbol_rgba(n) for n in (16, 32, 48)}
    art["window_icon"] = over(skin.crop(WINDOW_ICON), icons[16])
    return art, icons


def lamps():
    """The settings dialog's two 16-colour lamps, kept apart from the 24-bit toolbar art."""
    return {"lamp_off": lamp(False), "lamp_on": lamp(True)}


def preview(art, path):
    z = 3
    skin = art["skin"].copy()
    placed = [("window_icon", WINDOW_ICON), ("volume", VOLUME_ICON), ("top_off", TOPMOST), ("pedal_up", PEDAL)]
    placed += [("%s_up" % n, r) for n, (sz, r) in BUTTONS.items()]
    comp = skin.copy()
    for name, rect in placed:
        comp.paste(art[name], rect[:2])
    cd = ImageDraw.Draw(comp)
    for r in (CAPTION, REWIND_TEXT, TIME_TEXT, SPEED_TEXT):
        cd.rectangle([r[0], r[1], r[2] - 1, r[3] - 1], fill=(0, 0, 0))
    big = comp.resize((SKIN_W * z, SKIN_H * z), Image.NEAREST)
    d = ImageDraw.Draw(big)
    # Simulated control drawing: cyan texts, white labels, slider channels and thumbs.
    font_path = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
    f = ImageFont.truetype(font_path, 9 * z) if os.path.exists(font_path) else None

    def txt(rect, s, col, align="c"):
        if not f:
            return
        tw = d.textlength(s, font=f)
        l, t, r, b = [v * z for v in rect]
        x = {"l": l, "r": r - tw, "c": (l + r - tw) / 2}[align]
        d.text((x, (t + b) / 2 - 16), s, font=f, fill=col)

    txt(CAPTION, "<< Entretien_03.mp3 >>", CYAN, "l")
    txt(REWIND_TEXT, "1.5  Sec", CYAN)
    txt(TIME_TEXT, "01:23.4  12:05.0", CYAN)
    txt(LABEL_0, "0", (255, 255, 255), "l")
    txt(LABEL_5, "5", (255, 255, 255), "r")
    txt(LABEL_RECUL, "Recul auto:", (255, 255, 255))
    txt(SPEED_TEXT, "75 %", CYAN)
    txt(LABEL_SPEED, "Vitesse :", (255, 255, 255))
    for s, frac in ((SLIDER_POS, 0.3), (SLIDER_REWIND, 0.3), (SLIDER_VOLUME, 1.0),
                    (SLIDER_SPEED, 25 / 150)):
        l, t, r, b = s
        cl, cr = l + THUMB_INSET, r - THUMB_INSET
        ct = t + THUMB_H // 2
        d.rectangle([cl * z, ct * z, cr * z - 1, (ct + 4) * z - 1], outline=(128, 128, 128), width=z)
        d.line([cl * z, (ct + 4) * z - 2, cr * z, (ct + 4) * z - 2], fill=(230, 230, 230), width=z)
        tx = cl + int((cr - cl - 7) * frac)
        d.ellipse([tx * z, (t + THUMB_TOP) * z, (tx + 7) * z - 1, (t + THUMB_TOP + THUMB_H) * z - 1],
                  fill=(255, 255, 255), outline=(0, 0, 0))
    outline_rects = [CAPTION, SLIDER_POS, LABEL_0, LABEL_5, LABEL_RECUL, REWIND_TEXT, SLIDER_REWIND,
                     SLIDER_VOLUME, TIME_TEXT, LABEL_SPEED, SPEED_TEXT, SLIDER_SPEED, WINDOW_ICON, VOLUME_ICON, TOPMOST, PEDAL]
    outline_rects += [r for _, r in BUTTONS.values()]
    ov = Image.new("RGBA", big.size, (0, 0, 0, 0))
    od = ImageDraw.Draw(ov)
    for r in outline_rects:
        od.rectangle([r[0] * z, r[1] * z, r[2] * z - 1, r[3] * z - 1], outline=(255, 80, 200, 70))
    big = big.convert("RGBA")
    big.alpha_composite(ov)
    big = big.convert("RGB")

    # Sheet of every image at 4x, up and down side by side, over the skin colour.
    zz = 4
    rows = [(art[n + "_up"], art[n + "_down"]) for n in BUTTONS]
    rows.append((art["top_off"], art["top_on"]))
    rows.append((art["no_pedal"], art["pedal_up"], art["pedal_down"]))
    rows.append((art["volume"], art["window_icon"]))
    rows.append(tuple(lamps().values()))
    icon_row = [symbol_rgba(48), symbol_rgba(32), symbol_rgba(16)]
    sheet_h = sum(max(i.size[1] for i in r) * zz + 8 for r in rows) + 48 * 2 + 16
    sheet = Image.new("RGB", (max(big.size[0], 700), big.size[1] + 12 + sheet_h), (24, 26, 30))
    sheet.paste(big, (0, 0))
    y = big.size[1] + 12
    for r in rows:
        x = 8
        for im in r:
            sheet.paste(im.resize((im.size[0] * zz, im.size[1] * zz), Image.NEAREST), (x, y))
            x += im.size[0] * zz + 16
        y += max(i.size[1] for i in r) * zz + 8
    x = 8
    for ic in icon_row:
        bg = Image.new("RGBA", (ic.size[0] * 2, ic.size[1] * 2), (200, 204, 210, 255))
        bg.alpha_composite(ic.resize((ic.size[0] * 2, ic.size[1] * 2), Image.NEAREST))
        sheet.paste(bg.convert("RGB"), (x, y))
        x += ic.size[0] * 2 + 16
    for ic in icon_row:
        sheet.paste(over(Image.new("RGB", ic.size, (240, 240, 240)), ic), (x, y))
        x += ic.size[0] + 8
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    sheet.save(path)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--preview", help="also write a zoomed composite preview PNG here")
    args = ap.parse_args()
    art, icons = build()
    os.makedirs(OUT_DIR, exist_ok=True)
    for name, im in sorted(art.items()):
        im.convert("RGB").save(os.path.join(OUT_DIR, name + ".bmp"), "BMP")
    for name, im in sorted(lamps().items()):
        write_bmp16(os.path.join(OUT_DIR, name + ".bmp"), im)
    write_ico(os.path.join(OUT_DIR, "quillodrome.ico"), [icons[16], icons[32], icons[48]])
    if args.preview:
        preview(art, args.preview)


if __name__ == "__main__":
    main()
