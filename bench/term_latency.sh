#!/usr/bin/env bash
# Whole-process figures for velmora-term through a private ngircd on 127.0.0.1:
#   - a joiner's JOIN (as a plain client in the channel sees it) to the joiner's
#     "Key exchange complete!", and a typed line to its clear text on the other client's
#     standard output, each the median of 20 runs, next to the round trip of a raw
#     PRIVMSG between two raw sockets through the same server in the same run;
#   - resident memory and CPU share of an idle connected client over 10 seconds.
# Usage: bench/term_latency.sh [path/to/velmora-term]   (default build/velmora-term)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=${1:-$here/../build/velmora-term}
exec python3 - "$binary" "$here/../tests/e2e" <<'PY'
import os, random, statistics, sys, time
binary, harness = sys.argv[1], sys.argv[2]
sys.path.insert(0, harness)
from term_harness import Scene

RUNS = 20
CHANNEL = "#vme2e"

def ms(values):
    return "median %6.1f ms  (min %.1f, max %.1f)" % (
        statistics.median(values) * 1000, min(values) * 1000, max(values) * 1000)

def raw_round_trips(scene):
    a, b = scene.raw("pinga"), scene.raw("pingb")
    times = []
    for i in range(RUNS):
        start = b.lines.count()
        t0 = time.monotonic()
        a.send("PRIVMSG pingb :ping %d" % i)
        b.lines.wait_for(r"PRIVMSG pingb :ping %d$" % i, start=start)
        start_a = a.lines.count()
        b.send("PRIVMSG pinga :pong %d" % i)
        a.lines.wait_for(r"PRIVMSG pinga :pong %d$" % i, start=start_a)
        times.append(time.monotonic() - t0)
    return times

def line_time(lines, index):
    with lines.cond:
        return lines.lines[index][0]

def exchanges(scene, watcher):
    times = []
    for i in range(RUNS):
        start = watcher.lines.count()
        joiner = scene.term("j%d" % i)
        idx, _ = watcher.lines.wait_for(r"^:j%d!\S+ JOIN" % i, start=start)
        t_join = line_time(watcher.lines, idx)
        done, _ = joiner.err.wait_for(r"^status: Key exchange complete!$")
        times.append(line_time(joiner.err, done) - t_join)
        joiner.finish()
    return times

def chat_lines(alice, bob):
    times = []
    for i in range(RUNS):
        # A random pause, so the line does not always arrive just after the peer's tick.
        time.sleep(random.uniform(0.0, 0.02))
        start = bob.out.count()
        t0 = time.monotonic()
        alice.type("bench line %d" % i)
        idx, _ = bob.out.wait_for(r"^\[private\] alice  bench line %d$" % i, start=start)
        times.append(line_time(bob.out, idx) - t0)
    return times

def idle_figures(pid, seconds=10):
    tick = os.sysconf("SC_CLK_TCK")
    def cpu():
        fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / tick
    c0, t0 = cpu(), time.monotonic()
    time.sleep(seconds)
    c1, t1 = cpu(), time.monotonic()
    status = dict(l.split(":", 1) for l in open("/proc/%d/status" % pid) if ":" in l)
    return (c1 - c0) / (t1 - t0), status["VmRSS"].strip(), status["VmHWM"].strip()

with Scene(binary) as scene:
    rtt = raw_round_trips(scene)
    alice = scene.term("alice")
    alice.wait_key()
    watcher = scene.raw("watcher")
    watcher.join(CHANNEL)
    exchange = exchanges(scene, watcher)
    bob = scene.term("bob")
    bob.wait_key()
    chat = chat_lines(alice, bob)
    time.sleep(1)
    share, rss, hwm = idle_figures(bob.proc.pid)
    med_rtt = statistics.median(rtt)
    print("raw PRIVMSG round trip      " + ms(rtt))
    print("JOIN to key exchange done   " + ms(exchange))
    print("typed line to peer's stdout " + ms(chat))
    print("exchange - 1.5 round trips  %.1f ms (goal < 20 ms)"
          % ((statistics.median(exchange) - 1.5 * med_rtt) * 1000))
    print("chat line - 1 round trip    %.1f ms (goal < 25 ms)"
          % ((statistics.median(chat) - med_rtt) * 1000))
    print("idle connected client: CPU %.3f%% of a core over 10 s (goal < 0.1%%), RSS %s, peak %s (goal < 8 MB)"
          % (share * 100, rss, hwm))
    bob.finish(); alice.finish()
PY
