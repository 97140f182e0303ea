"""Unit pictures, the owner flag, projectiles, their shadows and particles.

A unit picture is one tile wide and two tiles high and is drawn bottom-aligned
on its tile, so the hex's centre sits at y = 96 of the picture; figures stand
with their feet a little below it, on the lower half of the hex.  The left
quarter above the hex is where the owner's flag bobs, so figures keep their
mass right of centre.  No player colour is baked in: cloth is a neutral linen
and the flag says whose a unit is.
"""
import math

from PIL import Image, ImageDraw

from .common import CLEAR, OUTLINE, TILE_H, TILE_W, Canvas, add_outline

UW, UH = TILE_W, TILE_H * 2
FEET = 108          # y of the soles in the unit picture
LINE = (34, 26, 20, 255)

SKIN = (228, 184, 142, 255)
SKIN_D = (186, 136, 100, 255)
LINEN = (214, 204, 178, 255)
LINEN_D = (160, 150, 128, 255)
LEATHER = (132, 88, 50, 255)
LEATHER_D = (88, 58, 34, 255)
STEEL = (200, 206, 214, 255)
STEEL_D = (118, 126, 138, 255)
WOOD = (158, 110, 62, 255)
WOOD_D = (104, 70, 40, 255)
IRON = (64, 66, 74, 255)
IRON_L = (118, 122, 134, 255)
HORSE = (150, 98, 56, 255)
HORSE_D = (104, 66, 38, 255)
MANE = (58, 40, 28, 255)


class Sprite(Canvas):
    """Canvas with outlined parts, so overlapping pieces stay readable."""

    def part(self, pts, fill, edge=LINE, width=0.6):
        self.d.polygon(self._p(pts), fill=fill, outline=edge,
                       width=max(1, int(round(width * self.s))))

    def oval(self, box, fill, edge=LINE, width=0.6):
        x0, y0, x1, y1 = box
        self.d.ellipse([x0 * self.s, y0 * self.s, x1 * self.s - 1, y1 * self.s - 1], fill=fill,
                       outline=edge, width=max(1, int(round(width * self.s))))

    def stick(self, a, b, fill, width, edge=LINE):
        """A shaft with a dark edge: drawn wide in the edge colour, then narrower."""
        self.line([a, b], edge, width + 1.0)
        self.line([a, b], fill, width)


def ground_shadow(img, cx, cy, rx, ry):
    """Stippled oval on the ground: alpha stays 0 or 255, yet the tile shows
    through every other pixel, which reads as a soft shadow at 100 %."""
    px = img.load()
    for y in range(int(cy - ry), int(cy + ry) + 1):
        for x in range(int(cx - rx), int(cx + rx) + 1):
            if not (0 <= x < img.size[0] and 0 <= y < img.size[1]):
                continue
            if ((x + 0.5 - cx) / rx) ** 2 + ((y + 0.5 - cy) / ry) ** 2 > 1.0:
                continue
            if px[x, y][3] == 0 and (x + y) % 2 == 0:
                px[x, y] = (20, 22, 14, 255)
    return img


def _legs(s, x, stride=3.0, trousers=LEATHER_D):
    # back leg then front leg, boots at the feet line
    s.part([(x - 4, 88), (x, 88), (x - 2 - stride, FEET - 3), (x - 5 - stride, FEET - 3)], trousers)
    s.part([(x, 88), (x + 4, 88), (x + 3 + stride, FEET - 3), (x + stride, FEET - 3)], trousers)
    s.part([(x - 6 - stride, FEET - 4), (x - 1.5 - stride, FEET - 4), (x - 1 - stride, FEET),
            (x - 7 - stride, FEET)], LEATHER)
    s.part([(x - 0.5 + stride, FEET - 4), (x + 4 + stride, FEET - 4), (x + 6 + stride, FEET),
            (x - 0.5 + stride, FEET)], LEATHER)


def _torso(s, x, top=66, cloth=LINEN, cloth_d=LINEN_D, belt=True):
    s.part([(x - 6, top), (x + 6, top), (x + 7, 90), (x - 7, 90)], cloth)
    s.part([(x + 1, top + 1), (x + 6, top), (x + 7, 90), (x + 2, 90)], cloth_d, width=0.3)
    if belt:
        s.part([(x - 6.6, 82), (x + 6.6, 82), (x + 6.8, 85), (x - 6.8, 85)], LEATHER_D, width=0.3)


def _head(s, x, y, helmet="kettle"):
    s.oval((x - 5, y - 5, x + 5, y + 5), SKIN)
    s.oval((x + 1, y - 1, x + 4, y + 2), SKIN_D, edge=SKIN_D, width=0.1)
    if helmet == "kettle":
        s.part([(x - 8, y - 1), (x + 8, y - 1), (x + 5, y - 3), (x + 3, y - 8), (x - 3, y - 8),
                (x - 5, y - 3)], STEEL)
        s.part([(x + 1, y - 3), (x + 5, y - 3), (x + 8, y - 1), (x + 2, y - 1)], STEEL_D, width=0.3)
    elif helmet == "nasal":
        s.part([(x - 5.5, y - 1), (x - 5.5, y - 5), (x - 2, y - 8.5), (x + 2, y - 8.5),
                (x + 5.5, y - 5), (x + 5.5, y - 1)], STEEL)
        s.part([(x + 3, y - 2), (x + 4.5, y - 2), (x + 4.5, y + 2.5), (x + 3, y + 2.5)], STEEL_D,
               width=0.3)
    elif helmet == "hood":
        s.part([(x - 6, y + 4), (x - 6.5, y - 3), (x - 2, y - 8), (x + 3, y - 7.5), (x + 6, y - 3),
                (x + 3, y - 2), (x - 1, y - 1), (x - 2, y + 5)], (116, 104, 78, 255))


def spearman():
    s = Sprite(UW, UH)
    x = 34
    _legs(s, x)
    _torso(s, x)
    # padded shoulder and the arm reaching for the shaft
    s.stick((x - 2, 69), (x + 9, 80), LINEN_D, 3.2)
    _head(s, x, 59, "kettle")
    # the long spear stands far above the head: the spearman's mark
    s.stick((x + 11, FEET + 2), (x + 13, 14), WOOD, 2.0)
    s.part([(x + 13.2, 3), (x + 16.2, 12), (x + 13.5, 18), (x + 10.5, 12)], STEEL)
    s.part([(x + 13.2, 3), (x + 16.2, 12), (x + 13.5, 18)], STEEL_D, width=0.2)
    s.part([(x + 10, 18), (x + 17, 18), (x + 17, 20), (x + 10, 20)], IRON_L, width=0.3)
    s.oval((x + 9, 78, x + 14, 83), SKIN)
    img = s.finish()
    return ground_shadow(img, x + 2, FEET + 1, 15, 3.5)


def swordsman():
    s = Sprite(UW, UH)
    x = 36
    _legs(s, x)
    _torso(s, x, cloth=(176, 180, 186, 255), cloth_d=(132, 136, 146, 255))  # mail shirt
    # sword raised in the far hand
    s.stick((x + 5, 70), (x + 9, 66), LINEN_D, 3.0)
    s.part([(x + 8, 65), (x + 20.5, 42), (x + 22.5, 43.5), (x + 11, 67)], STEEL)
    s.part([(x + 4.5, 61.5), (x + 6, 60), (x + 15, 69), (x + 13.5, 70.5)], IRON_L, width=0.4)
    s.oval((x + 7, 63, x + 11, 67), SKIN)
    _head(s, x - 1, 58, "nasal")
    # big heater shield in front of the body
    shield = [(x - 12, 66), (x + 4, 66), (x + 4, 84), (x - 4, 97), (x - 12, 84)]
    s.part(shield, (150, 104, 58, 255), width=0.9)
    s.part([(x - 4, 66), (x + 4, 66), (x + 4, 84), (x - 4, 97)], (116, 78, 44, 255), width=0.3)
    s.part([(x - 12, 66), (x + 4, 66), (x + 4, 68), (x - 12, 68)], STEEL, width=0.3)
    s.oval((x - 7, 75, x + 1, 83), STEEL)
    img = s.finish()
    return ground_shadow(img, x - 1, FEET + 1, 15, 3.5)


def rider():
    s = Sprite(UW, UH)
    # horse, facing right: tail, far legs, body, near legs, neck and head
    s.part([(13, 78), (9, 84), (7, 96), (11, 95), (15, 84)], MANE)
    for lx, ly, k in ((22, 90, HORSE_D), (47, 90, HORSE_D)):
        s.part([(lx - 2, ly), (lx + 2, ly), (lx + 2.5, FEET - 2), (lx - 1, FEET - 2)], k)
        s.part([(lx - 1.5, FEET - 2), (lx + 3, FEET - 2), (lx + 3, FEET), (lx - 1.5, FEET)], IRON)
    s.oval((13, 74, 55, 94), HORSE, width=0.8)
    s.oval((16, 84, 52, 94), HORSE_D, edge=HORSE_D, width=0.1)
    for lx, ly in ((18, 90), (43, 90)):
        s.part([(lx - 2, ly), (lx + 2.5, ly), (lx + 3, FEET), (lx - 0.5, FEET)], HORSE)
        s.part([(lx - 1, FEET - 2.5), (lx + 3.5, FEET - 2.5), (lx + 3.5, FEET + 0.5),
                (lx - 1, FEET + 0.5)], IRON)
    s.part([(46, 80), (52, 62), (57, 60), (63, 68), (61, 72), (56, 69), (54, 84)], HORSE, width=0.8)
    s.part([(46, 80), (52, 62), (55, 61), (49, 78)], MANE, width=0.3)
    s.oval((58.5, 64, 60.5, 66), LINE, edge=LINE, width=0.1)
    # saddle cloth and rider
    s.part([(24, 74), (40, 74), (39, 86), (25, 86)], LINEN_D)
    s.part([(28, 80), (33, 80), (34, 96), (30, 96)], LEATHER_D)  # near leg in the stirrup
    s.part([(27, 95), (35, 95), (36, 98), (27, 98)], LEATHER)
    s.part([(25, 56), (36, 56), (37, 79), (24, 79)], LINEN)
    s.part([(31, 57), (36, 56), (37, 79), (32, 79)], LINEN_D, width=0.3)
    # sabre raised high
    s.stick((34, 60), (41, 54), LINEN_D, 3.0)
    s.part([(40, 53), (47, 34), (49, 33), (48.5, 36), (42.5, 55)], STEEL)
    s.part([(37.5, 51), (39, 49.5), (45, 56), (43.5, 57.5)], IRON_L, width=0.4)
    s.oval((39, 51, 43, 55), SKIN)
    _head(s, 30, 49, "nasal")
    img = s.finish()
    return ground_shadow(img, 34, FEET + 1, 24, 4)


def archer():
    s = Sprite(UW, UH)
    x = 32
    # quiver on the back
    s.part([(x - 10, 60), (x - 6, 58), (x - 2, 80), (x - 6, 82)], LEATHER)
    for fx in (-9.5, -7.5):
        s.line([(x + fx, 60), (x + fx - 1, 55)], (236, 236, 226, 255), 1.2)
    _legs(s, x, stride=3.5)
    _torso(s, x, cloth=(150, 140, 104, 255), cloth_d=(112, 104, 76, 255))
    _head(s, x, 59, "hood")
    # bow held at arm's length, string drawn back to the cheek
    bx, by0, by1 = x + 20, 52, 96
    s.arc((bx - 10, by0, bx + 4, by1), 290, 70, LINE, 3.4)
    s.arc((bx - 10, by0, bx + 4, by1), 292, 68, WOOD, 1.8)
    top = (bx - 3.5, by0 + 1.5)
    bottom = (bx - 3.5, by1 - 1.5)
    hand = (x + 4, 73)
    s.line([top, hand], (240, 236, 220, 255), 0.7)
    s.line([bottom, hand], (240, 236, 220, 255), 0.7)
    # arrow on the string
    s.stick((x + 2, 73.5), (bx + 6, 73.5), WOOD_D, 1.0)
    s.part([(bx + 5, 71.5), (bx + 9, 73.5), (bx + 5, 75.5)], STEEL, width=0.3)
    s.part([(x + 1, 71), (x + 5, 72.5), (x + 5, 74.5), (x + 1, 76)], (220, 60, 40, 255), width=0.2)
    # arms: the bow arm straight out, the drawing hand at the cheek
    s.stick((x + 3, 68), (bx + 2, 73.5), LINEN_D, 2.8)
    s.stick((x - 1, 69), (x + 4, 73), LINEN_D, 2.8)
    s.oval((bx, 71, bx + 4.5, 76), SKIN)
    s.oval((x + 2, 71, x + 6.5, 75.5), SKIN)
    img = s.finish()
    return ground_shadow(img, x + 3, FEET + 1, 15, 3.5)


def cannon():
    s = Sprite(UW, UH)
    # trail of the carriage resting on the ground behind the wheel
    s.part([(6, FEET - 3), (10, FEET), (36, 94), (34, 89)], WOOD)
    s.part([(6, FEET - 3), (10, FEET), (12, FEET - 1.5), (8, FEET - 4)], WOOD_D, width=0.3)
    # barrel on its cheeks, muzzle up and to the right
    s.part([(18, 92), (22, 83), (58, 72), (60, 80)], IRON, width=0.8)
    s.part([(20, 88), (22, 83), (58, 72), (59, 75)], IRON_L, width=0.2)
    for t in (0.18, 0.55, 0.92):
        ax, ay = 20 + (58 - 20) * t, 87.5 + (76 - 87.5) * t
        s.part([(ax - 1.2, ay - 6.2), (ax + 1.2, ay - 6.8), (ax + 2.2, ay + 5.4), (ax, ay + 6)],
               (48, 50, 58, 255), width=0.3)
    s.oval((56.5, 71.5, 62, 80.5), (40, 40, 46, 255))
    s.oval((58.3, 74, 61, 78), (10, 10, 12, 255), edge=(10, 10, 12, 255), width=0.1)
    s.oval((14, 85, 21, 93), IRON)  # cascabel at the breech
    # the spoked wheel in front
    cx, cy, r = 32, FEET - 11, 11
    s.oval((cx - r, cy - r, cx + r, cy + r), WOOD, width=0.9)
    s.oval((cx - r + 2.5, cy - r + 2.5, cx + r - 2.5, cy + r - 2.5), WOOD_D, edge=LINE, width=0.5)
    for k in range(8):
        a = k * math.pi / 4 + 0.2
        s.stick((cx, cy), (cx + math.cos(a) * (r - 2.2), cy + math.sin(a) * (r - 2.2)), WOOD, 1.3)
    s.oval((cx - 3, cy - 3, cx + 3, cy + 3), IRON)
    s.d.arc([(cx - r) * s.s, (cy - r) * s.s, (cx + r) * s.s, (cy + r) * s.s], 0, 360,
            fill=IRON, width=int(1.2 * s.s))
    img = s.finish()
    return ground_shadow(img, 32, FEET + 1, 26, 3.5)


# muzzle point of the cannon picture and the arrow's nock on the archer's
# string: rules.ini starts projectiles there (xoff, yoff in unit pixels)
CANNON_MUZZLE = (60, 76)
ARCHER_ARROW = (46, 73)


def flag():
    """White pennant on a short staff, tinted with the owner's colour when
    drawn.  The top 20 rows are plain cloth: the health bar runs along the top
    and the combat digit is printed over the middle."""
    img = Image.new("RGBA", (16, 32), CLEAR)
    d = ImageDraw.Draw(img)
    cloth = [(1, 0), (15, 0), (15, 24), (8, 19), (1, 24)]
    d.polygon(cloth, fill=(255, 255, 255, 255), outline=(30, 30, 30, 255))
    # a shaded fold line gives the cloth some body without greying its colour
    d.line([(13, 1), (13, 20)], fill=(214, 214, 214, 255))
    # staff running down from the cloth
    d.rectangle([0, 0, 1, 31], fill=(60, 44, 30, 255))
    d.point([(0, 31), (1, 31)], fill=(30, 22, 16, 255))
    return img


def arrow():
    """Arrow pointing up (tip at the top): the game turns it along its path."""
    img = Image.new("RGBA", (7, 24), CLEAR)
    d = ImageDraw.Draw(img)
    d.line([(3, 4), (3, 20)], fill=(126, 86, 46, 255))
    d.polygon([(3, 0), (5, 4), (1, 4)], fill=(210, 214, 222, 255))
    d.line([(3, 0), (3, 4)], fill=(130, 136, 146, 255))
    d.polygon([(3, 18), (6, 23), (3, 21), (0, 23)], fill=(220, 60, 40, 255))
    add_outline(img, (30, 24, 20, 255), diagonal=False)
    return img


def arrow_shadow():
    img = Image.new("RGBA", (7, 24), CLEAR)
    d = ImageDraw.Draw(img)
    d.line([(3, 1), (3, 22)], fill=(0, 0, 0, 110))
    d.line([(2, 19), (2, 22)], fill=(0, 0, 0, 80))
    d.line([(4, 19), (4, 22)], fill=(0, 0, 0, 80))
    return img


def cannonball():
    c = Canvas(12, 12, 4)
    c.ellipse((1, 1, 11, 11), (52, 54, 62, 255))
    c.ellipse((2.5, 2.5, 7, 7), (116, 120, 134, 255))
    c.ellipse((3.3, 3.3, 5.3, 5.3), (200, 204, 214, 255))
    return c.finish(outline=(14, 14, 18, 255), outline_diag=False)


def cannonball_shadow():
    img = Image.new("RGBA", (12, 12), CLEAR)
    px = img.load()
    for y in range(12):
        for x in range(12):
            d = ((x + 0.5 - 6) / 5.5) ** 2 + ((y + 0.5 - 7) / 3.0) ** 2
            if d < 1.0:
                px[x, y] = (0, 0, 0, int(130 * (1.0 - d * d)))
    return img


def particle():
    """Soft round blob; explosions tint and fade it."""
    img = Image.new("RGBA", (16, 16), CLEAR)
    px = img.load()
    for y in range(16):
        for x in range(16):
            d = math.hypot(x + 0.5 - 8, y + 0.5 - 8) / 8.0
            if d < 1.0:
                px[x, y] = (255, 255, 255, int(255 * (1.0 - d) ** 1.3))
    return img


UNITS = [("spearman", spearman), ("swordsman", swordsman), ("rider", rider),
         ("archer", archer), ("cannon", cannon)]
