"""Widget looks: dark wood framed in brass, in four states (normal, hover,
pressed, inactive).

Frame pieces are drawn tiled (the widget repeats each piece across its side),
so every edge piece and the wood of the middle are periodic along the
direction they repeat in: no seam shows however long a button gets.
"""
import math

from PIL import Image, ImageDraw

from .common import CLEAR, Canvas, mix, shade, stretched_noise

BORDER = 4          # thickness of the brass edge, the frame's border size
EDGE_LEN = 32       # length of one repeat of an edge piece
MIDDLE = 64         # side of the wood texture of the middle piece

STATES = [
    # wood base, wood grain light, brass, brass light, brass dark, pressed
    dict(wood=(76, 48, 30), light=(104, 68, 42), brass=(196, 156, 78), hi=(246, 214, 134),
         lo=(116, 84, 34), sunk=False),
    dict(wood=(104, 66, 38), light=(138, 92, 54), brass=(230, 190, 96), hi=(255, 240, 170),
         lo=(146, 106, 44), sunk=False),
    dict(wood=(52, 32, 20), light=(70, 44, 28), brass=(170, 132, 62), hi=(222, 188, 110),
         lo=(96, 68, 26), sunk=True),
    # inactive widgets double as the labels of the menus: a calm, darker plate
    # rather than a greyed-out button, so captions stay easy to read
    dict(wood=(46, 30, 20), light=(62, 42, 28), brass=(150, 116, 66), hi=(184, 150, 96),
         lo=(90, 66, 34), sunk=False),
]

# label colour per state (a, r, g, b) for interface.ini
TEXT = [(255, 240, 224, 180), (255, 255, 246, 196), (255, 255, 214, 110), (255, 214, 186, 130)]

OUTER = (28, 18, 10)


def wood(state, w=MIDDLE, h=MIDDLE, seed=11):
    """Periodic wood grain: contour lines of streaky noise over a base tone."""
    st = STATES[state]
    coarse = stretched_noise(w, h, 2, 12, seed).load()
    fine = stretched_noise(w, h, 8, 32, seed + 1).load()
    img = Image.new("RGBA", (w, h))
    px = img.load()
    for y in range(h):
        for x in range(w):
            v = (coarse[x, y] * 0.75 + fine[x, y] * 0.25) / 255.0
            t = 0.25 + 0.6 * v
            c = mix(st["wood"], st["light"], t)
            ring = (v * 9.0) % 1.0
            if ring < 0.12:
                c = shade(c, 0.78)
            elif ring < 0.22:
                c = shade(c, 1.06)
            px[x, y] = c + (255,)
    return img


def _strip(state, length, horizontal, outer_first, lit):
    """A brass edge BORDER thick, repeating along its length.

    outer_first: the outer side of the frame is at row/column 0.
    lit: the edge faces the light (top and left), so its bevel is bright."""
    st = STATES[state]
    if st["sunk"]:
        lit = not lit
    rows = [OUTER, st["hi"] if lit else st["brass"], st["brass"], st["lo"]]
    if not outer_first:
        rows = rows[::-1]
    w, h = (length, BORDER) if horizontal else (BORDER, length)
    img = Image.new("RGBA", (w, h))
    px = img.load()
    for y in range(h):
        for x in range(w):
            i = y if horizontal else x
            along = x if horizontal else y
            c = rows[i]
            if c != OUTER:
                # faint hammered texture that repeats with the piece
                c = shade(c, 1.0 + 0.05 * math.sin(along * 2 * math.pi * 4 / length + i))
            px[x, y] = tuple(c[:3]) + (255,)
    return img


def _corner(state, left, top):
    """Square brass corner with a rivet; outer sides dark."""
    st = STATES[state]
    img = Image.new("RGBA", (BORDER, BORDER), st["brass"] + (255,))
    px = img.load()
    for y in range(BORDER):
        for x in range(BORDER):
            ox = x if left else BORDER - 1 - x
            oy = y if top else BORDER - 1 - y
            if ox == 0 or oy == 0:
                px[x, y] = OUTER + (255,)
            elif (ox, oy) == (1, 1):
                px[x, y] = (st["lo"] if st["sunk"] else st["hi"]) + (255,)
            elif (ox, oy) == (2, 2):
                px[x, y] = st["lo"] + (255,)
    return img


PIECES = ["tl", "t", "tr", "l", "m", "r", "bl", "b", "br"]


def frame_piece(state, j):
    name = PIECES[j]
    if name == "m":
        return wood(state)
    if name == "t":
        return _strip(state, EDGE_LEN, True, True, True)
    if name == "b":
        return _strip(state, EDGE_LEN, True, False, False)
    if name == "l":
        return _strip(state, EDGE_LEN, False, True, True)
    if name == "r":
        return _strip(state, EDGE_LEN, False, False, False)
    return _corner(state, name.endswith("l"), name.startswith("t"))


def piece_size(j):
    name = PIECES[j]
    if name == "m":
        return (MIDDLE, MIDDLE)
    if name in ("t", "b"):
        return (EDGE_LEN, BORDER)
    if name in ("l", "r"):
        return (BORDER, EDGE_LEN)
    return (BORDER, BORDER)


def _button(state, w, h, draw_symbol):
    """A small wooden button with a brass rim and a symbol on it."""
    st = STATES[state]
    img = wood(state, 64, 64).crop((0, 0, w, h))
    d = ImageDraw.Draw(img)
    hi, lo = (st["lo"], st["hi"]) if st["sunk"] else (st["hi"], st["lo"])
    d.rectangle([0, 0, w - 1, h - 1], outline=OUTER)
    d.line([(1, 1), (w - 2, 1)], fill=hi)
    d.line([(1, 1), (1, h - 2)], fill=hi)
    d.line([(1, h - 2), (w - 2, h - 2)], fill=lo)
    d.line([(w - 2, 1), (w - 2, h - 2)], fill=lo)
    c = Canvas(w, h)
    draw_symbol(c, st)
    sym = c.finish(outline=OUTER + (255,), outline_diag=False)
    img.alpha_composite(sym)
    return img


def _triangle(up):
    def draw(c, st):
        w, h = c.w, c.h
        m = w * 0.28
        if up:
            pts = [(w / 2, h * 0.28), (w - m, h * 0.68), (m, h * 0.68)]
        else:
            pts = [(w / 2, h * 0.72), (m, h * 0.32), (w - m, h * 0.32)]
        c.poly(pts, st["brass"] + (255,))
        c.poly(pts[:2] + [(w / 2, h / 2)], st["hi"] + (255,))
    return draw


def vscroll_button(state, up):
    return _button(state, 20, 20, _triangle(up))


def vscroll_paddle(state):
    def grip(c, st):
        for y in (12, 16, 20):
            c.rect((5, y - 1, 15, y + 1), st["brass"] + (255,))
    return _button(state, 20, 32, grip)


def dropper_button(state, up):
    return _button(state, 32, 32, _triangle(up))


def checkbox(state, checked):
    st = STATES[state]
    img = Image.new("RGBA", (32, 32), CLEAR)
    d = ImageDraw.Draw(img)
    hi, lo = (st["lo"], st["hi"]) if st["sunk"] else (st["hi"], st["lo"])
    d.rectangle([3, 3, 28, 28], fill=OUTER)
    d.rectangle([4, 4, 27, 27], fill=st["brass"])
    d.line([(4, 4), (27, 4)], fill=hi)
    d.line([(4, 4), (4, 27)], fill=hi)
    d.line([(4, 27), (27, 27)], fill=lo)
    d.line([(27, 4), (27, 27)], fill=lo)
    d.rectangle([7, 7, 24, 24], fill=OUTER)
    inner = wood(state, 64, 64).crop((0, 0, 16, 16))
    img.paste(inner, (8, 8))
    if checked:
        c = Canvas(32, 32)
        tick = (236, 232, 210, 255) if state != 3 else (186, 160, 120, 255)
        c.line([(10, 16), (14.5, 21.5), (23, 9)], tick, 3.4)
        img.alpha_composite(c.finish(outline=OUTER + (255,), outline_diag=False))
    return img


def caret():
    img = Image.new("RGBA", (2, 16), (255, 255, 255, 255))
    return img


def pictures():
    out = []
    for i in range(4):
        for j, name in enumerate(PIECES):
            out.append(("gui/frame%d_%s.png" % (i, name), lambda i=i, j=j: frame_piece(i, j)))
    for i in range(4):
        out += [("gui/vscroll_up%d.png" % i, lambda i=i: vscroll_button(i, True)),
                ("gui/vscroll_down%d.png" % i, lambda i=i: vscroll_button(i, False)),
                ("gui/vscroll_paddle%d.png" % i, lambda i=i: vscroll_paddle(i)),
                ("gui/dropper_up%d.png" % i, lambda i=i: dropper_button(i, True)),
                ("gui/dropper_down%d.png" % i, lambda i=i: dropper_button(i, False)),
                ("gui/checkbox_on%d.png" % i, lambda i=i: checkbox(i, True)),
                ("gui/checkbox_off%d.png" % i, lambda i=i: checkbox(i, False))]
    out.append(("gui/caret.png", caret))
    return out
