#!/usr/bin/env python3
"""Checks screenshots written by the window robot with an independent decoder.

usage: check_png.py FILE.png [--size WxH] [--pixel X,Y,R,G,B ...]

Pillow reads the file: the whole file must verify (chunk CRCs and order) and
decode (the image data inflates to complete rows), as 8-bit RGB without
interlacing; --size and --pixel compare the picture itself. Exit status 0
when the file passes, 1 with a reason otherwise.
"""
import argparse
import sys

from PIL import Image


def fail(path, reason):
    print(f"{path}: {reason}")
    sys.exit(1)


def open_png(path):
    """The decoded picture, after Pillow has verified the file as a whole."""
    try:
        with Image.open(path) as image:
            image.verify()
        image = Image.open(path)
        image.load()
    except (OSError, SyntaxError, ValueError) as error:
        fail(path, f"not a valid PNG: {error}")
    if image.format != "PNG":
        fail(path, f"a {image.format} file, not a PNG")
    if image.mode != "RGB" or image.info.get("interlace"):
        fail(path, f"mode {image.mode} interlace {image.info.get('interlace', 0)}, expected 8-bit RGB, no interlace")
    return image


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("file")
    parser.add_argument("--size")
    parser.add_argument("--pixel", action="append", default=[])
    args = parser.parse_args()
    path = args.file
    image = open_png(path)
    width, height = image.size
    if args.size and args.size != f"{width}x{height}":
        fail(path, f"size {width}x{height}, expected {args.size}")
    for wanted in args.pixel:
        x, y, r, g, b = (int(part) for part in wanted.split(","))
        if not (0 <= x < width and 0 <= y < height):
            fail(path, f"pixel {x},{y} outside the picture")
        found = image.getpixel((x, y))
        if found != (r, g, b):
            fail(path, f"pixel {x},{y} is {found}, expected {(r, g, b)}")
    print(f"{path}: valid PNG {width}x{height}")


if __name__ == "__main__":
    main()
