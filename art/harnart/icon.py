"""The window icon: a Windows .ico with 32 x 32 and 16 x 16 entries stored
as 32-bit BMPs with a 1-bit AND mask (image loaders that read icons handle
this kind, not PNG entries)."""
import struct

from PIL import Image

from .common import Canvas, TILE_W
from .cursors import _sword


def _draw(c):
    """The design on a canvas of 32 x 32 units: a meadow hex with two crossed blades."""
    hexpts = [(16, 1), (30, 8.5), (30, 23.5), (16, 31), (2, 23.5), (2, 8.5)]
    c.poly(hexpts, (24, 18, 12, 255))
    c.poly([(16, 3), (28, 9.5), (28, 22.5), (16, 29), (4, 22.5), (4, 9.5)], (92, 150, 58, 255))
    c.poly([(16, 3), (28, 9.5), (16, 16), (4, 9.5)], (120, 178, 76, 255))
    _sword(c, (8, 25), (25, 6.5))
    _sword(c, (24, 25), (7, 6.5))


# Sizes of the desktop icon; the two smallest keep the window icon's hard pixels, which read
# better than smoothed edges at that size.
DESKTOP_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def desktop_picture(size):
    """The icon a desktop shows in its menus and docks: the window icon's design, drawn at the
    size with smooth edges."""
    if size <= 16:
        return picture(size)
    s = 8
    c = Canvas(32, 32, max(1, size * s // 32))
    _draw(c)
    # resized with premultiplied alpha, so the transparent surroundings do not darken the edges
    return c.img.convert("RGBa").resize((size, size), Image.LANCZOS).convert("RGBA")


def picture(size):
    c = Canvas(32, 32, 8)
    _draw(c)
    img = c.finish(outline=(24, 18, 12, 255), outline_diag=False)
    if size != 32:
        img = img.resize((size, size), Image.BOX)
        px = img.load()
        for y in range(size):
            for x in range(size):
                p = px[x, y]
                px[x, y] = (p[0], p[1], p[2], 255) if p[3] >= 128 else (0, 0, 0, 0)
    return img


def _bmp_entry(img):
    w, h = img.size
    px = img.load()
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            r, g, b, a = px[x, y]
            xor += bytes((b, g, r, a))
    row = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        bits = bytearray(row)
        for x in range(w):
            if px[x, y][3] == 0:  # transparent: AND bit set
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(xor) + bytes(mask)


def ico_bytes():
    entries = [_bmp_entry(picture(s)) for s in (32, 16)]
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for size, data in zip((32, 16), entries):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(entries)
