#!/usr/bin/python3
"""Check the game's data directory for faults a player's edit can bring in.

Usage: /usr/bin/python3 tests/data/check_data.py [DATA_DIR]

Reads rules.ini, stringtable.ini, interface.ini and credits.ini by the same
rules as the game and fails, with one line per fault, for:
- a key the game reads that is missing (or a value in the wrong form);
- a picture that does not exist or does not load (and an icon that is not a
  32 x 32 BMP icon);
- a mousemap with any colour but its five, or that picks tiles other than
  the ones drawn (check_picking.py);
- a negative chance weight, or a chance list that is rolled but sums to 0;
- a printf format read from data that does not hold exactly one integer
  conversion (the section name formats and the ready-units label);
- a cursor section with other than the 26 cursors;
- numbers that would make the game divide by zero, take a random number
  modulo zero, never finish a movement or flight, or fail on explosion
  colours it cannot resolve.
Exits 1 after listing the faults, 0 with a summary when there are none.
"""
import os
import re
import struct
import sys

from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_picking  # noqa: E402
from profile_ini import ProfileIni, quoted_entry, scan_floats, scan_ints, unescape  # noqa: E402

CURSORS = ["arrow", "hand", "scroll_left", "scroll_right", "scroll_up", "scroll_down",
           "scroll_ul", "scroll_ur", "scroll_dl", "scroll_dr", "select", "move_nw", "move_ne",
           "move_w", "move_e", "move_sw", "move_se", "nomove", "attack_nw", "attack_ne",
           "attack_w", "attack_e", "attack_sw", "attack_se", "target", "notarget"]
STRINGS = {
    "main": ["caption"],
    "mainmenu": ["welcome", "newgame", "loadgame", "multigame", "editor", "options", "credits",
                 "exitgame"],
    "exitscreen": ["ask", "no", "yes"],
    "options": ["ok", "cancel", "cg", "vc", "witem", "fitem", "rc", "vscb", "dmc", "dmli0",
                "dmli1", "dmli2", "dmli3", "cp", "smcb", "sncb"],
    "gameplay": ["mnub", "aub", "etb", "hit", "block", "kill", "miss", "bounce", "boom",
                 "backfire", "selfdestruct", "sploosh", "victory"],
}
RESULT_COLOURS = ["block_text_color", "kill_text_color", "hit_text_color", "miss_text_color",
                  "sploosh_text_color", "selfdestruct_text_color", "backfire_text_color",
                  "boom_text_color", "bounce_text_color"]
GUI_IMAGES = ["vscroll_up", "vscroll_down", "vscroll_paddle", "listdropper_bup",
              "listdropper_bdown", "namebox_caret", "checkbox_checked", "checkbox_unchecked"]
GUI_NUMBERS = ["vscroll_bigchange", "listbox_vscroll_width", "listitem_height",
               "listdropper_bdown_width", "namebox_caret_width", "namebox_caret_interval"]
PARTICLE_RANGES = ["_velocity_low", "_velocity_high", "_acceleration_low", "_acceleration_high",
                   "_friction_low", "_friction_high"]
FRAG_RANGES = ["velocity_low", "velocity_high", "acceleration_low", "acceleration_high",
               "friction_low", "friction_high"]
MOUSEMAP_COLOURS = {(255, 255, 255, 255), (255, 0, 0, 255), (255, 0, 255, 255),
                    (0, 255, 0, 255), (0, 0, 255, 255)}
IMAGE_FORMATS = {"PNG", "BMP", "TGA"}

# printf conversion: flags, width, precision, length modifier, conversion
_CONVERSION = re.compile(r"%([-+ #0]*)(\*|\d+)?(\.(\*|\d*))?(hh|h|ll|l|j|z|t|L|I64|I32|I)?(.|$)",
                         re.S)


def format_fault(fmt):
    """Why fmt cannot be given exactly one int, or None when it can."""
    conversions = []
    for m in _CONVERSION.finditer(fmt):
        flags, width, _, prec, length, conv = m.groups()
        if conv == "%" and not (flags or width or prec is not None or length):
            continue
        conversions.append((m.group(0), width, prec, length, conv))
    if len(conversions) != 1:
        return "holds %d conversions, needs exactly one %%d" % len(conversions)
    text, width, prec, length, conv = conversions[0]
    if conv not in ("d", "i") or length or width == "*" or prec == "*":
        return "conversion %r does not take one int (use %%d)" % text
    return None


class Checker:
    def __init__(self, data):
        self.data = data
        self.faults = []
        self.images = set()
        self.translucent = []

    def fault(self, where, message):
        self.faults.append("%s: %s" % (where, message))

    def ini(self, name):
        path = os.path.join(self.data, name)
        if not os.path.isfile(path):
            self.fault(name, "file is missing")
            return None
        return ProfileIni(path)

    # -- typed key checks --------------------------------------------------
    def need(self, ini, name, section, key):
        if not ini.has(section, key):
            self.fault("%s [%s] %s" % (name, section, key), "missing")
            return False
        return True

    def int_key(self, ini, name, section, key, low=None, high=None, why=""):
        if not self.need(ini, name, section, key):
            return None
        raw = ini.raw(section, key)
        if not re.match(r"\s*[+-]?\d", raw):
            self.fault("%s [%s] %s" % (name, section, key), "%r is not a number" % raw)
            return None
        v = ini.get_int(section, key)
        if (low is not None and v < low) or (high is not None and v > high):
            rng = ">= %d" % low if high is None else "%d..%d" % (low, high)
            self.fault("%s [%s] %s" % (name, section, key),
                       "%d is out of range (%s)%s" % (v, rng, ": " + why if why else ""))
        return v

    def float_key(self, ini, name, section, key, low=None, why=""):
        if not self.need(ini, name, section, key):
            return None
        raw = ini.raw(section, key)
        if not scan_floats(raw, 1):
            self.fault("%s [%s] %s" % (name, section, key), "%r is not a number" % raw)
            return None
        v = ini.get_float(section, key)
        if low is not None and v < low:
            self.fault("%s [%s] %s" % (name, section, key), "%g is below %g%s"
                       % (v, low, ": " + why if why else ""))
        return v

    def bool_key(self, ini, name, section, key):
        if self.need(ini, name, section, key):
            raw = ini.raw(section, key)
            if raw not in ("true", "TRUE", "yes", "YES", "on", "ON", "1", "false", "FALSE",
                           "no", "NO", "off", "OFF", "0"):
                self.fault("%s [%s] %s" % (name, section, key),
                           "%r is neither true nor false to the game" % raw)

    def colour_key(self, ini, name, section, key):
        if self.need(ini, name, section, key):
            nums = scan_ints(ini.raw(section, key), 4)
            if len(nums) != 4 or any(not 0 <= n <= 255 for n in nums):
                self.fault("%s [%s] %s" % (name, section, key),
                           "%r is not four numbers 0..255 (alpha red green blue)"
                           % ini.raw(section, key))

    def vector_key(self, ini, name, section, key):
        if self.need(ini, name, section, key):
            if len(scan_floats(ini.raw(section, key), 4)) != 4:
                self.fault("%s [%s] %s" % (name, section, key),
                           "%r is not four numbers" % ini.raw(section, key))

    def text_key(self, ini, name, section, key):
        if self.need(ini, name, section, key):
            return ini.raw(section, key)
        return None

    def format_key(self, where, fmt):
        why = format_fault(fmt)
        if why:
            self.fault(where, "format %r %s" % (fmt, why))
            return False
        return True

    # -- pictures -----------------------------------------------------------
    def image(self, where, rel, size=None):
        """The picture must exist and load; returns it (RGBA) or None."""
        if not rel:
            self.fault(where, "names no picture")
            return None
        path = os.path.join(self.data, rel)
        if not os.path.isfile(path):
            self.fault(where, "picture %s does not exist" % rel)
            return None
        try:
            with Image.open(path) as img:
                fmt = img.format
                img.load()
                rgba = img.convert("RGBA")
        except Exception as e:  # noqa: BLE001 - every loader failure is a fault
            self.fault(where, "picture %s does not load: %s" % (rel, e))
            return None
        if fmt not in IMAGE_FORMATS:
            self.fault(where, "picture %s is %s, the game loads PNG, BMP or TGA" % (rel, fmt))
        if size and rgba.size != size:
            self.fault(where, "picture %s is %d x %d, must be %d x %d" % ((rel,) + rgba.size + size))
        if rel not in self.images:
            self.images.add(rel)
            alphas = set(rgba.split()[3].getdata())
            if alphas - {0, 255}:
                self.translucent.append(rel)
        return rgba

    def quoted_image(self, ini, name, section, key, count, floats=0):
        """'"file" n n ...': the picture and `count` numbers after it."""
        where = "%s [%s] %s" % (name, section, key)
        if not self.need(ini, name, section, key):
            return None, None
        raw = ini.raw(section, key)
        if '"' not in raw:
            self.fault(where, "%r must start with the file name in double quotes" % raw)
            return None, None
        rel, rest = quoted_entry(raw)
        nums = scan_ints(rest, count)
        if len(nums) != count:
            self.fault(where, "%r needs %d numbers after the file name" % (raw, count))
            return None, None
        return self.image(where, rel), nums

    # -- the files ------------------------------------------------------------
    def check_strings(self):
        st = self.ini("stringtable.ini")
        if st is None:
            return
        for section, keys in STRINGS.items():
            for key in keys:
                self.need(st, "stringtable.ini", section, key)
        if st.has("gameplay", "aub"):
            self.format_key("stringtable.ini [gameplay] aub", unescape(st.raw("gameplay", "aub")))

    def check_interface(self):
        name = "interface.ini"
        ui = self.ini(name)
        if ui is None:
            return
        present = ui.keys("cursors")
        extra = [k for k in present if k not in CURSORS]
        missing = [k for k in CURSORS if k not in present]
        if extra or missing:
            self.fault(name + " [cursors]", "holds %d cursors, the game needs exactly these 26: %s"
                       "%s%s" % (len(present), ", ".join(CURSORS),
                                 "; missing: " + ", ".join(missing) if missing else "",
                                 "; unknown: " + ", ".join(extra) if extra else ""))
        for key in CURSORS:
            if key not in present:
                continue
            img, nums = self.quoted_image(ui, name, "cursors", key, 4)
            if nums:
                hx, hy, w, h = nums
                if w <= 0 or h <= 0 or not (0 <= hx < w and 0 <= hy < h):
                    self.fault("%s [cursors] %s" % (name, key),
                               "hot spot (%d, %d) must lie inside the %d x %d picture" % (hx, hy, w, h))
        for key in ("mainmenu_background", "exitscreen_background", "options_background", "logo"):
            if self.need(ui, name, "misc", key):
                self.image("%s [misc] %s" % (name, key), ui.raw("misc", key))
        if self.need(ui, name, "misc", "font_name") and not ui.raw("misc", "font_name"):
            self.fault(name + " [misc] font_name", "is empty")
        self.int_key(ui, name, "misc", "font_size", 1, why="the game font needs a height")

        sec = "gui_settings"
        for key in ("repeat_interval_init", "repeat_interval_norm"):
            self.int_key(ui, name, sec, key, 0)
        for i in range(4):
            for j in range(9):
                img, nums = self.quoted_image(ui, name, sec, "%d%d" % (i, j), 6)
                if nums and (nums[0] < 0 or nums[1] < 0 or any(not 0 <= n <= 255 for n in nums[2:])):
                    self.fault("%s [%s] %d%d" % (name, sec, i, j),
                               "needs width, height >= 0 and a colour 0..255")
        for key in ("sl", "sr", "st", "sb"):
            self.int_key(ui, name, sec, key, 0)
        self.text_styles(ui, name, sec)
        for i in range(4):
            for key in GUI_IMAGES:
                self.quoted_image(ui, name, sec, "%s%d" % (key, i), 4)
        for key in GUI_NUMBERS:
            low = 1 if key in ("listitem_height", "vscroll_bigchange") else 0
            self.int_key(ui, name, sec, key, low,
                         why="list rows are found by dividing by it" if key == "listitem_height" else "")
        for key in ("repeat_interval_init", "repeat_interval_norm"):
            self.int_key(ui, name, "minimap_gui_settings", key, 0)
        for sec in ("aub_gui_settings", "etb_gui_settings", "checkbox_gui_settings"):
            self.text_styles(ui, name, sec)
        for key in RESULT_COLOURS:
            self.colour_key(ui, name, "gameplay", key)

    def text_styles(self, ui, name, sec):
        for i in range(4):
            key = "text%d" % i
            if self.need(ui, name, sec, key):
                raw = ui.raw(sec, key)
                nums = scan_ints(raw, 4)
                rest = raw
                for _ in range(4):
                    m = re.match(r"\s*[+-]?\d+", rest)
                    rest = rest[m.end():] if m else rest
                if len(nums) != 4 or len(scan_floats(rest, 2)) != 2:
                    self.fault("%s [%s] %s" % (name, sec, key),
                               "%r is not a r g b scale_x scale_y" % raw)

    def check_credits(self):
        name = "credits.ini"
        cr = self.ini(name)
        if cr is None:
            return
        n = self.int_key(cr, name, "credits", "num_credits", 0)
        fmt = self.text_key(cr, name, "credits", "credit_format")
        if n is None or fmt is None or not self.format_key(name + " [credits] credit_format", fmt):
            return
        for i in range(n):
            sec = fmt % i
            self.need(cr, name, sec, "text")
            self.colour_key(cr, name, sec, "color")

    def chance_list(self, ini, name, section, keys, why):
        weights = []
        for key in keys:
            v = self.int_key(ini, name, section, key)
            if v is not None and v < 0:
                self.fault("%s [%s] %s" % (name, section, key),
                           "chance weight %d is negative" % v)
            weights.append(v or 0)
        if all(ini.has(section, k) for k in keys) and sum(w for w in weights if w > 0) == 0:
            self.fault("%s [%s] %s" % (name, section, "/".join(keys)),
                       "weights sum to 0, but the game rolls this list (%s)" % why)

    def check_rules(self):
        name = "rules.ini"
        ru = self.ini(name)
        if ru is None:
            return
        t = "tiles"
        n_types = self.int_key(ru, name, t, "num_tiletypes", 1, why="terrain is drawn modulo it")
        tw = self.int_key(ru, name, t, "tile_width", 2)
        th = self.int_key(ru, name, t, "tile_height", 2)
        yoff = self.int_key(ru, name, t, "placement_yoffset", 0)
        if th is not None and yoff is not None and yoff >= th:
            self.fault(name + " [tiles] placement_yoffset",
                       "%d leaves rows no height (tile_height %d): picking divides by the "
                       "difference" % (yoff, th))
        fmt = self.text_key(ru, name, t, "tile_name_format")
        geometry = None not in (tw, th, yoff) and 0 <= yoff < th
        if self.need(ru, name, t, "mousemap"):
            mm = self.image(name + " [tiles] mousemap", ru.raw(t, "mousemap"),
                            (tw, th) if geometry else None)
            if mm is not None:
                self.check_mousemap(mm, ru.raw(t, "mousemap"))
        if self.need(ru, name, t, "blink_texture"):
            self.image(name + " [tiles] blink_texture", ru.raw(t, "blink_texture"))
        enterable = 0
        if n_types and fmt is not None and self.format_key(name + " [tiles] tile_name_format", fmt):
            for i in range(n_types):
                sec = fmt % i
                if self.need(ru, name, sec, "image"):
                    self.image("%s [%s] image" % (name, sec), ru.raw(sec, "image"))
                self.colour_key(ru, name, sec, "color")
                self.colour_key(ru, name, sec, "minimap_color")
                self.bool_key(ru, name, sec, "moveable")
                self.bool_key(ru, name, sec, "splooshable")
                enterable += ru.get_bool(sec, "moveable")
            if enterable == 0:
                self.fault(name + " [tiles]", "no tile type is moveable: no battle can have units")

        u = "units"
        if self.need(ru, name, u, "flag_image"):
            self.image(name + " [units] flag_image", ru.raw(u, "flag_image"))
        if self.need(ru, name, u, "selected_image"):
            self.image(name + " [units] selected_image", ru.raw(u, "selected_image"))
        n_units = self.int_key(ru, name, u, "num_unittypes", 1, why="units are drawn modulo it")
        ufmt = self.text_key(ru, name, u, "unit_name_format")
        rects = dict(tile=(tw or 0, th or 0), image=(tw or 0, 2 * (th or 0)))
        explosions = {}
        fragmentations = set()
        if n_units and ufmt is not None and self.format_key(name + " [units] unit_name_format", ufmt):
            for i in range(n_units):
                self.check_unit(ru, name, ufmt % i, explosions, fragmentations)
        for sec, where in sorted(explosions.items()):
            self.check_explosion(ru, name, sec, rects[where])
        for sec in sorted(fragmentations):
            self.check_fragmentation(ru, name, sec)

        m = "misc"
        if self.need(ru, name, m, "particle_image"):
            self.image(name + " [misc] particle_image", ru.raw(m, "particle_image"))
        self.float_key(ru, name, m, "hscroll_ratio")
        self.float_key(ru, name, m, "vscroll_ratio")
        for key in ("flag_velocity_low", "flag_velocity_high", "flag_acceleration_low",
                    "flag_acceleration_high", "flag_friction_low", "flag_friction_high"):
            self.vector_key(ru, name, m, key)
        for key in ("unit_speed_x1", "unit_speed_x2", "unit_speed_y"):
            self.int_key(ru, name, m, key, 1, why="a unit that moves 0 pixels never arrives")
        self.summary_counts = (n_types, n_units, len(explosions), len(fragmentations))

    def check_mousemap(self, mm, rel):
        colours = {}
        for p in mm.getdata():
            if p not in MOUSEMAP_COLOURS:
                colours[p] = colours.get(p, 0) + 1
        if colours:
            worst = sorted(colours.items(), key=lambda kv: -kv[1])[:3]
            self.fault("rules.ini [tiles] mousemap",
                       "%s has %d pixels in colours other than opaque white, red, magenta, green "
                       "and blue (e.g. %s)" % (rel, sum(colours.values()),
                                               ", ".join("RGBA%r x%d" % kv for kv in worst)))

    def check_unit(self, ru, name, sec, explosions, fragmentations):
        special = self.text_key(ru, name, sec, "special")
        self.text_key(ru, name, sec, "name")
        if self.need(ru, name, sec, "image"):
            self.image("%s [%s] image" % (name, sec), ru.raw(sec, "image"))
        self.colour_key(ru, name, sec, "color")
        self.int_key(ru, name, sec, "combat", 0)
        self.int_key(ru, name, sec, "damage", 0)
        self.int_key(ru, name, sec, "hp", 1, why="the flag's health bar divides by it")
        self.int_key(ru, name, sec, "movement", 1, why="a unit without moves can never act")
        self.bool_key(ru, name, sec, "moveattack")
        self.chance_list(ru, name, sec, ["chance_hit", "chance_nohit"], "every strike")
        self.chance_list(ru, name, sec, ["chance_block", "chance_noblock"], "every block")
        for count, key, where in (("num_explode_particles", "explosion_explode", "image"),
                                  ("num_bleed_particles", "explosion_bleed", "image")):
            self.int_key(ru, name, sec, count, 0)
            if self.need(ru, name, sec, key):
                explosions[ru.raw(sec, key)] = where
        if self.need(ru, name, sec, "fragmentation"):
            fragmentations.add(ru.raw(sec, "fragmentation"))
        if special == "archer":
            self.int_key(ru, name, sec, "range", 1)
            for key in ("arrow_width", "arrow_height"):
                self.int_key(ru, name, sec, key, 1)
            for key in ("arrow_xoff", "arrow_yoff"):
                self.int_key(ru, name, sec, key)
            for key in ("arrow_image", "shadow_image"):
                if self.need(ru, name, sec, key):
                    self.image("%s [%s] %s" % (name, sec, key), ru.raw(sec, key))
            self.colour_key(ru, name, sec, "arrow_color")
            self.colour_key(ru, name, sec, "shadow_color")
            self.int_key(ru, name, sec, "arrow_velocity", 1, why="an arrow that does not move "
                         "never lands")
            self.float_key(ru, name, sec, "arrow_height_multiplier")
        elif special == "cannon":
            self.int_key(ru, name, sec, "range", 1)
            for key in ("bounce_damage", "backfire_damage"):
                self.int_key(ru, name, sec, key, 0)
            for key in ("cannonball_width", "cannonball_height"):
                self.int_key(ru, name, sec, key, 1)
            for key in ("cannonball_xoff", "cannonball_yoff"):
                self.int_key(ru, name, sec, key)
            for key in ("shadow_image", "cannonball_image"):
                if self.need(ru, name, sec, key):
                    self.image("%s [%s] %s" % (name, sec, key), ru.raw(sec, key))
            self.colour_key(ru, name, sec, "shadow_color")
            self.colour_key(ru, name, sec, "cannonball_color")
            self.chance_list(ru, name, sec, ["chance_cannonball_land", "chance_cannonball_noland"],
                             "at every hex a ball passes")
            self.chance_list(ru, name, sec, ["chance_cannonball_explode",
                                             "chance_cannonball_noexplode"], "at every landing")
            self.chance_list(ru, name, sec, ["chance_backfire_damage", "chance_backfire_explode",
                                             "chance_backfire_none"], "on point-blank shots")
            self.int_key(ru, name, sec, "cannonball_velocity", 1,
                         why="a ball that does not move never lands")
            self.float_key(ru, name, sec, "cannonball_height_multiplier")
            self.float_key(ru, name, sec, "cannonball_rot_velocity")
            self.bool_key(ru, name, sec, "splooshable")
            for count, key, where in (("num_blast_particles", "explosion_blast", "image"),
                                      ("num_bounce_particles", "explosion_bounce", "tile"),
                                      ("num_sploosh_particles", "explosion_sploosh", "tile"),
                                      ("num_fire_particles", "explosion_fire", "tile")):
                self.int_key(ru, name, sec, count, 0)
                if self.need(ru, name, sec, key):
                    # a section used over both kinds of rectangle must fit the smaller
                    v = ru.raw(sec, key)
                    explosions[v] = "tile" if explosions.get(v) == "tile" else where
            if self.need(ru, name, sec, "fragmentation_shrapnel"):
                fragmentations.add(ru.raw(sec, "fragmentation_shrapnel"))
            self.int_key(ru, name, sec, "num_shrapnel_repeats", 0)

    def check_explosion(self, ru, name, sec, rect):
        if not ru.has_section(sec):
            self.fault("%s [%s]" % (name, sec), "explosion section is missing")
            return
        n = self.int_key(ru, name, sec, "num_particletypes", 0)
        pw = self.int_key(ru, name, sec, "particle_width", 1)
        ph = self.int_key(ru, name, sec, "particle_height", 1)
        w, h = rect
        if pw is not None and ph is not None and w and h and (pw >= w or ph >= h):
            self.fault("%s [%s]" % (name, sec),
                       "particles of %d x %d must be smaller than the %d x %d rectangle they "
                       "burst over (the game places them modulo the difference)" % (pw, ph, w, h))
        if not n:
            return
        self.chance_list(ru, name, sec, ["%d_chance" % i for i in range(n)],
                         "for every particle")
        for i in range(n):
            lo = self.colour_range(ru, name, sec, "%d_color_low" % i)
            hi = self.colour_range(ru, name, sec, "%d_color_high" % i)
            if lo and hi:
                self.check_channels(name, sec, i, lo, hi)
            for suffix in PARTICLE_RANGES:
                self.vector_key(ru, name, sec, "%d%s" % (i, suffix))

    def colour_range(self, ru, name, sec, key):
        if not self.need(ru, name, sec, key):
            return None
        nums = scan_ints(ru.raw(sec, key), 4)
        if len(nums) != 4:
            self.fault("%s [%s] %s" % (name, sec, key), "%r is not four numbers (a r g b)"
                       % ru.raw(sec, key))
            return None
        return nums

    def check_channels(self, name, sec, i, lo, hi):
        where = "%s [%s] %d_color_low/high" % (name, sec, i)
        refs = {}
        for ch in range(4):
            a, b = lo[ch], hi[ch]
            if a < 0 or b < 0:
                if a != b or not -4 <= a <= -1:
                    self.fault(where, "channel %d: a reference (-1..-4) must stand in both low "
                               "and high, otherwise the random range can be empty" % (ch + 1))
                    return
                refs[ch] = -a - 1
            elif not (0 <= a <= b <= 255):
                self.fault(where, "channel %d: %d..%d is not a range within 0..255" % (ch + 1, a, b))
                return
        resolved = {ch for ch in range(4) if ch not in refs}
        while True:
            newly = {ch for ch, target in refs.items() if ch not in resolved and target in resolved}
            if not newly:
                break
            resolved |= newly
        if len(resolved) != 4:
            self.fault(where, "channels %s refer to themselves or to each other in a circle: the "
                       "game cannot resolve the colour" % sorted(c + 1 for c in set(range(4)) - resolved))

    def check_fragmentation(self, ru, name, sec):
        if not ru.has_section(sec):
            self.fault("%s [%s]" % (name, sec), "fragmentation section is missing")
            return
        for what in ("columns", "rows"):
            lo = self.int_key(ru, name, sec, "num_%s_low" % what, 1, why="the picture is divided by it")
            hi = self.int_key(ru, name, sec, "num_%s_high" % what, 1)
            if lo is not None and hi is not None and hi < lo:
                self.fault("%s [%s] num_%s_low/high" % (name, sec, what),
                           "%d..%d is empty: the game draws a random count modulo its size" % (lo, hi))
        for key in FRAG_RANGES:
            self.vector_key(ru, name, sec, key)

    def check_icon(self):
        path = os.path.join(self.data, "harnvale.ico")
        if not os.path.isfile(path):
            self.fault("harnvale.ico", "file is missing")
            return
        with open(path, "rb") as f:
            blob = f.read()
        try:
            reserved, kind, count = struct.unpack_from("<HHH", blob, 0)
            if reserved != 0 or kind != 1 or count < 1:
                raise ValueError("not an icon directory")
            sizes = []
            for k in range(count):
                w, h, _, _, _, bits, length, offset = struct.unpack_from("<BBBBHHII", blob, 6 + 16 * k)
                body = blob[offset:offset + length]
                if body[:8] == b"\x89PNG\r\n\x1a\n":
                    raise ValueError("entry %d is a PNG; only BMP entries load everywhere" % k)
                hsize, bw, bh = struct.unpack_from("<Iii", body, 0)
                if hsize != 40 or bh != 2 * bw:
                    raise ValueError("entry %d lacks a BMP header with its AND mask" % k)
                sizes.append(bw)
            if 32 not in sizes:
                raise ValueError("no 32 x 32 entry (has %s)" % sizes)
            Image.open(path).load()
        except (ValueError, struct.error, OSError) as e:
            self.fault("harnvale.ico", str(e))

    def run(self):
        self.summary_counts = (0, 0, 0, 0)
        self.check_strings()
        self.check_interface()
        self.check_credits()
        self.check_rules()
        self.check_icon()
        if not self.faults and os.path.isfile(os.path.join(self.data, "rules.ini")):
            for f in check_picking.check(self.data):
                self.fault("rules.ini [tiles] mousemap", f)
        return self.faults


def main(argv):
    data = argv[1] if len(argv) > 1 else os.path.join(
        os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "DATA")
    checker = Checker(data)
    faults = checker.run()
    if faults:
        for f in faults:
            print("FAULT " + f)
        print("%d fault(s) in %s" % (len(faults), data))
        return 1
    nt, nu, ne, nf = checker.summary_counts
    print("%s is sound: %d tile types, %d unit types, %d explosions, %d fragmentations, "
          "26 cursors, %d pictures loaded; picking agrees with the tiles"
          % (data, nt, nu, ne, nf, len(checker.images)))
    if checker.translucent:
        print("pictures with partial alpha (drawn in the sorted translucent pass): "
              + ", ".join(sorted(checker.translucent)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
