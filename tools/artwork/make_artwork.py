#!/usr/bin/python3
"""Draws the Kestrom front end's bitmaps and icon from code.

Usage:
    make_artwork.py OUT_DIR     write bmpNNN.bmp, kestrom.ico and
                                kestrom_bitmaps.rc into OUT_DIR
    make_artwork.py --list      print the names of the files it writes

Every picture is built here with Pillow and a DejaVu font from Debian's
fonts-dejavu-core; nothing is read from anywhere else. The code of the front
end depends on a few facts about these pictures, kept in the constants below:

- the skin (129) is 580 x 262; magenta (255, 0, 255) lies outside the window
  shape and the opaque part spans columns 24..558 and rows 20..238;
- the four panel fields are flat (0, 14, 76) and the status box is flat
  (0, 23, 91), because the program draws its text there with those colours as
  opaque text background;
- an element whose image is also its mask is drawn as it is (a plain
  rectangle), so it carries the skin's background in its corners;
- an element with a mask of its own is drawn as (screen AND mask) OR image:
  the mask is white where the skin shows through and black where the image
  covers it, and the image is black wherever the mask is white;
- progress frame k (resource 130 + k) shows k of 50 steps lit;
- the logo frames are copied plainly over the skin at (49, 34).

Every picture is drawn at each scale of SCALES by the same code: the drawing
functions take their coordinates, lengths and font sizes at 100 percent, and
the primitives below (Shape, crop, point, font, text, fill_rect, the
gradients) turn them into pixels at the scale render_all draws at. A look
added to placements() (its id, place and size) and drawn in _render_all
therefore comes in every set. Set k of SCALES numbers its bitmaps as the 100
percent ones plus k * SCALE_ID_STEP (the skin at 150 percent is 1129); a
picture placed at (left, top) with size (w, h) at 100 percent spans the
pixel edges edge(left) .. edge(left + w) in a set, with edge() rounding half
up, as the front end scales its element rectangles.
"""

import contextlib
import os
import sys

FONT_DIR = "/usr/share/fonts/truetype/dejavu"
FONT_REGULAR = os.path.join(FONT_DIR, "DejaVuSans.ttf")
FONT_BOLD = os.path.join(FONT_DIR, "DejaVuSans-Bold.ttf")

SS = 4  # supersampling factor of shapes drawn with anti-aliasing

SCALES = (100, 150, 200)  # percent; the front end picks the nearest to its DPI
SCALE_ID_STEP = 1000

SKIN_ID = 129
SKIN_SIZE = (580, 262)
KEY = (255, 0, 255)
BODY_BOX = (24, 20, 559, 239)  # left, top, right, bottom (right/bottom exclusive)
BODY_RADIUS = 16

FIELD_COLOUR = (0, 14, 76)
FIELD_X = (149, 345)  # columns 149..344
FIELD_TOPS = (82, 101, 120, 137)
FIELD_HEIGHT = 14
FIELD_LABELS = ("Flash Type", "Flash Size", "BIOS Sign-on", "BIOS Vendor")

STATUS_COLOUR = (0, 23, 91)
STATUS_BOX = (40, 170, 356, 203)

PROGRESS_FIRST = 130
PROGRESS_STEPS = 50
PROGRESS_POS = (45, 174)
PROGRESS_SIZE = (307, 10)
SEG_X0, SEG_PITCH, SEG_W = 4, 6, 5  # step i spans columns 4+6i .. 4+6i+4
SEG_Y0, SEG_Y1 = 2, 8               # rows 2..7

LOGO_POS = (49, 34)
LOGO_SIZE = (101, 27)
LOGO_REST_ID = 204
LOGO_ANIM_IDS = tuple(range(205, 213))  # frames 0..7; frame 8 is 204

ICON_ID = 128
ICON_FILE = "kestrom.ico"
ICON_SIZES = (16, 32, 48)
RC_FILE = "kestrom_bitmaps.rc"

# Wide command buttons: (caption, icon, left, top, width, resting, hover,
# pressed, disabled, keyboard focus). Image and mask are the same bitmap.
WIDE_BUTTONS = (
    ("Update BIOS from Server", "server", 362, 73, 181, 189, 191, 190, 188, 234),
    ("Update BIOS from File", "file", 362, 98, 181, 193, 195, 194, 192, 235),
    ("Save Current BIOS to File", "save", 362, 123, 181, 197, 199, 198, 196, 236),
    ("About Zorvik", "about", 362, 148, 180, 201, 203, 202, 200, 237),
)
# The access key of each wide button, underlined in its caption in every
# look: the character at this position (Alt+S, Alt+F, Alt+V, Alt+A).
ACCESS_KEYS = {
    "Update BIOS from Server": 17,
    "Update BIOS from File": 17,
    "Save Current BIOS to File": 2,
    "About Zorvik": 0,
}
# The ring of the keyboard focus look.
FOCUS_RING = (255, 196, 60)
WIDE_HEIGHT = 24

# Check boxes: both share one set of bitmaps, image and mask the same.
CHECK_IDS = {"checked": 213, "checked_hover": 214,
             "unchecked": 215, "unchecked_hover": 216,
             "checked_focus": 238, "unchecked_focus": 239,
             "off": 240}  # off: a board family without these options
CHECK_SIZE = 24
CHECK_BOXES = (  # (left, top, label lines)
    (61, 207, ("Load CMOS default", "after BIOS update")),
    (250, 207, ("Clear DMI",)),
)

# Small masked buttons: (glyph, left, top, width, (image, mask) per state).
SMALL_HEIGHT = 28
SMALL_BUTTONS = (
    ("help", 446, 30, 31, {"rest": (184, 185), "hover": (186, 187), "pressed": (182, 183),
                           "focus": (241, 242)}),
    ("minimize", 475, 30, 30, {"rest": (230, 231), "hover": (232, 233), "pressed": (228, 229),
                               "focus": (243, 244)}),
    ("exit", 504, 30, 30, {"rest": (220, 221), "hover": (222, 223), "pressed": (218, 219),
                           "focus": (245, 246)}),
)

# Round launcher button, image and mask the same.
ROUND_POS = (383, 23)
ROUND_SIZE = (40, 39)
ROUND_IDS = {"rest": 224, "hover": 225, "pressed": 226, "focus": 247}


def placements():
    """Every picture at 100 percent: {resource id: (left, top, width, height,
    role)}, where (left, top) is where the program draws it on the skin."""
    cat = {SKIN_ID: (0, 0) + SKIN_SIZE + ("skin",)}
    for k in range(PROGRESS_STEPS + 1):
        cat[PROGRESS_FIRST + k] = PROGRESS_POS + PROGRESS_SIZE + ("progress frame %d" % k,)
    for caption, _, left, top, w, rest, hover, pressed, disabled, focus in WIDE_BUTTONS:
        for rid, state in ((rest, "resting"), (hover, "hover"),
                           (pressed, "pressed"), (disabled, "disabled"), (focus, "focus")):
            cat[rid] = (left, top, w, WIDE_HEIGHT, "%s, %s" % (caption, state))
    cat[LOGO_REST_ID] = LOGO_POS + LOGO_SIZE + ("logo frame 8 (rest)",)
    for i, rid in enumerate(LOGO_ANIM_IDS):
        cat[rid] = LOGO_POS + LOGO_SIZE + ("logo frame %d" % i,)
    left, top, _ = CHECK_BOXES[0]
    for state, rid in CHECK_IDS.items():
        cat[rid] = (left, top, CHECK_SIZE, CHECK_SIZE, "check box, " + state)
    for glyph, left, top, w, states in SMALL_BUTTONS:
        for state, (img, mask) in states.items():
            cat[img] = (left, top, w, SMALL_HEIGHT, "%s %s image" % (glyph, state))
            cat[mask] = (left, top, w, SMALL_HEIGHT, "%s %s mask" % (glyph, state))
    for state, rid in ROUND_IDS.items():
        cat[rid] = ROUND_POS + ROUND_SIZE + ("launcher " + state,)
    return dict(sorted(cat.items()))


def catalogue(percent=100):
    """Every bitmap of the set at percent, by its own resource id:
    {resource id: (width, height, role)}."""
    step = SCALE_ID_STEP * SCALES.index(percent)
    cat = {}
    for rid, (left, top, w, h, role) in placements().items():
        pw = scale_edge(left + w, percent) - scale_edge(left, percent)
        ph = scale_edge(top + h, percent) - scale_edge(top, percent)
        cat[rid + step] = (pw, ph, "%s at %d%%" % (role, percent) if percent != 100 else role)
    return cat


def all_bitmap_ids():
    return [rid for percent in SCALES for rid in catalogue(percent)]


def mask_ids():
    """The bitmaps that serve as masks of the masked draw."""
    return sorted(m for _, _, _, _, st in SMALL_BUTTONS for _, m in st.values())


def bmp_name(rid):
    return "bmp%d.bmp" % rid


def output_names():
    return [RC_FILE, ICON_FILE] + [bmp_name(r) for r in all_bitmap_ids()]


# --------------------------------------------------------------------------
# Scale. The drawing code works at 100 percent; these turn its numbers into
# pixels of the set being drawn.

_percent = 100


@contextlib.contextmanager
def drawing_scale(percent):
    """Draws at percent inside the block."""
    global _percent
    kept = _percent
    _percent = percent
    try:
        yield
    finally:
        _percent = kept


def scale_edge(v, percent):
    """An edge at percent, rounded half up (the front end's rule)."""
    import math
    if isinstance(v, int):
        return (v * percent + 50) // 100
    return int(math.floor(v * percent / 100.0 + 0.5))


def edge(v):
    """A pixel edge (a coordinate of a picture's corner or of a flat fill)."""
    return scale_edge(v, _percent)


def length(v):
    """A length or a coordinate inside anti-aliased drawing, in pixels."""
    return v * _percent / 100.0


def point(x, y):
    return (length(x), length(y))


def crop(base, left, top, w, h):
    """The part of the skin under a picture placed at (left, top), w x h."""
    return base.crop((edge(left), edge(top), edge(left + w), edge(top + h)))


def fill_rect(draw, x0, y0, x1, y1, colour):
    """A flat rectangle from (x0, y0) to (x1, y1), right and bottom exclusive."""
    draw.rectangle([edge(x0), edge(y0), edge(x1) - 1, edge(y1) - 1], fill=colour)


# --------------------------------------------------------------------------
# Drawing helpers. Shapes are drawn as coverage masks at SS times the size,
# reduced with a box filter and used to blend a paint into the picture.

def _pil():
    from PIL import Image, ImageDraw, ImageFilter, ImageFont
    return Image, ImageDraw, ImageFilter, ImageFont


def font(size, bold=False):
    _, _, _, ImageFont = _pil()
    return ImageFont.truetype(FONT_BOLD if bold else FONT_REGULAR, edge(size))


def lerp(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def vgradient(w, h, top, bottom, y0=0, y1=None):
    """A w x h pixel picture whose rows run from top (at y0) to bottom (at
    y1, by default the last row); y0 and y1 are at 100 percent."""
    Image = _pil()[0]
    y0 = length(y0)
    y1 = h - 1 if y1 is None else length(y1)
    img = Image.new("RGB", (w, h))
    px = img.load()
    for y in range(h):
        t = 0.0 if y1 == y0 else min(1.0, max(0.0, (y - y0) / float(y1 - y0)))
        c = lerp(top, bottom, t)
        for x in range(w):
            px[x, y] = c
    return img


def hgradient(w, h, left, right):
    Image = _pil()[0]
    img = Image.new("RGB", (w, h))
    px = img.load()
    for x in range(w):
        c = lerp(left, right, x / float(max(1, w - 1)))
        for y in range(h):
            px[x, y] = c
    return img


class Shape:
    """A coverage mask the size of a picture (a picture or its pixel size),
    drawn at SS resolution in edge coordinates at 100 percent (a pixel x
    spans x .. x+1 there), scaled to the set being drawn; pixels=True takes
    the coordinates as pixels instead."""

    def __init__(self, target, pixels=False):
        Image, ImageDraw, _, _ = _pil()
        size = target if isinstance(target, tuple) else target.size
        self.size = size
        self.unit = SS * (1.0 if pixels else length(1))
        self.big = Image.new("L", (size[0] * SS, size[1] * SS), 0)
        self.d = ImageDraw.Draw(self.big)

    def _box(self, x0, y0, x1, y1):
        u = self.unit
        return [x0 * u, y0 * u, x1 * u - 1, y1 * u - 1]

    def rrect(self, x0, y0, x1, y1, r, v=255):
        if r <= 0:
            self.d.rectangle(self._box(x0, y0, x1, y1), fill=v)
        else:
            self.d.rounded_rectangle(self._box(x0, y0, x1, y1), radius=r * self.unit, fill=v)
        return self

    def ellipse(self, x0, y0, x1, y1, v=255):
        self.d.ellipse(self._box(x0, y0, x1, y1), fill=v)
        return self

    def circle(self, cx, cy, r, v=255):
        return self.ellipse(cx - r, cy - r, cx + r, cy + r, v)

    def poly(self, pts, v=255):
        u = self.unit
        self.d.polygon([(x * u, y * u) for x, y in pts], fill=v)
        return self

    def line(self, pts, width, v=255, caps=True):
        u = self.unit
        p = [(x * u, y * u) for x, y in pts]
        self.d.line(p, fill=v, width=int(round(width * u)), joint="curve")
        if caps:
            r = width * u / 2.0
            for x, y in (p[0], p[-1]):
                self.d.ellipse([x - r, y - r, x + r, y + r], fill=v)
        return self

    def arc(self, cx, cy, r, start, end, width, v=255):
        u = self.unit
        b = [(cx - r) * u, (cy - r) * u, (cx + r) * u, (cy + r) * u]
        self.d.arc(b, start, end, fill=v, width=int(round(width * u)))
        return self

    def mask(self, alpha=1.0):
        Image = _pil()[0]
        m = self.big.resize(self.size, Image.BOX)
        if alpha < 1.0:
            m = m.point(lambda v: int(v * alpha + 0.5))
        return m


def paint(img, shape_or_mask, colour_or_img, alpha=1.0):
    """Blend a solid colour or a picture into img through a coverage mask."""
    Image = _pil()[0]
    m = shape_or_mask.mask(alpha) if isinstance(shape_or_mask, Shape) else shape_or_mask
    if isinstance(colour_or_img, tuple):
        src = Image.new("RGB", img.size, colour_or_img)
    else:
        src = colour_or_img
    img.paste(src, (0, 0), m)


def text(img, xy, s, fnt, fill, anchor="la", shadow=None):
    """Text at xy (100 percent) in a font from font()."""
    _, ImageDraw, _, _ = _pil()
    d = ImageDraw.Draw(img)
    x, y = point(*xy)
    if shadow:
        d.text((x, y + length(1)), s, font=fnt, fill=shadow, anchor=anchor)
    d.text((x, y), s, font=fnt, fill=fill, anchor=anchor)


# --------------------------------------------------------------------------
# Palette

INK = (232, 240, 255)
INK_DIM = (150, 172, 210)
ACCENT = (64, 178, 255)
ACCENT_HI = (150, 220, 255)
SHADOW = (4, 8, 24)
BODY_TOP = (38, 58, 108)
BODY_MID = (22, 34, 70)
BODY_BOTTOM = (14, 22, 48)
HEADER_LINE_HI = (80, 118, 196)
EDGE = (6, 10, 26)
EDGE_HI = (96, 128, 190)


# --------------------------------------------------------------------------
# Skin

def body_mask():
    """The window shape: binary, drawn without anti-aliasing because the
    shape is cut out of the skin by the colour key."""
    s = Shape(skin_pixel_size(), pixels=True)
    x0, y0, x1, y1 = BODY_BOX
    s.rrect(edge(x0), edge(y0), edge(x1), edge(y1), r=length(BODY_RADIUS))
    return s.mask().point(lambda v: 255 if v >= 128 else 0)


def skin_pixel_size():
    return (edge(SKIN_SIZE[0]), edge(SKIN_SIZE[1]))


def skin_base():
    """The skin without any element drawn on it."""
    Image, ImageDraw, ImageFilter, _ = _pil()
    w, h = skin_pixel_size()
    img = Image.new("RGB", (w, h), KEY)
    shape = body_mask()

    # Body: a header band with a glossy top, then a darker work area.
    body = vgradient(w, h, BODY_TOP, BODY_MID, 20, 68)
    lower = vgradient(w, h, (24, 37, 76), BODY_BOTTOM, 70, 238)
    lower_mask = Image.new("L", (w, h), 0)
    ImageDraw.Draw(lower_mask).rectangle([0, edge(70), w, h], fill=255)
    body.paste(lower, (0, 0), lower_mask)
    gloss = Shape(img).rrect(BODY_BOX[0], BODY_BOX[1], BODY_BOX[2], 44, BODY_RADIUS)
    paint(body, gloss, (255, 255, 255), 0.05)
    # header separator: a light line over a dark one
    d = ImageDraw.Draw(body)
    fill_rect(d, BODY_BOX[0], 68, BODY_BOX[2] + 1, 69, (10, 16, 38))
    fill_rect(d, BODY_BOX[0], 69, BODY_BOX[2] + 1, 70, (52, 78, 136))
    # a faint accent glow along the separator
    glow = hgradient(w, h, (60, 150, 255), (30, 70, 160))
    gl = Shape(img).rrect(150, 68, 430, 70, 1)
    paint(body, gl, glow, 0.35)

    img.paste(body, (0, 0), shape)

    # Window edge: a dark outline with a thin highlight inside it.
    rim = 2 * max(1, int(round(length(1)))) + 1
    inner1 = shape.filter(ImageFilter.MinFilter(rim))
    inner2 = inner1.filter(ImageFilter.MinFilter(rim))
    from PIL import ImageChops
    outline = ImageChops.subtract(shape, inner1)
    edge_hi = ImageChops.subtract(inner1, inner2)
    img.paste(EDGE, (0, 0), outline)
    hi = vgradient(w, h, EDGE_HI, (40, 56, 96), 20, 238)
    img.paste(hi, (0, 0), edge_hi.point(lambda v: v * 160 // 255))

    # Header title.
    text(img, (162, 31), "Zorvik", font(17, True), INK, shadow=SHADOW)
    text(img, (163, 51), "BIOS Flash Writer  \u00b7  Ver 2.34", font(9), INK_DIM)

    # Information card with the four fields.
    card = Shape(img).rrect(40, 73, 356, 160, 6)
    paint(img, card, (8, 14, 36), 0.55)
    card_in = Shape(img).rrect(41, 74, 355, 159, 5)
    paint(img, card_in, vgradient(w, h, (30, 46, 92), (20, 32, 68), 74, 159))
    card_hi = Shape(img).rrect(41, 74, 355, 76, 2)
    paint(img, card_hi, (255, 255, 255), 0.06)
    lab = font(10)
    for top, label in zip(FIELD_TOPS, FIELD_LABELS):
        x0, x1 = FIELD_X
        # recessed frame around the field, then the field itself, flat
        d = ImageDraw.Draw(img)
        fill_rect(d, x0 - 1, top - 1, x1 + 1, top + FIELD_HEIGHT + 1, (6, 10, 30))
        fill_rect(d, x0 - 1, top + FIELD_HEIGHT, x1 + 1, top + FIELD_HEIGHT + 1, (66, 96, 160))
        fill_rect(d, x1, top, x1 + 1, top + FIELD_HEIGHT + 1, (50, 76, 136))
        fill_rect(d, x0, top, x1, top + FIELD_HEIGHT, FIELD_COLOUR)
        text(img, (142, top + 7), label, lab, INK_DIM, anchor="rm")
        # small accent dot before the label
        dot = Shape(img).circle(50.5, top + 7.5, 2.0)
        paint(img, dot, ACCENT)

    # Status box: a flat band with a bevelled frame; the progress bar and the
    # status line are drawn into it by the program.
    x0, y0, x1, y1 = STATUS_BOX
    frame = Shape(img).rrect(x0, y0, x1, y1, 4)
    paint(img, frame, (70, 104, 176))
    inner = Shape(img).rrect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, 3)
    paint(img, inner, STATUS_COLOUR)
    d = ImageDraw.Draw(img)
    fill_rect(d, x0 + 3, y0, x1 - 3, y0 + 1, (20, 34, 80))
    fill_rect(d, x0 + 1, y0 + 1, x1 - 1, y1 - 1, STATUS_COLOUR)
    # the status box's label sits left of the status line's text
    text(img, (46, 193), "Status", font(9, True), (96, 140, 214), anchor="lm")

    # Footer: brand note on the right, below the command column.
    text(img, (542, 226), "NORVANE  \u00b7  Zorvik 2.34", font(9), (92, 114, 160), anchor="rm")
    text(img, (542, 212), "Keep the power on while writing", font(8), (80, 100, 144), anchor="rm")
    return img


def render_skin(base, bitmaps):
    """The skin as shipped: the base with the resting looks drawn on it, so a
    disabled element that is not drawn leaves a sensible picture behind."""
    img = base.copy()
    img.paste(bitmaps[LOGO_REST_ID], (edge(LOGO_POS[0]), edge(LOGO_POS[1])))
    img.paste(bitmaps[PROGRESS_FIRST], (edge(PROGRESS_POS[0]), edge(PROGRESS_POS[1])))
    for _, _, left, top, _, rest, _, _, _, _ in WIDE_BUTTONS:
        img.paste(bitmaps[rest], (edge(left), edge(top)))
    for left, top, _ in CHECK_BOXES:
        img.paste(bitmaps[CHECK_IDS["checked"]], (edge(left), edge(top)))
    for _, left, top, _, states in SMALL_BUTTONS:
        masked_draw(img, bitmaps[states["rest"][0]], bitmaps[states["rest"][1]], left, top)
    img.paste(bitmaps[ROUND_IDS["rest"]], (edge(ROUND_POS[0]), edge(ROUND_POS[1])))
    draw_check_labels(img)
    return img


def draw_check_labels(img):
    f = font(10)
    for left, top, lines in CHECK_BOXES:
        x = left + CHECK_SIZE + 4
        if len(lines) == 1:
            text(img, (x, top + 12), lines[0], f, INK, anchor="lm", shadow=SHADOW)
        else:
            text(img, (x, top + 6), lines[0], f, INK, anchor="lm", shadow=SHADOW)
            text(img, (x, top + 18), lines[1], f, INK, anchor="lm", shadow=SHADOW)


def masked_draw(target, image, mask, x, y):
    """What the front end does: (screen AND mask) OR image, at image size,
    with (x, y) at 100 percent."""
    w, h = image.size
    x, y = edge(x), edge(y)
    box = (x, y, x + w, y + h)
    target.paste(_and_or(target.crop(box), mask, image), box)


def _and_or(dst, mask, img):
    Image = _pil()[0]
    a = dst.tobytes()
    m = mask.tobytes()
    i = img.tobytes()
    out = bytes((x & y) | z for x, y, z in zip(a, m, i))
    return Image.frombytes("RGB", dst.size, out)


# --------------------------------------------------------------------------
# Logo

def draw_emblem(img, ox, oy, glow):
    """A faceted hexagon with a chip mark; glow 0..1 lightens it."""
    import math
    cx, cy, r = ox + 11.5, oy + 12.5, 11.5
    hexa = [(cx + r * math.cos(math.radians(a)), cy + r * math.sin(math.radians(a)))
            for a in range(-90, 270, 60)]
    paint(img, Shape(img).poly([(x, y + 1) for x, y in hexa]), SHADOW, 0.6)
    grad = vgradient(*img.size, lerp((90, 200, 255), (200, 240, 255), glow),
                     lerp((20, 90, 210), (70, 150, 255), glow), oy, oy + 24)
    paint(img, Shape(img).poly(hexa), grad)
    # upper facet highlight
    top = [hexa[5], hexa[0], hexa[1], (cx, cy)]
    paint(img, Shape(img).poly(top), (255, 255, 255), 0.18 + 0.2 * glow)
    # chip: a dark square with pins
    s = Shape(img)
    s.rrect(cx - 4.5, cy - 4.5, cx + 4.5, cy + 4.5, 1.5)
    paint(img, s, (10, 30, 80))
    pins = Shape(img)
    for k in (-3, 0, 3):
        pins.rrect(cx + k - 0.75, cy - 7, cx + k + 0.75, cy - 4.5, 0.3)
        pins.rrect(cx + k - 0.75, cy + 4.5, cx + k + 0.75, cy + 7, 0.3)
        pins.rrect(cx - 7, cy + k - 0.75, cx - 4.5, cy + k + 0.75, 0.3)
        pins.rrect(cx + 4.5, cy + k - 0.75, cx + 7, cy + k + 0.75, 0.3)
    paint(img, pins, (10, 30, 80))
    core = Shape(img).rrect(cx - 2, cy - 2, cx + 2, cy + 2, 0.8)
    paint(img, core, lerp((120, 220, 255), (255, 255, 255), glow))


def logo_frame(base, shine):
    """shine: None for the resting frame, else the column where a soft,
    slanted band of light crosses the word mark's baseline."""
    Image, ImageDraw, _, _ = _pil()
    from PIL import ImageChops
    x, y = LOGO_POS
    w, h = LOGO_SIZE
    img = crop(base, x, y, w, h)
    glow = 0.0 if shine is None else max(0.0, 1.0 - abs(shine - 12) / 24.0)
    draw_emblem(img, 0, 1, glow)
    f = font(13, True)
    word = Image.new("L", img.size, 0)
    ImageDraw.Draw(word).text(point(28, 12), "NORVANE", font=f, fill=255, anchor="lm")
    shadow = Image.new("L", img.size, 0)
    ImageDraw.Draw(shadow).text(point(28, 13), "NORVANE", font=f, fill=200, anchor="lm")
    img.paste(SHADOW, (0, 0), shadow)
    img.paste(vgradient(*img.size, (246, 250, 255), (170, 200, 240), 5, 19), (0, 0), word)
    if shine is not None:
        band = Image.new("L", img.size, 0)
        bp = band.load()
        unit = length(1)
        for py in range(img.size[1]):
            for px in range(img.size[0]):
                xx, yy = px / unit, py / unit
                dist = abs(xx - (shine + 0.45 * (13 - yy)))
                bp[px, py] = int(255 * max(0.0, 1.0 - dist / 8.0) ** 1.5)
        img.paste((130, 230, 255), (0, 0), ImageChops.multiply(band, word))
    ImageDraw.Draw(img).text(point(29, 22), "BIOS TOOLS", font=font(7), fill=(110, 150, 210),
                             anchor="lm")
    return img


# --------------------------------------------------------------------------
# Wide command buttons

WIDE_STYLE = {
    #           top            bottom         border          text          icon
    "rest":     ((52, 84, 150), (30, 52, 108), (84, 120, 192), INK, ACCENT_HI),
    "hover":    ((60, 142, 236), (30, 88, 190), (150, 214, 255), (255, 255, 255), (255, 255, 255)),
    "pressed":  ((18, 44, 108), (36, 76, 156), (96, 156, 232), (210, 228, 255), ACCENT_HI),
    "disabled": ((48, 54, 72), (38, 42, 58), (66, 72, 92), (118, 124, 140), (100, 108, 126)),
    "focus":    ((52, 84, 150), (30, 52, 108), (84, 120, 192), (255, 255, 255), ACCENT_HI),
}


def draw_icon(img, kind, ox, oy, colour):
    """A 16 x 16 line icon at (ox, oy)."""
    s = Shape(img)
    if kind == "server":
        # cloud with an arrow down
        s.circle(ox + 5.5, oy + 8.0, 3.5)
        s.circle(ox + 9.0, oy + 6.0, 4.5)
        s.circle(ox + 12.5, oy + 8.5, 3.0)
        s.rrect(ox + 2.0, oy + 8.0, ox + 15.5, oy + 11.5, 1.7)
        paint(img, s, colour)
        a = Shape(img)
        a.line([(ox + 9, oy + 6.5), (ox + 9, oy + 12)], 1.6)
        a.poly([(ox + 6.2, oy + 11), (ox + 11.8, oy + 11), (ox + 9, oy + 14.6)])
        return ("arrow", a)
    if kind == "file":
        # document with a folded corner and an arrow up
        s.poly([(ox + 3, oy + 1), (ox + 10, oy + 1), (ox + 14, oy + 5),
                (ox + 14, oy + 15), (ox + 3, oy + 15)])
        paint(img, s, colour)
        fold = Shape(img).poly([(ox + 10, oy + 1), (ox + 14, oy + 5), (ox + 10, oy + 5)])
        a = Shape(img)
        a.line([(ox + 8.5, oy + 13), (ox + 8.5, oy + 8)], 1.6)
        a.poly([(ox + 5.6, oy + 9), (ox + 11.4, oy + 9), (ox + 8.5, oy + 5.2)])
        return ("fold", fold, a)
    if kind == "save":
        # arrow down into a tray
        s.line([(ox + 8, oy + 1.5), (ox + 8, oy + 8)], 2.0)
        s.poly([(ox + 4.2, oy + 7), (ox + 11.8, oy + 7), (ox + 8, oy + 11.5)])
        s.line([(ox + 2, oy + 10), (ox + 2, oy + 14), (ox + 14, oy + 14), (ox + 14, oy + 10)], 1.8)
        paint(img, s, colour)
        return None
    if kind == "about":
        s.circle(ox + 8, oy + 8, 7.2)
        paint(img, s, colour)
        i = Shape(img)
        i.circle(ox + 8, oy + 4.6, 1.25)
        i.rrect(ox + 6.9, oy + 6.8, ox + 9.1, oy + 12.6, 0.6)
        return ("hole", i)
    raise ValueError(kind)


def wide_button(base, caption, icon, left, top, width, state):
    x, y = left, top
    img = crop(base, x, y, width, WIDE_HEIGHT)
    w, h = width, WIDE_HEIGHT
    gtop, gbot, border, ink, icol = WIDE_STYLE[state]
    # soft outer shadow, border, then the body
    paint(img, Shape(img).rrect(0, 1, w, h, 6), SHADOW, 0.45)
    paint(img, Shape(img).rrect(0, 0, w, h - 1, 6), border)
    body = vgradient(*img.size, gtop, gbot, 1, h - 3)
    paint(img, Shape(img).rrect(1, 1, w - 1, h - 2, 5), body)
    if state != "pressed":
        # glossy upper half
        paint(img, Shape(img).rrect(1, 1, w - 1, 11, 5), (255, 255, 255),
              0.10 if state != "disabled" else 0.04)
        paint(img, Shape(img).rrect(4, 1, w - 4, 2, 0), (255, 255, 255),
              0.22 if state != "disabled" else 0.06)
    else:
        paint(img, Shape(img).rrect(1, 1, w - 1, 4, 4), (0, 0, 0), 0.25)
    dy = 1 if state == "pressed" else 0
    if state == "hover":
        # a light left accent bar
        paint(img, Shape(img).rrect(3, 5, 5, h - 6, 1), (200, 240, 255), 0.9)
    extra = draw_icon(img, icon, 9, 3 + dy, icol)
    if extra:
        # cut-outs and inner marks of the icon, drawn in the button's colour
        inner = lerp(gtop, gbot, 0.5)
        if extra[0] == "arrow":
            paint(img, extra[1], inner)
        elif extra[0] == "fold":
            paint(img, extra[1], lerp(icol, inner, 0.45))
            paint(img, extra[2], inner)
        elif extra[0] == "hole":
            paint(img, extra[1], inner)
    if state == "focus":
        # the focus ring, inside the border
        ring = Shape(img).rrect(2, 2, w - 2, h - 3, 5)
        ring.rrect(3.5, 3.5, w - 3.5, h - 4.5, 4, v=0)
        paint(img, ring, FOCUS_RING)
    f = font(10, True)
    text(img, (31, h // 2 - 1 + dy), caption, f, ink, anchor="lm",
         shadow=None if state == "disabled" else SHADOW)
    # the access key's underline, under its character
    at = ACCESS_KEYS[caption]
    x0 = length(31) + f.getlength(caption[:at])
    x1 = length(31) + f.getlength(caption[:at + 1])
    _, ImageDraw, _, _ = _pil()
    base_y = h // 2 - 1 + dy + 6
    ImageDraw.Draw(img).rectangle([int(round(x0)), edge(base_y), int(round(x1)) - 1, edge(base_y + 1) - 1],
                                  fill=ink)
    return img


# --------------------------------------------------------------------------
# Check boxes

def check_box(base, checked, hover, focus=False):
    left, top, _ = CHECK_BOXES[0]
    img = crop(base, left, top, CHECK_SIZE, CHECK_SIZE)
    w, h = CHECK_SIZE, CHECK_SIZE
    if focus:
        ring = Shape(img).rrect(0, 0, w, h, 7)
        ring.rrect(1.5, 1.5, w - 1.5, h - 1.5, 6, v=0)
        paint(img, ring, FOCUS_RING)
    if hover:
        paint(img, Shape(img).rrect(0, 0, w, h, 7), ACCENT, 0.28)
    paint(img, Shape(img).rrect(3, 4, 21, 22, 5), SHADOW, 0.6)
    border = (150, 214, 255) if hover else (100, 136, 200)
    paint(img, Shape(img).rrect(3, 3, 21, 21, 5), border)
    if checked:
        fill = vgradient(*img.size, (80, 186, 255) if hover else (60, 164, 250),
                         (20, 96, 214) if hover else (16, 80, 190), 4, 20)
    else:
        fill = vgradient(*img.size, (16, 26, 56) if not hover else (26, 42, 84),
                         (30, 44, 84) if not hover else (40, 60, 110), 4, 20)
    paint(img, Shape(img).rrect(4, 4, 20, 20, 4), fill)
    paint(img, Shape(img).rrect(4, 4, 20, 11, 4), (255, 255, 255), 0.10)
    if checked:
        tick = Shape(img).line([(7.5, 12.5), (10.5, 15.5), (16.5, 8.5)], 2.3)
        paint(img, Shape(img).line([(7.5, 13.3), (10.5, 16.3), (16.5, 9.3)], 2.3),
              (0, 30, 90), 0.5)
        paint(img, tick, (255, 255, 255))
    return img


def check_box_off(base):
    """A box that claims nothing: flat, dim, never ticked, for a board whose
    family has neither option."""
    left, top, _ = CHECK_BOXES[0]
    img = crop(base, left, top, CHECK_SIZE, CHECK_SIZE)
    paint(img, Shape(img).rrect(3, 3, 21, 21, 5), (66, 72, 92))
    paint(img, Shape(img).rrect(4, 4, 20, 20, 4), (38, 42, 58))
    return img


# --------------------------------------------------------------------------
# Small masked buttons and the round launcher

SMALL_STYLE = {
    "rest":    ((58, 84, 142), (28, 42, 84), (100, 134, 196), (214, 226, 246)),
    "hover":   ((76, 150, 240), (34, 92, 196), (160, 220, 255), (255, 255, 255)),
    "pressed": ((20, 44, 100), (40, 78, 150), (96, 150, 226), (200, 220, 250)),
    "focus":   ((58, 84, 142), (28, 42, 84), FOCUS_RING, (255, 255, 255)),
}
EXIT_HOVER = ((244, 96, 92), (182, 32, 40), (255, 170, 160), (255, 255, 255))
EXIT_PRESSED = ((120, 20, 28), (180, 40, 48), (230, 120, 120), (255, 230, 230))


def small_glyph(shape, glyph, cx, cy):
    if glyph == "help":
        shape.arc(cx, cy - 2.3, 3.6, 180, 405, 2.0)
        shape.line([(cx + 2.5, cy + 0.3), (cx, cy + 1.8), (cx, cy + 2.8)], 2.0)
        shape.circle(cx, cy + 5.6, 1.3)
    elif glyph == "minimize":
        shape.line([(cx - 5, cy + 3), (cx + 5, cy + 3)], 2.2)
    elif glyph == "exit":
        shape.line([(cx - 4, cy - 4), (cx + 4, cy + 4)], 2.2)
        shape.line([(cx - 4, cy + 4), (cx + 4, cy - 4)], 2.2)


def small_button(base, glyph, left, top, width, state):
    """Returns (image, mask) for the masked draw. The silhouette is the same
    in every state, so one look fully covers the previous one; its edge is
    anti-aliased against the skin lying under this button."""
    Image = _pil()[0]
    w, h = width, SMALL_HEIGHT
    under = crop(base, left, top, w, h)
    style = SMALL_STYLE[state]
    if glyph == "exit" and state == "hover":
        style = EXIT_HOVER
    if glyph == "exit" and state == "pressed":
        style = EXIT_PRESSED
    gtop, gbot, border, ink = style
    cx, cy, r = w / 2.0, h / 2.0, 11.0
    img = under.copy()
    silhouette = Shape(img).circle(cx, cy + 0.5, r + 0.5)
    paint(img, Shape(img).circle(cx, cy + 1.0, r), SHADOW, 0.7)
    paint(img, Shape(img).circle(cx, cy, r), border)
    inner = r - (2 if state == "focus" else 1)  # the focus look's ring is wider
    paint(img, Shape(img).circle(cx, cy, inner), vgradient(*img.size, gtop, gbot, 3, 24))
    if state != "pressed":
        paint(img, Shape(img).ellipse(cx - 7.5, cy - 9.5, cx + 7.5, cy - 0.5), (255, 255, 255), 0.16)
    dy = 1 if state == "pressed" else 0
    g = Shape(img)
    small_glyph(g, glyph, cx, cy + dy)
    gs = Shape(img)
    small_glyph(gs, glyph, cx, cy + dy + 1)
    paint(img, gs, SHADOW, 0.5)
    paint(img, g, ink)
    cover = silhouette.mask().point(lambda v: 255 if v > 0 else 0)
    mask = Image.eval(cover, lambda v: 255 - v)          # white: skin shows
    black = Image.new("RGB", img.size, (0, 0, 0))
    image = Image.composite(img, black, cover)            # black outside
    return image, mask.convert("RGB")


def round_button(base, state):
    x, y = ROUND_POS
    w, h = ROUND_SIZE
    img = crop(base, x, y, w, h)
    cx, cy, r = 20.0, 19.0, 17.0
    if state == "hover":
        paint(img, Shape(img).circle(cx, cy, r + 2.5), ACCENT, 0.35)
    paint(img, Shape(img).circle(cx, cy + 1.2, r), SHADOW, 0.7)
    ring = {"rest": (96, 140, 206), "hover": (170, 228, 255), "pressed": (90, 150, 220),
            "focus": FOCUS_RING}[state]
    paint(img, Shape(img).circle(cx, cy, r), ring)
    top, bot = {"rest": ((50, 120, 210), (18, 52, 130)),
                "hover": ((80, 180, 255), (24, 90, 200)),
                "pressed": ((16, 44, 110), (40, 100, 190)),
                "focus": ((50, 120, 210), (18, 52, 130))}[state]
    inner = r - (2.2 if state == "focus" else 1.2)
    paint(img, Shape(img).circle(cx, cy, inner), vgradient(*img.size, top, bot, 3, 36))
    if state != "pressed":
        paint(img, Shape(img).ellipse(cx - 11.5, cy - 15.5, cx + 11.5, cy - 2), (255, 255, 255), 0.18)
    dy = 1.0 if state == "pressed" else 0.0
    ink = (255, 255, 255) if state == "hover" else (220, 236, 255)
    # globe: outline, meridian, equator
    gcx, gcy, gr = cx, cy + dy, 8.5
    gs = Shape(img)
    gs.arc(gcx, gcy, gr, 0, 360, 1.6)
    u = gs.unit
    gs.d.ellipse([(gcx - 3.8) * u, (gcy - gr) * u, (gcx + 3.8) * u, (gcy + gr) * u],
                 outline=255, width=int(1.4 * u))
    gs.line([(gcx - gr + 0.5, gcy), (gcx + gr - 0.5, gcy)], 1.3, caps=False)
    gs.line([(gcx - gr + 2, gcy - 4.3), (gcx + gr - 2, gcy - 4.3)], 1.1, caps=False)
    gs.line([(gcx - gr + 2, gcy + 4.3), (gcx + gr - 2, gcy + 4.3)], 1.1, caps=False)
    sh = Shape(img)
    sh.big.paste(gs.big, (0, int(round(sh.unit))))
    paint(img, sh, SHADOW, 0.45)
    paint(img, gs, ink, 0.95)
    # update badge: a small arrow in a bright disc at the lower right
    bx, by = cx + 8.5, cy + 8.0 + dy
    paint(img, Shape(img).circle(bx, by, 5.2), (10, 30, 80))
    paint(img, Shape(img).circle(bx, by, 4.5), (80, 230, 160) if state != "pressed" else (50, 190, 130))
    a = Shape(img)
    a.line([(bx, by - 2.5), (bx, by + 1)], 1.4)
    a.poly([(bx - 2.6, by + 0.2), (bx + 2.6, by + 0.2), (bx, by + 3.0)])
    paint(img, a, (8, 50, 30))
    return img


# --------------------------------------------------------------------------
# Progress frames

def progress_frame(base, k):
    x, y = PROGRESS_POS
    w, h = PROGRESS_SIZE
    img = crop(base, x, y, w, h)
    paint(img, Shape(img).rrect(0, 0, w, h, 3), (60, 96, 170))
    paint(img, Shape(img).rrect(1, 1, w - 1, h - 1, 2), (0, 8, 42))
    lit_grad = hgradient(*img.size, (40, 150, 255), (60, 236, 200))
    hi = hgradient(*img.size, (170, 225, 255), (190, 255, 235))
    for i in range(PROGRESS_STEPS):
        sx = SEG_X0 + SEG_PITCH * i
        if i < k:
            seg = Shape(img).rrect(sx, SEG_Y0, sx + SEG_W, SEG_Y1, 1)
            paint(img, seg, lit_grad)
            paint(img, Shape(img).rrect(sx, SEG_Y0, sx + SEG_W, SEG_Y0 + 1, 0), hi, 0.8)
        else:
            seg = Shape(img).rrect(sx, SEG_Y0, sx + SEG_W, SEG_Y1, 1)
            paint(img, seg, (16, 34, 84))
    return img


# --------------------------------------------------------------------------
# Icon

def icon_image(n):
    """The program icon at n x n pixels, RGBA: a chip struck by a bolt. The
    16-pixel size leaves the pins out, which would only blur there. Its
    coordinates are pixels already: the icon file holds every size."""
    with drawing_scale(100):
        return _icon_image(n)


def _icon_image(n):
    Image = _pil()[0]
    img = Image.new("RGB", (n, n), (0, 0, 0))
    alpha = Image.new("L", (n, n), 0)
    u = n / 48.0
    full = Shape((n, n)).rrect(1 * u, 1 * u, 47 * u, 47 * u, 10 * u)
    alpha.paste(full.mask(), (0, 0))
    paint(img, full, (8, 20, 54))
    paint(img, Shape((n, n)).rrect(2 * u, 2 * u, 46 * u, 46 * u, 9 * u),
          vgradient(n, n, (64, 150, 250), (18, 52, 150), 0, n - 1))
    paint(img, Shape((n, n)).rrect(2 * u, 2 * u, 46 * u, 22 * u, 9 * u), (255, 255, 255), 0.15)
    if n >= 32:
        pins = Shape((n, n))
        for k in range(-2, 3):
            c = 24 * u + k * 6 * u
            pw = max(1.0, 2.6 * u)
            pins.rrect(c - pw / 2, 8 * u, c + pw / 2, 40 * u, 0)
            pins.rrect(8 * u, c - pw / 2, 40 * u, c + pw / 2, 0)
        paint(img, pins, (210, 232, 255))
        paint(img, Shape((n, n)).rrect(13 * u, 13 * u, 35 * u, 35 * u, 3 * u), (8, 22, 60))
        paint(img, Shape((n, n)).rrect(14 * u, 14 * u, 34 * u, 34 * u, 2.5 * u),
              vgradient(n, n, (40, 60, 110), (14, 26, 60), int(14 * u), int(34 * u)))
        bolt = [(26, 15), (18, 26), (23.5, 26), (21, 33), (30, 21.5), (24.5, 21.5), (27.5, 15)]
    else:
        bolt = [(28, 5), (12, 27), (22, 27), (18, 43), (36, 19), (26, 19), (31, 5)]
    bolt = [(x * u, y * u) for x, y in bolt]
    paint(img, Shape((n, n)).poly([(x, y + u * 1.5) for x, y in bolt]), (8, 20, 54), 0.6)
    paint(img, Shape((n, n)).poly(bolt), (255, 214, 64))
    out = img.convert("RGBA")
    out.putalpha(alpha)
    return out


def write_icon(path):
    imgs = [icon_image(n) for n in ICON_SIZES]
    largest = imgs[-1]
    largest.save(path, format="ICO", sizes=[(n, n) for n in ICON_SIZES],
                 append_images=imgs[:-1], bitmap_format="bmp")


# --------------------------------------------------------------------------

def render_all(percent=100):
    """Every picture of the set at percent, by its 100 percent resource id:
    returns ({resource id: RGB picture}, skin base)."""
    with drawing_scale(percent):
        return _render_all()


def _render_all():
    base = skin_base()
    bm = {}
    for k in range(PROGRESS_STEPS + 1):
        bm[PROGRESS_FIRST + k] = progress_frame(base, k)
    for caption, icon, left, top, width, rest, hover, pressed, disabled, focus in WIDE_BUTTONS:
        for rid, state in ((rest, "rest"), (hover, "hover"), (pressed, "pressed"),
                           (disabled, "disabled"), (focus, "focus")):
            bm[rid] = wide_button(base, caption, icon, left, top, width, state)
    bm[LOGO_REST_ID] = logo_frame(base, None)
    for i, rid in enumerate(LOGO_ANIM_IDS):
        bm[rid] = logo_frame(base, -8 + i * 17)
    bm[CHECK_IDS["checked"]] = check_box(base, True, False)
    bm[CHECK_IDS["checked_hover"]] = check_box(base, True, True)
    bm[CHECK_IDS["unchecked"]] = check_box(base, False, False)
    bm[CHECK_IDS["unchecked_hover"]] = check_box(base, False, True)
    bm[CHECK_IDS["checked_focus"]] = check_box(base, True, False, focus=True)
    bm[CHECK_IDS["unchecked_focus"]] = check_box(base, False, False, focus=True)
    bm[CHECK_IDS["off"]] = check_box_off(base)
    for glyph, left, top, width, states in SMALL_BUTTONS:
        for state, (img_id, mask_id) in states.items():
            bm[img_id], bm[mask_id] = small_button(base, glyph, left, top, width, state)
    for state, rid in ROUND_IDS.items():
        bm[rid] = round_button(base, state)
    bm[SKIN_ID] = render_skin(base, bm)
    return dict(sorted(bm.items())), base


def rc_path(path):
    return path.replace("\\", "/").replace('"', '\\"')


def write_all(out_dir):
    out_dir = os.path.abspath(out_dir)
    os.makedirs(out_dir, exist_ok=True)
    write_icon(os.path.join(out_dir, ICON_FILE))
    lines = ["// Kestrom bitmaps and icon, written by tools/artwork/make_artwork.py.",
             "// Generated at build time: edit the drawing code, not this file.",
             '%d ICON "%s"' % (ICON_ID, rc_path(os.path.join(out_dir, ICON_FILE)))]
    for k, percent in enumerate(SCALES):
        bitmaps, _ = render_all(percent)
        cat = catalogue(percent)
        step = SCALE_ID_STEP * k
        assert sorted(r + step for r in bitmaps) == sorted(cat), "catalogue and drawings disagree"
        for rid, img in bitmaps.items():
            rid += step
            assert img.size == cat[rid][:2], (rid, img.size, cat[rid])
            path = os.path.join(out_dir, bmp_name(rid))
            img.convert("RGB").save(path, format="BMP")
            lines.append('%d BITMAP "%s"  // %s' % (rid, rc_path(path), cat[rid][2]))
    tmp = os.path.join(out_dir, RC_FILE + ".tmp")
    with open(tmp, "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    os.replace(tmp, os.path.join(out_dir, RC_FILE))


def main(argv):
    if len(argv) == 2 and argv[1] == "--list":
        print(";".join(output_names()))
        return 0
    if len(argv) != 2 or argv[1].startswith("-"):
        sys.stderr.write("usage: make_artwork.py OUT_DIR | --list\n")
        return 2
    write_all(argv[1])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
