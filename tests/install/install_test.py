"""An installed copy: cmake --install into a temporary prefix, then the programs run
from there with a temporary home, as a user who installed them would run them.

Usage: install_test.py CMAKE BUILD_FOLDER"""

import os
import signal
import stat
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from term_harness import Ngircd, _reader  # noqa: E402

cmake, build = sys.argv[1:3]


def mode(path):
    return stat.S_IMODE(os.stat(path).st_mode)


def clean_env(home, **extra):
    env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
    env.update(HOME=home, **extra)
    return env


def install(prefix):
    subprocess.run([cmake, "--install", build, "--prefix", prefix], check=True,
                   stdout=subprocess.DEVNULL, timeout=60)
    for path in ["bin/velmora", "bin/velmora-term", "share/velmora/gui.glade",
                 "share/velmora/smilies/face-smile.png", "share/velmora/license.txt",
                 "share/man/man1/velmora.1.gz", "share/man/man1/velmora-term.1.gz",
                 "share/applications/velmora.desktop",
                 "share/icons/hicolor/96x96/apps/velmora.png"]:
        assert os.path.exists(os.path.join(prefix, path)), path


def terminal_client(top, prefix):
    """Settings from ~/.config, log in ~/.local/state, data from share/velmora."""
    home = os.path.join(top, "home")
    config = os.path.join(home, ".config", "velmora")
    os.makedirs(config)
    server = Ngircd(top)
    try:
        with open(os.path.join(config, "setup.ini"), "w") as f:
            f.write("SERVER=127.0.0.1\nPORT=%d\nCHANNEL=#vminstall\nNICK=installed\n"
                    "KEY=open sesame\nAUTOCONNECT=1\n" % server.port)
        proc = subprocess.Popen([os.path.join(prefix, "bin", "velmora-term")],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, cwd=top,
                                env=clean_env(home, VELMORA_TRACE="1"))
        out = _reader(proc.stdout, lambda b: b.decode("utf-8").rstrip("\n"))
        err = _reader(proc.stderr, lambda b: b.decode("utf-8").rstrip("\n"))
        try:
            state = os.path.join(home, ".local", "state", "velmora")
            err.wait_for("^Files: settings %s, log %s, data %s$" % (
                os.path.join(config, "setup.ini"), os.path.join(state, "log.txt"),
                os.path.join(prefix, "share", "velmora")))
            err.wait_for(r"^control: input on$")
            proc.stdin.write(b"hello from the installed copy\n")
            proc.stdin.flush()
            out.wait_for(r"^\[private\] installed  hello from the installed copy$")
            proc.stdin.close()
            assert proc.wait(10) == 0
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        log = os.path.join(state, "log.txt")
        with open(log, "rb") as f:
            text = f.read()
        assert b" JOIN " in text and b"#vminstall" in text, text
        assert mode(log) == 0o600, oct(mode(log))
        for folder in [state, os.path.dirname(state), os.path.join(home, ".local")]:
            assert mode(folder) == 0o700, (folder, oct(mode(folder)))
        assert sorted(os.listdir(os.path.join(prefix, "bin"))) == ["velmora", "velmora-term"]
    finally:
        server.stop()


def start_xvfb():
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                             "-nolisten", "tcp"], pass_fds=[write_end],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as f:
        number = f.readline().strip()  # written once the server accepts clients
    assert number, "Xvfb did not start"
    return xvfb, ":" + number


def window(top, prefix):
    """The installed window finds its layout and shows the connection dialog."""
    home = os.path.join(top, "gui-home")
    os.makedirs(home)
    xvfb, display = start_xvfb()
    try:
        env = clean_env(home, DISPLAY=display, XDG_CONFIG_HOME=os.path.join(top, "config"),
                        XDG_STATE_HOME=os.path.join(top, "state"), VELMORA_TRACE="1")
        proc = subprocess.Popen([os.path.join(prefix, "bin", "velmora")], cwd=top, env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        out = _reader(proc.stdout, lambda b: b.decode("utf-8").rstrip("\n"))
        try:
            out.wait_for("^Files: settings %s/config/velmora/setup.ini, log %s/state/velmora/log.txt, "
                         "data %s/share/velmora$" % (top, top, prefix))
            found = subprocess.run(["timeout", "10", "xdotool", "search", "--sync", "--onlyvisible",
                                    "--name", "^Connect - Velmora$"], env=env,
                                   capture_output=True, text=True)
            assert found.stdout.strip(), "no connection dialog:\n" + out.text()
            assert proc.poll() is None, out.text()
        finally:
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(5)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        assert mode(os.path.join(top, "state", "velmora")) == 0o700
    finally:
        xvfb.terminate()
        xvfb.wait(5)


def main():
    started = time.monotonic()
    with tempfile.TemporaryDirectory(prefix="velmora-install-") as top:
        prefix = os.path.join(top, "prefix")
        install(prefix)
        terminal_client(top, prefix)
        window(top, prefix)
    print("installed copy ran in %.1f s" % (time.monotonic() - started))


main()
