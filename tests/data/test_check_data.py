#!/usr/bin/python3
"""Tests of the data checker: the shipped DATA passes, and each kind of
fault a player's edit can bring in makes it fail with a message naming the
fault.  Each case copies DATA to a temporary folder, breaks one thing and
runs check_data.py on the copy as a separate process (so its exit code is
tested too).

Usage: /usr/bin/python3 tests/data/test_check_data.py [DATA_DIR]
Prints one line per case and "N passed, M failed" last; exits 1 on failure.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from profile_ini import ProfileIni, atof, atoi, quoted_entry, unescape  # noqa: E402
from check_data import format_fault  # noqa: E402

DATA = os.path.join(os.path.dirname(os.path.dirname(HERE)), "DATA")


def run_checker(data):
    p = subprocess.run([sys.executable, os.path.join(HERE, "check_data.py"), data],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    return p.returncode, p.stdout


def edit_ini(path, section, key, value):
    """Set (value is a str), or remove (value is None), a key in a section."""
    with open(path) as f:
        lines = f.read().split("\n")
    out, current, done = [], None, False
    for line in lines:
        s = line.strip()
        if s.startswith("["):
            if current == section.lower() and not done and value is not None:
                out.append("%s=%s" % (key, value))
                done = True
            current = s[1:s.index("]")].strip().lower()
        elif current == section.lower() and "=" in s and not s.startswith(";") \
                and s.split("=", 1)[0].strip().lower() == key.lower():
            if value is not None and not done:
                out.append("%s=%s" % (key, value))
                done = True
            continue
        out.append(line)
    if current == section.lower() and not done and value is not None:
        out.append("%s=%s" % (key, value))
    with open(path, "w") as f:
        f.write("\n".join(out))


class Case:
    def __init__(self, name, mutate, expect):
        """expect: None (checker must pass) or a regex its output must match."""
        self.name, self.mutate, self.expect = name, mutate, expect


def ini(rel, section, key, value):
    return lambda d: edit_ini(os.path.join(d, rel), section, key, value)


def set_pixel(rel, xy, rgba):
    def go(d):
        img = Image.open(os.path.join(d, rel)).convert("RGBA")
        img.putpixel(xy, rgba)
        img.save(os.path.join(d, rel))
    return go


def swap_mousemap_corners(d):
    """Red and magenta exchanged: still only the five colours, yet every point
    of a top corner now picks the wrong neighbour."""
    path = os.path.join(d, "tiles", "mousemap.png")
    img = Image.open(path).convert("RGBA")
    px = img.load()
    for y in range(img.size[1]):
        for x in range(img.size[0]):
            if px[x, y] == (255, 0, 0, 255):
                px[x, y] = (255, 0, 255, 255)
            elif px[x, y] == (255, 0, 255, 255):
                px[x, y] = (255, 0, 0, 255)
    img.save(path)


def remove(rel):
    return lambda d: os.remove(os.path.join(d, rel))


def garble(rel):
    def go(d):
        with open(os.path.join(d, rel), "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\nnot really a picture")
    return go


def png_icon(d):
    """An icon whose only entry is a PNG, which the icon loader cannot read."""
    import io
    import struct
    buf = io.BytesIO()
    Image.new("RGBA", (32, 32), (255, 0, 0, 255)).save(buf, format="PNG")
    png = buf.getvalue()
    with open(os.path.join(d, "harnvale.ico"), "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 32, 32, 0, 0, 1, 32,
                                                              len(png), 22) + png)


def replace_text(rel, old, new):
    def go(d):
        path = os.path.join(d, rel)
        with open(path) as f:
            body = f.read()
        assert old in body, old
        with open(path, "w") as f:
            f.write(body.replace(old, new, 1))
    return go


def both(*fs):
    def go(d):
        for f in fs:
            f(d)
    return go


CASES = [
    Case("shipped data passes", lambda d: None, None),
    # keys the game reads
    Case("missing rules key", ini("rules.ini", "unit_3", "arrow_velocity", None),
         r"\[unit_3\] arrow_velocity: missing"),
    Case("missing string-table label", ini("stringtable.ini", "gameplay", "victory", None),
         r"\[gameplay\] victory: missing"),
    Case("missing gui frame piece", ini("interface.ini", "gui_settings", "27", None),
         r"\[gui_settings\] 27: missing"),
    Case("missing result colour", ini("interface.ini", "gameplay", "boom_text_color", None),
         r"boom_text_color: missing"),
    Case("missing credit entry", ini("credits.ini", "credits", "num_credits", "8"),
         r"\[credit_7\] text: missing"),
    Case("missing explosion section", ini("rules.ini", "unit_4", "explosion_fire", "no_such_section"),
         r"\[no_such_section\]: explosion section is missing"),
    Case("key in the wrong section does not count",
         both(ini("rules.ini", "misc", "unit_speed_y", None), ini("rules.ini", "tiles", "unit_speed_y", "6")),
         r"\[misc\] unit_speed_y: missing"),
    # pictures
    Case("picture missing", remove("tiles/sand.png"), r"tiles/sand.png does not exist"),
    Case("picture does not load", garble("units/flag.png"), r"units/flag.png does not load"),
    Case("cursor picture missing", remove("cursors/target.png"), r"cursors/target.png does not exist"),
    Case("icon with a PNG entry", png_icon, r"harnvale.ico: entry 0 is a PNG"),
    # mousemap
    Case("mousemap pixel of a sixth colour", set_pixel("tiles/mousemap.png", (31, 30), (128, 128, 128, 255)),
         r"mousemap.png has 1 pixels in colours other than"),
    Case("mousemap pixel not opaque", set_pixel("tiles/mousemap.png", (0, 0), (255, 0, 0, 254)),
         r"colours other than"),
    Case("mousemap corners swapped", swap_mousemap_corners, r"picking disagrees with the drawn"),
    Case("mousemap white spilling into a corner", set_pixel("tiles/mousemap.png", (2, 2), (255, 255, 255, 255)),
         r"picking disagrees"),
    Case("tile picture with a hole", set_pixel("tiles/hills.png", (32, 32), (0, 0, 0, 0)),
         r"uncovered"),
    # chances
    Case("negative chance weight", ini("rules.ini", "unit_0", "chance_nohit", "-5"),
         r"\[unit_0\] chance_nohit: chance weight -5 is negative"),
    Case("negative particle weight", ini("rules.ini", "explosion_blast", "2_chance", "-1"),
         r"2_chance: chance weight -1 is negative"),
    Case("rolled chance list summing to 0",
         both(ini("rules.ini", "unit_4", "chance_backfire_damage", "0"),
              ini("rules.ini", "unit_4", "chance_backfire_explode", "0"),
              ini("rules.ini", "unit_4", "chance_backfire_none", "0")), r"weights sum to 0"),
    # printf formats read from data
    Case("tile section format with %s", ini("rules.ini", "tiles", "tile_name_format", "tile_%s"),
         r"tile_name_format: format 'tile_%s' conversion"),
    Case("unit section format without conversion", ini("rules.ini", "units", "unit_name_format", "unit"),
         r"holds 0 conversions"),
    Case("ready label with two numbers", ini("stringtable.ini", "gameplay", "aub", "%d of %d ready"),
         r"\[gameplay\] aub: format .* holds 2 conversions"),
    Case("ready label with a long int", ini("stringtable.ini", "gameplay", "aub", "%ld ready"),
         r"aub: format '%ld ready' conversion"),
    Case("ready label with a width from the arguments", ini("stringtable.ini", "gameplay", "aub", "%*d ready"),
         r"aub: format"),
    Case("credit format with a trailing %", ini("credits.ini", "credits", "credit_format", "credit_%d%"),
         r"credit_format: format"),
    Case("%% and a width are fine", both(ini("stringtable.ini", "gameplay", "aub", "%3d%% ready"),
                                        ini("rules.ini", "tiles", "tile_name_format", "tile_%d")), None),
    # cursors
    Case("27 cursors", ini("interface.ini", "cursors", "pointer", '"cursors/arrow.png" 1 1 32 32'),
         r"holds 27 cursors.*unknown: pointer"),
    Case("25 cursors", ini("interface.ini", "cursors", "notarget", None), r"holds 25 cursors.*missing: notarget"),
    Case("hot spot outside the cursor", ini("interface.ini", "cursors", "hand", '"cursors/hand.png" 40 1 32 32'),
         r"hot spot \(40, 1\)"),
    # numbers the game would divide or take a modulo by
    Case("no tile types", ini("rules.ini", "tiles", "num_tiletypes", "0"), r"num_tiletypes: 0 is out of range"),
    Case("rows without height", ini("rules.ini", "tiles", "placement_yoffset", "64"),
         r"placement_yoffset: 64 leaves rows no height"),
    Case("empty fragment range", ini("rules.ini", "fragmentation_unit", "num_rows_high", "2"),
         r"num_rows_low/high: 4..2 is empty"),
    Case("particles as big as a tile", ini("rules.ini", "explosion_bounce", "particle_width", "64"),
         r"\[explosion_bounce\]: particles of 64 x 5"),
    Case("unit that never arrives", ini("rules.ini", "misc", "unit_speed_x1", "0"), r"unit_speed_x1: 0 is out"),
    Case("colour channel referring to itself", ini("rules.ini", "explosion_blood", "0_color_low", "-1 150 0 0"),
         r"0_color_low/high: channel 1: a reference"),
    Case("colour channels in a circle",
         both(ini("rules.ini", "explosion_blood", "0_color_low", "255 -3 -2 0"),
              ini("rules.ini", "explosion_blood", "0_color_high", "255 -3 -2 20")),
         r"channels \[2, 3\] refer to themselves or to each other"),
    Case("colour range upside down", ini("rules.ini", "explosion_fire", "0_color_low", "255 255 250 40"),
         r"channel 3: 250..240"),
    Case("list rows of no height", ini("interface.ini", "gui_settings", "listitem_height", "0"),
         r"listitem_height: 0 is out of range"),
    Case("boolean the game reads as false", ini("rules.ini", "tile_5", "moveable", "True"),
         r"\[tile_5\] moveable: 'True' is neither"),
    # the reader's rules: the checker must see what the game sees
    Case("first matching key wins", replace_text("rules.ini", "unit_speed_y=6",
                                                 "unit_speed_y=6\nunit_speed_y=0"), None),
    Case("first matching key wins, also when it is the bad one",
         replace_text("rules.ini", "unit_speed_y=6", "unit_speed_y=0\nunit_speed_y=6"),
         r"unit_speed_y: 0 is out of range"),
    Case("a repeated key later is ignored",
         lambda d: open(os.path.join(d, "rules.ini"), "a").write("\n[misc]\nunit_speed_y=0\n"), None),
    Case("section names ignore case, quotes are removed",
         both(ini("rules.ini", "tiles", "mousemap", '"tiles/mousemap.png"'),
              lambda d: open(os.path.join(d, "rules.ini"), "a").write("\n[TILES]\nmousemap=x.png\n")), None),
]


def reader_cases():
    """The reader's own conversions, compared with what the C library gives."""
    results = []

    def check(name, cond):
        results.append((name, bool(cond)))

    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "t.ini")
        with open(path, "wb") as f:
            f.write(b"\xef\xbb\xbf; comment\r\n[Sec]\r\n Key = ' quoted '\r\nkey=second\r\n"
                    b"n=  42abc\r\nb=True\r\nc=255 0 0 255\r\ncut=7 256 -1\r\n[sec]\r\nother=1\r\n")
        p = ProfileIni(path)
        check("reader: BOM, CRLF, case and first key", p.raw("SEC", "KEY") == " quoted ")
        check("reader: a repeated section is not searched", not p.has("sec", "other"))
        check("reader: atoi stops at the first non-digit", p.get_int("sec", "n") == 42)
        check("reader: booleans are case-sensitive", p.get_bool("sec", "b") is False)
        check("reader: colours pack as alpha red green blue", p.get_color("sec", "c") == 0xFF0000FF)
        check("reader: colour components keep their low 8 bits, missing ones are 0",
              p.get_color("sec", "cut") == 0x0700FF00)
    check("unescape: quote ends the text", unescape('a\\"b"c') == 'a"b')
    check("unescape: unknown escape dropped, trailing backslash ends", unescape("x\\qy\\") == "xy")
    check("unescape: leading quote gives empty text", unescape('"abc"') == "")
    check("atof and atoi on junk give 0", atof("x1") == 0.0 and atoi("") == 0)
    check("quoted entry splits name and numbers", quoted_entry('"a b.png" 1 2') == ("a b.png", " 1 2"))
    check("format: %d alone is fine", format_fault("tile_%d") is None)
    check("format: %i and flags are fine", format_fault("%-4i units") is None)
    check("format: %u is refused", format_fault("%u") is not None)
    return results


def main(argv):
    data = argv[1] if len(argv) > 1 else DATA
    passed = failed = 0
    for name, ok in reader_cases():
        print("%s  %s" % ("ok  " if ok else "FAIL", name))
        passed, failed = passed + ok, failed + (not ok)
    for case in CASES:
        with tempfile.TemporaryDirectory() as tmp:
            copy = os.path.join(tmp, "DATA")
            shutil.copytree(data, copy)
            case.mutate(copy)
            code, out = run_checker(copy)
        if case.expect is None:
            ok = code == 0
            why = "" if ok else "checker failed on sound data:\n" + out
        else:
            ok = code != 0 and re.search(case.expect, out) is not None
            why = "" if ok else "expected a failure matching %r, got exit %d:\n%s" % (case.expect, code, out)
        print("%s  %s" % ("ok  " if ok else "FAIL", case.name))
        if not ok:
            print("      " + why.replace("\n", "\n      "))
        passed, failed = passed + ok, failed + (not ok)
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
