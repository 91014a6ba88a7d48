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
  xvfb xauth xdotool imagemagick x11-utils
  time procps python3
  dpkg-dev file desktop-file-utils lintian
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
# Debian starts ngircd and InspIRCd (and Atheme, where enabled) as system services on
# install; Velmora's tests and demo run their own on 127.0.0.1, so stop the ones we just started.
for service in ngircd inspircd atheme-services; do
  if [ -x /etc/init.d/$service ]; then $sudo /etc/init.d/$service stop >/dev/null 2>&1 || true; fi
done
