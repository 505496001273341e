#!/usr/bin/python3
"""Draws the program's artwork into assets/.

Every picture is drawn from code so that it can be changed and drawn again;
the outputs are committed and nothing in the build runs this script. Noise
comes from fixed seeds, so a rerun writes the same bytes.

Besides its designed size, every picture the windows show is drawn again at
1.25, 1.5 and 2 times that size for high-DPI screens, as "name@<ratio>x.ext"
beside the designed file; the program shows the one that matches the screen.

Usage: draw_artwork.py [--out DIR] [--only NAME[,NAME...]]
  NAME is one of: arrow, glyph, icon, welcome (default: all of them).
"""

import argparse
import io
import struct
import zlib
from pathlib import Path

import numpy as np
from PIL import Image, ImageDraw, ImageFilter

ASSETS = Path(__file__).resolve().parent.parent

# The device pixel ratios of high-DPI screens each picture is drawn for.
RATIOS = (1.25, 1.5, 2)


def at_ratio(name, ratio):
    """The file name of the rendering at ratio: "arrow-down@1.5x.png"."""
    if ratio == 1:
        return name
    stem, dot, ext = name.rpartition(".")
    return f"{stem}@{ratio:g}x.{ext}"

# The sixteen colours of the classic VGA palette. The copy glyph uses them, so
# that its olive background is one of them and a 4-bit bitmap holds it all.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


# ---------------------------------------------------------------------------
# Shared helpers


def coverage(size, draw_fn, ss=8):
    """Area coverage (0..1) of the shapes draw_fn paints, supersampled ss times.

    draw_fn(draw, scale) paints white shapes in 1/size units times scale.
    """
    big = Image.new("L", (size[0] * ss, size[1] * ss), 0)
    draw_fn(ImageDraw.Draw(big), ss)
    small = big.resize(size, Image.Resampling.BOX)
    return np.asarray(small, dtype=np.float64) / 255.0


def shift(mask, dx, dy):
    """mask moved by (dx, dy) pixels, filled with False where it moved in."""
    out = np.zeros_like(mask)
    h, w = mask.shape
    ys, yd = (slice(0, h - dy), slice(dy, h)) if dy >= 0 else (slice(-dy, h), slice(0, h + dy))
    xs, xd = (slice(0, w - dx), slice(dx, w)) if dx >= 0 else (slice(-dx, w), slice(0, w + dx))
    out[yd, xd] = mask[ys, xs]
    return out


def erode(mask):
    """Pixels of mask whose four neighbours are in mask too."""
    return mask & shift(mask, 1, 0) & shift(mask, -1, 0) & shift(mask, 0, 1) & shift(mask, 0, -1)


def palette_png(rgb, opaque, max_colours):
    """A palette PNG (bytes) of rgb where opaque, index 0 transparent elsewhere."""
    h, w = opaque.shape
    pixels = rgb[opaque].reshape(-1, 1, 3).astype(np.uint8)
    strip = Image.fromarray(pixels, "RGB")
    quant = strip.quantize(colors=max_colours - 1, method=Image.Quantize.MEDIANCUT,
                           dither=Image.Dither.NONE)
    used = quant.getpalette()[: 3 * (max_colours - 1)]
    indices = np.zeros((h, w), dtype=np.uint8)
    indices[opaque] = np.asarray(quant, dtype=np.uint8).reshape(-1) + 1
    n_used = int(indices.max())
    out = Image.fromarray(indices, "P")
    # Index 0 is the transparent one; its colour is never seen.
    out.putpalette([0, 0, 0] + used[: 3 * n_used])
    buf = io.BytesIO()
    out.save(buf, "PNG", transparency=0, optimize=True)
    return buf.getvalue()


# ---------------------------------------------------------------------------
# Arrow icon of the conversion window: a blue arrow pointing down, from the
# unit lists towards the result field.


def erode_n(mask, n):
    for _ in range(n):
        mask = erode(mask)
    return mask


def draw_arrow(ratio=1):
    size = round(32 * ratio)
    # Outline and bevel keep their share of the arrow at every ratio.
    line = max(1, round(ratio))

    def shape(d, s):
        pts = [(11, 2), (21, 2), (21, 14), (29, 14), (16, 27), (3, 14), (11, 14)]
        # Centre the 1/32 grid on pixel centres so the 45-degree edges stay clean.
        d.polygon([((x + 0.5) * ratio * s, (y + 0.5) * ratio * s) for x, y in pts], fill=255)

    mask = coverage((size, size), shape) >= 0.5
    inner = erode_n(mask, line)
    outline = mask & ~inner
    core = erode_n(inner, line)
    ring = inner & ~core
    # Light from the top left: the inner ring is bright where it faces it.
    lit = ring & (shift(outline, line, 0) | shift(outline, 0, line)) & ~(shift(outline, -line, 0))
    dim = ring & ~lit

    yy, xx = np.mgrid[0:size, 0:size].astype(np.float64) / ratio
    t = np.clip((xx - 3) / 26 * 0.55 + (yy - 2) / 25 * 0.45, 0, 1)[..., None]
    light = np.array([70, 140, 255], dtype=np.float64)
    deep = np.array([10, 55, 200], dtype=np.float64)
    rgb = light * (1 - t) + deep * t
    rgb[lit] = (175, 210, 255)
    rgb[dim] = rgb[dim] * 0.8
    rgb[outline] = (0, 20, 110)
    return palette_png(np.round(rgb), mask, 16)


# ---------------------------------------------------------------------------
# Glyph of the copy button: a page, a red arrow and a clipboard (16 x 16), and
# beside it the same picture greyed for the disabled state.

GLYPH_KEY = {
    ".": (128, 128, 0),  # olive: drawn transparent by the program
    "K": (0, 0, 0),
    "W": (255, 255, 255),
    "S": (192, 192, 192),
    "G": (128, 128, 128),
    "R": (255, 0, 0),
    "M": (128, 0, 0),
    "N": (0, 0, 128),
    "Y": (255, 255, 0),
}

GLYPH_NORMAL = [
    "KKKKK...........",
    "KWWWKK..........",
    "KWWWKWK....KK...",
    "KWNNKKK...KSSK..",
    "KWWWWWK.KKSSSSKK",
    "KWNNNWK.KMKKKKMK",
    "KWWWWWK.KMWWWWMK",
    "KWNNNWK.KMWNNWMK",
    "KWWWWWK.KMWWWWMK",
    "KKKKKKK.KMWNNWMK",
    ".RR..R..KMWWWWMK",
    ".RR..RR.KMWNNWMK",
    ".RRRRRRRKMWWWWMK",
    "..RRRRRRKMWNNWMK",
    ".....RR.KMMMMMMK",
    ".....R..KKKKKKKK",
]


def glyph_pixels():
    """The 32 x 16 glyph as an array of VGA palette indices, top row first."""
    index_of = {rgb: i for i, rgb in enumerate(VGA16)}
    olive = index_of[GLYPH_KEY["."]]
    normal = np.array([[index_of[GLYPH_KEY[c]] for c in row] for row in GLYPH_NORMAL],
                      dtype=np.uint8)
    # Disabled: the classic embossed look. Every drawn pixel darker than white
    # becomes grey, with a white edge one pixel down and right of it.
    drawn = normal != olive
    dark = drawn & (normal != index_of[(255, 255, 255)])
    disabled = np.full_like(normal, olive)
    disabled[shift(dark, 1, 1) & ~dark] = index_of[(255, 255, 255)]
    disabled[dark] = index_of[(128, 128, 128)]
    return np.hstack([normal, disabled])


def bmp_4bit(indices, palette):
    """A Windows BMP (bytes), 4 bits per pixel, bottom-up rows padded to 4 bytes."""
    h, w = indices.shape
    row_bytes = ((w * 4 + 31) // 32) * 4
    rows = []
    for y in range(h - 1, -1, -1):
        row = bytearray(row_bytes)
        for x in range(w):
            row[x // 2] |= int(indices[y, x]) << (0 if x % 2 else 4)
        rows.append(bytes(row))
    pixels = b"".join(rows)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    offset = 14 + 40 + len(colours)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 0, len(pixels), 3780, 3780, 16, 0)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + colours + pixels


def enlarge(indices, ratio):
    """Pixel art enlarged by ratio, each pixel to whole pixels (no new colours).

    Each image of the strip is enlarged on its own, so both keep the same size.
    """
    h, w = indices.shape
    cell = round(16 * ratio)
    src = np.minimum((np.arange(cell) + 0.5) / ratio, 15).astype(int)
    images = [indices[:, x0:x0 + 16][np.ix_(src, src)] for x0 in range(0, w, 16)]
    return np.hstack(images)


def draw_glyph(ratio=1):
    pixels = glyph_pixels() if ratio == 1 else enlarge(glyph_pixels(), ratio)
    data = bmp_4bit(pixels, VGA16)
    check = Image.open(io.BytesIO(data))
    check.load()
    h = round(16 * ratio)
    assert check.size == (2 * h, h) and check.convert("RGB").getpixel((0, h - 1)) == (128, 128, 0)
    return data


# ---------------------------------------------------------------------------
# Program icon: two yellow rulers, one horizontal and one vertical, crossing
# over a grid of grey squares. One geometry on a 32-unit grid, drawn at every
# size; the 32 x 32 icon is reduced to 16 colours.

# 40, 48 and 64 are also the 1.25x, 1.5x and 2x renderings of the 32 x 32 icon.
ICON_SIZES = (32, 40, 48, 64, 128, 256)


class Canvas:
    """Premultiplied RGBA drawing surface in float, supersampled ss times."""

    def __init__(self, size, ss):
        self.size, self.ss = size, ss
        self.n = size * ss
        self.u = self.n / 32.0  # hi-res pixels per unit of the 32 grid
        self.rgb = np.zeros((self.n, self.n, 3))
        self.alpha = np.zeros((self.n, self.n))

    def mask(self, paint):
        """Coverage of what paint(draw, u) draws, at the canvas's resolution."""
        img = Image.new("L", (self.n, self.n), 0)
        paint(ImageDraw.Draw(img), self.u)
        return np.asarray(img, dtype=np.float64) / 255.0

    def rect_mask(self, x0, y0, x1, y1):
        u = self.u
        return self.mask(lambda d, _: d.rectangle(
            [round(x0 * u), round(y0 * u), round(x1 * u) - 1, round(y1 * u) - 1], fill=255))

    def over(self, cover, colour):
        """Paints colour (an RGB triple or an n x n x 3 array) with coverage cover."""
        c = np.asarray(colour, dtype=np.float64) / 255.0
        a = cover[..., None]
        self.rgb = c * a + self.rgb * (1 - a)
        self.alpha = cover + self.alpha * (1 - cover)

    def shade(self, cover, strength):
        """Darkens what is already painted where cover is, as a cast shadow does."""
        self.rgb *= (1 - strength * cover)[..., None]

    def result(self):
        """Downsampled straight-alpha RGBA as floats 0..1."""
        s, n = self.ss, self.size
        a = self.alpha.reshape(n, s, n, s).mean(axis=(1, 3))
        rgb = self.rgb.reshape(n, s, n, s, 3).mean(axis=(1, 3))
        safe = np.where(a > 0, a, 1)[..., None]
        return np.clip(rgb / safe, 0, 1), a


def gradient(canvas, x0, y0, x1, y1, c0, c1):
    """Colour ramp from c0 at the top-left corner of a box to c1 at its bottom-right."""
    idx = (np.arange(canvas.n) + 0.5) / canvas.u
    gx = np.clip((idx - x0) / (x1 - x0), 0, 1)
    gy = np.clip((idx - y0) / (y1 - y0), 0, 1)
    t = (0.35 * gx[None, :] + 0.65 * gy[:, None])[..., None]
    return np.asarray(c0, float) * (1 - t) + np.asarray(c1, float) * t


def draw_icon_rgba(size):
    ss = 4
    cv = Canvas(size, ss)
    line = max(1.0, size / 40.0) * 32.0 / size  # stroke width in grid units
    soft = size > 32

    def blurred(m, radius_units):
        if not soft:
            return m
        img = Image.fromarray(np.uint8(np.round(m * 255)), "L")
        img = img.filter(ImageFilter.GaussianBlur(radius_units * cv.u))
        return np.asarray(img, dtype=np.float64) / 255.0

    def shadow_of(m, dx, dy):
        return shift_f(m, round(dx * cv.u), round(dy * cv.u))

    # Grey squares: a 4 x 4 grid of bevelled tiles.
    for row in range(4):
        for col in range(4):
            x0, y0 = 1 + col * 8, 1 + row * 8
            x1, y1 = x0 + 6, y0 + 6
            cv.over(cv.rect_mask(x0, y0, x1, y1), (92, 92, 96))
            inner = cv.rect_mask(x0 + line, y0 + line, x1 - line, y1 - line)
            cv.over(inner, gradient(cv, x0, y0, x1, y1, (206, 206, 210), (150, 150, 156)))
            cv.over(cv.rect_mask(x0 + line, y0 + line, x1 - line, y0 + 2 * line), (236, 236, 240))
            cv.over(cv.rect_mask(x0 + line, y0 + line, x0 + 2 * line, y1 - line), (236, 236, 240))

    def ruler(x0, y0, x1, y1, horizontal):
        body = cv.rect_mask(x0, y0, x1, y1)
        # Cast shadow on whatever lies below, down and to the right.
        cv.shade(blurred(shadow_of(body, 1, 1), 0.6) * (cv.alpha > 0), 0.45)
        cv.over(body, (140, 100, 0))
        cv.over(cv.rect_mask(x0 + line, y0 + line, x1 - line, y1 - line),
                gradient(cv, x0, y0, x1, y1, (255, 236, 64), (238, 184, 0)))
        if horizontal:
            cv.over(cv.rect_mask(x0 + line, y1 - 2 * line, x1 - line, y1 - line), (255, 248, 170))
        else:
            cv.over(cv.rect_mask(x1 - 2 * line, y0 + line, x1 - line, y1 - line), (255, 248, 170))
        # Tick marks every two units, a long one every four, along one long edge.
        length = x1 - x0 if horizontal else y1 - y0
        for k, pos in enumerate(np.arange(2, length - 1, 2)):
            long_tick = k % 2 == 1
            depth = 3.0 if long_tick else 2.0
            if horizontal:
                tx = x0 + pos
                tick = cv.rect_mask(tx, y0 + line, tx + line, y0 + line + depth)
            else:
                ty = y0 + pos
                tick = cv.rect_mask(x0 + line, ty, x0 + line + depth, ty + line)
            cv.over(tick, (70, 48, 0))

    ruler(8, 1, 15, 31, horizontal=False)
    ruler(1, 17, 31, 24, horizontal=True)
    return cv.result()


def shift_f(m, dx, dy):
    out = np.zeros_like(m)
    h, w = m.shape
    out[max(dy, 0):h + min(dy, 0), max(dx, 0):w + min(dx, 0)] = \
        m[max(-dy, 0):h - max(dy, 0), max(-dx, 0):w - max(dx, 0)]
    return out


def unfiltered_rgba_png(rgba):
    """An 8-bit RGBA PNG (bytes) whose rows carry no filter. The program
    decodes its icon while its first window is on the way; undoing the
    filters an encoder picks (mostly Paeth) took twice as long as the rest of
    the decoding, for files only a fifth smaller."""
    h, w, _ = rgba.shape
    rows = b"".join(b"\0" + rgba[y].tobytes() for y in range(h))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body)))

    header = struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def draw_icons():
    outputs = {}
    for size in ICON_SIZES:
        rgb, a = draw_icon_rgba(size)
        if size == 32:
            data = palette_png(np.round(rgb * 255), a >= 0.5, 16)
        else:
            rgba = np.dstack([rgb, a]) * 255
            data = unfiltered_rgba_png(np.uint8(np.round(rgba)))
        outputs[f"icons/korvalen-{size}.png"] = data
    return outputs


# ---------------------------------------------------------------------------
# Welcome picture: a plain lavender backdrop; in its right half, a photograph-
# like touch-screen point-of-sale terminal (a dark monitor on a pedestal with a
# card reader at its side) showing a restaurant order-entry screen. The left
# half stays flat, because the window's labels sit on it. No readable text.

LAVENDER = (230, 230, 250)
WELCOME_SIZE = (550, 500)
WELCOME_TARGET_BYTES = 25000


class Scene:
    """Float RGB surface, supersampled ss times, that keeps the painted coverage."""

    def __init__(self, w, h, ss, background=None, pixels=None):
        """w x h units at ss pixels each; pixels=(W, H) sets the surface's size."""
        self.w, self.h, self.ss = w, h, ss
        self.W, self.H = pixels or (w * ss, h * ss)
        self.rgb = np.zeros((self.H, self.W, 3))
        if background is not None:
            self.rgb[:] = background
        self.alpha = np.zeros((self.H, self.W))

    def cover(self, paint):
        img = Image.new("L", (self.W, self.H), 0)
        paint(ImageDraw.Draw(img), self.ss)
        return np.asarray(img, dtype=np.float64) / 255.0

    def rrect(self, box, radius):
        return self.cover(lambda d, s: d.rounded_rectangle(
            [box[0] * s, box[1] * s, box[2] * s - 1, box[3] * s - 1], radius=radius * s, fill=255))

    def ellipse(self, box):
        return self.cover(lambda d, s: d.ellipse([v * s for v in box], fill=255))

    def polygon(self, pts):
        return self.cover(lambda d, s: d.polygon([(x * s, y * s) for x, y in pts], fill=255))

    def vgrad(self, y0, y1, c0, c1):
        y = (np.arange(self.H) + 0.5) / self.ss
        t = np.clip((y - y0) / (y1 - y0), 0, 1)[:, None, None]
        return np.asarray(c0, float) * (1 - t) + np.asarray(c1, float) * t

    def hgrad(self, x0, x1, stops):
        """Horizontal ramp through (position 0..1, colour) stops between x0 and x1."""
        x = (np.arange(self.W) + 0.5) / self.ss
        t = np.clip((x - x0) / (x1 - x0), 0, 1)
        pos = [p for p, _ in stops]
        chans = [np.interp(t, pos, [c[i] for _, c in stops]) for i in range(3)]
        return np.stack(chans, axis=-1)[None, :, :]

    def paint(self, cover, colour, opacity=1.0, solid=True):
        a = (cover * opacity)[..., None]
        self.rgb = np.asarray(colour, float) * a + self.rgb * (1 - a)
        if solid:
            self.alpha = np.maximum(self.alpha, cover * opacity)

    def shade(self, cover, strength):
        self.rgb *= (1 - strength * cover)[..., None]

    def blur(self, cover, radius):
        img = Image.fromarray(np.uint8(np.round(np.clip(cover, 0, 1) * 255)), "L")
        img = img.filter(ImageFilter.GaussianBlur(radius * self.ss))
        return np.asarray(img, dtype=np.float64) / 255.0

    def image_rgba(self):
        """The hi-res surface as an 8-bit RGBA image (not downsampled)."""
        rgba = np.dstack([np.clip(self.rgb, 0, 255), self.alpha * 255])
        return Image.fromarray(np.uint8(np.round(rgba)), "RGBA")


# Button colours of the order-entry screen, one per menu category.
POS_COLOURS = [
    (228, 80, 62), (243, 156, 38), (247, 206, 52), (88, 184, 92),
    (46, 160, 196), (66, 112, 214), (150, 96, 196), (222, 96, 150),
]


def draw_pos_screen(sc, x0, y0, x1, y1, rng):
    """The order-entry layout inside the screen rectangle, in sc's pixels."""
    w = x1 - x0
    sc.paint(sc.rrect((x0, y0, x1, y1), 1), sc.vgrad(y0, y1, (40, 52, 78), (22, 30, 48)))
    # Category tabs along the top.
    tab_w = (w - 8) / 6
    for i in range(6):
        tx = x0 + 4 + i * tab_w
        c = POS_COLOURS[[0, 1, 3, 4, 6, 7][i]]
        sc.paint(sc.rrect((tx + 1, y0 + 3, tx + tab_w - 1, y0 + 13), 2),
                 sc.vgrad(y0 + 3, y0 + 13, np.minimum(255, np.add(c, 40)), c))
        sc.paint(sc.rrect((tx + tab_w * 0.25, y0 + 7, tx + tab_w * 0.75, y0 + 9), 1),
                 (255, 255, 255), 0.55)
    # Order list on the left: item rows with name and price bars, then the total.
    px0, px1, py0, py1 = x0 + 4, x0 + 4 + w * 0.34, y0 + 17, y1 - 20
    sc.paint(sc.rrect((px0, py0, px1, py1), 2), sc.vgrad(py0, py1, (246, 247, 251), (222, 226, 236)))
    sc.paint(sc.rrect((px0, py0, px1, py0 + 9), 2), (60, 86, 140))
    sc.paint(sc.rrect((px0 + 4, py0 + 3.5, px0 + 30, py0 + 5.5), 1), (255, 255, 255), 0.7)
    row_h = 8.0
    y = py0 + 12
    k = 0
    while y + row_h < py1 - 14:
        if k % 2:
            sc.paint(sc.rrect((px0 + 1, y - 1.5, px1 - 1, y + row_h - 1.5), 0), (232, 236, 246))
        name = 14 + rng.integers(0, 22)
        sc.paint(sc.rrect((px0 + 4, y + 1.5, px0 + 4 + name, y + 3.5), 1), (92, 100, 120), 0.75)
        sc.paint(sc.rrect((px1 - 16, y + 1.5, px1 - 5, y + 3.5), 1), (92, 100, 120), 0.75)
        if k == 3:  # the selected line
            sc.paint(sc.rrect((px0 + 1, y - 1.5, px1 - 1, y + row_h - 1.5), 0), (255, 214, 90), 0.55)
        y += row_h
        k += 1
    sc.paint(sc.rrect((px0 + 2, py1 - 13, px1 - 2, py1 - 3), 2), (40, 48, 66))
    sc.paint(sc.rrect((px1 - 24, py1 - 9, px1 - 6, py1 - 6.5), 1), (140, 255, 150), 0.9)
    # Menu buttons: a grid of rounded keys, coloured by category.
    gx0, gx1, gy0, gy1 = px1 + 5, x1 - 4, y0 + 17, y1 - 20
    cols, rows = 4, 5
    bw, bh = (gx1 - gx0) / cols, (gy1 - gy0) / rows
    for r in range(rows):
        for c in range(cols):
            colour = POS_COLOURS[(r * 3 + c * 5 + r * c) % len(POS_COLOURS)]
            bx, by = gx0 + c * bw, gy0 + r * bh
            box = (bx + 1.5, by + 1.5, bx + bw - 1.5, by + bh - 1.5)
            sc.paint(sc.rrect(box, 3), np.multiply(colour, 0.62))
            inner = (box[0] + 0.7, box[1] + 0.7, box[2] - 0.7, box[3] - 0.7)
            sc.paint(sc.rrect(inner, 2.6),
                     sc.vgrad(inner[1], inner[3], np.minimum(255, np.add(colour, 48)), colour))
            # Gloss on the upper half and a light bar standing for the label.
            sc.paint(sc.rrect((inner[0] + 1, inner[1] + 0.5, inner[2] - 1, (inner[1] + inner[3]) / 2), 2),
                     (255, 255, 255), 0.16)
            lw = (bw - 10) * (0.45 + 0.35 * rng.random())
            cx, cy = (box[0] + box[2]) / 2, (box[1] + box[3]) / 2
            sc.paint(sc.rrect((cx - lw / 2, cy - 0.5, cx + lw / 2, cy + 1.5), 1), (255, 255, 255), 0.7)
    # Function keys along the bottom: pay, hold, void, and so on.
    fy0, fy1 = y1 - 17, y1 - 4
    keys = [(70, 170, 80), (66, 112, 214), (120, 128, 146), (210, 150, 40), (200, 60, 52)]
    fw = (w - 8) / len(keys)
    for i, colour in enumerate(keys):
        fx = x0 + 4 + i * fw
        sc.paint(sc.rrect((fx + 1.5, fy0, fx + fw - 1.5, fy1), 3), np.multiply(colour, 0.6))
        sc.paint(sc.rrect((fx + 2.2, fy0 + 0.7, fx + fw - 2.2, fy1 - 0.7), 2.6),
                 sc.vgrad(fy0, fy1, np.minimum(255, np.add(colour, 50)), colour))
        cx = fx + fw / 2
        sc.paint(sc.rrect((cx - fw * 0.2, (fy0 + fy1) / 2 - 1, cx + fw * 0.2, (fy0 + fy1) / 2 + 1), 1),
                 (255, 255, 255), 0.7)


def draw_monitor_front(ss, rng):
    """The monitor's face (bezel and lit screen) seen straight on, as hi-res RGBA."""
    w, h = 232, 184
    sc = Scene(w, h, ss)
    body = sc.rrect((0, 0, w, h), 11)
    sc.paint(body, sc.vgrad(0, h, (62, 64, 72), (24, 25, 29)))
    # Rim light along the top and left edges, and a darker lip at the bottom.
    sc.paint(body * (1 - sc.rrect((1.5, 1.5, w - 1, h - 1), 10)), (120, 122, 134), 0.9)
    sc.paint(sc.rrect((2, 2, w - 2, h - 2), 10), sc.vgrad(0, h, (48, 50, 57), (20, 21, 25)))
    sx0, sy0, sx1, sy1 = 14, 13, w - 14, h - 25
    sc.paint(sc.rrect((sx0 - 3, sy0 - 3, sx1 + 3, sy1 + 3), 3), (12, 12, 15))
    draw_pos_screen(sc, sx0, sy0, sx1, sy1, rng)
    # Glass: a soft diagonal sheen over the upper left of the screen.
    yy, xx = np.mgrid[0:h * ss, 0:w * ss] / ss
    glass = sc.rrect((sx0, sy0, sx1, sy1), 1)
    sheen = np.clip(1.0 - ((xx - sx0) * 0.55 + (yy - sy0)) / 95.0, 0, 1) ** 1.6
    sc.paint(glass * sheen, (255, 255, 255), 0.22, solid=False)
    sc.shade(glass * np.clip(((xx - sx0) * 0.4 + (yy - sy0) - 120) / 60, 0, 1), 0.25)
    # Power light on the lower bezel.
    sc.paint(sc.ellipse((w - 24, h - 14, w - 20, h - 10)), (90, 230, 120))
    sc.paint(sc.blur(sc.ellipse((w - 26, h - 16, w - 18, h - 8)), 1.5), (120, 255, 150), 0.35)
    return sc.image_rgba(), (w, h)


def perspective_coeffs(dst, src):
    """Coefficients for Image.transform mapping output quad dst onto input quad src."""
    rows, rhs = [], []
    for (x, y), (u, v) in zip(dst, src):
        rows.append([x, y, 1, 0, 0, 0, -u * x, -u * y])
        rows.append([0, 0, 0, x, y, 1, -v * x, -v * y])
        rhs += [u, v]
    return np.linalg.solve(np.array(rows, float), np.array(rhs, float)).tolist()


def draw_welcome_scene(ss, pixels=None):
    rng = np.random.default_rng(20240531)
    w, h = WELCOME_SIZE
    sc = Scene(w, h, ss, background=LAVENDER, pixels=pixels)

    # Soft shadows on the backdrop: the contact shadow under the base, and the
    # whole terminal's shadow falling back and to the right.
    sc.shade(sc.blur(sc.ellipse((312, 412, 508, 438)), 5), 0.30)
    sc.shade(sc.blur(sc.ellipse((336, 420, 486, 434)), 2.5), 0.30)
    sc.shade(sc.blur(sc.rrect((318, 140, 540, 300), 12), 16), 0.10)

    # Base: an oval plinth, its top face catching the light.
    cx = 410
    front = np.maximum(sc.rrect((330, 404, 490, 422), 0), sc.ellipse((330, 408, 490, 436)))
    sc.paint(front, sc.hgrad(330, 490, [(0, (20, 21, 25)), (0.3, (58, 60, 68)),
                                        (0.55, (40, 41, 47)), (1, (16, 16, 19))]))
    top = sc.ellipse((330, 390, 490, 418))
    sc.paint(top, sc.vgrad(390, 418, (92, 94, 104), (46, 47, 54)))
    sc.paint(top * (1 - sc.ellipse((332, 392, 488, 416))), (140, 142, 154), 0.6)
    sc.paint(sc.ellipse((388, 396, 432, 410)), (26, 27, 31), 0.6)

    # Pedestal column, lit from the left, with its hinge under the monitor.
    col = sc.rrect((cx - 17, 260, cx + 17, 406), 4)
    sc.paint(col, sc.hgrad(cx - 17, cx + 17, [(0, (28, 29, 33)), (0.22, (96, 98, 108)),
                                              (0.4, (60, 62, 70)), (1, (18, 18, 21))]))
    sc.shade(sc.blur(sc.rrect((cx - 17, 300, cx + 17, 318), 2), 4) * col, 0.5)
    hinge = sc.rrect((cx - 30, 284, cx + 30, 312), 6)
    sc.paint(hinge, sc.hgrad(cx - 30, cx + 30, [(0, (26, 27, 31)), (0.25, (78, 80, 90)),
                                                (0.5, (48, 50, 56)), (1, (16, 16, 19))]))

    # Card reader clamped to the monitor's right side, its swipe slot upright.
    rx0, rx1, ry0, ry1 = 511, 537, 150, 268
    sc.paint(sc.rrect((rx0 - 6, ry0 + 30, rx0 + 4, ry1 - 30), 2), (20, 20, 24))
    reader = sc.rrect((rx0, ry0, rx1, ry1), 7)
    sc.paint(reader, sc.hgrad(rx0, rx1, [(0, (34, 35, 40)), (0.3, (86, 88, 98)),
                                         (0.55, (54, 56, 63)), (1, (22, 22, 26))]))
    sc.paint(reader * (1 - sc.rrect((rx0 + 1, ry0 + 1.5, rx1, ry1), 7)), (140, 142, 156), 0.7)
    slot = sc.rrect((rx0 + 12, ry0 + 8, rx0 + 15, ry1 - 8), 1.5)
    sc.paint(slot, (8, 8, 10))
    sc.paint(sc.rrect((rx0 + 15, ry0 + 8, rx0 + 16.2, ry1 - 8), 0.6), (130, 132, 146), 0.6)
    sc.paint(sc.ellipse((rx0 + 5, ry0 + 10, rx0 + 8.5, ry0 + 13.5)), (240, 90, 60))

    # Monitor: its face, turned a little away on the right, and the left side
    # face that this turn shows.
    face, (fw, fh) = draw_monitor_front(ss, rng)
    quad = [(300, 114), (516, 124), (514, 292), (298, 302)]
    side = sc.polygon([(301, 115), (295, 119), (293.5, 297), (299, 302)])
    sc.paint(side, sc.vgrad(114, 302, (44, 45, 51), (14, 14, 17)))
    sc.paint(sc.polygon([(301, 115), (295, 119), (295, 123), (301, 119)]), (120, 122, 134), 0.45)
    src = [(0, 0), (fw * ss, 0), (fw * ss, fh * ss), (0, fh * ss)]
    dst = [(x * ss, y * ss) for x, y in quad]
    warped = face.transform((sc.W, sc.H), Image.Transform.PERSPECTIVE,
                            perspective_coeffs(dst, src), Image.Resampling.BICUBIC)
    arr = np.asarray(warped, dtype=np.float64)
    sc.paint(arr[..., 3] / 255.0, arr[..., :3])
    return sc


def encode_jpeg(img, target):
    """Baseline JFIF at the quality whose size comes closest to target bytes."""
    best = None
    for q in range(40, 96):
        buf = io.BytesIO()
        img.save(buf, "JPEG", quality=q, optimize=True, progressive=False, subsampling="4:2:0")
        data = buf.getvalue()
        if best is None or abs(len(data) - target) < abs(len(best) - target):
            best = data
    return best


def welcome_size(ratio):
    """The rendering's pixels: the designed size times ratio, rounded up."""
    return tuple(int(np.ceil(v * ratio)) for v in WELCOME_SIZE)


def draw_welcome(ratio=1):
    # Supersampling per output pixel; enough at the larger ratios, whose
    # pixels are smaller, to stay within memory.
    k = {1: 3, 1.25: 4, 1.5: 2, 2: 2}[ratio]
    ss = round(ratio * k)  # a whole number for every ratio above
    w, h = welcome_size(ratio)
    sc = draw_welcome_scene(ss, pixels=(w * k, h * k))
    rgb = sc.rgb.reshape(h, k, w, k, 3).mean(axis=(1, 3))
    obj = sc.alpha.reshape(h, k, w, k).mean(axis=(1, 3))
    # A camera's softness and sensor grain, on the terminal only: the backdrop
    # stays flat so that the labels over it read cleanly.
    img = Image.fromarray(np.uint8(np.round(np.clip(rgb, 0, 255))), "RGB")
    soft = np.asarray(img.filter(ImageFilter.GaussianBlur(0.6 * ratio)), dtype=np.float64)
    grain = np.random.default_rng(7).normal(0.0, 2.2, size=(h, w, 1))
    m = np.clip(obj * 1.5, 0, 1)[..., None]
    out = soft + grain * m
    out = np.where(m > 0, out, rgb)
    half = round(WELCOME_SIZE[0] // 2 * ratio)
    out[:, :half] = np.round(rgb[:, :half])
    final = Image.fromarray(np.uint8(np.round(np.clip(out, 0, 255))), "RGB")
    # The same compression for the same picture: its bytes grow with its area.
    return encode_jpeg(final, WELCOME_TARGET_BYTES * ratio * ratio)


# ---------------------------------------------------------------------------

def at_every_ratio(name, draw):
    """A drawer of the designed rendering and those for high-DPI screens."""
    return lambda: {at_ratio(name, r): draw(r) for r in (1,) + RATIOS}


DRAWERS = {
    "arrow": at_every_ratio("arrow-down.png", draw_arrow),
    "glyph": at_every_ratio("copy-glyph.bmp", draw_glyph),
    "icon": draw_icons,
    "welcome": at_every_ratio("welcome.jpg", draw_welcome),
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", type=Path, default=ASSETS)
    parser.add_argument("--only", default=",".join(DRAWERS))
    args = parser.parse_args()
    for name in args.only.split(","):
        for rel, data in DRAWERS[name]().items():
            path = args.out / rel
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
            print(f"{path} ({len(data)} bytes)")


if __name__ == "__main__":
    main()
