"""The 26 mouse pointers, 32 x 32, each with a dark outline so it reads on
every terrain and widget.  HOTSPOTS holds the pixel each one points with;
interface.ini repeats these numbers and the contact sheet marks them."""
import math

from .common import Canvas

S = 32
C = 16  # centre
LIGHT = (250, 244, 222, 255)
GOLD = (244, 200, 72, 255)
GOLD_D = (176, 128, 30, 255)
GREEN = (132, 226, 96, 255)
GREEN_D = (60, 150, 44, 255)
RED = (230, 48, 36, 255)
RED_D = (150, 20, 16, 255)
STEEL = (222, 228, 236, 255)
STEEL_D = (130, 138, 150, 255)
GREY = (176, 176, 176, 255)
HILT = (132, 88, 40, 255)
EDGE = (20, 16, 12, 255)

# unit vectors from a unit's hex to each neighbour on the field (tile 64 wide,
# rows 48 apart): the move and attack pointers aim along the real hex lines
_D = math.hypot(32, 48)
HEXDIR = {"nw": (-32 / _D, -48 / _D), "ne": (32 / _D, -48 / _D), "w": (-1.0, 0.0),
          "e": (1.0, 0.0), "sw": (-32 / _D, 48 / _D), "se": (32 / _D, 48 / _D)}
SCROLLDIR = {"left": (-1, 0), "right": (1, 0), "up": (0, -1), "down": (0, 1),
             "ul": (-1, -1), "ur": (1, -1), "dl": (-1, 1), "dr": (1, 1)}


def _rot(pts, dx, dy, ox, oy):
    """Turn shape points given for the +x direction toward (dx, dy)."""
    n = math.hypot(dx, dy)
    cx, cy = dx / n, dy / n
    return [(ox + x * cx - y * cy, oy + x * cy + y * cx) for x, y in pts]


def _arrow_shape(length, head, half_shaft, half_head):
    """Arrow along +x with its tip at (0, 0)."""
    return [(0, 0), (-head, -half_head), (-head, -half_shaft), (-length, -half_shaft),
            (-length, half_shaft), (-head, half_shaft), (-head, half_head)]


def _tip_for(dx, dy, margin):
    """Where an arrow toward (dx, dy) has its tip: on the picture's border for
    scrolling (so the tip touches the screen edge), inset by margin."""
    n = max(abs(dx), abs(dy))
    return (C + dx / n * (C - margin) - (0.5 if dx > 0 else 0),
            C + dy / n * (C - margin) - (0.5 if dy > 0 else 0))


def _hot(x, y):
    return (int(math.floor(x)), int(math.floor(y)))


HOTSPOTS = {}


def _register(name, hot):
    HOTSPOTS[name] = hot


def pointer():
    c = Canvas(S, S)
    shape = [(1, 1), (1, 23), (6.5, 18), (10.5, 27), (14, 25.5), (10, 17), (17, 17)]
    c.poly(shape, LIGHT)
    c.poly([(1, 1), (17, 17), (10, 17), (6.5, 18), (1, 23), (3, 18), (3, 6)], (226, 214, 186, 255))
    c.poly([(1, 1), (1, 23), (3, 18), (3, 6)], LIGHT)
    return c.finish(EDGE)


def hand():
    c = Canvas(S, S)
    # index finger up, the other three curled, thumb along the side
    c.rect((9.5, 1.5, 14, 16), LIGHT)
    c.ellipse((9.5, 0.5, 14, 4), LIGHT)
    c.rect((14, 10, 18, 17), LIGHT)
    c.rect((18, 11, 22, 18), LIGHT)
    c.rect((22, 12.5, 26, 19), LIGHT)
    c.poly([(5, 13), (9.5, 16), (9.5, 21), (6, 17.5)], LIGHT)
    c.poly([(6, 17), (9.5, 16), (26, 16), (26, 24), (21, 30), (11, 30), (7, 24)], LIGHT)
    for x in (14, 18, 22):
        c.line([(x, 11), (x, 17)], (150, 130, 100, 255), 0.7)
    return c.finish(EDGE)


def _scroll(dx, dy):
    def make():
        c = Canvas(S, S)
        tip = _tip_for(dx, dy, 1)
        diag = dx != 0 and dy != 0
        shape = _arrow_shape(20 if diag else 24, 11, 3.2, 9)
        c.poly(_rot(shape, dx, dy, *tip), GOLD)
        c.poly(_rot([(0, 0), (-11, 9), (-11, 3.2), (-20 if diag else -24, 3.2),
                     (-20 if diag else -24, 0)], dx, dy, *tip), GOLD_D)
        return c.finish(EDGE)
    return make


def _move(dx, dy):
    def make():
        c = Canvas(S, S)
        tip = (C + dx * 14.5, C + dy * 14.5)
        shape = _arrow_shape(27, 11, 3.4, 8.5)
        c.poly(_rot(shape, dx, dy, *tip), GREEN)
        c.poly(_rot([(0, 0), (-11, 8.5), (-11, 3.4), (-27, 3.4), (-27, 0)], dx, dy, *tip), GREEN_D)
        return c.finish(EDGE)
    return make


def _sword(c, a, b):
    """A blade from the hilt end a to the point b."""
    ax, ay = a
    bx, by = b
    n = math.hypot(bx - ax, by - ay)
    ux, uy = (bx - ax) / n, (by - ay) / n
    px, py = -uy, ux
    gx, gy = ax + ux * 6, ay + uy * 6  # guard position
    c.line([a, (gx, gy)], HILT, 2.4)
    c.line([(gx - px * 4.5, gy - py * 4.5), (gx + px * 4.5, gy + py * 4.5)], GOLD_D, 2.2)
    c.poly([(gx + px * 1.7, gy + py * 1.7), (bx - ux * 3 + px * 1.5, by - uy * 3 + py * 1.5), b,
            (bx - ux * 3 - px * 1.5, by - uy * 3 - py * 1.5), (gx - px * 1.7, gy - py * 1.7)], STEEL)
    c.line([(gx, gy), (bx - ux * 2, by - uy * 2)], STEEL_D, 0.6)


def _attack(dx, dy):
    def make():
        c = Canvas(S, S)
        # two crossed blades meeting over the hot spot
        _sword(c, (8.5, 23.5), (23, 9))
        _sword(c, (23.5, 23.5), (9, 9))
        # red wedge on the side of the attacked neighbour, over the blades
        tip = (C + dx * 15.5, C + dy * 15.5)
        c.poly(_rot([(0, 0), (-6.5, -6), (-6.5, 6)], dx, dy, *tip), RED)
        return c.finish(EDGE)
    return make


def select():
    c = Canvas(S, S)
    for sx, sy in ((1, 1), (-1, 1), (1, -1), (-1, -1)):
        ox, oy = C - sx * 13, C - sy * 13
        c.poly([(ox, oy), (ox + sx * 9, oy), (ox + sx * 9, oy + sy * 3), (ox + sx * 3, oy + sy * 3),
                (ox + sx * 3, oy + sy * 9), (ox, oy + sy * 9)], GOLD)
    c.ellipse((C - 2, C - 2, C + 2, C + 2), GOLD)
    return c.finish(EDGE)


def nomove():
    c = Canvas(S, S)
    c.ellipse((3, 3, 29, 29), RED)
    c.d.ellipse([7 * 4, 7 * 4, 25 * 4 - 1, 25 * 4 - 1], fill=(0, 0, 0, 0))
    c.line([(9, 9), (23, 23)], RED, 4)
    return c.finish(EDGE)


def _crosshair(c, ring, tick):
    c.arc((5, 5, 27, 27), 0, 360, ring, 3)
    for (x0, y0, x1, y1) in ((C, 1, C, 10), (C, 22, C, 31), (1, C, 10, C), (22, C, 31, C)):
        c.line([(x0, y0), (x1, y1)], tick, 2)
    c.ellipse((C - 1.5, C - 1.5, C + 1.5, C + 1.5), tick)


def target():
    c = Canvas(S, S)
    _crosshair(c, RED, LIGHT)
    return c.finish(EDGE)


def notarget():
    c = Canvas(S, S)
    _crosshair(c, GREY, GREY)
    c.line([(7, 25), (25, 7)], RED, 4)
    return c.finish(EDGE)


def _centre_hot():
    return (C, C)


CURSORS = []


def _add(name, make, hot):
    CURSORS.append((name, make))
    _register(name, hot)


_add("arrow", pointer, (1, 1))
_add("hand", hand, (11, 1))
for _n in ("left", "right", "up", "down", "ul", "ur", "dl", "dr"):
    _dx, _dy = SCROLLDIR[_n]
    _add("scroll_" + _n, _scroll(_dx, _dy), _hot(*_tip_for(_dx, _dy, 1)))
_add("select", select, _centre_hot())
for _n in ("nw", "ne", "w", "e", "sw", "se"):
    _dx, _dy = HEXDIR[_n]
    _add("move_" + _n, _move(_dx, _dy), _hot(C + _dx * 14.5 - (0.5 if _dx > 0 else 0),
                                             C + _dy * 14.5 - (0.5 if _dy > 0 else 0)))
_add("nomove", nomove, _centre_hot())
for _n in ("nw", "ne", "w", "e", "sw", "se"):
    _dx, _dy = HEXDIR[_n]
    _add("attack_" + _n, _attack(_dx, _dy), _centre_hot())
_add("target", target, _centre_hot())
_add("notarget", notarget, _centre_hot())

NAMES = [n for n, _ in CURSORS]
