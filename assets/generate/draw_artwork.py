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

DRAWERS = {
    "arrow": ("arrow-down.png", draw_arrow),
    "glyph": ("copy-glyph.bmp", draw_glyph),
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
