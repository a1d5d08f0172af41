#!/usr/bin/env python3
"""Checks screenshots written by the window robot with an independent decoder.

usage: check_png.py FILE.png [--size WxH] [--pixel X,Y,R,G,B ...]

Every chunk's CRC, the chunk order, the header (8-bit RGB, no interlace), the
zlib stream (its Adler-32 included) and the length of the decoded rows are
checked; --size and --pixel compare the picture itself. Exit status 0 when
the file passes, 1 with a reason otherwise.
"""
import argparse
import struct
import sys
import zlib

SIGNATURE = b"\x89PNG\r\n\x1a\n"


def fail(path, reason):
    print(f"{path}: {reason}")
    sys.exit(1)


def read_chunks(path, data):
    if not data.startswith(SIGNATURE):
        fail(path, "no PNG signature")
    at = len(SIGNATURE)
    chunks = []
    while at < len(data):
        if at + 12 > len(data):
            fail(path, f"truncated chunk at {at}")
        (length,) = struct.unpack(">I", data[at:at + 4])
        kind = data[at + 4:at + 8]
        body = data[at + 8:at + 8 + length]
        if len(body) != length or at + 12 + length > len(data):
            fail(path, f"chunk {kind!r} runs past the end")
        (crc,) = struct.unpack(">I", data[at + 8 + length:at + 12 + length])
        if zlib.crc32(kind + body) != crc:
            fail(path, f"bad CRC in chunk {kind!r}")
        chunks.append((kind, body))
        at += 12 + length
    return chunks


def unfilter(path, raw, width, height):
    stride = width * 3
    rows = []
    previous = bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind = raw[start]
        line = bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            left = line[i - 3] if i >= 3 else 0
            up = previous[i]
            up_left = previous[i - 3] if i >= 3 else 0
            if kind == 0:
                add = 0
            elif kind == 1:
                add = left
            elif kind == 2:
                add = up
            elif kind == 3:
                add = (left + up) // 2
            elif kind == 4:
                p = left + up - up_left
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - up_left)
                add = left if pa <= pb and pa <= pc else (up if pb <= pc else up_left)
            else:
                fail(path, f"row {y} has unknown filter {kind}")
            line[i] = (line[i] + add) & 0xFF
        rows.append(line)
        previous = line
    return rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("file")
    parser.add_argument("--size")
    parser.add_argument("--pixel", action="append", default=[])
    args = parser.parse_args()
    path = args.file
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as error:
        fail(path, str(error))

    chunks = read_chunks(path, data)
    kinds = [kind for kind, _ in chunks]
    if not kinds or kinds[0] != b"IHDR" or kinds[-1] != b"IEND" or chunks[-1][1]:
        fail(path, f"chunk order {kinds}")
    if b"IDAT" not in kinds:
        fail(path, "no image data")
    first = kinds.index(b"IDAT")
    last = len(kinds) - 1 - kinds[::-1].index(b"IDAT")
    if any(kind != b"IDAT" for kind in kinds[first:last + 1]):
        fail(path, "image data chunks are not consecutive")
    header = chunks[0][1]
    if len(header) != 13:
        fail(path, "header is not 13 bytes")
    width, height, depth, colour, compression, filtering, interlace = struct.unpack(">IIBBBBB", header)
    if width == 0 or height == 0 or (depth, colour, compression, filtering, interlace) != (8, 2, 0, 0, 0):
        fail(path, f"unexpected header {width}x{height} depth {depth} colour {colour} "
                   f"compression {compression} filter {filtering} interlace {interlace}")
    try:
        raw = zlib.decompress(b"".join(body for kind, body in chunks if kind == b"IDAT"))
    except zlib.error as error:
        fail(path, f"image data does not inflate: {error}")
    if len(raw) != height * (1 + width * 3):
        fail(path, f"{len(raw)} bytes of rows for {width}x{height}")
    rows = unfilter(path, raw, width, height)

    if args.size and args.size != f"{width}x{height}":
        fail(path, f"size {width}x{height}, expected {args.size}")
    for wanted in args.pixel:
        x, y, r, g, b = (int(part) for part in wanted.split(","))
        if not (0 <= x < width and 0 <= y < height):
            fail(path, f"pixel {x},{y} outside the picture")
        found = tuple(rows[y][x * 3:x * 3 + 3])
        if found != (r, g, b):
            fail(path, f"pixel {x},{y} is {found}, expected {(r, g, b)}")
    print(f"{path}: valid PNG {width}x{height}")


if __name__ == "__main__":
    main()
