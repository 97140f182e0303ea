"""Hex tiles, the picking image, the blink overlay and the selection marker.

A tile is seen from above with a little depth: the northern rim catches the
light, the southern rim falls into shadow, and each terrain has a hue family
of its own so that a glance at the field tells them apart.
"""
import math

from PIL import Image, ImageDraw

from .common import (CLEAR, TILE_H, TILE_W, TILE_YOFF, Canvas, clamp8,
                     fractal_noise, hex_inside, hex_mask, hex_rim, mix, rng,
                     shade)

W, H, Y = TILE_W, TILE_H, TILE_YOFF


def _ground(base, dark, light, seed, cells=(16, 8, 4), contrast=1.0):
    """A noisy ground colour field between dark and light around base."""
    n = fractal_noise(W, H, list(cells), seed)
    img = Image.new("RGBA", (W, H))
    px, pn = img.load(), n.load()
    for y in range(H):
        for x in range(W):
            t = (pn[x, y] - 128) / 128.0 * contrast
            c = mix(base, light, t) if t > 0 else mix(base, dark, -t)
            px[x, y] = c + (255,) if len(c) == 3 else c
    return img


def _finish(img, rim_dark=0.62, rim_light=1.22):
    """Cut the hex out, light the north rim and shade the south rim."""
    px = img.load()
    for y in range(H):
        for x in range(W):
            cx, cy = x + 0.5, y + 0.5
            if not hex_inside(cx, cy):
                px[x, y] = CLEAR
                continue
            north, south, side = hex_rim(cx, cy)
            f = 1.0
            if south < 1.5:
                f = rim_dark
            elif south < 3.5:
                f = (rim_dark + 1.0) / 2.0 + 0.05
            elif side < 1.0 and cy > H / 2:
                f = (rim_dark + 1.0) / 2.0
            elif north < 1.0:
                f = rim_light
            elif side < 1.0:
                f = (rim_light + 1.0) / 2.0
            if f != 1.0:
                px[x, y] = shade(px[x, y], f)[:3] + (255,)
    return img


def _stroke(d, pts, fill, width=1):
    d.line(pts, fill=fill, width=width)


def meadow(seed, flowers=False):
    img = _ground((92, 152, 58), (58, 112, 40), (140, 190, 80), seed, contrast=0.8)
    d = ImageDraw.Draw(img)
    r = rng(seed)
    for _ in range(70):
        x, y = r.uniform(2, W - 2), r.uniform(4, H - 6)
        c = (62, 118, 40) if r.random() < 0.6 else (150, 200, 92)
        _stroke(d, [(x, y), (x + r.uniform(-1.2, 1.2), y - r.uniform(1.5, 3.0))], c)
    if flowers:
        for _ in range(16):
            x, y = r.randrange(6, W - 6), r.randrange(10, H - 10)
            c = r.choice([(250, 240, 120), (255, 255, 255), (240, 150, 200), (255, 200, 90)])
            d.point([(x, y), (x + 1, y), (x, y + 1)], fill=c)
    return _finish(img)


def forest(seed):
    img = _ground((44, 84, 38), (26, 54, 26), (70, 110, 50), seed, contrast=0.7)
    r = rng(seed)
    # crowns drawn back to front so the southern trees overlap the northern
    crowns = []
    for row, (yy, xs) in enumerate([(14, (22, 42)), (26, (12, 32, 52)), (40, (20, 44)),
                                    (50, (32,))]):
        for xx in xs:
            crowns.append((xx + r.uniform(-2.5, 2.5), yy + r.uniform(-1.5, 1.5),
                           r.uniform(7.0, 8.5)))
    cv = Canvas(W, H, 4)
    for x, y, rad in crowns:
        # trunk and shadow first, then the crown with its lit upper left
        cv.ellipse((x - rad * 0.9, y + rad * 0.2, x + rad * 1.1, y + rad * 0.95), (18, 36, 18, 255))
        cv.rect((x - 1.0, y + rad * 0.4, x + 1.0, y + rad * 0.95), (74, 50, 30, 255))
        cv.ellipse((x - rad, y - rad, x + rad, y + rad * 0.7), (30, 78, 34, 255))
        cv.ellipse((x - rad * 0.8, y - rad * 0.9, x + rad * 0.5, y + rad * 0.3), (48, 108, 44, 255))
        cv.ellipse((x - rad * 0.55, y - rad * 0.75, x - rad * 0.05, y - rad * 0.25), (86, 150, 64, 255))
    trees = cv.finish(outline=(14, 30, 14, 255), outline_diag=False)
    img.alpha_composite(trees)
    return _finish(img)


def hills(seed):
    img = _ground((142, 140, 70), (104, 104, 48), (176, 170, 96), seed, contrast=0.6)
    px = img.load()
    r = rng(seed)
    # two or three rounded ridges: a lit crest line over a shaded lee side
    ridges = [(18 + r.uniform(-2, 2), 24 + r.uniform(-1, 1), 15), (44 + r.uniform(-2, 2), 30, 16),
              (28 + r.uniform(-2, 2), 44 + r.uniform(-1, 1), 17)]
    for y in range(H):
        for x in range(W):
            p = px[x, y]
            for cx, cy, rad in ridges:
                dx = (x + 0.5 - cx) / rad
                if abs(dx) >= 1.0:
                    continue
                crest = cy - 7.0 * math.sqrt(1 - dx * dx)
                dy = y + 0.5 - crest
                if 0 <= dy < 2.0:
                    p = mix(p, (222, 214, 136), 0.85 if dx < 0.3 else 0.5)
                elif 2.0 <= dy < 7.0 * math.sqrt(1 - dx * dx) + 1:
                    # lee side darker toward the south-east
                    f = 0.74 if dx > -0.2 else 0.88
                    p = shade(p, f)
            px[x, y] = p[:3] + (255,)
    return _finish(img)


def sand(seed):
    img = _ground((222, 196, 128), (196, 166, 100), (240, 220, 160), seed, cells=(32, 16, 8),
                  contrast=0.6)
    px = img.load()
    r = rng(seed)
    phase = r.uniform(0, 6.28)
    for y in range(H):
        for x in range(W):
            # wind ripples: bands that wave across the tile
            v = math.sin((y + 2.5 * math.sin(x * 0.19 + phase)) * 0.9)
            if v > 0.86:
                px[x, y] = shade(px[x, y], 1.08)[:3] + (255,)
            elif v < -0.9:
                px[x, y] = shade(px[x, y], 0.86)[:3] + (255,)
    d = ImageDraw.Draw(img)
    for _ in range(10):
        x, y = r.randrange(4, W - 4), r.randrange(8, H - 8)
        d.point([(x, y)], fill=(150, 120, 80))
    return _finish(img, rim_dark=0.7)


def water(seed):
    img = _ground((48, 102, 176), (32, 70, 140), (70, 130, 200), seed, cells=(32, 16), contrast=0.7)
    d = ImageDraw.Draw(img)
    r = rng(seed)
    placed = []
    for _ in range(80):
        if len(placed) >= 9:
            break
        x, y = r.uniform(6, W - 18), r.uniform(12, H - 12)
        ln = r.uniform(9, 14)
        if not hex_inside(x - 1, y) or not hex_inside(x + ln + 1, y):
            continue
        if any(abs(x - a) < 16 and abs(y - b) < 7 for a, b in placed):
            continue
        placed.append((x, y))
        # a ripple: a short wave crest, lit on top and shaded below
        crest = [(x + i, y + 1.2 * math.sin(i * 0.9)) for i in range(int(ln) + 1)]
        d.line([(px_, py_ + 1) for px_, py_ in crest], fill=(30, 64, 128), width=1)
        d.line(crest, fill=(176, 214, 242), width=1)
    return _finish(img, rim_dark=0.7, rim_light=1.35)


def mountains(seed):
    img = _ground((116, 116, 120), (84, 84, 90), (150, 150, 156), seed, contrast=0.6)
    r = rng(seed)
    cv = Canvas(W, H, 4)
    peaks = [(22 + r.uniform(-1, 1), 5, 15, 40), (44 + r.uniform(-1, 1), 13, 14, 46),
             (30 + r.uniform(-1, 1), 20, 12, 52)]
    for px_, top, half, base in peaks:
        lit = [(px_, top), (px_ - half, base), (px_ + 1, base)]
        dark = [(px_, top), (px_ + 1, base), (px_ + half, base)]
        cv.poly(lit, (158, 156, 160, 255))
        cv.poly(dark, (90, 88, 96, 255))
        # ridge crack and snow cap
        cv.line([(px_ + 0.5, top + 3), (px_ - 2, top + 11), (px_ + 1, base - 3)], (70, 68, 76, 255), 0.8)
        snow = 0.32 * (base - top)
        k = snow / (base - top)
        cv.poly([(px_, top), (px_ - half * k, top + snow), (px_ - half * k * 0.4, top + snow - 2),
                 (px_ + 0.5, top + snow + 1), (px_ + half * k * 0.6, top + snow - 1.5),
                 (px_ + half * k, top + snow)], (244, 246, 252, 255))
        cv.poly([(px_, top), (px_ + 0.5, top + snow + 1), (px_ + half * k * 0.6, top + snow - 1.5),
                 (px_ + half * k, top + snow)], (196, 204, 222, 255))
    peaks_img = cv.finish(outline=(50, 48, 56, 255), outline_diag=False)
    img.alpha_composite(peaks_img)
    return _finish(img)


TERRAINS = [
    # file stem, maker, seed
    ("meadow", lambda: meadow(101), "meadow"),
    ("meadow_flowers", lambda: meadow(102, flowers=True), "meadow"),
    ("forest", lambda: forest(103), "forest"),
    ("hills", lambda: hills(104), "hills"),
    ("sand", lambda: sand(105), "sand"),
    ("water", lambda: water(106), "water"),
    ("mountains", lambda: mountains(107), "mountains"),
]


def mousemap():
    """The picking image: white for the cell's own hex, and in the corners of
    the rectangle the colour of the diagonal neighbour a point belongs to
    (north-west red, north-east magenta, south-west green, south-east blue)."""
    img = Image.new("RGBA", (W, H))
    px = img.load()
    for y in range(H):
        for x in range(W):
            cx, cy = x + 0.5, y + 0.5
            if hex_inside(cx, cy):
                c = (255, 255, 255)
            elif cy < H / 2:
                c = (255, 0, 0) if cx < W / 2 else (255, 0, 255)
            else:
                c = (0, 255, 0) if cx < W / 2 else (0, 0, 255)
            px[x, y] = c + (255,)
    return img


def blink():
    """White hex, strongest along its rim, tinted and faded at run time."""
    img = Image.new("RGBA", (W, H), CLEAR)
    px = img.load()
    for y in range(H):
        for x in range(W):
            cx, cy = x + 0.5, y + 0.5
            if not hex_inside(cx, cy):
                continue
            north, south, side = hex_rim(cx, cy)
            edge = min(north, south, side)
            a = 255 if edge < 3 else clamp8(230 - (edge - 3) * 9)
            px[x, y] = (255, 255, 255, max(110, a))
    return img


def selected():
    """Gold ring around the hex, drawn under the selected unit."""
    img = Image.new("RGBA", (W, H), CLEAR)
    px = img.load()
    for y in range(H):
        for x in range(W):
            cx, cy = x + 0.5, y + 0.5
            if not hex_inside(cx, cy):
                continue
            north, south, side = hex_rim(cx, cy)
            edge = min(north * 0.9, south * 0.9, side)
            if edge < 1.0:
                px[x, y] = (110, 70, 10, 255)
            elif edge < 3.2:
                px[x, y] = (255, 214, 60, 255)
            elif edge < 4.2:
                px[x, y] = (150, 100, 20, 255)
    return img
