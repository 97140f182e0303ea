#!/usr/bin/python3
"""Draw the desktop icon of the installed game at every usual size.

Usage: /usr/bin/python3 art/make_icons.py [OUTPUT_DIR]

OUTPUT_DIR defaults to the repository's packaging/icons/, where the installation
takes NxN/harnvale.png from.  Like make_art.py, a rerun writes identical bytes.
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from harnart import icon  # noqa: E402
from harnart.common import save_png  # noqa: E402


def main(argv):
    outdir = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(HERE), "packaging", "icons")
    for size in icon.DESKTOP_SIZES:
        folder = os.path.join(outdir, "%dx%d" % (size, size))
        os.makedirs(folder, exist_ok=True)
        save_png(icon.desktop_picture(size), os.path.join(folder, "harnvale.png"))
    print("wrote %d icons to %s" % (len(icon.DESKTOP_SIZES), outdir))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
