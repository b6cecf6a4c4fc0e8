#!/usr/bin/python3
"""Makes the nine face images: the front panel photograph, the four knobs, the knob
shadow, the lit LED, the hold switch and the cover strip. Every pixel is computed
here from shapes, a lighting model and seeded noise; the printed legends use Roboto
Condensed from Debian's fonts-roboto-unhinted. The same inputs give the same bytes.

usage: make_face_images.py OUT_DIR
"""
import os
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFont

FONT_DIR = "/usr/share/fonts/truetype/roboto/unhinted"
FONT_BOLD = FONT_DIR + "/RobotoCondensed-Bold.ttf"
FONT_MEDIUM = FONT_DIR + "/RobotoCondensed-Medium.ttf"

FACE_W, FACE_H = 736.0, 573.44
DEG = np.pi / 180.0

# The controls' centres, in face design units (x right, y down).
TONE = (143.872, 160.96)
MODE = (367.744, 159.04)
SPEED = (589.888, 157.44)
VOLUME = (141.44, 433.088)
TONE_BTN = (367.488, 425.28)
CORVA_BTN = (272.0, 431.68)
TRIGGER = (459.008, 425.6)
HOLD = (590.464, 428.288)
LED = (364.16, 332.544)
SCREWS = [(29.44, 29.44), (706.56, 29.44), (29.44, 544.0), (706.56, 544.0)]
STRIP = (129.7536, 537.92, 476.4992, 14.72)

# Detent angles of the selectors, degrees from +x towards +y, positions 0..3.
TONE_ANGLES = [-131.4, -101.6, -72.5, -44.3]
MODE_ANGLES = [-136.1, -106.9, -76.8, -46.1]
SPEED_ANGLES = [-139.6, -110.8, -80.3, -48.6]

INK = np.array([0.93, 0.90, 0.81])  # the printed legends: a warm off-white
PANEL = np.array([0.205, 0.232, 0.262])  # dark slate anodised aluminium


def rgb(hex_colour):
    return np.array([(hex_colour >> 16) & 255, (hex_colour >> 8) & 255, hex_colour & 255]) / 255.0


def smoothstep(e0, e1, x):
    t = np.clip((x - e0) / (e1 - e0), 0.0, 1.0)
    return t * t * (3.0 - 2.0 * t)


def normalise(v):
    v = np.asarray(v, dtype=float)
    return v / np.linalg.norm(v)


class ValueNoise:
    """Smooth value noise on a lattice in design units, so that the same surface can be
    sampled at any resolution (the photograph and the cover strip share it)."""

    def __init__(self, seed, cell_x, cell_y):
        rng = np.random.default_rng(seed)
        self.cx, self.cy = cell_x, cell_y
        self.nx = int((FACE_W + 40) / cell_x) + 3
        self.ny = int((FACE_H + 40) / cell_y) + 3
        self.v = rng.standard_normal((self.ny, self.nx))

    def __call__(self, x, y):
        gx = (x + 20.0) / self.cx
        gy = (y + 20.0) / self.cy
        ix = np.clip(np.floor(gx).astype(int), 0, self.nx - 2)
        iy = np.clip(np.floor(gy).astype(int), 0, self.ny - 2)
        fx = smoothstep(0.0, 1.0, gx - ix)
        fy = smoothstep(0.0, 1.0, gy - iy)
        v = self.v
        top = v[iy, ix] * (1 - fx) + v[iy, ix + 1] * fx
        bottom = v[iy + 1, ix] * (1 - fx) + v[iy + 1, ix + 1] * fx
        return top * (1 - fy) + bottom * fy


GRAIN_LONG = ValueNoise(11, 48.0, 0.9)
GRAIN_FINE = ValueNoise(12, 9.0, 0.55)
MOTTLE = ValueNoise(13, 40.0, 40.0)
SPECKLE = ValueNoise(14, 0.6, 0.6)


def rounded_rect_sdf(x, y, w, h, r):
    qx = np.abs(x - w / 2) - (w / 2 - r)
    qy = np.abs(y - h / 2) - (h / 2 - r)
    outside = np.hypot(np.maximum(qx, 0), np.maximum(qy, 0))
    return outside + np.minimum(np.maximum(qx, qy), 0) - r


def panel_surface(x, y):
    """The bare panel at design points (x, y): horizontally brushed, anodised slate, lit
    from above the upper left so that it falls off towards the lower right."""
    d = np.hypot(x - 90.0, y + 120.0)
    light = 1.22 - 0.42 * np.clip(d / 900.0, 0.0, 1.0)
    grain = 0.030 * GRAIN_LONG(x, y) + 0.018 * GRAIN_FINE(x, y)
    grain += 0.016 * MOTTLE(x, y) + 0.010 * SPECKLE(x, y)
    c = PANEL[None, None, :] * (light * (1.0 + grain))[..., None]
    # A faint cool sheen where the light falls most.
    sheen = np.clip(1.0 - d / 520.0, 0.0, 1.0) ** 2
    c += sheen[..., None] * np.array([0.020, 0.026, 0.034])
    return c


class Canvas:
    """An RGB float image over a region of design space, with helpers that paint
    antialiased shapes by their signed distance in design units."""

    def __init__(self, width, height, x0, y0, design_w, design_h):
        self.w, self.h = width, height
        self.sx = width / design_w
        self.sy = height / design_h
        self.x0, self.y0 = x0, y0
        self.px = 1.0 / min(self.sx, self.sy)  # design units per pixel
        self.rgb = np.zeros((height, width, 3))
        self.alpha = np.zeros((height, width))

    def window(self, cx, cy, r):
        """Slices and design coordinates of the pixels within r of (cx, cy)."""
        i0 = max(int(np.floor((cx - r - self.x0) * self.sx)), 0)
        i1 = min(int(np.ceil((cx + r - self.x0) * self.sx)) + 1, self.w)
        j0 = max(int(np.floor((cy - r - self.y0) * self.sy)), 0)
        j1 = min(int(np.ceil((cy + r - self.y0) * self.sy)) + 1, self.h)
        xs = self.x0 + (np.arange(i0, i1) + 0.5) / self.sx
        ys = self.y0 + (np.arange(j0, j1) + 0.5) / self.sy
        x, y = np.meshgrid(xs, ys)
        return (slice(j0, j1), slice(i0, i1)), x, y

    def coverage(self, d):
        return np.clip(0.5 - d / self.px, 0.0, 1.0)

    def paint(self, win, colour, cover):
        """Paints colour (RGB, or an array of them) over the window with coverage."""
        cover = cover[..., None]
        self.rgb[win] = self.rgb[win] * (1 - cover) + colour * cover
        self.alpha[win] = self.alpha[win] + (1 - self.alpha[win]) * cover[..., 0]

    def darken(self, win, amount):
        self.rgb[win] *= (1.0 - amount)[..., None]


# Lighting of the photograph: a soft key light above the upper left of the unit.
KEY = normalise([-0.42, -0.62, 1.0])


def lit(normal, albedo, ambient=0.30, diffuse=0.75, spec=0.35, shininess=40.0, light=KEY):
    """Colour of a surface with the given unit normals (..., 3) and albedo."""
    half = normalise(light + np.array([0.0, 0.0, 1.0]))
    ndl = np.clip(normal @ light, 0.0, 1.0)
    ndh = np.clip(normal @ half, 0.0, 1.0)
    c = albedo * (ambient + diffuse * ndl)[..., None]
    return c + (spec * ndh ** shininess)[..., None]


def radial_normal(x, y, cx, cy, slope):
    """Normals of a surface of revolution whose height falls by `slope` per unit of
    radius (positive: falling outwards)."""
    dx, dy = x - cx, y - cy
    r = np.maximum(np.hypot(dx, dy), 1e-6)
    n = np.stack([slope * dx / r, slope * dy / r, np.ones_like(r)], axis=-1)
    return n / np.linalg.norm(n, axis=-1, keepdims=True)


def dome_slope(r, radius, height):
    """Slope of a spherical cap of the given radius and height, at radius r."""
    sphere = (radius * radius + height * height) / (2.0 * height)
    r = np.minimum(r, radius)
    return r / np.sqrt(np.maximum(sphere * sphere - r * r, 1e-6))


def soft_shadow(canvas, cx, cy, radius, blur, strength, dx=2.2, dy=3.4):
    win, x, y = canvas.window(cx + dx, cy + dy, radius + 2 * blur)
    d = np.hypot(x - cx - dx, y - cy - dy) - radius
    canvas.darken(win, strength * (1.0 - smoothstep(-blur, blur, d)))


def disc(canvas, cx, cy, radius, colour_fn, margin=1.0):
    win, x, y = canvas.window(cx, cy, radius + margin)
    r = np.hypot(x - cx, y - cy)
    cover = canvas.coverage(r - radius)
    canvas.paint(win, colour_fn(x, y, r), cover)


def hexagon_sdf(x, y, cx, cy, corner, first_deg):
    """Signed distance to a regular hexagon with corners at radius `corner`, the first
    at first_deg, and the index of the side nearest each point."""
    apothem = corner * np.cos(30 * DEG)
    a = np.arctan2(y - cy, x - cx) - (first_deg + 30.0) * DEG
    side = np.round(a / (60 * DEG))
    local = a - side * 60 * DEG
    r = np.hypot(x - cx, y - cy)
    return r * np.cos(local) - apothem, (side * 60.0 + first_deg + 30.0) * DEG


# ---------------------------------------------------------------- the photograph

def screw(canvas, cx, cy, turn):
    soft_shadow(canvas, cx, cy, 12.0, 2.5, 0.55, 1.4, 2.0)
    head = 11.5

    def colour(x, y, r):
        n = radial_normal(x, y, cx, cy, dome_slope(r, head, 3.2))
        c = lit(n, np.array([0.60, 0.61, 0.63]), spec=0.55, shininess=28.0)
        # A hexagon socket, its walls lit from the key light's side.
        d, side = hexagon_sdf(x, y, cx, cy, 4.6, turn)
        inside = np.clip(0.5 - d / canvas.px, 0.0, 1.0)[..., None]
        wall = 0.10 + 0.10 * np.cos(side - np.arctan2(-KEY[1], -KEY[0]))
        return c * (1 - inside) + wall[..., None] * inside

    disc(canvas, cx, cy, head, colour)


def selector_body(canvas, cx, cy):
    """The black mounting flange the knob turns on."""
    soft_shadow(canvas, cx, cy, 69.0, 4.0, 0.50)
    radius = 69.0

    def colour(x, y, r):
        slope = 0.9 * smoothstep(radius - 3.0, radius, r)
        n = radial_normal(x, y, cx, cy, slope)
        c = lit(n, np.array([0.075, 0.078, 0.085]), spec=0.25, shininess=18.0)
        rings = 0.006 * np.sin(r * 5.3)  # turned finish
        return c + rings[..., None]

    disc(canvas, cx, cy, radius, colour)


def push_button(canvas, cx, cy, cap_colour):
    soft_shadow(canvas, cx, cy, 28.0, 3.5, 0.50)
    win, x, y = canvas.window(cx, cy, 31.0)
    r = np.hypot(x - cx, y - cy)
    # The hexagon nut, each flat with a chamfer that catches the light.
    d, side = hexagon_sdf(x, y, cx, cy, 29.44, 0.0)
    chamfer = smoothstep(-4.0, 0.0, d) * 0.8
    n = np.stack([chamfer * np.cos(side), chamfer * np.sin(side), np.ones_like(d)], axis=-1)
    n /= np.linalg.norm(n, axis=-1, keepdims=True)
    nut = lit(n, np.array([0.62, 0.62, 0.60]), spec=0.30, shininess=20.0)
    canvas.paint(win, nut, canvas.coverage(d))
    # The bezel: a polished ring, rounded in section.
    t = np.clip((r - 20.16) / (24.64 - 20.16), 0.0, 1.0)
    n = radial_normal(x, y, cx, cy, 1.6 * (2 * t - 1))
    bezel = lit(n, np.array([0.70, 0.70, 0.70]), ambient=0.25, spec=0.75, shininess=30.0)
    canvas.paint(win, bezel, canvas.coverage(r - 24.64))
    # A dark gap around the cap.
    canvas.paint(win, np.array([0.03, 0.03, 0.03]), canvas.coverage(r - 20.9))
    n = radial_normal(x, y, cx, cy, dome_slope(r, 20.16, 3.0))
    cap = lit(n, cap_colour, ambient=0.42, diffuse=0.62, spec=0.45, shininess=34.0)
    canvas.paint(win, cap, canvas.coverage(r - 20.16))


def led_dark(canvas, cx, cy):
    soft_shadow(canvas, cx, cy, 22.0, 3.0, 0.45)
    win, x, y = canvas.window(cx, cy, 24.0)
    r = np.hypot(x - cx, y - cy)
    t = np.clip((r - 17.184) / (22.912 - 17.184), 0.0, 1.0)
    n = radial_normal(x, y, cx, cy, 1.4 * (2 * t - 1))
    bezel = lit(n, np.array([0.16, 0.16, 0.17]), spec=0.6, shininess=26.0)
    canvas.paint(win, bezel, canvas.coverage(r - 22.912))
    n = radial_normal(x, y, cx, cy, dome_slope(r, 17.184, 4.0))
    glass = lit(n, np.array([0.34, 0.27, 0.12]), ambient=0.30, diffuse=0.45, spec=0.9,
                shininess=80.0)
    # The unlit die deep inside the glass: a darker centre.
    glass *= (0.70 + 0.30 * smoothstep(2.0, 9.0, r))[..., None]
    canvas.paint(win, glass, canvas.coverage(r - 17.184))


def switch_well(canvas, cx, cy):
    """The shade that the hold switch's washer casts on the panel around it."""
    soft_shadow(canvas, cx, cy, 33.0, 4.0, 0.35)


class Ink:
    """The printed layer: a coverage mask drawn with Pillow at the photograph's
    resolution, then laid over the panel in the ink colour."""

    def __init__(self, canvas):
        self.c = canvas
        self.mask = Image.new("L", (canvas.w, canvas.h), 0)
        self.draw = ImageDraw.Draw(self.mask)
        self.fonts = {}

    def font(self, path, size):
        px = int(round(size * self.c.sx))
        key = (path, px)
        if key not in self.fonts:
            self.fonts[key] = ImageFont.truetype(path, px)
        return self.fonts[key]

    def text(self, x, y, s, size, path=FONT_BOLD, tracking=0.0):
        """Text centred on (x, y) in design units; tracking adds space between letters."""
        font = self.font(path, size)
        sp = tracking * self.c.sx
        widths = [font.getlength(ch) for ch in s]
        total = sum(widths) + sp * (len(s) - 1)
        px = x * self.c.sx - total / 2
        py = y * self.c.sy
        for ch, w in zip(s, widths):
            self.draw.text((px, py), ch, fill=255, font=font, anchor="lm")
            px += w + sp
        return total / self.c.sx

    def text_width(self, s, size, path=FONT_BOLD, tracking=0.0):
        font = self.font(path, size)
        return (sum(font.getlength(ch) for ch in s) + tracking * self.c.sx * (len(s) - 1)) / self.c.sx

    def lay(self):
        m = np.asarray(self.mask, dtype=float) / 255.0
        win = (slice(0, self.c.h), slice(0, self.c.w))
        self.c.paint(win, INK, 0.94 * m)


def stroke_mask(canvas, win, x, y, ax, ay, bx, by, width):
    """Coverage of a round-capped line from a to b."""
    px, py = x - ax, y - ay
    dx, dy = bx - ax, by - ay
    t = np.clip((px * dx + py * dy) / (dx * dx + dy * dy), 0.0, 1.0)
    d = np.hypot(px - t * dx, py - t * dy) - width / 2
    return canvas.coverage(d)


def print_line(canvas, ax, ay, bx, by, width):
    cx, cy = (ax + bx) / 2, (ay + by) / 2
    r = np.hypot(bx - ax, by - ay) / 2 + width
    win, x, y = canvas.window(cx, cy, r)
    canvas.paint(win, INK, 0.94 * stroke_mask(canvas, win, x, y, ax, ay, bx, by, width))


def print_arc(canvas, cx, cy, radius, a0, a1, width):
    win, x, y = canvas.window(cx, cy, radius + width)
    r = np.hypot(x - cx, y - cy)
    a = np.arctan2(y - cy, x - cx)
    inside = (a >= a0 * DEG) & (a <= a1 * DEG)
    d = np.where(inside, np.abs(r - radius) - width / 2, 1e3)
    for e in (a0, a1):  # round ends
        ex, ey = cx + radius * np.cos(e * DEG), cy + radius * np.sin(e * DEG)
        d = np.minimum(d, np.hypot(x - ex, y - ey) - width / 2)
    canvas.paint(win, INK, 0.94 * canvas.coverage(d))


def polar(cx, cy, r, deg):
    return cx + r * np.cos(deg * DEG), cy + r * np.sin(deg * DEG)


def selector_scale(canvas, ink, centre, angles, legends, name):
    cx, cy = centre
    print_arc(canvas, cx, cy, 74.0, angles[0], angles[-1], 1.3)
    for a, legend in zip(angles, legends):
        ax, ay = polar(cx, cy, 72.5, a)
        bx, by = polar(cx, cy, 84.0, a)
        print_line(canvas, ax, ay, bx, by, 2.8)
        lx, ly = polar(cx, cy, 96.5 if len(legend) == 1 else 100.0, a)
        ink.text(lx, ly, legend, 13.5, FONT_BOLD, 0.4)
    ink.text(cx, cy + 96.0, name, 14.0, FONT_BOLD, 2.6)


def volume_scale(canvas, ink, centre):
    cx, cy = centre
    # The arc runs over the top from lower left to lower right: draw it in two halves
    # so that the angle range stays within (-180, 180].
    print_arc(canvas, cx, cy, 74.0, -180.0, 45.0, 1.3)
    print_arc(canvas, cx, cy, 74.0, 135.0, 180.0, 1.3)
    for i in range(11):
        a = -225.0 + 27.0 * i
        major = i % 5 == 0
        ax, ay = polar(cx, cy, 72.5, a)
        bx, by = polar(cx, cy, 86.0 if major else 81.0, a)
        print_line(canvas, ax, ay, bx, by, 2.8 if major else 1.8)
    ink.text(cx, cy + 88.0, "VOLUME", 14.0, FONT_BOLD, 2.6)


def make_photograph():
    w, h = 1472, 1147
    c = Canvas(w, h, 0.0, 0.0, FACE_W, FACE_H)
    xs = (np.arange(w) + 0.5) / c.sx
    ys = (np.arange(h) + 0.5) / c.sy
    x, y = np.meshgrid(xs, ys)
    c.rgb = panel_surface(x, y)

    # The panel's edge: a narrow rounded bevel, bright where it faces the light.
    d = rounded_rect_sdf(x, y, FACE_W, FACE_H, 25.6)
    gy, gx = np.gradient(d)
    norm = np.maximum(np.hypot(gx, gy), 1e-9)
    facing = -(gx / norm * KEY[0] + gy / norm * KEY[1])
    edge = 1.0 - smoothstep(-5.0, -0.5, d)
    c.rgb *= (1.0 + (1.0 - edge) * 0.55 * facing)[..., None]

    ink = Ink(c)
    # Scales and legends first, so that bodies and bezels sit on the print.
    selector_scale(c, ink, TONE, TONE_ANGLES, ["1", "2", "3", "4"], "TONE")
    selector_scale(c, ink, MODE, MODE_ANGLES, ["1", "2", "3", "4"], "MODE")
    selector_scale(c, ink, SPEED, SPEED_ANGLES, ["1", "2", "3", "OFF"], "SPEED")
    volume_scale(c, ink, VOLUME)
    # The buttons' names above them, fitted to the space between neighbours; below, they
    # would sit under the labels that MIDI learn shows beneath each control.
    for (bx, by), name in ((CORVA_BTN, "CORVA BUTTON"), (TONE_BTN, "TONE BUTTON"),
                           (TRIGGER, "TRIGGER")):
        size = 11.0
        while ink.text_width(name, size, FONT_BOLD, 1.0) > 84.0:
            size -= 0.25
        ink.text(bx, 379.0, name, size, FONT_BOLD, 1.0)
    ink.text(HOLD[0], 497.0, "HOLD", 14.0, FONT_BOLD, 2.6)
    ink.text(HOLD[0], 379.0, "ON", 10.0, FONT_MEDIUM, 1.2)
    # A rule across the panel at the LED's height, parting the selectors from the
    # playing controls.
    print_line(c, 62.0, LED[1], LED[0] - 34.0, LED[1], 1.3)
    print_line(c, LED[0] + 34.0, LED[1], FACE_W - 62.0, LED[1], 1.3)
    # The maker's mark at the top.
    ink.text(FACE_W / 2, 31.0, "CORVA-1", 15.0, FONT_BOLD, 4.0)
    ink.lay()

    for i, (sx, sy) in enumerate(SCREWS):
        screw(c, sx, sy, 17.0 * i + 8.0)
    for centre in (TONE, MODE, SPEED, VOLUME):
        selector_body(c, *centre)
    push_button(c, *CORVA_BTN, rgb(0x2FAA55))
    push_button(c, *TONE_BTN, rgb(0xE8D23C))
    push_button(c, *TRIGGER, rgb(0xD8362C))
    led_dark(c, *LED)
    switch_well(c, *HOLD)
    return to_image(c.rgb, None)


# ---------------------------------------------------------------- the parts

# The parts are seen from the front and turn or flip on the panel, so their light is
# kept even around the centre (knobs) or along the flip axis (switch).


def part_canvas(size_px, design):
    return Canvas(size_px, size_px, -design / 2, -design / 2, design, design)


def ring_light(normal, strength, tilt, width):
    """A highlight that depends only on how far the normal tilts: a ring light around
    the viewer, so a knob looks the same at every angle it is turned to."""
    angle = np.arccos(np.clip(normal[..., 2], -1.0, 1.0))
    return strength * np.exp(-(((angle - tilt) / width) ** 2))


def make_knob(cap_colour):
    c = part_canvas(256, 185.6)
    win, x, y = c.window(0.0, 0.0, 92.8)
    r = np.hypot(x, y)
    a = np.arctan2(y, x)
    flutes = np.maximum(np.cos(30.0 * a), 0.0) ** 4
    outer = 63.0 - 2.4 * flutes
    # Skirt: a chamfer falling from the top face (r 50) to the fluted rim.
    slope = 0.15 + 1.1 * smoothstep(50.0, 62.0, r)
    n = np.stack([slope * x / np.maximum(r, 1e-6), slope * y / np.maximum(r, 1e-6),
                  np.ones_like(r)], axis=-1)
    # The flutes tilt the surface sideways as well.
    side = -0.9 * np.sin(30.0 * a) * np.maximum(np.cos(30.0 * a), 0.0) ** 3 * smoothstep(46.0, 60.0, r)
    n[..., 0] += side * -np.sin(a)
    n[..., 1] += side * np.cos(a)
    n /= np.linalg.norm(n, axis=-1, keepdims=True)
    body = np.array([0.085, 0.088, 0.095])
    col = body[None, None, :] * (0.35 + 0.75 * n[..., 2] ** 3)[..., None]
    col += ring_light(n, 0.22, 0.55, 0.22)[..., None]
    col += (0.008 * np.sin(r * 6.0) * (r < 50.0))[..., None]  # turned top face
    c.paint(win, col, c.coverage(r - outer))
    # A dark groove around the cap.
    c.paint(win, np.array([0.02, 0.02, 0.02]), c.coverage(r - 38.6))
    n = radial_normal(x, y, 0.0, 0.0, dome_slope(r, 37.0, 5.0))
    cap = cap_colour[None, None, :] * (0.62 + 0.36 * n[..., 2] ** 4)[..., None]
    cap += ring_light(n, 0.16, 0.22, 0.08)[..., None]
    c.paint(win, np.clip(cap, 0, 1), c.coverage(r - 37.0))
    # The pointer: a white inlay across the top face at the top of the image, and an
    # engraved line on the cap leading to it.
    pointer = stroke_mask(c, win, x, y, 0.0, -41.0, 0.0, -60.5, 4.8)
    c.paint(win, np.array([0.95, 0.94, 0.90]), pointer)
    groove = stroke_mask(c, win, x, y, 0.0, -9.0, 0.0, -33.0, 3.2)
    c.paint(win, cap_colour * 0.45, groove)
    return to_image(c.rgb, c.alpha)


def make_knob_shadow():
    c = part_canvas(256, 185.6)
    win, x, y = c.window(0.0, 0.0, 92.8)
    d = np.hypot(x - 2.5, y - 6.5) - 60.0
    c.alpha[win] = 0.62 * (1.0 - smoothstep(-16.0, 22.0, d)) ** 1.6
    return to_image(c.rgb, c.alpha)


def make_led_glow():
    c = part_canvas(256, 46.08)
    win, x, y = c.window(0.0, 0.0, 23.04)
    r = np.hypot(x, y)
    # The halo: light spilling over the bezel, fading to nothing at the image's edge.
    halo = (1.0 - smoothstep(15.0, 23.0, r)) ** 1.5
    c.rgb[win] = np.array([1.0, 0.74, 0.30])
    c.alpha[win] = 0.85 * halo
    # The lit lens: a white-hot centre, amber towards its rim, with a glint.
    n = radial_normal(x, y, 0.0, 0.0, dome_slope(r, 17.184, 4.0))
    t = smoothstep(0.0, 16.0, r)[..., None]
    lens = np.array([1.0, 0.98, 0.88]) * (1 - t) + np.array([1.0, 0.80, 0.28]) * t
    lens = lens * (0.88 + 0.12 * n[..., 2:3])
    lens += ring_light(n, 0.10, 0.45, 0.12)[..., None]
    c.paint(win, np.clip(lens, 0, 1), c.coverage(r - 17.184))
    return to_image(c.rgb, c.alpha)


SIDE = normalise([-0.62, 0.0, 1.0])  # the switch's light: from the left, even top to bottom


def make_switch():
    c = part_canvas(320, 83.2)
    win, x, y = c.window(0.0, 0.0, 41.6)
    r = np.hypot(x, y)
    # Soft shadow of the washer on the panel, to the right.
    d = np.hypot(x - 2.2, y) - 32.0
    c.alpha[win] = 0.45 * (1.0 - smoothstep(-3.0, 6.0, d))
    # Washer: brushed steel, rounded at its rim.
    slope = 1.2 * smoothstep(30.0, 33.0, r)
    n = radial_normal(x, y, 0.0, 0.0, slope)
    washer = lit(n, np.array([0.58, 0.58, 0.57]), ambient=0.32, spec=0.30, shininess=16.0, light=SIDE)
    washer += (0.02 * np.sin(r * 3.1))[..., None]
    c.paint(win, washer, c.coverage(r - 33.0))
    # Nut: six flats with chamfers.
    d, side = hexagon_sdf(x, y, 0.0, 0.0, 26.24, 90.0)
    chamfer = smoothstep(-3.5, 0.0, d) * 0.9
    n = np.stack([chamfer * np.cos(side), chamfer * np.sin(side), np.ones_like(d)], axis=-1)
    n /= np.linalg.norm(n, axis=-1, keepdims=True)
    nut = lit(n, np.array([0.70, 0.70, 0.69]), ambient=0.30, spec=0.40, shininess=22.0, light=SIDE)
    c.paint(win, nut, c.coverage(d))
    # Threaded bushing.
    n = radial_normal(x, y, 0.0, 0.0, 0.5 * np.sin(r * 2.4))
    bush = lit(n, np.array([0.34, 0.34, 0.33]), ambient=0.30, spec=0.30, shininess=18.0, light=SIDE)
    c.paint(win, bush, c.coverage(r - 13.6448))
    c.paint(win, np.array([0.04, 0.04, 0.04]), c.coverage(r - 6.2))
    # The lever's shadow across the nut, to the right.
    lever = lever_sdf(x - 3.0, y)
    c.darken(win, 0.45 * (1.0 - smoothstep(-2.0, 3.0, lever)))
    # The lever: a tapered round bat leaning towards the top, with a ball end.
    d = lever_sdf(x, y)
    half = np.maximum(lever_half_width(y), 1e-3)
    u = np.clip(x / half, -1.0, 1.0)
    n = np.stack([u, np.zeros_like(u), np.sqrt(1.0 - u * u) + 0.25], axis=-1)
    ball = np.hypot(x, y + 33.0)
    on_ball = ball < 6.2
    bn = np.stack([x / 6.2, (y + 33.0) / 6.2, np.sqrt(np.clip(1 - (ball / 6.2) ** 2, 0, 1))], axis=-1)
    n = np.where(on_ball[..., None], bn, n)
    n /= np.linalg.norm(n, axis=-1, keepdims=True)
    steel = lit(n, np.array([0.78, 0.78, 0.77]), ambient=0.28, diffuse=0.70, spec=0.75,
                shininess=35.0, light=SIDE)
    c.paint(win, np.clip(steel, 0, 1), c.coverage(d))
    return to_image(c.rgb, c.alpha)


def lever_half_width(y):
    t = np.clip(-y / 33.0, 0.0, 1.0)
    return 5.2 - 1.6 * t


def lever_sdf(x, y):
    shaft = np.where((y <= 0.0) & (y >= -33.0), np.abs(x) - lever_half_width(y), 1e3)
    shaft = np.minimum(shaft, np.hypot(x, y) - 5.2)
    return np.minimum(shaft, np.hypot(x, y + 33.0) - 6.2)


def make_strip():
    x0, y0, dw, dh = STRIP
    c = Canvas(1906, 59, x0, y0, dw, dh)
    xs = x0 + (np.arange(c.w) + 0.5) / c.sx
    ys = y0 + (np.arange(c.h) + 0.5) / c.sy
    x, y = np.meshgrid(xs, ys)
    c.rgb = panel_surface(x, y)
    # Feathered ends, so the strip melts into the photograph around it.
    fx = np.minimum(xs - x0, x0 + dw - xs)
    fy = np.minimum(ys - y0, y0 + dh - ys)
    c.alpha = smoothstep(0.0, 3.0, fx)[None, :] * smoothstep(0.0, 1.0, fy)[:, None]
    return to_image(c.rgb, c.alpha)


def to_image(colour, alpha):
    """sRGB-ish floats to an 8-bit image, with a tiny ordered dither against banding."""
    h, w = colour.shape[:2]
    bayer = np.array([[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]) / 16.0 - 0.5
    dither = np.tile(bayer, (h // 4 + 1, w // 4 + 1))[:h, :w]
    rgb8 = np.clip(np.floor(colour * 255.0 + 0.5 + dither[..., None] * 0.9), 0, 255).astype(np.uint8)
    if alpha is None:
        return Image.fromarray(rgb8, "RGB")
    a8 = np.clip(np.floor(alpha * 255.0 + 0.5), 0, 255).astype(np.uint8)
    rgb8[a8 == 0] = 0  # fully clear pixels carry no colour, which keeps the files small
    return Image.fromarray(np.dstack([rgb8, a8]), "RGBA")


FILES = [
    "panel.jpg", "knob-tone.png", "knob-mode.png", "knob-speed.png", "knob-volume.png",
    "knob-shadow.png", "led-glow.png", "switch.png", "strip.png",
]


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    images = [
        make_photograph(),
        make_knob(rgb(0x2E6B34)),
        make_knob(rgb(0xD6C93E)),
        make_knob(rgb(0xC43028)),
        make_knob(rgb(0x2F7FA8)),
        make_knob_shadow(),
        make_led_glow(),
        make_switch(),
        make_strip(),
    ]
    for name, image in zip(FILES, images):
        path = os.path.join(out, name)
        if name.endswith(".jpg"):
            # Baseline JPEG, full-resolution colour, no metadata: what every decoder reads.
            image.save(path, "JPEG", quality=94, subsampling=0, optimize=True)
        else:
            image.save(path, "PNG", optimize=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
