#!/usr/bin/env bash
# Whole-process figures of the GTK window on a private Xvfb, against a scripted server
# on 127.0.0.1: start-up to the window shown, CPU of an idle connected window over 10 s,
# resident memory, and how fast a burst of 500 channel lines is taken in.
#   bench/gui_bench.sh [build-folder]        (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
program="$build/velmora"
[ -x "$program" ] || { echo "gui_bench: $program is not built"; exit 1; }

work=$(mktemp -d /tmp/velmora-gui-bench.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# A private display; Xvfb picks a free number itself.
exec 5>"$work/display"
Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp 2>/dev/null &
pids+=($!)
exec 5>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -1 "$work/display")"

# The scripted server: welcomes the client, lets it into #bench beside zed, an ordinary
# user (after a few seconds it makes the channel key itself), then, when $work/burst
# appears, sends 500 plain channel lines and zed's PART, and notes how long the client
# took to reach the PART (it asks for names when it reads it).
cat >"$work/server.py" <<'PY'
import os, socket, sys, time
work = sys.argv[1]
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(1)
open(os.path.join(work, "port"), "w").write(str(listener.getsockname()[1]))
listener.settimeout(30)
client, _ = listener.accept()
client.sendall(b":irc.bench NOTICE * :*** bench server\r\n")
client.settimeout(0.05)
pending, burst_start, deadline = b"", None, time.time() + 120
while time.time() < deadline:
    if burst_start is None and os.path.exists(os.path.join(work, "burst")):
        lines = b"".join(b":zed!u@h PRIVMSG #bench :line %d of the burst :) with a few words\r\n" % i
                         for i in range(500))
        burst_start = time.time()
        client.sendall(lines + b":zed!u@h PART #bench :done\r\n")
    try:
        data = client.recv(4096)
    except socket.timeout:
        continue
    if not data:
        break
    pending += data
    while b"\r\n" in pending:
        line, pending = pending.split(b"\r\n", 1)
        if line.startswith(b"NICK "):  # the client joins once welcomed
            client.sendall(b":irc.bench 001 bench :Welcome\r\n")
        elif line == b"JOIN #bench":
            client.sendall(b":bench!u@h JOIN #bench\r\n"
                           b":irc.bench 353 bench = #bench :bench zed\r\n"
                           b":irc.bench 366 bench #bench :End of NAMES list\r\n")
        elif line == b"names #bench" and burst_start is not None:
            seconds = time.time() - burst_start
            open(os.path.join(work, "burst_result"), "w").write("%.3f" % seconds)
        elif line.startswith(b"QUIT"):
            client.close()
            sys.exit(0)
PY

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
now_ms() { date +%s%3N; }

# The reference: a bare GTK+ 2 window with a 20 ms no-op timer, measured the same way.
cat >"$work/reference.c" <<'C'
#include <gtk/gtk.h>
static gboolean tick(gpointer data) { (void)data; return TRUE; }
int main(void) {
  gtk_init(NULL, NULL);
  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "Reference");
  gtk_window_set_default_size(GTK_WINDOW(window), 780, 520);
  gtk_widget_show_all(window);
  g_timeout_add(20, tick, NULL);
  gtk_main();
  return 0;
}
C
# shellcheck disable=SC2046
gcc -O2 -w "$work/reference.c" -o "$work/reference" $(pkg-config --cflags --libs gtk+-2.0) 2>/dev/null || true

# 1. Start-up to the window shown (the connection dialog: no network involved), 5 runs.
: >"$work/empty.ini"
for _ in 1 2 3 4 5; do
  t0=$(now_ms)
  "$program" "$work/empty.ini" >/dev/null 2>&1 &
  pid=$!
  timeout 10 xdotool search --sync --onlyvisible --name '^Connect - Velmora$' >/dev/null
  echo $(( $(now_ms) - t0 ))
  kill "$pid"; wait "$pid" 2>/dev/null || true
done >"$work/startup"
echo "start-up to the dialog shown: median $(median <"$work/startup") ms over 5 runs ($(tr '\n' ' ' <"$work/startup")ms)"
if [ -x "$work/reference" ]; then
  for _ in 1 2 3 4 5; do
    t0=$(now_ms)
    "$work/reference" &
    pid=$!
    timeout 10 xdotool search --sync --onlyvisible --name '^Reference$' >/dev/null
    echo $(( $(now_ms) - t0 ))
    kill "$pid"; wait "$pid" 2>/dev/null || true
  done >"$work/startup_reference"
  echo "reference (bare GTK window, found the same way): median $(median <"$work/startup_reference") ms;" \
       "Velmora/reference = $(awk -v a="$(median <"$work/startup")" -v b="$(median <"$work/startup_reference")" 'BEGIN { printf "%.2f", a / b }')"
fi

# 2. An idle connected window: CPU over 10 s and resident memory.
python3 "$work/server.py" "$work" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
printf 'SERVER=127.0.0.1\nPORT=%s\nCHANNEL=#bench\nNICK=bench\nKEY=bench passphrase\nAUTOCONNECT=1\n' \
  "$(cat "$work/port")" >"$work/bench.ini"
/usr/bin/time -v -o "$work/time.txt" "$program" "$work/bench.ini" >/dev/null 2>&1 &
timer=$!
pids+=($timer)
timeout 10 xdotool search --sync --onlyvisible --name '^#bench, 127.0.0.1 - Velmora$' >/dev/null
pid=$(pgrep -P "$timer")
sleep 16  # connected, holding the key it made, its status text cleared
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
# Clock ticks are 10 ms each, too coarse for an idle process: the scheduler's own
# nanosecond run time and the context switches (wake-ups) of every thread say more.
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { print s + 0 }'; }
wakeups() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '/ctxt_switches/ { s += $2 } END { print s + 0 }'; }
hz=$(getconf CLK_TCK)
t0=$(ticks); n0=$(cpu_ns "$pid"); w0=$(wakeups "$pid"); sleep 10; t1=$(ticks); n1=$(cpu_ns "$pid"); w1=$(wakeups "$pid")
awk -v d=$((t1 - t0)) -v hz="$hz" 'BEGIN { printf "idle connected window: %.2f%% of a core over 10 s (%d ticks at %d Hz)\n", 100 * d / hz / 10, d, hz }'
awk -v n=$((n1 - n0)) -v w=$((w1 - w0)) 'BEGIN { printf "idle connected window, scheduler run time: %.4f%% of a core, %d wake-ups over 10 s\n", 100 * n / 1e10, w }'
echo "resident memory, idle connected: $(awk '/VmRSS/ { print $2 / 1024 " MB" }' "/proc/$pid/status")"

if [ -x "$work/reference" ]; then
  "$work/reference" &
  ref=$!
  pids+=($ref)
  sleep 2
  r0=$(awk '{ print $14 + $15 }' "/proc/$ref/stat"); m0=$(cpu_ns "$ref"); x0=$(wakeups "$ref")
  sleep 10
  r1=$(awk '{ print $14 + $15 }' "/proc/$ref/stat"); m1=$(cpu_ns "$ref"); x1=$(wakeups "$ref")
  awk -v d=$((r1 - r0)) -v hz="$hz" -v v=$((t1 - t0)) 'BEGIN { printf "reference (bare GTK window, 20 ms no-op timer): %.2f%% of a core; Velmora/reference = %s\n", 100 * d / hz / 10, d ? sprintf("%.1f", v / d) : "n/a" }'
  awk -v m=$((m1 - m0)) -v x=$((x1 - x0)) -v n=$((n1 - n0)) 'BEGIN { printf "reference, scheduler run time: %.4f%% of a core, %d wake-ups; Velmora/reference run time = %.3f\n", 100 * m / 1e10, x, m ? n / m : 0 }'
  echo "reference resident memory: $(awk '/VmRSS/ { print $2 / 1024 " MB" }' "/proc/$ref/status")"
  kill "$ref"
fi

# 3. A burst of 500 channel lines, until the client has read zed's PART after them.
touch "$work/burst"
for _ in $(seq 600); do [ -s "$work/burst_result" ] && break; sleep 0.1; done
if [ -s "$work/burst_result" ]; then
  awk -v s="$(cat "$work/burst_result")" 'BEGIN { printf "burst of 500 channel lines read: %.3f s, %.0f lines/s\n", s, 501 / s }'
else
  echo "burst of 500 channel lines: not read within 60 s"
fi
echo "resident memory after the burst: $(awk '/VmRSS/ { print $2 / 1024 " MB" }' "/proc/$pid/status")"
kill "$pid"
wait "$timer" 2>/dev/null || true
echo "peak resident memory (time -v): $(awk -F': ' '/Maximum resident/ { print $2 / 1024 " MB" }' "$work/time.txt")"
