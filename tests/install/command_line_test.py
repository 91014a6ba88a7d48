"""--help, --version and unknown options of one program, and its man page.

Usage: command_line_test.py BINARY VERSION MAN_FOLDER"""

import os
import re
import subprocess
import sys

binary, version, man_folder = sys.argv[1:4]
name = os.path.basename(binary)

# arguments, exit status, where the text goes ("out" or "err"), what it must match
CASES = [
    (["--help"], 0, "out", r"^Usage: %s \[SETTINGS-FILE\]\n" % re.escape(name)),
    (["-h"], 0, "out", r"\nFiles:\n  settings "),
    (["--version"], 0, "out", r"^%s %s\n$" % (re.escape(name), re.escape(version))),
    (["-V"], 0, "out", r"^%s %s\n$" % (re.escape(name), re.escape(version))),
    (["--verbose"], 2, "err", r"^%s: unknown option '--verbose'\n\nUsage: " % re.escape(name)),
    (["settings.ini", "-x"], 2, "err", r"unknown option '-x'"),
]

env = dict(os.environ)
env.pop("DISPLAY", None)  # neither program needs a display to answer
for args, status, stream, pattern in CASES:
    run = subprocess.run([binary] + args, capture_output=True, text=True, env=env, timeout=10,
                         stdin=subprocess.DEVNULL)
    shown, other = (run.stdout, run.stderr) if stream == "out" else (run.stderr, run.stdout)
    assert run.returncode == status, (args, run.returncode, run.stdout, run.stderr)
    assert re.search(pattern, shown), (args, shown)
    assert other == "", (args, other)

# Every settings key --help lists is described in the man page too.
usage = subprocess.run([binary, "--help"], capture_output=True, text=True, env=env).stdout
keys = re.findall(r"^  ([A-Z_]+)=", usage, re.M)
assert len(keys) >= 9, usage
with open(os.path.join(man_folder, name + ".1")) as f:
    page = f.read()
missing = [key for key in keys if key not in page]
assert not missing, "%s.1 does not describe %s" % (name, missing)
print("%s: %d cases, %d keys in the man page" % (name, len(CASES), len(keys)))
