"""Drawing helpers shared by every generator module.

Everything here is deterministic: randomness comes only from random.Random
objects seeded by the caller, and no helper reads the clock or the machine.
"""
import math
import random

from PIL import Image, ImageChops, ImageDraw, ImageFilter

# Hex geometry of the battlefield (pointy-top hexes, rows overlapping by
# TILE_YOFF). The numbers are also written into rules.ini; the data checker
# reads them back from there and verifies that the pictures agree.
TILE_W = 64
TILE_H = 64
TILE_YOFF = 16

OUTLINE = (24, 18, 14, 255)
CLEAR = (0, 0, 0, 0)


def rng(seed):
    return random.Random(seed)


def clamp8(v):
    return 0 if v < 0 else 255 if v > 255 else int(v)


def mix(c1, c2, t):
    """Linear blend of two colour tuples (same length)."""
    return tuple(clamp8(a + (b - a) * t) for a, b in zip(c1, c2))


def shade(c, f):
    """Multiply the RGB part of a colour by f, keeping alpha."""
    out = tuple(clamp8(v * f) for v in c[:3])
    return out + tuple(c[3:])


# ---------------------------------------------------------------- hex shape

def hex_inside(px, py, w=TILE_W, h=TILE_H, yoff=TILE_YOFF):
    """True when the point (px, py) of a tile rectangle lies in its hex.

    The hex has its top vertex at (w/2, 0), its side vertices at x = 0 and
    x = w from y = yoff to y = h - yoff, and its bottom vertex at (w/2, h).
    The slanted edges are half-open (a point on the upper edges belongs to the
    hex, one on the lower edges to the neighbour) so that the hexes of a
    whole field partition the plane without gaps or double cover.
    """
    if px < 0 or px >= w or py < 0 or py >= h:
        return False
    half = w / 2.0
    dx = abs(px - half)
    # upper slants: y >= yoff * (1 - (half - dx) / half)
    top = yoff * dx / half
    bottom = h - yoff * dx / half
    return top <= py < bottom


def hex_mask(w=TILE_W, h=TILE_H, yoff=TILE_YOFF):
    """'1'-like L image: 255 where the pixel centre lies inside the hex."""
    m = Image.new("L", (w, h), 0)
    px = m.load()
    for y in range(h):
        for x in range(w):
            if hex_inside(x + 0.5, y + 0.5, w, h, yoff):
                px[x, y] = 255
    return m


def hex_rim(px, py, w=TILE_W, h=TILE_H, yoff=TILE_YOFF):
    """Vertical distance from a pixel centre to the hex's upper and lower edge.

    Returns (north, south, side): north and south are measured straight up
    and down to the boundary, side horizontally to the nearer vertical side.
    Tiles light their northern rim and darken their southern one with these.
    """
    half = w / 2.0
    dx = abs(px - half)
    north = py - yoff * dx / half
    south = h - yoff * dx / half - py
    side = min(px, w - px)
    return north, south, side


# ---------------------------------------------------------------- noise

def value_noise(w, h, cell, seed, periodic=False):
    """Smooth noise in an 'L' image, values spread over 0..255.

    With periodic=True the result tiles seamlessly (w and h must be multiples
    of cell), which the widget textures need.
    """
    r = rng(seed)
    gw, gh = max(1, w // cell), max(1, h // cell)
    if periodic:
        grid = Image.new("L", (gw, gh))
        grid.putdata([r.randrange(256) for _ in range(gw * gh)])
        big = Image.new("L", (gw * 3, gh * 3))
        for i in range(3):
            for j in range(3):
                big.paste(grid, (i * gw, j * gh))
        big = big.resize((gw * 3 * cell, gh * 3 * cell), Image.BICUBIC)
        return big.crop((gw * cell, gh * cell, gw * cell + w, gh * cell + h))
    grid = Image.new("L", (gw + 3, gh + 3))
    grid.putdata([r.randrange(256) for _ in range((gw + 3) * (gh + 3))])
    big = grid.resize(((gw + 3) * cell, (gh + 3) * cell), Image.BICUBIC)
    return big.crop((cell, cell, cell + w, cell + h))


def stretched_noise(w, h, gw, gh, seed):
    """Periodic noise from a gw x gh grid of random values: a grid much finer
    in y than in x gives long horizontal streaks, like wood grain."""
    r = rng(seed)
    grid = Image.new("L", (gw, gh))
    grid.putdata([r.randrange(256) for _ in range(gw * gh)])
    big = Image.new("L", (gw * 3, gh * 3))
    for i in range(3):
        for j in range(3):
            big.paste(grid, (i * gw, j * gh))
    big = big.resize((w * 3, h * 3), Image.BICUBIC)
    return big.crop((w, h, 2 * w, 2 * h))


def fractal_noise(w, h, cells, seed, periodic=False):
    """Sum of value-noise octaves (cells: list of cell sizes, big first)."""
    acc = None
    weight = 1.0
    total = 0.0
    for i, c in enumerate(cells):
        n = value_noise(w, h, c, seed * 31 + i, periodic)
        if acc is None:
            acc = n
            total = weight
        else:
            acc = Image.blend(acc, n, weight / (total + weight))
            total += weight
        weight *= 0.55
    return acc


def stretch(img, lo, hi):
    """Remap an 'L' image so that its lo..hi values span 0..255."""
    span = max(1, hi - lo)
    return img.point(lambda v: clamp8((v - lo) * 255 / span))


# ---------------------------------------------------------------- sprites

class Canvas:
    """An RGBA drawing surface at a supersampled scale.

    Coordinates passed to the drawing calls are in final pixels (floats); the
    canvas multiplies them by its scale.  finish() brings the picture down to
    final size with hard alpha (0 or 255) and a dark outline, which is how
    units, cursors and small props keep a bold silhouette on any terrain.
    """

    def __init__(self, w, h, scale=4):
        self.w, self.h, self.s = w, h, scale
        self.img = Image.new("RGBA", (w * scale, h * scale), CLEAR)
        self.d = ImageDraw.Draw(self.img)

    def _p(self, pts):
        return [(x * self.s, y * self.s) for x, y in pts]

    def poly(self, pts, fill):
        self.d.polygon(self._p(pts), fill=fill)

    def ellipse(self, box, fill):
        x0, y0, x1, y1 = box
        self.d.ellipse([x0 * self.s, y0 * self.s, x1 * self.s - 1, y1 * self.s - 1], fill=fill)

    def rect(self, box, fill):
        x0, y0, x1, y1 = box
        self.d.rectangle([x0 * self.s, y0 * self.s, x1 * self.s - 1, y1 * self.s - 1], fill=fill)

    def line(self, pts, fill, width):
        self.d.line(self._p(pts), fill=fill, width=max(1, int(round(width * self.s))), joint="curve")
        # round caps so thick strokes end cleanly
        r = width * self.s / 2.0
        for x, y in (pts[0], pts[-1]):
            self.d.ellipse([x * self.s - r, y * self.s - r, x * self.s + r, y * self.s + r], fill=fill)

    def arc(self, box, start, end, fill, width):
        x0, y0, x1, y1 = box
        self.d.arc([x0 * self.s, y0 * self.s, x1 * self.s, y1 * self.s], start, end,
                   fill=fill, width=max(1, int(round(width * self.s))))

    def finish(self, outline=OUTLINE, threshold=128, outline_diag=True):
        return downsample(self.img, self.s, outline, threshold, outline_diag)


def downsample(img, s, outline=OUTLINE, threshold=128, outline_diag=True):
    """Shrink a supersampled RGBA picture by s with hard alpha and an outline."""
    w, h = img.size[0] // s, img.size[1] // s
    # premultiply so that transparent surroundings do not darken edges
    r, g, b, a = img.split()
    pr = ImageChops.multiply(r, a)
    pg = ImageChops.multiply(g, a)
    pb = ImageChops.multiply(b, a)
    pr, pg, pb, sa = (c.resize((w, h), Image.BOX) for c in (pr, pg, pb, a))
    out = Image.new("RGBA", (w, h), CLEAR)
    po, ppr, ppg, ppb, psa = out.load(), pr.load(), pg.load(), pb.load(), sa.load()
    for y in range(h):
        for x in range(w):
            al = psa[x, y]
            if al >= threshold:
                po[x, y] = (min(255, ppr[x, y] * 255 // al), min(255, ppg[x, y] * 255 // al),
                            min(255, ppb[x, y] * 255 // al), 255)
    if outline is not None:
        add_outline(out, outline, outline_diag)
    return out


def add_outline(img, colour=OUTLINE, diagonal=True):
    """Paint every transparent pixel that touches an opaque one."""
    w, h = img.size
    px = img.load()
    solid = [[px[x, y][3] == 255 for x in range(w)] for y in range(h)]
    nb = [(-1, 0), (1, 0), (0, -1), (0, 1)]
    if diagonal:
        nb += [(-1, -1), (1, -1), (-1, 1), (1, 1)]
    for y in range(h):
        for x in range(w):
            if solid[y][x]:
                continue
            for dx, dy in nb:
                xx, yy = x + dx, y + dy
                if 0 <= xx < w and 0 <= yy < h and solid[yy][xx]:
                    px[x, y] = colour
                    break


def harden_alpha(img, threshold=128):
    """Make every alpha 0 or 255 (transparent pixels become black)."""
    px = img.load()
    w, h = img.size
    for y in range(h):
        for x in range(w):
            p = px[x, y]
            px[x, y] = (p[0], p[1], p[2], 255) if p[3] >= threshold else CLEAR
    return img


def save_png(img, path):
    """Write a PNG without metadata so reruns give identical bytes."""
    img.save(path, format="PNG", optimize=False, compress_level=9)
