#!/usr/bin/env bash
# Installs the Debian packages Velmora needs, on Debian 12 (bookworm) and 13 (trixie).
# Safe to run again: what is installed already is not asked for again.
#   scripts/install-deps.sh          everything: build, package, test, fuzz, bench, demo
#   scripts/install-deps.sh test     what `scripts/test.sh quick` needs (no fuzzing clang)
#   scripts/install-deps.sh build    only what building and packaging need
# Needs root; as another user it goes through sudo, or says what to run as root.
set -euo pipefail
mode=${1:-all}
case $mode in build | test | all) ;; *) echo "usage: $0 [build|test|all]" >&2; exit 2 ;; esac

# Only names that every supported release offers unversioned: libclang-rt-dev follows
# the release's clang (14 on bookworm, 19 on trixie), and the libraries the unpacked
# ircd-hybrid needs come from its own Depends below, since their names change between
# releases (libgnutls30 became libgnutls30t64).
build_packages=(build-essential cmake pkg-config libgtk2.0-dev libssl-dev dpkg-dev file)
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev libgmp-dev
  ngircd inspircd atheme-services anope openssl
  xvfb xauth xdotool x11-utils imagemagick
  time procps python3
  desktop-file-utils lintian
)
# The fuzz targets' compiler. (ImageMagick, above, takes the GUI tests' screenshots
# and draws the smilies in scripts/draw_smilies.sh.)
more_packages=(clang libclang-rt-dev)
# The servers the tests start themselves; Debian would run them as system services.
servers=(ngircd inspircd atheme-services anope)

packages=("${build_packages[@]}")
[ "$mode" = build ] || packages+=("${test_packages[@]}")
[ "$mode" = all ] && packages+=("${more_packages[@]}")

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done

hybrid_cache=/var/cache/velmora-test/ircd-hybrid
hybrid_binary=$hybrid_cache/usr/sbin/ircd-hybrid
# Unpacked and every library of it found: nothing to do for ircd-hybrid.
hybrid_ready() {
  [ -x "$hybrid_binary" ] && ! ldd "$hybrid_binary" 2>/dev/null | grep -q 'not found' &&
    [ -e /usr/lib/ircd-hybrid/modules ]
}
need_hybrid=no
[ "$mode" != build ] && ! hybrid_ready && need_hybrid=yes

[ ${#missing[@]} -eq 0 ] && [ $need_hybrid = no ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then
    sudo=sudo
  else
    wanted=("${missing[@]}")
    [ $need_hybrid = no ] || wanted+=(ircd-hybrid)
    echo "install-deps: ${wanted[*]} must be installed; as root, run: bash $(realpath "$0") $mode" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive

# Servers that apt installs now are neither started nor left enabled: the tests and the
# demo run their own on 127.0.0.1. A policy-rc.d keeps invoke-rc.d (and systemd's
# deb-systemd-invoke) from starting them, unless the machine has one of its own.
policy=/usr/sbin/policy-rc.d
own_policy=no
stop_services_starting() {
  if [ ! -e $policy ]; then
    printf '#!/bin/sh\nexit 101\n' | $sudo tee $policy >/dev/null
    $sudo chmod 755 $policy
    own_policy=yes
  fi
}
allow_services_starting() { if [ $own_policy = yes ]; then $sudo rm -f $policy; own_policy=no; fi; }
trap allow_services_starting EXIT
disable_services() {  # disable_services package...: stopped, and not started at boot
  local service
  for service in "$@"; do
    if command -v systemctl >/dev/null; then
      if [ -d /run/systemd/system ]; then
        $sudo systemctl disable --now "$service" >/dev/null 2>&1 || true
      else
        $sudo systemctl disable "$service" >/dev/null 2>&1 || true
      fi
    fi
    if [ -x /etc/init.d/$service ]; then
      $sudo /etc/init.d/$service stop >/dev/null 2>&1 || true
      $sudo update-rc.d "$service" disable >/dev/null 2>&1 || true
    fi
  done
}

updated=no
apt_update() { [ $updated = yes ] || { $sudo apt-get update -qq; updated=yes; }; }
apt_install() { $sudo apt-get install -y -qq --no-install-recommends "$@" >/dev/null; }

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  apt_update
  stop_services_starting
  apt_install "${missing[@]}"
  new_servers=()
  for service in "${servers[@]}"; do
    [[ " ${missing[*]} " == *" $service "* ]] && new_servers+=("$service")
  done
  disable_services "${new_servers[@]}"
  allow_services_starting
fi

[ $need_hybrid = yes ] || exit 0

# ircd-hybrid, the tests' third server, conflicts with ngircd as a package, so it is
# unpacked beside the system instead (tests/support/hybrid_server.h looks for it there),
# and the libraries its package depends on are installed.
fetch_hybrid() {
  local download status
  download=$(mktemp -d)
  (cd "$download" && $sudo apt-get download ircd-hybrid >/dev/null 2>&1) ||
    { apt_update && (cd "$download" && $sudo apt-get download ircd-hybrid >/dev/null); } &&
    $sudo rm -rf "$hybrid_cache.new" && $sudo mkdir -p "$hybrid_cache.new" &&
    $sudo dpkg-deb -x "$download"/ircd-hybrid_*.deb "$hybrid_cache.new" &&
    dpkg-deb -f "$download"/ircd-hybrid_*.deb Depends | $sudo tee "$hybrid_cache.new/DEPENDS" >/dev/null &&
    $sudo rm -rf "$hybrid_cache" && $sudo mv "$hybrid_cache.new" "$hybrid_cache"
  status=$?
  $sudo rm -rf "$download"
  return $status
}
if [ ! -x "$hybrid_binary" ] ||
    { ldd "$hybrid_binary" | grep -q 'not found' && [ ! -f "$hybrid_cache/DEPENDS" ]; }; then
  # Without it the tests through ircd-hybrid skip and say why (and fail CI).
  fetch_hybrid || { echo "install-deps: could not fetch ircd-hybrid; its tests will be skipped" >&2; exit 0; }
fi
if ldd "$hybrid_binary" | grep -q 'not found'; then
  apt_update
  $sudo apt-get satisfy -y -qq --no-install-recommends "$(cat "$hybrid_cache/DEPENDS")" >/dev/null
fi
# Versions before 8.2.46 load their core modules only from the compiled-in
# /usr/lib/ircd-hybrid, so that path points into the unpacked copy unless a real install
# already owns it.
if [ ! -e /usr/lib/ircd-hybrid ]; then
  $sudo ln -sfn "$hybrid_cache/usr/lib/ircd-hybrid" /usr/lib/ircd-hybrid
fi
