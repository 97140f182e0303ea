#!/usr/bin/env python3
"""Compares two screenshots of the same moment of the game taken from two builds (Linux and
Windows under Wine): do the same widgets, frames, units and flags show?

The pictures are not expected to match pixel for pixel: the two systems rasterise text with
different engines, round colours a little differently and may place an edge one pixel aside.
So both are cut into cells of 16 x 16 pixels and only each cell's mean colour is compared; a
cell differs when a channel's mean is more than 24 levels apart. Scattered differing cells
(glyph edges, a blinking pointer) are allowed; what fails is a cluster: a square of 4 x 4 cells
(64 pixels) of which more than half differ, which is what a missing frame, a missing unit or
flag, or a wrong picture looks like. A lot of scattered differences (more than 5 % of all
cells) fail too. The client areas are compared, so the window frame plays no part; sizes must
match.

Usage: compare_shots.py REFERENCE CANDIDATE [DIFFERENCE.png]
Exit code 0 when they match, 1 otherwise, with the reason on stderr.
"""
import sys

from PIL import Image, ImageDraw

CELL = 16
LEVELS = 24
BLOCK = 4
MOST_SCATTERED = 0.05


def cell_means(img):
    small = img.convert("RGB").reduce(CELL)  # each pixel the mean of one cell
    return small, small.load()


def differing_cells(a, b):
    (w, h), pa, pb = a.size, a.load(), b.load()
    return [[max(abs(x - y) for x, y in zip(pa[i, j], pb[i, j])) > LEVELS for i in range(w)] for j in range(h)]


def worst_block(diff):
    rows, cols = len(diff), len(diff[0])
    worst, where = 0, (0, 0)
    for j in range(0, max(rows - BLOCK + 1, 1)):
        for i in range(0, max(cols - BLOCK + 1, 1)):
            n = sum(diff[y][x] for y in range(j, min(j + BLOCK, rows)) for x in range(i, min(i + BLOCK, cols)))
            if n > worst:
                worst, where = n, (i, j)
    return worst, where


def compare(reference, candidate, difference=None):
    a, b = Image.open(reference), Image.open(candidate)
    if a.size != b.size:
        return f"the pictures are {a.size[0]} x {a.size[1]} and {b.size[0]} x {b.size[1]} pixels"
    if a.size[0] < CELL * BLOCK or a.size[1] < CELL * BLOCK:
        return "the pictures are too small to compare"
    ma, _ = cell_means(a)
    mb, _ = cell_means(b)
    diff = differing_cells(ma, mb)
    total = sum(map(len, diff))
    count = sum(map(sum, diff))
    worst, (i, j) = worst_block(diff)
    if difference:
        marked = b.convert("RGB")
        draw = ImageDraw.Draw(marked)
        for y, row in enumerate(diff):
            for x, d in enumerate(row):
                if d:
                    draw.rectangle([x * CELL, y * CELL, x * CELL + CELL - 1, y * CELL + CELL - 1], outline=(255, 0, 0))
        marked.save(difference)
    print(f"compare: {count} of {total} cells differ; the worst square of {BLOCK} x {BLOCK} cells has {worst}")
    if worst * 2 > BLOCK * BLOCK:
        return (f"{worst} of the {BLOCK * BLOCK} cells at pixels {i * CELL},{j * CELL} .. "
                f"{(i + BLOCK) * CELL},{(j + BLOCK) * CELL} differ: something shows in one picture only")
    if count > MOST_SCATTERED * total:
        return f"{count} of {total} cells differ"
    return None


def main(argv):
    if len(argv) not in (3, 4):
        print(__doc__, file=sys.stderr)
        return 2
    why = compare(argv[1], argv[2], argv[3] if len(argv) == 4 else None)
    if why:
        print(f"compare: {why}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
