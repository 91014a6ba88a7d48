#!/usr/bin/env bash
# Two Velmora windows in one private channel on a local IRC server: watch the key
# exchange mark both users as key holders in the user lists, then chat between them.
# Closing both windows stops everything the demo started.
#   scripts/demo.sh            (VELMORA_BUILD=folder uses another build folder than build/)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VELMORA_BUILD:-build}

if [ -z "${DISPLAY:-}" ]; then
  echo "demo: no display (DISPLAY is empty); the terminal face needs none: cmake -S . -B build && cmake --build build -j2 && build/velmora-term [settings-file]"
  exit 1
fi

bash scripts/install-deps.sh test
# Configure once, then an incremental build: quick when nothing changed.
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j2 --target velmora velmora-term >/dev/null

work=$(mktemp -d /tmp/velmora-demo.XXXXXX)
pids=()
stop_all() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap stop_all EXIT
trap 'exit 130' INT TERM

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/ngircd.conf" <<CONF
[Global]
Name = demo.velmora.local
Info = Velmora demo server
Listen = 127.0.0.1
Ports = $port
MotdPhrase = Welcome to the Velmora demo. Type in either window.
PidFile = $work/ngircd.pid
[Limits]
MaxPenaltyTime = 0
[Options]
PAM = no
Ident = no
DNS = no
CONF
ngircd -n -f "$work/ngircd.conf" >"$work/ngircd.log" 2>&1 &
ngircd_pid=$!
pids+=("$ngircd_pid")

# The server is ready when its port accepts (at most 5 s).
for _ in $(seq 50); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  kill -0 "$ngircd_pid" 2>/dev/null || { echo "demo: ngircd did not start:"; cat "$work/ngircd.log"; exit 1; }
  sleep 0.1
done

for nick in alice bob; do
  cat >"$work/$nick.ini" <<INI
SERVER=127.0.0.1
PORT=$port
CHANNEL=#velmora-demo
NICK=$nick
KEY=demo passphrase
AUTOCONNECT=1
INI
done

echo "demo: ngircd on 127.0.0.1:$port, channel #velmora-demo, passphrase \"demo passphrase\""
"$build/velmora" "$work/alice.ini" >"$work/alice.out" &
alice=$!
pids+=("$alice")
sleep 1  # alice is alone first and makes the channel key; bob then obtains it from her
"$build/velmora" "$work/bob.ini" >"$work/bob.out" &
bob=$!
pids+=("$bob")

# Side by side, when the window manager lets us (bounded: 10 s per window).
if command -v xdotool >/dev/null; then
  x=0
  for pid in "$alice" "$bob"; do
    if window=$(timeout 10 xdotool search --all --sync --onlyvisible --pid "$pid" --name '^#velmora-demo, ' 2>/dev/null | head -1) \
        && [ -n "$window" ]; then
      xdotool windowmove "$window" "$x" 0 windowsize "$window" 640 480 2>/dev/null || true
    fi
    x=650
  done
fi

echo "demo: close both windows to stop"
wait "$alice" || true
wait "$bob" || true
