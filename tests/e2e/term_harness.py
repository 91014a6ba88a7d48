"""Helpers for end-to-end runs: a private ngircd on 127.0.0.1, velmora-term clients
with their own settings files, and a plain IRC client on a raw socket.

Every process started here is stopped by its own PID; every wait has a deadline."""

import os
import re
import socket
import subprocess
import tempfile
import threading
import time

DEFAULT_WAIT = 10.0


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Lines:
    """Lines read by a background thread, with waits on what arrives."""

    def __init__(self):
        self.lines = []
        self.closed = False
        self.cond = threading.Condition()

    def feed(self, stream, decode):
        for raw in iter(stream.readline, b""):
            with self.cond:
                self.lines.append((time.monotonic(), decode(raw)))
                self.cond.notify_all()
        with self.cond:
            self.closed = True
            self.cond.notify_all()

    def wait_for(self, pattern, timeout=DEFAULT_WAIT, start=0):
        """Index and text of the first line from `start` on matching `pattern`."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + timeout
        with self.cond:
            while True:
                for i in range(start, len(self.lines)):
                    if regex.search(self.lines[i][1]):
                        return i, self.lines[i][1]
                left = deadline - time.monotonic()
                if left <= 0 or self.closed:
                    raise AssertionError("no line matching %r; got:\n%s" % (pattern, self.text()))
                self.cond.wait(left)

    def has(self, pattern):
        regex = re.compile(pattern)
        with self.cond:
            return any(regex.search(text) for _, text in self.lines)

    def text(self):
        with self.cond:
            return "\n".join(text for _, text in self.lines)

    def count(self):
        with self.cond:
            return len(self.lines)


def _reader(stream, decode):
    lines = Lines()
    threading.Thread(target=lines.feed, args=(stream, decode), daemon=True).start()
    return lines


class Ngircd:
    def __init__(self, folder):
        self.port = free_port()
        self.folder = folder
        conf = os.path.join(folder, "ngircd.conf")
        with open(conf, "w") as f:
            f.write("[Global]\nName = irc.velmora.test\nInfo = Velmora e2e\n"
                    "Listen = 127.0.0.1\nPorts = %d\nMotdPhrase = e2e\n"
                    "[Limits]\nMaxPenaltyTime = 0\n"
                    "[Options]\nPAM = no\nIdent = no\nDNS = no\n" % self.port)
        self.log = open(os.path.join(folder, "ngircd.log"), "wb")
        self.proc = subprocess.Popen(["ngircd", "-n", "-f", conf], stdout=self.log,
                                     stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=0.2).close()
                return
            except OSError:
                time.sleep(0.02)
        self.stop()
        raise AssertionError("ngircd did not start")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(3)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()


class TermClient:
    """One velmora-term process. stdout: the chat view; stderr: status and controls."""

    def __init__(self, binary, folder, server_port, nick, channel, key,
                 extra_settings="", env=None):
        self.nick = nick
        self.settings = os.path.join(folder, nick + ".ini")
        with open(self.settings, "w") as f:
            f.write("SERVER=127.0.0.1\nPORT=%d\nCHANNEL=%s\nNICK=%s\nKEY=%s\nAUTOCONNECT=1\n%s"
                    % (server_port, channel, nick, key, extra_settings))
        full_env = dict(os.environ)
        full_env.update(env or {})
        self.proc = subprocess.Popen([binary, self.settings], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                     env=full_env)
        self.out = _reader(self.proc.stdout, lambda b: b.decode("utf-8").rstrip("\n"))
        self.err = _reader(self.proc.stderr, lambda b: b.decode("utf-8").rstrip("\n"))

    def type(self, line):
        self.proc.stdin.write(line.encode() + b"\n")
        self.proc.stdin.flush()

    def wait_key(self, timeout=DEFAULT_WAIT):
        """Until the user list marks this client as holding the channel key (the input
        line is on as soon as it is connected, for commands)."""
        self.err.wait_for(self.holder_line(), timeout)

    def holder_line(self):
        return r"^users: (.* )?\+%s( |$)" % re.escape(self.nick)

    def finish(self, timeout=8):
        """Ends input (the quit sequence runs) and returns the exit status."""
        try:
            self.proc.stdin.close()
        except BrokenPipeError:
            pass
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise AssertionError("%s did not end after its input ended" % self.nick)

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


class RawClient:
    """An ordinary IRC client on a raw socket; records every line it receives."""

    def __init__(self, port, nick):
        self.nick = nick
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=5)
        self.sock.settimeout(None)
        self.file = self.sock.makefile("rb")
        self.lines = _reader(self.file, lambda b: b.decode("latin-1").rstrip("\r\n"))
        self.send("NICK " + nick)
        self.send("USER raw 0 * :raw")
        self.lines.wait_for(r" 001 ")

    def send(self, line):
        self.sock.sendall(line.encode("latin-1") + b"\r\n")

    def join(self, channel):
        self.send("JOIN " + channel)
        self.lines.wait_for(r" 366 ")

    def close(self):
        try:
            self.send("QUIT :done")
        except OSError:
            pass
        self.sock.close()


class ScriptedServer:
    """One-client IRC server on 127.0.0.1 that welcomes its client alone in the channel
    it joins (unless told not to), answers nothing else and never closes; it can stop
    reading."""

    def __init__(self, welcome=True):
        self.welcome = welcome
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(1)
        self.port = self.listener.getsockname()[1]
        self.lines = Lines()
        self.reading = threading.Event()
        self.reading.set()
        self.client = None
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        self.listener.settimeout(DEFAULT_WAIT)
        try:
            self.client, _ = self.listener.accept()
        except OSError:
            return
        self.client.sendall(b":irc.test NOTICE * :*** scripted\r\n")
        pending = b""
        while True:
            self.reading.wait()
            try:
                data = self.client.recv(4096)
            except OSError:
                break
            if not data:
                break
            pending += data
            while b"\r\n" in pending:
                raw, pending = pending.split(b"\r\n", 1)
                line = raw.decode("latin-1")
                if line.startswith("NICK "):  # the JOIN waits for the welcome
                    self.client.sendall((":irc.test 001 %s :Welcome\r\n" % line[5:]).encode())
                if line.startswith("JOIN ") and self.welcome:
                    nick, channel = "tester", line[5:]
                    self.client.sendall((":{n}!u@h JOIN {c}\r\n"
                                         ":irc.test 353 {n} = {c} :{n}\r\n"
                                         ":irc.test 366 {n} {c} :End\r\n").format(
                                             n=nick, c=channel).encode())
                with self.lines.cond:
                    self.lines.lines.append((time.monotonic(), line))
                    self.lines.cond.notify_all()
        with self.lines.cond:
            self.lines.closed = True
            self.lines.cond.notify_all()

    def close(self):
        self.reading.set()
        for s in (self.client, self.listener):
            if s is not None:
                try:
                    s.close()
                except OSError:
                    pass


class Scene:
    """A server and the clients of one scenario, all stopped at the end."""

    def __init__(self, binary):
        self.binary = binary
        self.tmp = tempfile.TemporaryDirectory(prefix="velmora-e2e-")
        self.server = Ngircd(self.tmp.name)
        self.clients = []
        self.raws = []

    def term(self, nick, channel="#vme2e", key="open sesame", **kw):
        client = TermClient(self.binary, self.tmp.name, self.server.port, nick, channel, key, **kw)
        self.clients.append(client)
        return client

    def raw(self, nick):
        raw = RawClient(self.server.port, nick)
        self.raws.append(raw)
        return raw

    def close(self):
        for client in self.clients:
            client.kill()
        for raw in self.raws:
            raw.close()
        self.server.stop()
        self.tmp.cleanup()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
