#!/usr/bin/env python3
"""Content for the test FTP servers: model catalogues and BIOS images.

A catalogue (bios.ini) holds one section per board part number with the keys
NAME, FLAG, the entry list "0", "1", ... (or "NEW0", "NEW1", ... with FLAG=1),
and per entry n FCn, WARNn, WMSGnm, WMSGnTITLE, INFOnm, INFOnTITLE and
BIOSVern. The engine reads it one value at a time into 255-byte buffers (so a
value keeps at most 254 characters) and ends each numbered list at the first
absent key. The hostile kinds below aim at exactly those rules:

  long      values longer than 254 characters, one of exactly 254 and one of
            255, warning and note texts far beyond the 1024-byte message buffer
  missing   no NAME, no FLAG, entries without FC/WARN/WMSG/INFO/BIOSVer keys,
            a warning that applies but has no lines, a note title without lines
  gaps      entries 0, 1, 3, 4 (the list ends after 1), warning lines 00 and 02,
            note lines 00, 01 and 03
  many      1000 entries, each with an FC, a BIOSVer and one note line
  nonascii  bytes 0x80..0xFF in the model name, the entries, the titles and
            the texts, in both Windows-1252 and UTF-8 spellings

make_hostile_catalogue() writes one of them and returns what the engine is
expected to read from it: {"name": text or None, "entries": [texts]}, values as
bytes cut to 254 characters.

Command line:
  ftp_content.py hostile KIND PATH [--part PN]
  ftp_content.py catalogue PATH [--part PN] [--name NAME] [--flag 1] ENTRY...
  ftp_content.py image PATH SIZE [--seed N] [--zero-sum]
"""

import argparse
import os
import random
import sys

DEFAULT_PART = "6A69VN01"  # the simulated driver's default BiosPartNumber
VALUE_MAX = 254
HOSTILE_KINDS = ("long", "missing", "gaps", "many", "nonascii")


def _b(v):
    return v if isinstance(v, bytes) else str(v).encode("latin-1")


def write_ini(path, sections):
    """sections: list of (section name, list of (key, value)); bytes or str.
    Written with CRLF line ends as a Windows tool would."""
    out = bytearray()
    for name, keys in sections:
        out += b"[" + _b(name) + b"]\r\n"
        for k, v in keys:
            out += _b(k) + b"=" + _b(v) + b"\r\n"
        out += b"\r\n"
    d = os.path.dirname(path)
    if d:
        os.makedirs(d, exist_ok=True)
    with open(path, "wb") as f:
        f.write(bytes(out))
    return bytes(out)


def _expected(keys, listkey="%d"):
    """What the engine lists: NAME and the entries up to the first absent one."""
    d = {_b(k): _b(v) for k, v in keys}
    name = d.get(b"NAME")
    entries = []
    while True:
        v = d.get(_b(listkey % len(entries)))
        if not v:
            break
        entries.append(v[:VALUE_MAX])
    return {"name": name[:VALUE_MAX] if name else None, "entries": entries}


def make_catalogue(path, entries, part=DEFAULT_PART, name="TEST BOARD", flag=None, extra=()):
    """An ordinary catalogue: entries are the display texts in list order."""
    listkey = "NEW%d" if flag == 1 else "%d"
    keys = [("NAME", name)] if name is not None else []
    if flag is not None:
        keys.append(("FLAG", flag))
    keys += [(listkey % i, e) for i, e in enumerate(entries)]
    keys += list(extra)
    write_ini(path, [(part, keys)])
    return _expected(keys, listkey)


def _hostile_keys(kind):
    if kind == "long":
        keys = [("NAME", "N" * 300),
                ("0", "L" * 600 + " F9"),
                ("1", "A" * 251 + " F1"),        # exactly 254
                ("2", "B" * 252 + " F2"),        # 255: one too many
                ("FC0", "1" + "0" * 300),
                ("WARN0", "9" * 400),
                ("WMSG0TITLE", "T" * 400),
                ("BIOSVer0", "V" * 1000)]
        # Twenty lines of 100 characters: far beyond the 1024-byte buffer.
        keys += [("WMSG0%d" % m, chr(ord("a") + m) * 100) for m in range(20)]
        keys += [("INFO0%d" % m, chr(ord("A") + m) * 254) for m in range(8)]
        keys += [("INFO0TITLE", "I" * 255)]
        return keys
    if kind == "missing":
        return [("0", "NO KEYS AT ALL F1"),
                ("1", "WARNING WITHOUT LINES F2"),
                ("WARN1", "9.00"),
                ("WMSG1TITLE", "A title without lines"),
                ("INFO0TITLE", "A note title without lines"),
                ("FC", "1"), ("WARN", "9"), ("NAME0", "not a key the engine reads")]
    if kind == "gaps":
        return [("NAME", "GAPS BOARD"),
                ("0", "ENTRY ZERO F1"), ("1", "ENTRY ONE F2"),
                ("3", "ENTRY THREE F4"), ("4", "ENTRY FOUR F5"),
                ("NEW0", "NOT LISTED WITHOUT FLAG F9"),
                ("WARN0", "9.00"), ("WMSG00", "line zero"), ("WMSG02", "line two"),
                ("INFO000", "belongs to entry 0 line 0 or entry 00"),
                ("INFO00", "note zero"), ("INFO01", "note one"), ("INFO03", "note three")]
    if kind == "many":
        keys = [("NAME", "MANY ENTRIES")]
        for n in range(1000):
            keys += [("%d" % n, "MODEL %04d BIOS F%d" % (n, n)),
                     ("FC%d" % n, n % 3), ("BIOSVer%d" % n, "F%d" % n),
                     ("INFO%d0" % n, "note of entry %d" % n)]
        return keys
    if kind == "nonascii":
        return [("NAME", b"Mod\xe8le \xfc\xff\x80 \xc3\xa9"),
                ("0", b"B\xe4rboard \x81\x8d\x8f\x90\x9d F7"),
                ("1", "Carte m\u00e8re F8".encode("utf-8")),
                ("2", b"\xff\xfe\xfd\xa0 F9"),
                ("FC0", b"1\xb9"),
                ("WARN1", b"9\xb2.00"),
                ("WMSG1TITLE", b"\xc0\xc1\xc2 Titel \xe4\xf6\xfc"),
                ("WMSG10", b"Zeile \xe9\xe8\xea"),
                ("WMSG11", "\u00dcberschrift \u20ac".encode("utf-8")),
                ("INFO0TITLE", b"\xa9\xae"),
                ("INFO00", b"\xb0\xb1\xb2\xb3")]
    raise ValueError("unknown hostile catalogue kind %r (one of %s)" % (kind, ", ".join(HOSTILE_KINDS)))


def make_hostile_catalogue(kind, path, part=DEFAULT_PART):
    """Writes the hostile catalogue KIND to path, in the section of part, and
    returns what the engine should list (see the module text)."""
    keys = _hostile_keys(kind)
    # A section of another board first: the engine must not take anything
    # from it.
    other = [("NAME", "OTHER BOARD"), ("0", "OTHER F99"), ("FLAG", "1"), ("NEW0", "OTHER NEW F98")]
    write_ini(path, [("OTHERPN1", other), (part, keys)])
    return _expected(keys)


def make_image(path, size, seed=1, zero_sum=False):
    """size pseudo-random bytes from seed; with zero_sum the last byte makes
    the 8-bit sum of the file 0. Returns the bytes."""
    data = bytearray(random.Random(seed).randbytes(size))
    if zero_sum and size:
        data[-1] = (-sum(data[:-1])) & 0xFF
    d = os.path.dirname(path)
    if d:
        os.makedirs(d, exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    return bytes(data)


def main(argv):
    p = argparse.ArgumentParser(description="Writes catalogues and images for the test FTP servers.")
    sub = p.add_subparsers(dest="what", required=True)
    h = sub.add_parser("hostile")
    h.add_argument("kind", choices=HOSTILE_KINDS)
    h.add_argument("path")
    h.add_argument("--part", default=DEFAULT_PART)
    c = sub.add_parser("catalogue")
    c.add_argument("path")
    c.add_argument("entries", nargs="+")
    c.add_argument("--part", default=DEFAULT_PART)
    c.add_argument("--name", default="TEST BOARD")
    c.add_argument("--flag", type=int)
    i = sub.add_parser("image")
    i.add_argument("path")
    i.add_argument("size", type=lambda v: int(v, 0))
    i.add_argument("--seed", type=int, default=1)
    i.add_argument("--zero-sum", action="store_true")
    a = p.parse_args(argv)
    if a.what == "hostile":
        make_hostile_catalogue(a.kind, a.path, a.part)
    elif a.what == "catalogue":
        make_catalogue(a.path, a.entries, a.part, a.name, a.flag)
    else:
        make_image(a.path, a.size, a.seed, a.zero_sum)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
