#!/usr/bin/env python3
"""A test FTP server that serves a folder tree and misbehaves on request.

The engine talks to its update servers through WinInet: it logs in (an empty
user name becomes "anonymous"), changes into the site's directory, fetches
bios.ini and reads one image, with active (PORT) data connections. This server
answers that dialogue like an ordinary server and can be told to fail at each
step, so that tests see what the engine does with each failure:

  --refuse-connection     accept and close at once, without a greeting
  --refuse-login          answer every login with 530
  --hide PATH             PATH (relative to the root) looks absent: 550 on
                          CWD, RETR, SIZE, LIST ... (a missing directory,
                          catalogue or image)
  --drop-after FILE=N[:close]
                          send the first N bytes of FILE, then reset the data
                          and the control connection (WinInet's read fails);
                          with ":close" end the data stream normally and reply
                          426 instead (WinInet just sees a short file)
  --stall-after FILE=N    send the first N bytes of FILE, then send nothing
                          more and keep both connections open until the client
                          goes away or --stall-limit seconds (default 60) have
                          passed; then reset both connections
  --extra FILE=N[:HH]     send N bytes (value 0xHH, default 5A) after FILE's
                          own data
  --endless FILE          send FILE's own data, then bytes of value 5A without
                          end, as fast as the client takes them, until it
                          closes the data connection

FILE is a file name (matched against the last part of the path) or a path
relative to the root when it contains a "/". The same settings can come from a
JSON file (--config), see load_config().

Once listening it prints "READY <address>:<port>" on stdout. It ends cleanly on
SIGTERM or SIGINT. With --log every connection, every command line received
and every injected fault is written to the log file, one line each, prefixed
with the connection's number.
"""

import argparse
import errno
import fcntl
import json
import logging
import os
import signal
import socket
import struct
import sys
import warnings

warnings.filterwarnings("ignore", category=DeprecationWarning)

try:
    from pyftpdlib.authorizers import AuthenticationFailed, DummyAuthorizer
    from pyftpdlib.filesystems import AbstractedFS
    from pyftpdlib.handlers import DTPHandler, FTPHandler, ThrottledDTPHandler
    from pyftpdlib.servers import FTPServer
except ImportError:  # pragma: no cover - reported to whoever started us
    sys.stderr.write("ftp_server.py: pyftpdlib is missing (Debian package python3-pyftpdlib)\n")
    sys.exit(3)


class Rule:
    """One transfer fault for one file."""

    def __init__(self, kind, count, close=False, fill=0x5A):
        self.kind = kind  # "drop", "stall", "extra" or "endless"
        self.count = count
        self.close = close
        self.fill = fill


def parse_rule(kind, text):
    """Parses FILE=N[:opt] into (FILE, Rule)."""
    name, sep, rest = text.partition("=")
    if not sep or not name:
        raise ValueError("%s wants FILE=N, got %r" % (kind, text))
    count, _, opt = rest.partition(":")
    rule = Rule(kind, int(count))
    if rule.count < 0:
        raise ValueError("negative byte count in %r" % text)
    if opt:
        if kind == "drop" and opt == "close":
            rule.close = True
        elif kind == "drop" and opt == "reset":
            rule.close = False
        elif kind == "extra":
            rule.fill = int(opt, 16) & 0xFF
        else:
            raise ValueError("unknown option %r in %r" % (opt, text))
    return name, rule


class Settings:
    def __init__(self):
        self.address = "127.0.0.1"
        self.port = 21
        self.root = "."
        self.anonymous = True
        self.users = {}
        self.log = None
        self.refuse_connection = False
        self.refuse_login = False
        self.hide = []
        self.rules = {}  # file name or root-relative path -> Rule
        self.stall_limit = 60.0
        self.rate = 0  # bytes per second a data connection sends at most; 0: no limit


def load_config(path, s):
    """Applies a JSON file of the form
    {"address": "127.0.0.2", "port": 21, "root": "tree", "anonymous": true,
     "users": {"name": "password"}, "log": "commands.log",
     "refuse_connection": false, "refuse_login": false,
     "hide": ["BIOS/bios.ini"], "drop_after": {"6a69vn01.0": "4096:close"},
     "stall_after": {"6a69vn01.1": 4096}, "extra": {"6a69vn01.2": 7},
     "endless": ["BIOS/bios.ini"], "stall_limit": 60}
    Relative paths are taken from the file's own directory."""
    with open(path, encoding="utf-8") as f:
        c = json.load(f)
    base = os.path.dirname(os.path.abspath(path))
    for key in ("address", "port", "anonymous", "refuse_connection", "refuse_login", "stall_limit"):
        if key in c:
            setattr(s, key, c[key])
    for key in ("root", "log"):
        if key in c:
            setattr(s, key, os.path.join(base, c[key]))
    s.users.update(c.get("users", {}))
    s.hide.extend(c.get("hide", []))
    for key, kind in (("drop_after", "drop"), ("stall_after", "stall"), ("extra", "extra")):
        for name, value in c.get(key, {}).items():
            n, rule = parse_rule(kind, "%s=%s" % (name, value))
            s.rules[n] = rule
    for name in c.get("endless", []):
        s.rules[name] = Rule("endless", 0)


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--config", help="JSON settings, applied before the other options")
    p.add_argument("--address")
    p.add_argument("--port", type=int)
    p.add_argument("--root", help="folder served as /")
    p.add_argument("--no-anonymous", action="store_true", help="refuse the anonymous login")
    p.add_argument("--user", action="append", default=[], metavar="NAME:PASSWORD")
    p.add_argument("--log", help="file that receives every command line")
    p.add_argument("--refuse-connection", action="store_true")
    p.add_argument("--refuse-login", action="store_true")
    p.add_argument("--hide", action="append", default=[], metavar="PATH")
    p.add_argument("--drop-after", action="append", default=[], metavar="FILE=N[:close]")
    p.add_argument("--stall-after", action="append", default=[], metavar="FILE=N")
    p.add_argument("--extra", action="append", default=[], metavar="FILE=N[:HH]")
    p.add_argument("--endless", action="append", default=[], metavar="FILE")
    p.add_argument("--stall-limit", type=float, metavar="SECONDS")
    p.add_argument("--rate", type=int, metavar="BYTES_PER_SECOND",
                   help="send files no faster than this, so that a client's progress can be watched")
    a = p.parse_args(argv)
    s = Settings()
    if a.config:
        load_config(a.config, s)
    for key in ("address", "port", "root", "log", "stall_limit", "rate"):
        if getattr(a, key) is not None:
            setattr(s, key, getattr(a, key))
    if a.no_anonymous:
        s.anonymous = False
    for u in a.user:
        name, sep, password = u.partition(":")
        if not sep or not name:
            p.error("--user wants NAME:PASSWORD, got %r" % u)
        s.users[name] = password
    s.refuse_connection = s.refuse_connection or a.refuse_connection
    s.refuse_login = s.refuse_login or a.refuse_login
    s.hide.extend(a.hide)
    try:
        for values, kind in ((a.drop_after, "drop"), (a.stall_after, "stall"), (a.extra, "extra")):
            for v in values:
                name, rule = parse_rule(kind, v)
                s.rules[name] = rule
    except ValueError as e:
        p.error(str(e))
    for name in a.endless:
        s.rules[name] = Rule("endless", 0)
    if not os.path.isdir(s.root):
        p.error("root %r is not a folder" % s.root)
    s.root = os.path.realpath(s.root)
    return s


class CommandLog:
    def __init__(self, path):
        self.f = open(path, "a", buffering=1, encoding="utf-8", errors="backslashreplace") if path else None

    def write(self, session, text):
        if self.f:
            self.f.write("%d %s\n" % (session, text))


class HidingFS(AbstractedFS):
    """A file system view in which the configured paths do not exist."""

    hidden = ()  # real paths, set by make_server

    def _hidden(self, path):
        p = os.path.realpath(path)
        return any(p == h or p.startswith(h + os.sep) for h in self.hidden)

    def _absent(self, path):
        if self._hidden(path):
            raise FileNotFoundError(errno.ENOENT, "No such file or directory", path)

    def chdir(self, path):
        self._absent(path)
        return super().chdir(path)

    def open(self, filename, mode):
        self._absent(filename)
        return super().open(filename, mode)

    def listdir(self, path):
        self._absent(path)
        return [n for n in super().listdir(path) if not self._hidden(os.path.join(path, n))]

    def stat(self, path):
        self._absent(path)
        return super().stat(path)

    def lstat(self, path):
        self._absent(path)
        return super().lstat(path)

    def getsize(self, path):
        self._absent(path)
        return super().getsize(path)

    def getmtime(self, path):
        self._absent(path)
        return super().getmtime(path)

    def isfile(self, path):
        return not self._hidden(path) and super().isfile(path)

    def isdir(self, path):
        return not self._hidden(path) and super().isdir(path)

    def islink(self, path):
        return not self._hidden(path) and super().islink(path)

    def lexists(self, path):
        return not self._hidden(path) and super().lexists(path)


class FaultProducer:
    """Reads a file for the data connection and applies one Rule to it."""

    buffer_size = 65536

    def __init__(self, file, rule):
        self.file = file
        self.rule = rule
        self.sent = 0
        self.extra_left = rule.count if rule.kind == "extra" else 0
        self.dtp = None  # the data connection, set when it takes the producer

    def more(self):
        want = self.buffer_size
        if self.rule.kind in ("drop", "stall"):
            want = min(want, self.rule.count - self.sent)
        data = self.file.read(want) if want > 0 else b""
        if data:
            self.sent += len(data)
            return data
        if self.extra_left:
            n = min(self.extra_left, self.buffer_size)
            self.extra_left -= n
            return bytes([self.rule.fill]) * n
        if self.rule.kind == "endless":
            return bytes([self.rule.fill]) * self.buffer_size
        if self.rule.kind in ("drop", "stall") and self.dtp is not None:
            self.dtp.fault = self.rule
        return b""


def outq(sock):
    """Bytes the kernel still holds unacknowledged for this socket."""
    try:
        return struct.unpack("i", fcntl.ioctl(sock.fileno(), 0x5411, b"\0\0\0\0"))[0]
    except OSError:
        return 0


class FaultDTP(DTPHandler):
    """Data connection that ends, stalls or resets as its producer's Rule says."""

    fault = None  # set by FaultProducer once the rule's byte count is sent
    _stalling = False
    _drain_polls = 0

    def push_with_producer(self, producer):
        if isinstance(producer, FaultProducer):
            producer.dtp = self
        super().push_with_producer(producer)

    def handle_close(self):
        if self.fault is None or self._closed:
            return super().handle_close()
        if self.fault.kind == "stall":
            if not self._stalling:
                # Everything up to the limit went out; from now on the
                # connection only waits.
                self._stalling = True
                self.cmd_channel.note("STALL after %d bytes" % self.get_transmitted_bytes())
                self.modify_ioloop_events(self.ioloop.READ)
                self._stall_timer = self.ioloop.call_later(
                    self.cmd_channel.stall_limit, self._abandon, "stall limit reached")
                return
            return self._abandon("client closed the data connection")
        return self._drop()

    def _drop(self):
        if self.fault.close:
            # A clean end of the data stream, then a 426 on the control
            # connection; the session stays usable.
            n = self.get_transmitted_bytes()
            self.cmd_channel.note("CUT after %d bytes" % n)
            self._resp = ("426 Connection closed; transfer aborted after %d bytes." % n, logging.info)
            self.transfer_finished = False
            return self.close()
        # The data must reach the client before the reset, or the kernel would
        # throw away what it still holds: wait (bounded) until it is acked.
        if outq(self.socket) > 0 and self._drain_polls < 500:
            self._drain_polls += 1
            self.modify_ioloop_events(0)
            self.ioloop.call_later(0.01, self._drop)
            return
        self.cmd_channel.note("DROP after %d bytes" % self.get_transmitted_bytes())
        self._reset_both()

    def _reset_both(self):
        """Ends the data and the control connection with a reset, as a lost
        connection looks to the client."""
        ctrl = self.cmd_channel
        for sock in (self.socket, ctrl.socket):
            try:
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            except (OSError, AttributeError):
                pass
        self._resp = ()
        self.transfer_finished = False
        self.close()
        ctrl.close()

    def _abandon(self, why):
        if self._closed:
            return
        self.cmd_channel.note("GIVE UP stalled transfer: %s" % why)
        if self._stall_timer is not None and not self._stall_timer.cancelled:
            self._stall_timer.cancel()
        self._reset_both()

    _stall_timer = None

    def readable(self):
        return True if self._stalling else super().readable()

    def writable(self):
        return False if self._stalling else super().writable()

    def handle_read(self):
        if not self._stalling:
            return super().handle_read()
        try:
            data = self.socket.recv(4096)
        except BlockingIOError:
            return
        except OSError:
            data = b""
        if not data:
            self._abandon("client closed the data connection")

    handle_read_event = handle_read

    def handle_timeout(self):
        # The server's own idle timeout must not end a stall early.
        if not self._stalling:
            super().handle_timeout()


class RefusingAuthorizer(DummyAuthorizer):
    def validate_authentication(self, username, password, handler):
        raise AuthenticationFailed("Login refused.")


class TestHandler(FTPHandler):
    dtp_handler = FaultDTP
    abstracted_fs = HidingFS
    use_sendfile = False  # every transfer goes through the producers
    auth_failed_timeout = 0
    banner = "Vossel test FTP server ready."
    permit_foreign_addresses = False
    timeout = 120
    # Set by make_server.
    settings = None
    commands = None
    sessions = 0
    stall_limit = 60.0

    def note(self, text):
        self.commands.write(self.session, text)

    def handle(self):
        TestHandler.sessions += 1
        self.session = TestHandler.sessions
        self.note("CONNECT %s:%s" % (self.remote_ip, self.remote_port))
        if self.settings.refuse_connection:
            self.note("REFUSE connection")
            self.close()
            return
        super().handle()

    def on_disconnect(self):
        self.note("DISCONNECT")

    def pre_process_command(self, line, cmd, arg):
        self.note(line)
        return super().pre_process_command(line, cmd, arg)

    def _rule_for(self, path):
        rel = os.path.relpath(os.path.realpath(path), self.settings.root).replace(os.sep, "/")
        rules = self.settings.rules
        return rules.get(rel) or rules.get(os.path.basename(path))

    def ftp_RETR(self, file):
        rule = self._rule_for(file)
        if rule is None or self._restart_position:
            return super().ftp_RETR(file)
        try:
            fd = self.run_as_current_user(self.fs.open, file, "rb")
        except OSError as err:
            self.respond("550 %s." % (err.strerror or "No such file or directory"))
            return None
        self.note("FAULT %s %d on %s" % (rule.kind, rule.count, os.path.basename(file)))
        self.push_dtp_data(FaultProducer(fd, rule), isproducer=True, file=fd, cmd="RETR")
        return file


def make_server(s):
    if s.refuse_login:
        authorizer = RefusingAuthorizer()
    else:
        authorizer = DummyAuthorizer()
    if s.anonymous:
        authorizer.add_anonymous(s.root)
    for name, password in s.users.items():
        authorizer.add_user(name, password, s.root, perm="elr")

    handler = type("ConfiguredHandler", (TestHandler,), {})
    handler.authorizer = authorizer
    handler.settings = s
    handler.commands = CommandLog(s.log)
    handler.stall_limit = float(s.stall_limit)
    if s.rate:
        handler.dtp_handler = type("PacedDTP", (FaultDTP, ThrottledDTPHandler),
                                   {"write_limit": int(s.rate), "read_limit": 0})
    handler.abstracted_fs = type("ConfiguredFS", (HidingFS,), {
        "hidden": tuple(os.path.realpath(os.path.join(s.root, h.strip("/"))) for h in s.hide)})
    return FTPServer((s.address, s.port), handler)


def main(argv):
    s = parse_args(argv)
    logging.basicConfig(stream=sys.stderr, level=logging.INFO,
                        format="[%(asctime)s] %(message)s")
    try:
        server = make_server(s)
    except OSError as e:
        sys.stderr.write("ftp_server.py: cannot listen on %s:%d: %s\n" % (s.address, s.port, e))
        return 2
    # SIGTERM becomes SystemExit, which serve_forever turns into a clean
    # shutdown of every connection.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    host, port = server.socket.getsockname()[:2]
    sys.stdout.write("READY %s:%d\n" % (host, port))
    sys.stdout.flush()
    server.serve_forever(timeout=0.5)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
