#!/usr/bin/env bash
# Installs every Debian package Velmora needs to build, test, fuzz, benchmark and
# run its demo. Safe to run again: it only installs what is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libgmp-dev
  clang libclang-rt-14-dev
  libgtk2.0-dev
  ngircd inspircd atheme-services openssl libssl-dev
  libltdl7 libgnutls30 libcrypt1
  xvfb xauth xdotool imagemagick x11-utils
  time procps python3
  dpkg-dev file desktop-file-utils lintian
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  # Debian starts ngircd and InspIRCd (and Atheme, where enabled) as system services on
  # install; Velmora's tests and demo run their own on 127.0.0.1, so stop the ones we
  # just started.
  for service in ngircd inspircd atheme-services; do
    if [ -x /etc/init.d/$service ]; then $sudo /etc/init.d/$service stop >/dev/null 2>&1 || true; fi
  done
fi

# ircd-hybrid, the tests' third server, conflicts with ngircd as a package, so it is
# unpacked beside the system instead (tests/support/hybrid_server.h looks for it there).
# Its core modules are only ever loaded from the compiled-in /usr/lib/ircd-hybrid, so
# that path points into the unpacked copy unless a real install already owns it.
hybrid_cache=/var/cache/velmora-test/ircd-hybrid
fetch_hybrid() {
  local download
  download=$(mktemp -d)
  (cd "$download" && $sudo apt-get download ircd-hybrid >/dev/null 2>&1) ||
    { $sudo apt-get update -qq && (cd "$download" && $sudo apt-get download ircd-hybrid >/dev/null 2>&1); } &&
    $sudo rm -rf "$hybrid_cache.new" && $sudo mkdir -p "$hybrid_cache.new" &&
    $sudo dpkg-deb -x "$download"/ircd-hybrid_*.deb "$hybrid_cache.new" &&
    $sudo rm -rf "$hybrid_cache" && $sudo mv "$hybrid_cache.new" "$hybrid_cache"
  local status=$?
  $sudo rm -rf "$download"
  return $status
}
if [ ! -x "$hybrid_cache/usr/sbin/ircd-hybrid" ]; then
  # Without it the tests through ircd-hybrid skip and say why; the rest still runs.
  fetch_hybrid || echo "install-deps: could not fetch ircd-hybrid; its tests will be skipped" >&2
fi
if [ ! -e /usr/lib/ircd-hybrid ] && [ -d "$hybrid_cache/usr/lib/ircd-hybrid" ]; then
  $sudo ln -sfn "$hybrid_cache/usr/lib/ircd-hybrid" /usr/lib/ircd-hybrid
fi
