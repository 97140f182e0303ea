#!/usr/bin/python3
"""Compose pictures for judging the art before the game can show it.

Usage: /usr/bin/python3 art/make_sheets.py [DATA_DIR] [OUT_DIR]

Writes to art/out/ (not tracked):
  contact_sheet.png  every picture of DATA on a checkerboard, cursors enlarged
                     with their hot spot (from interface.ini) marked in red,
                     and framed buttons of every state at several sizes;
  battle.png         a 12 x 10 field laid out by the game's tile-rectangle
                     rule with units of every type, flags in the three player
                     colours, a selection, a blink, projectiles and cursors;
  menu.png           the main menu as its widgets lay it out at 1024 x 768.
Reads the INI files of DATA with the checker's reader, so the sheets show
what the data says, not what the generator meant.
"""
import os
import random
import sys

from PIL import Image, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)

from harnart.profile_ini import ProfileIni, quoted_entry, scan_floats, scan_ints  # noqa: E402

FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
PLAYERS = [(255, 0, 0), (127, 127, 255), (255, 255, 0)]
CURSOR_NAMES = ["arrow", "hand", "scroll_left", "scroll_right", "scroll_up", "scroll_down",
                "scroll_ul", "scroll_ur", "scroll_dl", "scroll_dr", "select", "move_nw",
                "move_ne", "move_w", "move_e", "move_sw", "move_se", "nomove", "attack_nw",
                "attack_ne", "attack_w", "attack_e", "attack_sw", "attack_se", "target",
                "notarget"]


def font(size):
    return ImageFont.truetype(FONT, size)


def load(data, rel):
    img = Image.open(os.path.join(data, rel)).convert("RGBA")
    # the game's loader turns opaque magenta into transparent black
    px = img.load()
    for y in range(img.size[1]):
        for x in range(img.size[0]):
            if px[x, y] == (255, 0, 255, 255):
                px[x, y] = (0, 0, 0, 0)
    return img


def modulate(img, argb):
    a, r, g, b = (argb >> 24) & 255, (argb >> 16) & 255, (argb >> 8) & 255, argb & 255
    out = img.copy()
    px = out.load()
    for y in range(out.size[1]):
        for x in range(out.size[0]):
            p = px[x, y]
            px[x, y] = (p[0] * r // 255, p[1] * g // 255, p[2] * b // 255, p[3] * a // 255)
    return out


def checker(w, h, a=(150, 150, 150), b=(190, 190, 190), cell=8):
    img = Image.new("RGBA", (w, h))
    d = ImageDraw.Draw(img)
    for y in range(0, h, cell):
        for x in range(0, w, cell):
            d.rectangle([x, y, x + cell - 1, y + cell - 1],
                        fill=a if (x // cell + y // cell) % 2 else b)
    return img


def tiled(piece, w, h):
    """The piece repeated from the quad's top-left, as wrap addressing does."""
    out = Image.new("RGBA", (max(1, w), max(1, h)))
    pw, ph = piece.size
    for y in range(0, h, ph):
        for x in range(0, w, pw):
            out.paste(piece, (x, y))
    return out


class Looks:
    """Frame pieces and text colours of one gui settings section."""

    def __init__(self, data, iface, section="gui_settings"):
        self.pieces = {}
        for i in range(4):
            for j in range(9):
                name, rest = quoted_entry(iface.raw(section, "%d%d" % (i, j)))
                nums = scan_ints(rest, 6)
                img = load(data, name)
                if (nums[0], nums[1]) != img.size:
                    img = img.resize((nums[0], nums[1]), Image.NEAREST)
                self.pieces[i, j] = modulate(img, (nums[2] << 24) | (nums[3] << 16) |
                                             (nums[4] << 8) | nums[5])
        self.border = [iface.get_int(section, k) for k in ("sl", "sr", "st", "sb")]
        self.text = []
        for i in range(4):
            a, r, g, b = scan_ints(iface.raw(section, "text%d" % i), 4)
            self.text.append((r, g, b, a))

    def frame(self, canvas, rect, flags, state, label=None, size=16):
        l, t, r, b = rect
        sl, sr, st, sb = self.border
        cl = l + (sl if flags & 1 else 0)
        cr = r - (sr if flags & 2 else 0)
        ct = t + (st if flags & 4 else 0)
        cb = b - (sb if flags & 8 else 0)
        quads = [(0, (l, t, cl, ct), flags & 5 == 5), (1, (cl, t, cr, ct), flags & 4),
                 (2, (cr, t, r, ct), flags & 6 == 6), (3, (l, ct, cl, cb), flags & 1),
                 (4, (cl, ct, cr, cb), flags & 16), (5, (cr, ct, r, cb), flags & 2),
                 (6, (l, cb, cl, b), flags & 9 == 9), (7, (cl, cb, cr, b), flags & 8),
                 (8, (cr, cb, r, b), flags & 10 == 10)]
        for j, (x0, y0, x1, y1), on in quads:
            if on and x1 > x0 and y1 > y0:
                canvas.alpha_composite(tiled(self.pieces[state, j], x1 - x0, y1 - y0), (x0, y0))
        if label:
            d = ImageDraw.Draw(canvas)
            f = font(size)
            bb = d.textbbox((0, 0), label, font=f)
            d.text(((cl + cr - (bb[2] - bb[0])) // 2 - bb[0], (ct + cb - (bb[3] - bb[1])) // 2 - bb[1]),
                   label, font=f, fill=self.text[state])


# ------------------------------------------------------------ contact sheet

def contact_sheet(data, iface, out):
    files = []
    for dirpath, _dirs, names in os.walk(data):
        for n in sorted(names):
            if n.lower().endswith((".png", ".bmp", ".tga")):
                files.append(os.path.relpath(os.path.join(dirpath, n), data))
    files.sort()
    big = [f for f in files if f.startswith("screens/")]
    small = [f for f in files if f not in big and not f.startswith("cursors/")]
    W = 1400
    sheet = Image.new("RGBA", (W, 4000), (40, 40, 44, 255))
    d = ImageDraw.Draw(sheet)
    f = font(11)
    x, y, row_h = 10, 30, 0
    d.text((10, 6), "Every picture of DATA (checkerboard = transparent)", font=font(16), fill="white")
    for rel in small:
        img = load(data, rel)
        scale = 2 if img.size[0] <= 32 and img.size[1] <= 32 else 1
        if scale != 1:
            img = img.resize((img.size[0] * scale, img.size[1] * scale), Image.NEAREST)
        cw = max(img.size[0], 86)
        if x + cw > W - 10:
            x, y, row_h = 10, y + row_h + 24, 0
        bg = checker(img.size[0], img.size[1])
        bg.alpha_composite(img)
        sheet.paste(bg, (x, y))
        d.text((x, y + img.size[1] + 2), rel.split("/")[-1][:16], font=f, fill=(220, 220, 220))
        x += cw + 10
        row_h = max(row_h, img.size[1])
    # cursors: enlarged 3x over light and dark grounds, hot spot in red
    y += row_h + 40
    d.text((10, y - 22), "Cursors at 3x: the red cross marks the hot spot from interface.ini; "
           "right: actual size on terrain", font=font(14), fill="white")
    x = 10
    meadow = load(data, "tiles/meadow.png")
    forest = load(data, "tiles/forest.png")
    for k, name in enumerate(CURSOR_NAMES):
        fname, rest = quoted_entry(iface.raw("cursors", name))
        hx, hy, cw_, ch_ = scan_ints(rest, 4)
        img = load(data, fname)
        if img.size != (cw_, ch_):
            img = img.resize((cw_, ch_), Image.NEAREST)
        big_c = img.resize((cw_ * 3, ch_ * 3), Image.NEAREST)
        bg = checker(cw_ * 3, ch_ * 3, (200, 200, 200), (235, 235, 235)) if k % 2 == 0 else \
            checker(cw_ * 3, ch_ * 3, (40, 60, 40), (60, 80, 60))
        bg.alpha_composite(big_c)
        bd = ImageDraw.Draw(bg)
        cx, cy = hx * 3 + 1, hy * 3 + 1
        bd.line([(cx - 6, cy), (cx + 6, cy)], fill=(255, 0, 0, 255))
        bd.line([(cx, cy - 6), (cx, cy + 6)], fill=(255, 0, 0, 255))
        if x + 100 + 70 > W:
            x, y = 10, y + 130
        sheet.paste(bg, (x, y))
        small_bg = (meadow if k % 2 else forest).copy()
        small_bg.alpha_composite(img, (16 - hx + 0, 16 - hy + 0)) if 0 <= 16 - hx and 16 - hx + cw_ <= 64 \
            and 0 <= 16 - hy and 16 - hy + ch_ <= 64 else None
        sheet.paste(small_bg, (x + 100, y + 20))
        d.text((x, y + 98), name, font=f, fill=(220, 220, 220))
        x += 180
    y += 140
    # framed buttons: each state at several sizes, tiled as the widgets do
    d.text((10, y - 4), "Frames: normal, hover, pressed, inactive at several sizes "
           "(pieces tiled from each quad's corner)", font=font(14), fill="white")
    y += 20
    looks = Looks(data, iface)
    for state in range(4):
        xx = 10
        for w, h in ((120, 24), (250, 48), (505, 90)):
            looks.frame(sheet, (xx, y, xx + w, y + h), 0x1F, state,
                        ["Menu", "End turn", "Start a new battle (S)", "Inactive"][state])
            xx += w + 20
        # a column of stacked buttons as on the main menu (0x15, 0x11, 0x19)
        for k, fl in enumerate((0x15, 0x11, 0x19)):
            looks.frame(sheet, (xx, y + k * 30, xx + 260, y + k * 30 + 30), fl, state, "Button %d" % k)
        y += 100
    # scroll bar, dropper and check box pictures as placed on the options rows
    y += 10
    x = 10
    for rel in ("gui/vscroll_up0.png", "gui/vscroll_paddle0.png", "gui/vscroll_down0.png"):
        img = load(data, rel)
        sheet.alpha_composite(img, (x, y))
        y += img.size[1]
    y += 20
    for dirpath in big:
        img = load(data, dirpath)
        thumb = img.resize((img.size[0] // 2, img.size[1] // 2), Image.BILINEAR)
        bg = checker(*thumb.size)
        bg.alpha_composite(thumb)
        if x + thumb.size[0] > W:
            x, y = 10, y + thumb.size[1] + 30
        sheet.paste(bg, (x, y))
        d.text((x, y + thumb.size[1] + 2), dirpath, font=f, fill=(220, 220, 220))
        x += thumb.size[0] + 20
    y += 400
    sheet = sheet.crop((0, 0, W, y))
    sheet.convert("RGB").save(os.path.join(out, "contact_sheet.png"))


# ------------------------------------------------------------ battle mock-up

def tile_rect(col, row, tw, th, yoff):
    """The game's tile rectangle: rows step by th - yoff and overlap by yoff;
    even rows are shifted half a tile right."""
    step = th - yoff
    left, right = col * tw, (col + 1) * tw
    top, bottom = row * step, (row + 1) * step + yoff
    if row % 2 == 0:
        left += tw // 2
        right += tw // 2
    return left, top, right, bottom


def battle(data, rules, iface, out, cols=12, rows=10):
    tw, th = rules.get_int("tiles", "tile_width"), rules.get_int("tiles", "tile_height")
    yoff = rules.get_int("tiles", "placement_yoffset")
    fmt = rules.raw("tiles", "tile_name_format")
    types = []
    for i in range(rules.get_int("tiles", "num_tiletypes")):
        sec = fmt % i
        types.append(dict(img=modulate(load(data, rules.raw(sec, "image")), rules.get_color(sec, "color")),
                          moveable=rules.get_bool(sec, "moveable"), name=rules.raw(sec, "image")))
    ufmt = rules.raw("units", "unit_name_format")
    utypes = []
    for i in range(rules.get_int("units", "num_unittypes")):
        sec = ufmt % i
        utypes.append(dict(img=modulate(load(data, rules.raw(sec, "image")), rules.get_color(sec, "color")),
                           combat=rules.get_int(sec, "combat"), name=rules.raw(sec, "name"), sec=sec))
    flag = load(data, rules.raw("units", "flag_image"))
    selected = load(data, rules.raw("units", "selected_image"))
    blink = load(data, rules.raw("tiles", "blink_texture"))
    r = random.Random(7)
    # terrain in patches, so every type meets every other somewhere
    grid = [[r.randrange(len(types)) for _ in range(cols)] for _ in range(rows)]
    for row in range(rows):
        for col in range(cols):
            if r.random() < 0.45 and col > 0:
                grid[row][col] = grid[row][col - 1]
    # guarantee each unit type stands on each player's colour at least once
    units = {}
    spots = [(c, rr) for rr in range(rows) for c in range(cols) if types[grid[rr][c]]["moveable"]]
    r.shuffle(spots)
    k = 0
    for p in range(3):
        for u in range(len(utypes)):
            c, rr = spots[k]
            units[c, rr] = (u, p, r.random())
            k += 1
    width = tw * cols + tw // 2
    height = (th - yoff) * rows + yoff
    margin = 70
    canvas = Image.new("RGBA", (width + 2 * margin, height + 2 * margin + 40), (0x80, 0x60, 0x00, 255))
    ox, oy = margin, margin + 20
    # tiles first in row order: lower rows cover the overlap of upper rows
    for row in range(rows):
        for col in range(cols):
            l, t, rr_, b = tile_rect(col, row, tw, th, yoff)
            canvas.alpha_composite(types[grid[row][col]]["img"], (ox + l, oy + t))
    sel = next(iter(units))
    l, t, _, _ = tile_rect(sel[0], sel[1], tw, th, yoff)
    canvas.alpha_composite(selected, (ox + l, oy + t))
    blink_tiles = [(sel[0] + dc, sel[1]) for dc in (-1, 1)]
    for c, rr in blink_tiles:
        if 0 <= c < cols:
            l, t, _, _ = tile_rect(c, rr, tw, th, yoff)
            canvas.alpha_composite(modulate(blink, 0x96FFFFFF), (ox + l, oy + t))
    f = font(16)
    for row in range(rows):
        for col in range(cols):
            if (col, row) not in units:
                continue
            u, p, hp = units[col, row]
            l, t, rr_, b = tile_rect(col, row, tw, th, yoff)
            ut = utypes[u]
            canvas.alpha_composite(ut["img"], (ox + l, oy + 2 * t - b))
            pr, pg, pb = PLAYERS[p]
            fx, fy = ox + l, oy + t - 16 - int(8 * (hp - 0.5))
            canvas.alpha_composite(modulate(flag, (255 << 24) | (pr << 16) | (pg << 8) | pb), (fx, fy))
            d = ImageDraw.Draw(canvas)
            digit = str(ut["combat"]) if ut["combat"] < 10 else "!"
            colour = (100, 100, 100) if pr > 200 and pg > 200 else (255, 255, 255)
            bb = d.textbbox((0, 0), digit, font=f)
            d.text((fx + 8 - (bb[2] - bb[0]) // 2 - bb[0], fy + 3), digit, font=f, fill=colour)
            frac = 0.35 + hp * 0.65
            bar = (0, 255, 0) if frac >= 1.0 else (255, 255, 0) if frac >= 0.5 else (255, 0, 0)
            d.rectangle([fx + 1, fy + 1, fx + 1 + int(14 * frac) - 1, fy + 2], fill=bar)
    # a cannonball and an arrow in flight with their shadows on the ground
    ball = load(data, rules.raw("unit_4", "cannonball_image"))
    ball_sh = load(data, rules.raw("unit_4", "shadow_image"))
    arrow = load(data, rules.raw("unit_3", "arrow_image"))
    arrow_sh = load(data, rules.raw("unit_3", "shadow_image"))
    gx, gy = ox + 5 * tw, oy + 4 * (th - yoff) + 30
    canvas.alpha_composite(ball_sh, (gx, gy))
    canvas.alpha_composite(ball, (gx, gy - 26))
    gx += 3 * tw
    canvas.alpha_composite(arrow_sh.rotate(-90, expand=True), (gx, gy))
    canvas.alpha_composite(arrow.rotate(-70, expand=True), (gx, gy - 30))
    # a few cursors at their hot spots (small red dot under each hot spot)
    for k, name in enumerate(("move_ne", "attack_e", "target", "notarget", "arrow", "select")):
        fname, rest = quoted_entry(iface.raw("cursors", name))
        hx, hy, cw_, ch_ = scan_ints(rest, 4)
        mx, my = ox + 40 + k * 110, oy + height + 10
        canvas.alpha_composite(load(data, fname), (mx - hx, my - hy))
        ImageDraw.Draw(canvas).point([(mx, my)], fill=(255, 0, 0, 255))
    # the battle screen's own buttons, drawn with the common look
    looks = Looks(data, iface)
    looks.frame(canvas, (4, 4, 124, 28), 0x3F, 0, "Menu")
    looks.frame(canvas, (4, canvas.size[1] - 120, 124, canvas.size[1] - 96), 0x3F, 1, "End turn")
    looks.frame(canvas, (4, canvas.size[1] - 92, 124, canvas.size[1] - 4), 0x0F, 0)
    canvas.convert("RGB").save(os.path.join(out, "battle.png"))


def menu(data, iface, st, out, w=1024, h=768):
    canvas = load(data, iface.raw("misc", "mainmenu_background")).resize((w, h), Image.NEAREST)
    looks = Looks(data, iface)
    sx, sy = w / 800.0, h / 600.0
    rows = [("welcome", (405, 5, 800, 70), 0x1D, 3), ("newgame", (405, 75, 800, 145), 0x15, 1),
            ("loadgame", (405, 145, 800, 215), 0x11, 0), ("multigame", (405, 215, 800, 285), 0x11, 0),
            ("editor", (405, 285, 800, 355), 0x11, 0), ("options", (405, 355, 800, 425), 0x11, 2),
            ("credits", (405, 425, 800, 495), 0x11, 0), ("exitgame", (405, 495, 800, 565), 0x19, 0)]
    for key, (l, t, r, b), flags, state in rows:
        rect = (int(l * sx), int(t * sy), int(r * sx), int(b * sy))
        looks.frame(canvas, rect, flags, state, st.get_string("mainmenu", key))
    fname, rest = quoted_entry(iface.raw("cursors", "hand"))
    hx, hy, _, _ = scan_ints(rest, 4)
    canvas.alpha_composite(load(data, fname), (700 - hx, 160 - hy))
    canvas.convert("RGB").save(os.path.join(out, "menu.png"))
    logo = load(data, iface.raw("misc", "logo")).resize((w, h), Image.NEAREST)
    black = Image.new("RGBA", (w, h), (0, 0, 0, 255))
    black.alpha_composite(logo)
    black.convert("RGB").save(os.path.join(out, "logo_on_black.png"))


def main(argv):
    data = argv[1] if len(argv) > 1 else os.path.join(ROOT, "DATA")
    out = argv[2] if len(argv) > 2 else os.path.join(HERE, "out")
    os.makedirs(out, exist_ok=True)
    rules = ProfileIni(os.path.join(data, "rules.ini"))
    iface = ProfileIni(os.path.join(data, "interface.ini"))
    st = ProfileIni(os.path.join(data, "stringtable.ini"))
    contact_sheet(data, iface, out)
    battle(data, rules, iface, out)
    menu(data, iface, st, out)
    print("sheets written to %s" % out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
