#!/usr/bin/python3
"""Regenerate every picture of the game's DATA directory.

Usage: /usr/bin/python3 art/make_art.py [OUTPUT_DIR]

OUTPUT_DIR defaults to the repository's DATA/.  Every picture is drawn from
fixed seeds, so a rerun writes byte-identical files (tests/data/
check_reproducible.sh relies on that).  Needs Pillow (Debian python3-pil) and
the DejaVu fonts (fonts-dejavu-core) for the logo lettering.
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from harnart import cursors, gui, icon, screens, tiles, units  # noqa: E402
from harnart.common import save_png  # noqa: E402


def pictures():
    """(relative path, maker) for every picture, in a fixed order."""
    out = []
    for stem, make, _family in tiles.TERRAINS:
        out.append(("tiles/%s.png" % stem, make))
    out += [("tiles/mousemap.png", tiles.mousemap), ("tiles/blink.png", tiles.blink),
            ("units/selected.png", tiles.selected)]
    for stem, make in units.UNITS:
        out.append(("units/%s.png" % stem, make))
    out += [("units/flag.png", units.flag), ("units/arrow.png", units.arrow),
            ("units/arrow_shadow.png", units.arrow_shadow),
            ("units/cannonball.png", units.cannonball),
            ("units/cannonball_shadow.png", units.cannonball_shadow),
            ("fx/particle.png", units.particle)]
    for name, make in cursors.CURSORS:
        out.append(("cursors/%s.png" % name, make))
    out += gui.pictures()
    out += screens.pictures()
    return out


def main(argv):
    outdir = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(HERE), "DATA")
    count = 0
    for rel, make in pictures():
        path = os.path.join(outdir, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        save_png(make(), path)
        count += 1
    with open(os.path.join(outdir, "harnvale.ico"), "wb") as f:
        f.write(icon.ico_bytes())
    print("wrote %d pictures and harnvale.ico to %s" % (count, outdir))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
