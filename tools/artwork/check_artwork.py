#!/usr/bin/python3
"""Checks the Kestrom artwork against what the front end's code relies on.

Usage: check_artwork.py [OUT_DIR]

With OUT_DIR, checks the files already there; without it, runs
make_artwork.py into a temporary folder and checks that. Prints one line per
failed fact and a closing "N passed, N failed" line; exits 1 on any failure.

The expectations below are written out on their own, not taken from
make_artwork.py, so that a slip in the drawing tool's tables shows up here.
They are written at 100 percent and checked in every set: the 150 and 200
percent sets number their bitmaps 1000 and 2000 above the 100 percent ones,
and a coordinate c of the skin lies at pixel (c * percent + 50) // 100 there.
"""

import os
import struct
import subprocess
import sys
import tempfile

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))

KEY = (255, 0, 255)
TOLERANCE = 16
SETS = ((100, 0), (150, 1000), (200, 2000))  # (percent, resource id step)


def at(v, percent):
    """A coordinate of the skin at percent."""
    return (v * percent + 50) // 100


def expected_bitmaps():
    """{resource id: (width, height)} of every bitmap the front end loads."""
    e = {129: (580, 262)}
    for k in range(51):
        e[130 + k] = (307, 10)                     # progress frames
    for rid in range(182, 188):
        e[rid] = (31, 28)                          # Help image/mask pairs
    for rid in range(188, 200):
        e[rid] = (181, 24)                         # wide buttons 0..2
    for rid in range(200, 204):
        e[rid] = (180, 24)                         # About button
    for rid in range(204, 213):
        e[rid] = (101, 27)                         # logo frames
    for rid in range(213, 217):
        e[rid] = (24, 24)                          # check boxes
    for rid in range(218, 224):
        e[rid] = (30, 28)                          # EXIT image/mask pairs
    for rid in range(224, 227):
        e[rid] = (40, 39)                          # launcher
    for rid in range(228, 234):
        e[rid] = (30, 28)                          # MINIMIZE image/mask pairs
    for rid in range(234, 237):
        e[rid] = (181, 24)                         # wide buttons 0..2, focus
    e[237] = (180, 24)                             # About button, focus
    for rid in range(238, 241):
        e[rid] = (24, 24)                          # check boxes: focus, off
    for rid in (241, 242):
        e[rid] = (31, 28)                          # Help focus image/mask
    for rid in range(243, 247):
        e[rid] = (30, 28)                          # MINIMIZE, EXIT focus pairs
    e[247] = (40, 39)                              # launcher, focus
    return e


def near(n, percent):
    """The pixel lengths a length n at 100 percent may come to at percent."""
    exact = n * percent
    return {m for m in range(exact // 100 - 1, exact // 100 + 2) if abs(m * 100 - exact) < 100}


def expected_set(percent, step):
    """{resource id: acceptable (width, height) pairs} of one set: a scaled
    length is the 100 percent one times the scale, within a pixel, since the
    tool rounds each edge of a picture and not its length."""
    return {rid + step: {(a, b) for a in near(w, percent) for b in near(h, percent)}
            for rid, (w, h) in expected_bitmaps().items()}


# (image, mask) pairs per small button and state, and where it sits.
MASKED = {
    "help": ((446, 30, 31), [(184, 185), (186, 187), (182, 183), (241, 242)]),
    "exit": ((504, 30, 30), [(220, 221), (222, 223), (218, 219), (245, 246)]),
    "minimize": ((475, 30, 30), [(230, 231), (232, 233), (228, 229), (243, 244)]),
}
FIELD_COLOUR = (0, 14, 76)
FIELD_TOPS = (82, 101, 120, 137)
STATUS_COLOUR = (0, 23, 91)


class Checker:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, ok, what):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print("FAIL: " + what)
        return ok


def transparent(p):
    r, g, b = p[:3]
    return (KEY[0] <= r <= min(255, KEY[0] + TOLERANCE) and
            KEY[1] <= g <= min(255, KEY[1] + TOLERANCE) and
            KEY[2] <= b <= min(255, KEY[2] + TOLERANCE))


def bmp_header(path):
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 54 or data[:2] != b"BM":
        return None
    size, _, _, off = struct.unpack_from("<IHHI", data, 2)
    hsize, w, h, planes, bpp, comp = struct.unpack_from("<IiiHHI", data, 14)
    return {"file_size": size, "actual": len(data), "offset": off, "hsize": hsize,
            "w": w, "h": h, "planes": planes, "bpp": bpp, "comp": comp}


def check_rc(c, out_dir, expected):
    """expected: every bitmap id of every set."""
    path = os.path.join(out_dir, "kestrom_bitmaps.rc")
    if not c.check(os.path.isfile(path), "kestrom_bitmaps.rc exists"):
        return
    seen = {}
    icons = []
    for line in open(path):
        line = line.split("//")[0].strip()
        if not line:
            continue
        parts = line.split(None, 2)
        if len(parts) != 3 or not parts[2].startswith('"'):
            c.check(False, "rc line understood: %r" % line)
            continue
        rid, kind, name = int(parts[0]), parts[1], parts[2].strip('"')
        c.check(os.path.isabs(name) and os.path.isfile(name), "rc file %s exists" % name)
        if kind == "ICON":
            icons.append(rid)
        else:
            c.check(kind == "BITMAP", "rc kind of %d" % rid)
            c.check(rid not in seen, "rc id %d once" % rid)
            seen[rid] = name
    c.check(icons == [128], "rc names icon 128 once")
    c.check(sorted(seen) == sorted(expected),
            "rc bitmap ids: missing %s, extra %s" % (sorted(set(expected) - set(seen)),
                                                     sorted(set(seen) - set(expected))))


def check_files(c, out_dir, expected):
    """expected: {id: acceptable sizes}; returns {id: picture}."""
    images = {}
    for rid, sizes in expected.items():
        path = os.path.join(out_dir, "bmp%d.bmp" % rid)
        hd = bmp_header(path) if os.path.isfile(path) else None
        if not c.check(hd is not None, "bmp%d.bmp is a BMP file" % rid):
            continue
        c.check(hd["hsize"] == 40 and hd["planes"] == 1 and hd["bpp"] == 24 and hd["comp"] == 0,
                "bmp%d.bmp is a 24-bit uncompressed DIB" % rid)
        c.check(hd["h"] > 0, "bmp%d.bmp is bottom-up" % rid)
        w, h = hd["w"], abs(hd["h"])
        c.check((w, h) in sizes, "bmp%d.bmp is %dx%d, not one of %s" % (rid, w, h, sorted(sizes)))
        stride = (w * 3 + 3) & ~3
        c.check(hd["actual"] >= hd["offset"] + stride * h, "bmp%d.bmp holds all its rows" % rid)
        images[rid] = Image.open(path).convert("RGB")
    return images


def check_skin(c, im, percent):
    w, h = im.size
    c.check((w, h) == (at(580, percent), at(262, percent)), "skin at %d%% is %dx%d" % (percent, w, h))
    px = im.load()
    for x, y in ((0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1)):
        c.check(px[x, y] == KEY, "skin corner (%d, %d) is magenta" % (x, y))
    opaque_rows = []
    split_rows = []
    runs = 0
    bad_key = 0
    bbox = [w, h, -1, -1]
    for y in range(h):
        row_runs = 0
        inside = False
        for x in range(w):
            t = transparent(px[x, y])
            if t and px[x, y] != KEY:
                bad_key += 1
            if not t:
                bbox = [min(bbox[0], x), min(bbox[1], y), max(bbox[2], x), max(bbox[3], y)]
                if not inside:
                    row_runs += 1
            inside = not t
        runs += row_runs
        if row_runs:
            opaque_rows.append(y)
        if row_runs > 1:
            split_rows.append(y)
    c.check(bad_key == 0, "%d near-magenta pixels that are not exactly 0xFF00FF" % bad_key)
    want = [at(24, percent), at(20, percent), at(559, percent) - 1, at(239, percent) - 1]
    c.check(bbox == want, "opaque part of the skin at %d%% spans columns %d..%d and rows %d..%d (found %s)"
            % (percent, want[0], want[2], want[1], want[3], bbox))
    c.check(opaque_rows == list(range(want[1], want[3] + 1)), "every row from top to bottom is opaque somewhere")
    c.check(not split_rows, "each row is one opaque run (split: %s)" % split_rows[:10])
    c.check(0 < runs < 2000, "window shape fits one region batch (%d runs)" % runs)
    def flat(colour, x0, y0, x1, y1):
        return all(px[x, y] == colour for y in range(at(y0, percent), at(y1, percent))
                   for x in range(at(x0, percent), at(x1, percent)))
    for top in FIELD_TOPS:
        c.check(flat(FIELD_COLOUR, 149, top, 345, top + 14),
                "panel field at row %d is flat (0, 14, 76) at %d%%" % (top, percent))
    # status line: text starts at column 110 and runs right of it on row 186
    c.check(flat(STATUS_COLOUR, 100, 185, 354, 201), "status line area is flat (0, 23, 91) at %d%%" % percent)


def check_progress(c, images, percent, step):
    for k in range(51):
        im = images.get(130 + k + step)
        if im is None:
            continue
        px = im.load()
        # the middle of step i, columns 4 + 6i .. 8 + 6i, rows 2..7
        y = (5 * percent) // 100
        lit = [px[((13 + 12 * i) * percent) // 200, y][1] > 120 for i in range(50)]
        c.check(lit == [True] * k + [False] * (50 - k),
                "progress frame %d (bmp%d) lights exactly its first %d steps (lit %d)"
                % (k, 130 + k + step, k, sum(lit)))


def check_masks(c, images, percent, step):
    for name, (_, states) in MASKED.items():
        masks = []
        for img_id, mask_id in states:
            img_id, mask_id = img_id + step, mask_id + step
            img, mask = images.get(img_id), images.get(mask_id)
            if img is None or mask is None:
                continue
            mp, ip = mask.load(), img.load()
            w, h = mask.size
            pure = all(mp[x, y] in ((0, 0, 0), (255, 255, 255)) for y in range(h) for x in range(w))
            c.check(pure, "mask %d of %s is pure black and white" % (mask_id, name))
            clean = all(ip[x, y] == (0, 0, 0) for y in range(h) for x in range(w)
                        if mp[x, y] == (255, 255, 255))
            c.check(clean, "image %d of %s is black where its mask lets the skin through"
                    % (img_id, name))
            covered = sum(1 for y in range(h) for x in range(w) if mp[x, y] == (0, 0, 0))
            c.check(0 < covered < w * h, "mask %d of %s covers part of its area" % (mask_id, name))
            c.check(mask.getpixel((0, 0)) == (255, 255, 255),
                    "mask %d of %s leaves its corner to the skin" % (mask_id, name))
            masks.append(mask.tobytes())
        c.check(len(set(masks)) <= 1, "the looks of %s share one silhouette" % name)
    # Help (446..476) and MINIMIZE (475..504) share columns 475 and 476,
    # MINIMIZE and EXIT column 504: neither may cover them.
    def clear(name, shared):
        (left, _, _), states = MASKED[name]
        m = images.get(states[0][1] + step)
        x0 = at(left, percent)
        cols = range(at(shared[0], percent) - x0, at(shared[1] + 1, percent) - x0)
        return m is not None and all(m.getpixel((x, y)) == (255, 255, 255)
                                     for x in cols for y in range(m.size[1]))
    c.check(clear("help", (475, 476)) and clear("minimize", (475, 476)),
            "Help and MINIMIZE do not overlap at %d%%" % percent)
    c.check(clear("minimize", (504, 504)) and clear("exit", (504, 504)),
            "MINIMIZE and EXIT do not overlap at %d%%" % percent)


def check_skin_matches(c, images, percent, step):
    skin = images.get(129 + step)
    if skin is None:
        return
    for rid, (x, y) in ((204, (49, 34)), (213, (61, 207)), (213, (250, 207))):
        im = images.get(rid + step)
        x, y = at(x, percent), at(y, percent)
        if im is not None:
            area = skin.crop((x, y, x + im.size[0], y + im.size[1]))
            c.check(area.tobytes() == im.tobytes(),
                    "skin shows bitmap %d at (%d, %d)" % (rid, x, y))


def check_icon(c, out_dir):
    path = os.path.join(out_dir, "kestrom.ico")
    if not c.check(os.path.isfile(path), "kestrom.ico exists"):
        return
    data = open(path, "rb").read()
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    c.check(reserved == 0 and kind == 1, "kestrom.ico is an icon file")
    sizes = []
    for i in range(count):
        w, h, _, _, _, bpp, size, off = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        sizes.append(w or 256)
        c.check(struct.unpack_from("<I", data, off)[0] == 40,
                "icon image %d is a DIB, which every loader reads" % (w or 256))
    c.check(sorted(sizes) == [16, 32, 48], "icon sizes 16, 32, 48 (found %s)" % sorted(sizes))


def run(out_dir):
    c = Checker()
    expected = {}
    for percent, step in SETS:
        expected.update(expected_set(percent, step))
    check_rc(c, out_dir, expected)
    images = check_files(c, out_dir, expected)
    for percent, step in SETS:
        if 129 + step in images:
            check_skin(c, images[129 + step], percent)
        check_progress(c, images, percent, step)
        check_masks(c, images, percent, step)
        check_skin_matches(c, images, percent, step)
    check_icon(c, out_dir)
    print("artwork: %d passed, %d failed" % (c.passed, c.failed))
    return 0 if c.failed == 0 else 1


def main(argv):
    if len(argv) > 2:
        sys.stderr.write("usage: check_artwork.py [OUT_DIR]\n")
        return 2
    if len(argv) == 2:
        return run(argv[1])
    with tempfile.TemporaryDirectory(prefix="kestrom_artwork_") as tmp:
        subprocess.check_call([sys.executable, os.path.join(HERE, "make_artwork.py"), tmp])
        return run(tmp)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
