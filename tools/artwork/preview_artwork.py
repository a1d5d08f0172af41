#!/usr/bin/python3
"""Renders the Kestrom artwork for a look by eye.

Usage: preview_artwork.py [SHEET_PNG [WINDOW_PNG]]
  (defaults /tmp/artwork_sheet.png and /tmp/artwork_window.png)

The sheet shows every bitmap at twice its size with its resource id; the
window mock shows the skin on a desktop-like background, cut to its shape,
with the elements drawn the way the front end draws them and sample panel
and status text in place.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_artwork as art  # noqa: E402

from PIL import Image, ImageDraw  # noqa: E402


def window_mock(bitmaps, states=None):
    """The main window as the front end paints it; states maps an element's
    resting id to the id to draw instead (to show hover or pressed looks)."""
    states = states or {}
    skin = bitmaps[art.SKIN_ID].copy()
    for _, _, left, top, _, rest, _, _, _, _ in art.WIDE_BUTTONS:
        skin.paste(bitmaps[states.get(rest, rest)], (left, top))
    cb = art.CHECK_IDS
    skin.paste(bitmaps[states.get("cmos", cb["checked"])], (61, 207))
    skin.paste(bitmaps[states.get("dmi", cb["unchecked"])], (250, 207))
    for _, left, top, _, st in art.SMALL_BUTTONS:
        img, mask = states.get(st["rest"][0], st["rest"])
        art.masked_draw(skin, bitmaps[img], bitmaps[mask], left, top)
    skin.paste(bitmaps[states.get(art.ROUND_IDS["rest"], art.ROUND_IDS["rest"])], art.ROUND_POS)
    skin.paste(bitmaps[art.LOGO_ANIM_IDS[3]], art.LOGO_POS)
    # the program's own text: yellow on the field and status colours
    f = art.font(10)
    d = ImageDraw.Draw(skin)
    lines = ("SST 39SF020A", "2M bits", "NV-8200 BIOS F12 12/04/2013", "AWARD BIOS")
    for (x, y), s in zip(((156, 83), (156, 102), (156, 121), (156, 138)), lines):
        d.text((x, y), s[:35], font=f, fill=(255, 255, 0), bg=None)
    skin.paste(bitmaps[art.PROGRESS_FIRST + 28], art.PROGRESS_POS)
    d.text((127, 186), "Writing ...", font=f, fill=(255, 255, 0))
    d.text((187, 186), "57%", font=f, fill=(255, 255, 0))
    # cut to the shape over a desktop
    w, h = skin.size
    desk = art.vgradient(w, h, (190, 200, 214), (150, 162, 180))
    keyed = Image.new("L", (w, h), 0)
    px, kp = skin.load(), keyed.load()
    for y in range(h):
        for x in range(w):
            r, g, b = px[x, y]
            if not (r == 255 and g <= 16 and b == 255):
                kp[x, y] = 255
    desk.paste(skin, (0, 0), keyed)
    return desk


def contact_sheet(bitmaps):
    scale = 2
    pad = 10
    label_h = 14
    width = 1920
    items = [(rid, img) for rid, img in bitmaps.items() if rid != art.SKIN_ID]
    # lay out in rows
    x = y = pad
    row_h = 0
    places = []
    for rid, img in items:
        w, h = img.size[0] * scale, img.size[1] * scale
        if x + w + pad > width:
            x = pad
            y += row_h + label_h + pad
            row_h = 0
        places.append((rid, img, x, y))
        x += w + pad
        row_h = max(row_h, h)
    skin = bitmaps[art.SKIN_ID]
    sy = y + row_h + label_h + pad
    height = sy + skin.size[1] * scale + label_h + pad
    sheet = Image.new("RGB", (width, height), (200, 204, 210))
    d = ImageDraw.Draw(sheet)
    f = art.font(10)
    for rid, img, px, py in places:
        big = img.resize((img.size[0] * scale, img.size[1] * scale), Image.NEAREST)
        sheet.paste(big, (px, py + label_h))
        d.text((px, py), str(rid), font=f, fill=(20, 20, 30))
    d.text((pad, sy), "129 (skin)", font=f, fill=(20, 20, 30))
    sheet.paste(skin.resize((skin.size[0] * scale, skin.size[1] * scale), Image.NEAREST),
                (pad, sy + label_h))
    return sheet


def main(argv):
    sheet_path = argv[1] if len(argv) > 1 else "/tmp/artwork_sheet.png"
    window_path = argv[2] if len(argv) > 2 else "/tmp/artwork_window.png"
    bitmaps, _ = art.render_all()
    contact_sheet(bitmaps).save(sheet_path)
    window_mock(bitmaps).save(window_path)
    # a second mock with hover and pressed looks, beside the first
    alt = {189: 191, 193: 194, 197: 196, 201: 200,
           230: (232, 233), 220: (222, 223), 184: (182, 183),
           art.ROUND_IDS["rest"]: art.ROUND_IDS["hover"],
           "cmos": art.CHECK_IDS["checked_hover"], "dmi": art.CHECK_IDS["unchecked_hover"]}
    a = window_mock(bitmaps)
    b = window_mock(bitmaps, alt)
    both = Image.new("RGB", (a.size[0], a.size[1] * 2))
    both.paste(a, (0, 0))
    both.paste(b, (0, a.size[1]))
    both = both.resize((both.size[0] * 2, both.size[1] * 2), Image.LANCZOS)
    both.save(window_path)
    print(sheet_path)
    print(window_path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
