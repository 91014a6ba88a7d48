#!/usr/bin/env bash
# A backlog in front of a PING: a scripted server on 127.0.0.1 sends 10,000 channel lines,
# then "PING :backlog", then a PART, to a client in #bench (with zed, an ordinary user)
# that holds the channel key. Figures: from the burst sent to the PONG received, to the PART read (the client
# asks for names when it reads it) and, for velmora-term, to the PART shown on its
# standard output; for velmora-term and for the GTK window on a private Xvfb. The
# reference is a bare socket client in the same run that reads the same burst and
# answers the PING, the least any client does.
#   bench/backlog_bench.sh [build-folder] [lines]      (default: build 10000)
#   BACKLOG_FACES="term" or "window" runs only that face.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
lines=${2:-10000}
exec python3 - "$build" "$lines" <<'PY'
import os, shutil, socket, subprocess, sys, tempfile, threading, time

build, LINES = sys.argv[1], int(sys.argv[2])
BOUND = 400  # seconds for one run, whatever the client does
work = tempfile.mkdtemp(prefix="velmora-backlog-")

def burst():
    body = b"".join(b":zed!u@h PRIVMSG #bench :line %d of the backlog with a few words\r\n" % i
                    for i in range(LINES))
    return body + b"PING :backlog\r\n:zed!u@h PART #bench :done\r\n"

# zed, an ordinary user, is in the channel too: the client makes the key itself after a
# few seconds, and asks for names when zed leaves.
NAMES = (b":irc.bench 353 bench = #bench :bench zed\r\n"
         b":irc.bench 366 bench #bench :End of NAMES list\r\n")

def serve(listener, result):
    """One client: welcome it, let it alone into #bench, send the burst once it has
    settled, note when the PONG and the names request after the PART arrive."""
    listener.settimeout(30)
    client, _ = listener.accept()
    client.sendall(b":irc.bench NOTICE * :*** bench server\r\n")
    client.settimeout(0.05)
    pending, start, deadline, settled, joined = b"", None, time.time() + BOUND, None, None
    quiet = time.time()
    while time.time() < deadline and "read" not in result:
        if joined and not settled and time.time() > joined + 7:
            settled = time.time()  # a client that asks for no names after its JOIN
        # The burst starts once the client has been quiet for a second after settling.
        if settled and start is None and time.time() > max(settled, quiet) + 1.0:
            start = time.time()
            result["start"] = start
            client.sendall(burst())
        try:
            data = client.recv(65536)
        except socket.timeout:
            continue
        if not data:
            break
        pending += data
        quiet = time.time()
        while b"\n" in pending:
            line, pending = pending.split(b"\n", 1)
            line = line.rstrip(b"\r")
            if line.startswith(b"NICK ") and joined is None:
                client.sendall(b":irc.bench 001 bench :Welcome\r\n")
            elif line == b"JOIN #bench":
                client.sendall(b":bench!u@h JOIN #bench\r\n" + NAMES)
                joined = time.time()
            elif line == b"names #bench" and start is None:
                settled = settled or time.time()
                client.sendall(NAMES)
            elif line == b"names #bench":
                result["read"] = time.time() - start
            elif line == b"PONG :backlog" and start is not None:
                result["pong"] = time.time() - start
    client.close()

def listener():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    s.listen(1)
    return s

def settings(port):
    path = os.path.join(work, "bench.ini")
    with open(path, "w") as f:
        f.write("SERVER=127.0.0.1\nPORT=%d\nCHANNEL=#bench\nNICK=bench\n"
                "KEY=bench passphrase\nAUTOCONNECT=1\n" % port)
    return path

def run_client(argv, env=None):
    lst = listener()
    result = {}
    server = threading.Thread(target=serve, args=(lst, result))
    server.start()
    out = open(os.path.join(work, "view.txt"), "w")
    notes = open(os.path.join(work, "notes.txt"), "w")
    proc = subprocess.Popen(argv + [settings(lst.getsockname()[1])], stdin=subprocess.PIPE,
                            stdout=out, stderr=notes, env=env)
    server.join(BOUND + 40)
    # The terminal's view: the PART shown is the last line.
    view_path = os.path.join(work, "view.txt")
    shown_by = time.time() + 60
    while "start" in result and time.time() < shown_by:
        with open(view_path, errors="replace") as view:
            if "zed has left the channel." in view.read():
                result["shown"] = time.time() - result["start"]
                break
        time.sleep(0.01)
    proc.kill()
    proc.wait()
    lst.close()
    if "read" not in result:
        print(open(os.path.join(work, "notes.txt"), errors="replace").read()[-2000:])
    return result

def reference():
    """A bare client: reads until the PING, answers it, reads until the PART."""
    lst = listener()
    result = {}
    server = threading.Thread(target=serve, args=(lst, result))
    server.start()
    c = socket.create_connection(lst.getsockname())
    c.sendall(b"NICK bench\r\nUSER bench * * :bench\r\n")
    buf = b""
    c.settimeout(BOUND)
    while "read" not in result:
        data = c.recv(65536)
        if not data:
            break
        buf += data
        while b"\n" in buf:
            line, buf = buf.split(b"\n", 1)
            if b" 001 " in line:
                c.sendall(b"JOIN #bench\r\n")
            elif line.startswith(b":bench!u@h JOIN"):
                c.sendall(b"names #bench\r\n")
            elif line.startswith(b"PING :backlog"):
                c.sendall(b"PONG :backlog\r\n")
            elif b" PART " in line:
                c.sendall(b"names #bench\r\n")
    server.join(BOUND + 40)
    c.close()
    lst.close()
    return result

def xvfb():
    r, w = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x800x24",
                             "-nolisten", "tcp"], pass_fds=[w], stderr=subprocess.DEVNULL)
    os.close(w)
    number = b""
    while not number.endswith(b"\n"):  # written once the server is ready
        chunk = os.read(r, 16)
        if not chunk:
            break
        number += chunk
    os.close(r)
    return proc, ":" + number.decode().strip()

def show(name, result):
    def s(key):
        return "%7.3f s" % result[key] if key in result else "  none   "
    print("%-34s PONG after %s   PART read after %s   shown after %s" % (
        name, s("pong"), s("read"), s("shown")))
    return result

try:
    print("%d channel lines, then PING, then PART" % LINES)
    faces = os.environ.get("BACKLOG_FACES", "term window").split()
    ref = show("reference (bare socket client)", reference())
    if "term" in faces:
        term = show("velmora-term", run_client([os.path.join(build, "velmora-term")]))
        with open(os.path.join(work, "view.txt"), errors="replace") as view:
            print("%-34s %d of the %d lines on its standard output" % (
                "", sum("of the backlog" in l for l in view), LINES))
    gui = os.path.join(build, "velmora")
    if "window" not in faces:
        pass
    elif os.path.exists(gui) and shutil.which("Xvfb"):
        display, name = xvfb()
        try:
            env = dict(os.environ, DISPLAY=name)
            window = show("velmora (GTK window, Xvfb)", run_client([gui], env))
        finally:
            display.kill()
            display.wait()
    else:
        print("velmora (GTK window): not built or no Xvfb")
finally:
    shutil.rmtree(work, ignore_errors=True)
PY
