#!/usr/bin/python3
"""Draws the program's artwork into assets/.

Every picture is drawn from code so that it can be changed and drawn again;
the outputs are committed and nothing in the build runs this script. Noise
comes from fixed seeds, so a rerun writes the same bytes.

Usage: draw_artwork.py [--out DIR] [--only NAME[,NAME...]]
  NAME is one of: arrow, glyph, icon, welcome (default: all of them).
"""

import argparse
import io
import struct
from pathlib import Path

import numpy as np
from PIL import Image, ImageDraw, ImageFilter

ASSETS = Path(__file__).resolve().parent.parent

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


def draw_arrow():
    size = 32

    def shape(d, s):
        pts = [(11, 2), (21, 2), (21, 14), (29, 14), (16, 27), (3, 14), (11, 14)]
        # Centre the 1/32 grid on pixel centres so the 45-degree edges stay clean.
        d.polygon([((x + 0.5) * s, (y + 0.5) * s) for x, y in pts], fill=255)

    mask = coverage((size, size), shape) >= 0.5
    inner = erode(mask)
    outline = mask & ~inner
    core = erode(inner)
    ring = inner & ~core
    # Light from the top left: the inner ring is bright where it faces it.
    lit = ring & (shift(outline, 1, 0) | shift(outline, 0, 1)) & ~(shift(outline, -1, 0))
    dim = ring & ~lit

    yy, xx = np.mgrid[0:size, 0:size].astype(np.float64)
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


def draw_glyph():
    data = bmp_4bit(glyph_pixels(), VGA16)
    check = Image.open(io.BytesIO(data))
    check.load()
    assert check.size == (32, 16) and check.convert("RGB").getpixel((0, 15)) == (128, 128, 0)
    return data


# ---------------------------------------------------------------------------
# Program icon: two yellow rulers, one horizontal and one vertical, crossing
# over a grid of grey squares. One geometry on a 32-unit grid, drawn at every
# size; the 32 x 32 icon is reduced to 16 colours.

ICON_SIZES = (32, 48, 64, 128, 256)


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


def draw_icons():
    outputs = {}
    for size in ICON_SIZES:
        rgb, a = draw_icon_rgba(size)
        if size == 32:
            data = palette_png(np.round(rgb * 255), a >= 0.5, 16)
        else:
            rgba = np.dstack([rgb, a]) * 255
            buf = io.BytesIO()
            Image.fromarray(np.uint8(np.round(rgba)), "RGBA").save(buf, "PNG", optimize=True)
            data = buf.getvalue()
        outputs[f"icons/korvalen-{size}.png"] = data
    return outputs


# ---------------------------------------------------------------------------

DRAWERS = {
    "arrow": ("arrow-down.png", draw_arrow),
    "glyph": ("copy-glyph.bmp", draw_glyph),
    "icon": (None, draw_icons),
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", type=Path, default=ASSETS)
    parser.add_argument("--only", default=",".join(DRAWERS))
    args = parser.parse_args()
    for name in args.only.split(","):
        outputs = DRAWERS[name][1]()
        if isinstance(outputs, bytes):
            outputs = {DRAWERS[name][0]: outputs}
        for rel, data in outputs.items():
            path = args.out / rel
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
            print(f"{path} ({len(data)} bytes)")


if __name__ == "__main__":
    main()
