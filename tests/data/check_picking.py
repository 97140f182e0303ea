#!/usr/bin/python3
"""Check that picking a tile through the mousemap agrees with how the tiles
are drawn.

Usage: /usr/bin/python3 tests/data/check_picking.py [DATA_DIR]

Three checks over a field laid out by the game's tile-rectangle rule:
1. Drawn vs picked: for every pixel of the field, the tile the game picks
   through the mousemap is the tile whose picture covers that pixel on top
   (tiles are drawn row by row, so lower rows cover the overlap).  Done for
   every tile type's picture.
2. No gaps: inside the field every pixel is covered by some tile.
3. Nearest centre: the picked tile is the one whose centre is nearest.  The
   field is seen at a slant, so distances are measured on the ground: a
   vertical pixel counts sqrt(W^2 / (4 Y (H - Y))) times a horizontal one
   (W, H the tile size, Y the row overlap).  With that measure the drawn hex
   is exactly the set of points nearest its centre.
"""
import math
import os
import sys

from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from profile_ini import ProfileIni  # noqa: E402

WHITE, RED, MAGENTA, GREEN, BLUE = ((255, 255, 255, 255), (255, 0, 0, 255), (255, 0, 255, 255),
                                    (0, 255, 0, 255), (0, 0, 255, 255))
COLS, ROWS = 12, 10


def tile_rect(col, row, tw, th, yoff):
    step = th - yoff
    left, right = col * tw, (col + 1) * tw
    top, bottom = row * step, (row + 1) * step + yoff
    if row % 2 == 0:
        left += tw // 2
        right += tw // 2
    return left, top, right, bottom


def neighbour(col, row, colour):
    """The game's neighbour lookups for the four corner colours."""
    even = row % 2 == 0
    if colour == RED:        # north-west
        return (col if even else col - 1, row - 1)
    if colour == MAGENTA:    # north-east
        return (col + 1 if even else col, row - 1)
    if colour == GREEN:      # south-west
        return (col if even else col - 1, row + 1)
    if colour == BLUE:       # south-east
        return (col + 1 if even else col, row + 1)
    return None


def pick(x, y, mm, tw, th, yoff, cols=COLS, rows=ROWS):
    """The game's picking of map pixel (x, y); None when no tile."""
    if x < 0 or y < 0:
        return None
    step = th - yoff
    row, ry = y // step, y % step
    if row % 2 == 0:
        v = x - tw // 2
        col, rx = v // tw, v % tw    # Python's // and % round down, as required
    else:
        col, rx = x // tw, x % tw
    colour = mm[rx, ry]
    if colour == WHITE:
        cell = (col, row)
    else:
        cell = neighbour(col, row, colour)
        if cell is None:
            return None
    c, r = cell
    return cell if 0 <= c < cols and 0 <= r < rows else None


def load_geometry(data):
    rules = ProfileIni(os.path.join(data, "rules.ini"))
    tw = rules.get_int("tiles", "tile_width")
    th = rules.get_int("tiles", "tile_height")
    yoff = rules.get_int("tiles", "placement_yoffset")
    return rules, tw, th, yoff


def check(data):
    """Return a list of fault messages (empty when picking agrees)."""
    rules, tw, th, yoff = load_geometry(data)
    faults = []
    if tw <= 0 or th <= 0 or not 0 <= yoff < th or 2 * yoff > th:
        return ["[tiles] sizes %d x %d with overlap %d do not make a hex grid" % (tw, th, yoff)]
    mm_path = os.path.join(data, rules.raw("tiles", "mousemap"))
    try:
        mm_img = Image.open(mm_path).convert("RGBA")
    except Exception as e:  # noqa: BLE001 - any loader failure is a data fault
        return ["mousemap %s does not load: %s" % (mm_path, e)]
    if mm_img.size != (tw, th):
        return ["mousemap is %d x %d, the tiles are %d x %d" % (mm_img.size + (tw, th))]
    mm = mm_img.load()
    step = th - yoff
    width, height = tw * COLS + tw // 2, step * ROWS + yoff

    # 1 and 2: every tile picture as the whole field
    fmt = rules.raw("tiles", "tile_name_format")
    n = rules.get_int("tiles", "num_tiletypes")
    seen = set()
    for i in range(n):
        sec = fmt % i
        try:
            img = Image.open(os.path.join(data, rules.raw(sec, "image"))).convert("RGBA")
        except Exception:  # noqa: BLE001 - reported by check_data.py
            continue
        if img.size != (tw, th):
            img = img.resize((tw, th), Image.NEAREST)
        mask = img.split()[3].point(lambda v: 255 if v else 0)
        if mask.tobytes() in seen:
            continue  # same outline as a tile type already checked
        seen.add(mask.tobytes())
        alpha = mask.load()
        top = [[None] * width for _ in range(height)]
        for row in range(ROWS):
            for col in range(COLS):
                l, t, r, b = tile_rect(col, row, tw, th, yoff)
                for y in range(t, b):
                    for x in range(l, r):
                        if alpha[x - l, y - t] > 0 and x < width and y < height:
                            top[y][x] = (col, row)
        bad = gaps = 0
        example = None
        # the field's ragged rim (half tiles at the row ends, the top and
        # bottom points) has no neighbour to fill it: look inside it
        for y in range(th, height - th):
            for x in range(tw, width - tw):
                drawn = top[y][x]
                if drawn is None:
                    gaps += 1
                    example = example or ("gap", x, y)
                    continue
                picked = pick(x, y, mm, tw, th, yoff)
                if picked != drawn:
                    bad += 1
                    example = example or ("pick", x, y, drawn, picked)
        if gaps:
            faults.append("[%s] %s leaves %d pixels of the field uncovered (first at %s)"
                          % (sec, rules.raw(sec, "image"), gaps, example[1:]))
        if bad:
            faults.append("[%s] picking disagrees with the drawn %s at %d pixels (first: %s)"
                          % (sec, rules.raw(sec, "image"), bad, example[1:]))

    # 3: nearest centre on the ground
    s2 = tw * tw / (4.0 * yoff * (th - yoff)) if yoff > 0 else 1.0
    centres = {(c, r): ((l + rr) / 2.0, (t + b) / 2.0)
               for r in range(ROWS) for c in range(COLS)
               for (l, t, rr, b) in [tile_rect(c, r, tw, th, yoff)]}
    wrong = 0
    example = None
    for y in range(th, height - th):
        for x in range(tw, width - tw, 1 if y % 3 == 0 else 3):
            px, py = x + 0.5, y + 0.5
            near_row = y // step
            dists = sorted((math.hypot(px - cx, (py - cy) * math.sqrt(s2)), (c, r))
                           for r in range(near_row - 2, near_row + 3)
                           for c in range(x // tw - 2, x // tw + 3)
                           if (c, r) in centres
                           for (cx, cy) in [centres[c, r]])
            if dists[1][0] - dists[0][0] < 1.0:
                continue  # within a pixel of the border between two tiles
            picked = pick(x, y, mm, tw, th, yoff)
            if picked != dists[0][1]:
                wrong += 1
                example = example or (x, y, dists[0][1], picked)
    if wrong:
        faults.append("mousemap picks a tile other than the nearest at %d sample points "
                      "(first: pixel %s, nearest %s, picked %s)" % ((wrong,) + (example[:2],) + example[2:]))
    return faults


def main(argv):
    data = argv[1] if len(argv) > 1 else os.path.join(
        os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "DATA")
    faults = check(data)
    for f in faults:
        print("FAULT: " + f)
    if faults:
        return 1
    print("picking agrees with the drawn tiles and with the nearest tile centre")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
