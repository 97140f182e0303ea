"""Full-screen pictures: the painted vale behind the main menu (by day) and
the exit screen (at dusk), the wooden board behind the options, and the logo.

They are stretched over the whole window, so they are painted at 1024 x 768
in soft shapes that survive scaling; the main-menu buttons cover the right
half, so the painting keeps its interest on the left.
"""
import math

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

from .common import clamp8, fractal_noise, mix, rng, shade, value_noise

SW, SH = 1024, 768
FONT_DIR = "/usr/share/fonts/truetype/dejavu/"


def _ridge(seed, x, base, amp, waves):
    """Height of a hill line at x: a few sines with seeded phases."""
    r = rng(seed)
    h = 0.0
    for k, (freq, weight) in enumerate(waves):
        r.random()
        phase = r.uniform(0, 2 * math.pi)
        h += math.sin(x * freq + phase) * weight
    return base - h * amp


def _gradient(top, bottom, w=SW, h=SH, y0=0, y1=SH):
    img = Image.new("RGB", (w, h))
    d = ImageDraw.Draw(img)
    for y in range(h):
        t = min(1.0, max(0.0, (y - y0) / float(max(1, y1 - y0))))
        d.line([(0, y), (w, y)], fill=mix(top, bottom, t))
    return img


def _textured(colour_img, seed, strength=0.12):
    """Break flat paint with broad light and shade and a fine brush grain."""
    broad = value_noise(SW, SH, 48, seed)
    grain = value_noise(SW, SH, 2, seed + 1)
    n = Image.blend(broad, grain, 0.3).point(lambda v: clamp8(128 + (v - 128) * strength * 3))
    grey = Image.merge("RGB", (n, n, n))
    return ImageChops.overlay(colour_img, grey)


def _layer(canvas, colour, mask, seed, strength=0.14):
    fill = colour if isinstance(colour, Image.Image) else Image.new("RGB", (SW, SH), colour)
    fill = _textured(fill, seed, strength)
    canvas.paste(fill, (0, 0), mask)


def _ridge_mask(seed, base, amp, waves, blur=0):
    m = Image.new("L", (SW, SH), 0)
    pts = [(x, _ridge(seed, x, base, amp, waves)) for x in range(0, SW + 8, 8)]
    ImageDraw.Draw(m).polygon(pts + [(SW, SH), (0, SH)], fill=255)
    if blur:
        m = m.filter(ImageFilter.GaussianBlur(blur))
    return m, pts


PALETTES = {
    "day": dict(sky_top=(62, 108, 176), sky_low=(214, 222, 214), sun=(255, 246, 210),
                far=(126, 144, 172), snow=(236, 240, 248), mid=(88, 128, 96),
                vale=(104, 152, 70), vale_far=(126, 160, 100), forest=(40, 82, 44),
                river=(120, 170, 210), near=(60, 96, 44), near_dark=(36, 62, 30),
                keep=(132, 124, 118), keep_d=(86, 80, 78), roof=(128, 58, 44), cloud=(250, 250, 246),
                sun_pos=(250, 170)),
    "dusk": dict(sky_top=(48, 40, 88), sky_low=(238, 138, 78), sun=(255, 206, 120),
                 far=(104, 84, 118), snow=(228, 176, 160), mid=(74, 70, 86),
                 vale=(86, 92, 60), vale_far=(120, 100, 84), forest=(34, 44, 36),
                 river=(232, 150, 100), near=(42, 48, 34), near_dark=(24, 26, 22),
                 keep=(92, 78, 84), keep_d=(58, 48, 56), roof=(96, 44, 40), cloud=(250, 170, 130),
                 sun_pos=(300, 412)),
}


def vale(kind):
    """The vale of Harnvale: mountains, a keep on a knoll, a river winding
    toward the viewer through meadows and woods."""
    p = PALETTES[kind]
    img = _gradient(p["sky_top"], p["sky_low"], y0=0, y1=430)
    # sun glow
    glow = Image.new("L", (SW, SH), 0)
    sx, sy = p["sun_pos"]
    ImageDraw.Draw(glow).ellipse([sx - 160, sy - 160, sx + 160, sy + 160], fill=150)
    glow = glow.filter(ImageFilter.GaussianBlur(70))
    img.paste(Image.new("RGB", (SW, SH), p["sun"]), (0, 0), glow)
    ImageDraw.Draw(img).ellipse([sx - 26, sy - 26, sx + 26, sy + 26], fill=p["sun"])
    # clouds: stretched noise above the mountains
    cl = fractal_noise(SW // 4, SH // 8, [32, 16, 8], 71).resize((SW, SH // 2), Image.BICUBIC)
    cl = cl.point(lambda v: clamp8((v - 150) * 3.2))
    fade = Image.linear_gradient("L").resize((SW, SH // 2)).point(lambda v: clamp8(255 - v * 1.6))
    cl = ImageChops.multiply(cl, fade)
    cloud_mask = Image.new("L", (SW, SH), 0)
    cloud_mask.paste(cl, (0, 10))
    img.paste(Image.new("RGB", (SW, SH), p["cloud"]), (0, 0), cloud_mask.point(lambda v: v * 3 // 4))
    # far mountains with snow on the high parts
    waves = [(0.004, 1.0), (0.011, 0.55), (0.027, 0.25), (0.061, 0.1)]
    m, pts = _ridge_mask(11, 340, 70, waves)
    _layer(img, p["far"], m.filter(ImageFilter.GaussianBlur(1)), 12, 0.08)
    snow = Image.new("L", (SW, SH), 0)
    sd = ImageDraw.Draw(snow)
    for x, y in pts:
        if y < 315:
            sd.polygon([(x - 6, y), (x + 10, y), (x + 4, y + (315 - y) * 0.9 + 8)], fill=255)
    snow = ImageChops.multiply(snow, m)
    _layer(img, p["snow"], snow.filter(ImageFilter.GaussianBlur(3)), 13, 0.05)
    # a haze band where the mountains meet the vale
    haze = Image.new("L", (SW, SH), 0)
    ImageDraw.Draw(haze).rectangle([0, 360, SW, 420], fill=90)
    img.paste(Image.new("RGB", (SW, SH), p["sky_low"]), (0, 0), haze.filter(ImageFilter.GaussianBlur(20)))
    # rolling middle hills
    m, _ = _ridge_mask(21, 420, 26, [(0.006, 1.0), (0.017, 0.5), (0.04, 0.2)])
    _layer(img, p["mid"], m.filter(ImageFilter.GaussianBlur(0.8)), 22, 0.1)
    # the vale floor, lighter toward the distance
    m, _ = _ridge_mask(31, 452, 14, [(0.008, 1.0), (0.021, 0.4)])
    floor = _gradient(p["vale_far"], p["vale"], y0=440, y1=640)
    _layer(img, floor, m, 32, 0.16)
    # the river: a ribbon that widens toward the viewer
    river = Image.new("L", (SW, SH), 0)
    rd = ImageDraw.Draw(river)
    for y in range(452, SH, 2):
        t = (y - 452) / float(SH - 452)
        cx = 330 + 160 * math.sin(t * 3.4 + 0.4) + 120 * t
        half = 3 + 46 * t * t
        rd.rectangle([cx - half, y, cx + half, y + 2], fill=255)
    river = river.filter(ImageFilter.GaussianBlur(1.2))
    _layer(img, p["river"], river, 41, 0.1)
    # woods: clusters of round crowns on the vale floor
    r = rng(51)
    wood = Image.new("L", (SW, SH), 0)
    wd = ImageDraw.Draw(wood)
    for cx, cy, n, spread in ((120, 500, 26, 70), (520, 478, 18, 60), (60, 600, 20, 60),
                              (720, 520, 22, 80), (250, 560, 10, 40)):
        for _ in range(n):
            x = cx + r.gauss(0, spread)
            y = cy + r.gauss(0, spread * 0.25)
            rad = 6 + (y - 440) * 0.06
            wd.ellipse([x - rad, y - rad, x + rad, y + rad * 0.9], fill=255)
    _layer(img, p["forest"], wood, 52, 0.2)
    # the keep on its knoll, left of the river
    kd = ImageDraw.Draw(img)
    knoll = Image.new("L", (SW, SH), 0)
    ImageDraw.Draw(knoll).pieslice([100, 436, 340, 560], 180, 360, fill=255)
    _layer(img, mix(p["vale_far"], p["mid"], 0.5), knoll.filter(ImageFilter.GaussianBlur(6)), 61, 0.1)
    kd.rectangle([170, 392, 270, 450], fill=p["keep"])
    kd.rectangle([236, 392, 270, 450], fill=p["keep_d"])
    kd.rectangle([196, 352, 236, 400], fill=p["keep"])
    kd.rectangle([222, 352, 236, 400], fill=p["keep_d"])
    for x in range(170, 272, 12):
        kd.rectangle([x, 384, x + 6, 392], fill=p["keep"])
    kd.polygon([(190, 352), (216, 318), (242, 352)], fill=p["roof"])
    kd.line([(216, 318), (216, 300)], fill=p["keep_d"], width=2)
    kd.polygon([(217, 300), (232, 305), (217, 310)], fill=(200, 40, 30))
    for x, y in ((212, 366), (188, 412), (252, 412)):
        kd.rectangle([x, y, x + 5, y + 9], fill=(40, 34, 30))
    # dark foreground hills framing the bottom
    m, _ = _ridge_mask(71, 690, 50, [(0.005, 1.0), (0.013, 0.6), (0.031, 0.2)])
    near = _gradient(p["near"], p["near_dark"], y0=620, y1=SH)
    _layer(img, near, m, 72, 0.22)
    # grass tufts along the near crest
    gd = ImageDraw.Draw(img)
    r = rng(81)
    for _ in range(500):
        x = r.uniform(0, SW)
        y = _ridge(71, x, 690, 50, [(0.005, 1.0), (0.013, 0.6), (0.031, 0.2)]) + r.uniform(2, 60)
        gd.line([(x, y), (x + r.uniform(-3, 3), y - r.uniform(4, 10))],
                fill=shade(p["near"], r.uniform(0.7, 1.35)), width=1)
    return img.convert("RGBA")


def board():
    """Dark planks with brass nails, behind the options."""
    n1 = fractal_noise(SW, SH, [64, 16], 91).load()
    n2 = value_noise(SW, SH, 4, 92).load()
    img = Image.new("RGB", (SW, SH))
    px = img.load()
    plank = 96
    base, light = (58, 36, 22), (84, 54, 32)
    for y in range(SH):
        k = y // plank
        for x in range(SW):
            warp = (n1[x, y] - 128) / 128.0 * 5.0
            band = math.sin((y + warp + k * 17) * 0.45 + x * 0.002 * (k % 3 - 1))
            t = 0.5 + 0.32 * band + 0.18 * (n2[x, y] - 128) / 128.0
            px[x, y] = mix(base, light, max(0.0, min(1.0, t)))
    d = ImageDraw.Draw(img)
    for k in range(1, SH // plank + 1):
        y = k * plank
        d.line([(0, y - 1), (SW, y - 1)], fill=(26, 16, 10), width=2)
        d.line([(0, y + 1), (SW, y + 1)], fill=(100, 66, 40), width=1)
        for x in range(40, SW, 240):
            xx = x + (k % 2) * 120
            d.ellipse([xx - 4, y - 12, xx + 4, y - 4], fill=(26, 16, 10))
            d.ellipse([xx - 3, y - 11, xx + 3, y - 5], fill=(200, 160, 80))
            d.point([(xx - 1, y - 10)], fill=(250, 224, 150))
    # vignette so labels in the middle read best
    vig = Image.new("L", (SW, SH), 0)
    ImageDraw.Draw(vig).ellipse([-200, -160, SW + 200, SH + 160], fill=255)
    vig = vig.filter(ImageFilter.GaussianBlur(120))
    dark = Image.new("RGB", (SW, SH), (12, 8, 6))
    img = Image.composite(img, dark, vig)
    return img.convert("RGBA")


def logo():
    """The name over a transparent field, with a soft shadow; drawn over the
    whole window while it fades in and out."""
    img = Image.new("RGBA", (SW, SH), (0, 0, 0, 0))
    font = ImageFont.truetype(FONT_DIR + "DejaVuSerif-Bold.ttf", 150)
    small = ImageFont.truetype(FONT_DIR + "DejaVuSerif-Italic.ttf", 34)
    text = "Harnvale"
    box = font.getbbox(text)
    tw, th = box[2] - box[0], box[3] - box[1]
    x, y = (SW - tw) // 2 - box[0], 300 - th // 2 - box[1]
    # shadow
    sh = Image.new("L", (SW, SH), 0)
    ImageDraw.Draw(sh).text((x + 6, y + 8), text, font=font, fill=200, stroke_width=6, stroke_fill=200)
    sh = sh.filter(ImageFilter.GaussianBlur(9))
    img.paste(Image.new("RGBA", (SW, SH), (0, 0, 0, 255)), (0, 0), sh)
    # brass lettering: a vertical gradient cut out by the glyphs
    mask = Image.new("L", (SW, SH), 0)
    ImageDraw.Draw(mask).text((x, y), text, font=font, fill=255)
    edge = Image.new("L", (SW, SH), 0)
    ImageDraw.Draw(edge).text((x, y), text, font=font, fill=255, stroke_width=5, stroke_fill=255)
    img.paste(Image.new("RGBA", (SW, SH), (40, 24, 10, 255)), (0, 0), edge)
    top, bottom = y + box[1], y + box[3]
    grad = Image.new("RGBA", (SW, SH))
    gd = ImageDraw.Draw(grad)
    for yy in range(SH):
        t = (yy - top) / float(max(1, bottom - top))
        if t < 0.45:
            c = mix((255, 242, 180), (236, 190, 90), t / 0.45)
        else:
            c = mix((204, 150, 60), (132, 86, 30), (t - 0.45) / 0.55)
        gd.line([(0, yy), (SW, yy)], fill=c + (255,))
    img.paste(grad, (0, 0), mask)
    # a thin rule with a hex in the middle, then the subtitle
    d = ImageDraw.Draw(img)
    ry = bottom + 40
    for x0, x1 in ((250, 486), (538, 774)):
        d.line([(x0, ry), (x1, ry)], fill=(40, 24, 10, 255), width=6)
        d.line([(x0, ry), (x1, ry)], fill=(226, 182, 90, 255), width=2)
    hx = [(512 + 20 * math.sin(a * math.pi / 3), ry - 20 * math.cos(a * math.pi / 3) * 0.8)
          for a in range(6)]
    d.polygon(hx, fill=(226, 182, 90, 255), outline=(40, 24, 10, 255))
    sub = "a battle for three at one table"
    sb = small.getbbox(sub)
    d.text(((SW - (sb[2] - sb[0])) // 2 - sb[0], ry + 34), sub, font=small,
           fill=(246, 232, 200, 255), stroke_width=3, stroke_fill=(30, 20, 10, 255))
    return img


def pictures():
    return [("screens/mainmenu.png", lambda: vale("day")),
            ("screens/exitscreen.png", lambda: vale("dusk")),
            ("screens/options.png", board),
            ("screens/logo.png", logo)]
