#!/usr/bin/env python3
"""Checks the test FTP servers of selftest.servers with the standard FTP client.

Runs under the ftp_selftest_servers fixture: FTP_STATEDIR names the fixture's
state folder, whose servers.env gives each server's address, root and log.
Every session follows the engine's dialogue: log in, change into "//BIOS",
fetch bios.ini, then the image.
"""

import ftplib
import os
import re
import sys
import unittest

sys.dont_write_bytecode = True  # nothing lands in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ftp_content  # noqa: E402

PART = ftp_content.DEFAULT_PART
IMAGE_SIZE = 1 << 20
NOT_LISTENING = "127.0.0.9"


def load_env():
    state = os.environ.get("FTP_STATEDIR")
    if not state:
        raise SystemExit("FTP_STATEDIR is not set; run under the ftp_selftest_servers fixture")
    env = {}
    with open(os.path.join(state, "servers.env")) as f:
        for line in f:
            key, _, value = line.rstrip("\n").partition("=")
            env[key] = value.strip('"')
    return env


ENV = load_env()


def server(name):
    key = name.upper()
    return {k: ENV[key + "_" + k] for k in ("KIND", "ADDR", "PORT", "ROOT", "LOG")}


def image_name(n):
    return "%s.%d" % (PART.lower(), n)


class Session:
    """One engine-like dialogue; remembers the step it failed at."""

    def __init__(self, addr, mode, user="", password="", timeout=10):
        self.addr, self.mode, self.user, self.password, self.timeout = addr, mode, user, password, timeout
        self.step = None
        self.error = None
        self.received = {}

    def run(self, image):
        ftp = ftplib.FTP()
        try:
            self.step = "connect"
            ftp.connect(self.addr, 21, timeout=self.timeout)
            self.step = "login"
            if self.user:
                ftp.login(self.user, self.password)
            else:
                ftp.login()
            ftp.set_pasv(self.mode == "passive")
            self.step = "cwd"
            ftp.cwd("//BIOS")
            for self.step, name in (("catalogue", "bios.ini"), ("image", image)):
                data = self.received[name] = bytearray()
                ftp.retrbinary("RETR " + name, data.extend)
            self.step = None
            ftp.quit()
        except (OSError, EOFError, ftplib.Error) as e:
            self.error = e
        finally:
            ftp.close()
        return self


def error_code(e):
    m = re.match(r"\d{3}", str(e)) if isinstance(e, ftplib.Error) else None
    return m.group(0) if m else type(e).__name__


def session_commands(srv):
    """Commands of the last session in a server's log."""
    with open(srv["LOG"], encoding="utf-8", errors="replace") as f:
        lines = f.read().splitlines()
    if srv["KIND"] == "vsftpd":
        cmds = [m.group(1) for m in (re.search(r'FTP command: Client "[^"]*", "(.*)"$', ln) for ln in lines) if m]
    else:
        sessions = {}
        for ln in lines:
            n, _, text = ln.partition(" ")
            sessions.setdefault(n, []).append(text)
        cmds = list(sessions.values())[-1] if sessions else []
    starts = [i for i, c in enumerate(cmds) if c.startswith("USER ")]
    return cmds[starts[-1]:] if starts else cmds


class FtpServers(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.catalogue = {}
        cls.images = {}
        for name in ENV["FTP_SERVERS"].split():
            root = os.path.join(server(name)["ROOT"], "BIOS")
            path = os.path.join(root, "bios.ini")
            ftp_content.make_catalogue(path, ["TEST BOARD BIOS F2", "TEST BOARD BIOS F3"])
            with open(path, "rb") as f:
                cls.catalogue[name] = f.read()
            if name in ("main", "vsftpd", "transfer"):
                for n in range(6):
                    cls.images[name, n] = ftp_content.make_image(
                        os.path.join(root, image_name(n)), IMAGE_SIZE, seed=n + 1)

    def test_main_path(self):
        cases = [
            ("main", "active", "", ""),
            ("main", "passive", "", ""),
            ("main", "active", "vossel", "s3cret"),
            ("vsftpd", "active", "", ""),
            ("vsftpd", "passive", "", ""),
        ]
        for name, mode, user, password in cases:
            with self.subTest(server=name, mode=mode, user=user or "anonymous"):
                srv = server(name)
                s = Session(srv["ADDR"], mode, user, password).run(image_name(0))
                self.assertIsNone(s.error, "failed at %s: %r" % (s.step, s.error))
                self.assertEqual(bytes(s.received["bios.ini"]), self.catalogue[name])
                image = bytes(s.received[image_name(0)])
                self.assertEqual(len(image), IMAGE_SIZE)
                self.assertTrue(image == self.images[name, 0], "image differs")
                cmds = session_commands(srv)
                self.assertEqual(cmds[0], "USER " + (user or "anonymous"))
                self.assertIn("CWD //BIOS", cmds)
                data_cmds = [c.split(" ")[0] for c in cmds if c.split(" ")[0] in ("PORT", "PASV", "EPRT", "EPSV")]
                self.assertEqual(data_cmds, ["PORT", "PORT"] if mode == "active" else ["PASV", "PASV"])
                self.assertEqual([c for c in cmds if c.startswith("RETR ")],
                                 ["RETR bios.ini", "RETR " + image_name(0)])

    def test_faults_as_the_client_sees_them(self):
        t = server("transfer")["ADDR"]
        # label, address, user, password, image, failing step, error, bytes of
        # the failing transfer
        cases = [
            ("nothing listening", NOT_LISTENING, "", "", 0, "connect", "ConnectionRefusedError", None),
            ("connection closed at once", server("refuse")["ADDR"], "", "", 0, "connect", "EOFError", None),
            ("login refused", server("nologin")["ADDR"], "", "", 0, "login", "530", None),
            ("wrong password", server("main")["ADDR"], "vossel", "wrong", 0, "login", "530", None),
            ("no directory", server("nodir")["ADDR"], "", "", 0, "cwd", "550", None),
            ("no catalogue", server("nocat")["ADDR"], "", "", 0, "catalogue", "550", 0),
            ("no image", t, "", "", 0, "image", "550", 0),
            ("connection dropped", t, "", "", 1, "image", "ConnectionResetError", 100000),
            ("data cut with 426", t, "", "", 2, "image", "426", 65536),
            ("stalled transfer", t, "", "", 3, "image", "TimeoutError", 70000),
        ]
        for label, addr, user, password, n, step, error, count in cases:
            for mode in ("active", "passive"):
                with self.subTest(label, mode=mode):
                    s = Session(addr, mode, user, password, timeout=2 if step == "image" else 10)
                    s.run(image_name(n))
                    self.assertEqual((s.step, error_code(s.error)), (step, error), repr(s.error))
                    if count is not None:
                        name = "bios.ini" if step == "catalogue" else image_name(n)
                        got = bytes(s.received[name])
                        self.assertEqual(len(got), count)
                        self.assertTrue(got == self.images.get(("transfer", n), b"")[:count], "prefix differs")

    def test_oversize_transfer(self):
        for mode in ("active", "passive"):
            with self.subTest(mode=mode):
                s = Session(server("transfer")["ADDR"], mode).run(image_name(4))
                self.assertIsNone(s.error, repr(s.error))
                got = bytes(s.received[image_name(4)])
                self.assertEqual(len(got) - IMAGE_SIZE, 17)
                self.assertTrue(got[:IMAGE_SIZE] == self.images["transfer", 4], "file part differs")
                self.assertEqual(got[IMAGE_SIZE:], b"\x5a" * 17)

    def test_endless_transfer(self):
        # The file, then 5A bytes without end: a client that stops reading
        # after three times the file's length has the file and filler only.
        srv = server("transfer")
        for mode in ("active", "passive"):
            with self.subTest(mode=mode):
                ftp = ftplib.FTP()
                ftp.connect(srv["ADDR"], int(srv["PORT"]), timeout=10)
                ftp.login()
                ftp.cwd("//BIOS")
                ftp.set_pasv(mode == "passive")
                data = ftp.transfercmd("RETR " + image_name(5))
                got = bytearray()
                while len(got) < 3 * IMAGE_SIZE:
                    chunk = data.recv(65536)
                    self.assertTrue(chunk, "the data stream ended after %d bytes" % len(got))
                    got += chunk
                data.close()
                ftp.close()
                self.assertTrue(bytes(got[:IMAGE_SIZE]) == self.images["transfer", 5], "file part differs")
                self.assertEqual(set(got[IMAGE_SIZE:]), {0x5A})

    def test_hostile_catalogues_arrive_as_written(self):
        def board_section(data):
            keys, current = {}, None
            for line in data.split(b"\r\n"):
                if line.startswith(b"["):
                    current = line.strip(b"[]")
                elif current == PART.encode() and b"=" in line:
                    k, _, v = line.partition(b"=")
                    keys.setdefault(k, v)
            return keys

        checks = {
            "long": lambda k, e: (max(map(len, k.values())) >= 1000 and len(k[b"1"]) == 254
                                  and len(k[b"2"]) == 255 and [len(x) for x in e["entries"]] == [254] * 3),
            "missing": lambda k, e: b"NAME" not in k and b"FLAG" not in k and len(e["entries"]) == 2
            and e["name"] is None,
            "gaps": lambda k, e: b"2" not in k and b"3" in k and len(e["entries"]) == 2,
            "many": lambda k, e: all(str(n).encode() in k for n in range(1000)) and b"1000" not in k
            and len(e["entries"]) == 1000,
            "nonascii": lambda k, e: max(k[b"NAME"]) >= 0x80 and all(max(x) >= 0x80 for x in e["entries"]),
        }
        srv = server("main")
        for kind in ftp_content.HOSTILE_KINDS:
            with self.subTest(kind):
                name = "hostile-%s.ini" % kind
                path = os.path.join(srv["ROOT"], "BIOS", name)
                expected = ftp_content.make_hostile_catalogue(kind, path)
                ftp = ftplib.FTP()
                ftp.connect(srv["ADDR"], 21, timeout=10)
                ftp.login()
                ftp.cwd("//BIOS")
                got = bytearray()
                ftp.retrbinary("RETR " + name, got.extend)
                ftp.quit()
                with open(path, "rb") as f:
                    self.assertEqual(bytes(got), f.read())
                self.assertTrue(checks[kind](board_section(bytes(got)), expected), kind)


if __name__ == "__main__":
    unittest.main(verbosity=2)
