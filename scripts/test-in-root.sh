#!/usr/bin/env bash
# Runs the tests in a fresh Debian root, as a new user of that release would: a root
# made with debootstrap from this machine's Debian mirror, a clean clone of this
# repository's committed HEAD (uncommitted changes are not in it), then
# `scripts/test.sh MODE` inside it, which installs what it needs. Needs root.
#   scripts/test-in-root.sh RELEASE [MODE]     e.g. trixie quick (MODE as for test.sh)
# The debootstrapped base is kept as a tarball under /var/cache/velmora-root (made anew
# once it is a month old), and so are the packages apt downloads, so a second run
# fetches nothing it already has. Everything else starts fresh and is removed after.
set -euo pipefail
release=${1:?usage: $0 RELEASE [quick|all]}
mode=${2:-quick}
repo=$(cd "$(dirname "$0")/.." && pwd)
[ "$(id -u)" -eq 0 ] || { echo "test-in-root: needs root (debootstrap, chroot, mount)" >&2; exit 1; }
command -v git >/dev/null || { echo "test-in-root: needs git" >&2; exit 1; }
if ! command -v debootstrap >/dev/null; then
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null
fi

# The mirror this machine's apt uses for its own release (not -security, -updates).
host_release=$(. /etc/os-release && echo "$VERSION_CODENAME")
mirror=$(
  {
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
      awk -v r="$host_release" '$1 == "deb" { sub(/\[[^]]*\] */, ""); if ($3 == r) print $2 }'
    cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
      awk -v r="$host_release" '
        /^$/ { if (deb && suite && uri) print uri; deb = suite = 0; uri = "" }
        /^Types:/ { deb = / deb( |$)/ }
        /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == r) suite = 1 }
        /^URIs:/ { uri = $2 }
        END { if (deb && suite && uri) print uri }'
  } | head -1
)
[ -n "$mirror" ] || { echo "test-in-root: no Debian mirror for $host_release in /etc/apt/sources.list*" >&2; exit 1; }

started=$SECONDS
elapsed() { echo "$((SECONDS - started)) s"; }
cache=/var/cache/velmora-root
arch=$(dpkg --print-architecture)
base=$cache/$release-$arch-minbase.tar
archives=$cache/$release-$arch-archives
mkdir -p "$cache" "$archives/partial"
work=$(mktemp -d /var/tmp/velmora-root.XXXXXX)
root=$work/root

mounted=()
cleanup() {
  local status=$? pid i
  # Whatever still runs inside the root was started by this run: end it by its PID.
  for pid in $(ls /proc | grep -E '^[0-9]+$'); do
    [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$root" ] && kill -9 "$pid" 2>/dev/null || true
  done
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" || true
  done
  # Never remove a root that still has something mounted in it: it would reach the host.
  if grep -q " $work/" /proc/self/mounts; then
    echo "test-in-root: $work still has mounts; left in place" >&2
  else
    rm -rf --one-file-system "$work"
  fi
  exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM
bind() {  # bind HOST-PATH ROOT-PATH
  mkdir -p "$root$2"
  mount --bind "$1" "$root$2"
  mounted+=("$root$2")
}

echo "=== Debian $release root from $mirror ==="
if [ ! -f "$base" ] || [ -n "$(find "$base" -mtime +30)" ]; then
  debootstrap --variant=minbase "$release" "$work/base" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    { tail -20 "$work/debootstrap.log"; exit 1; }
  tar -C "$work/base" -cf "$base.new" . && mv "$base.new" "$base"
  rm -rf --one-file-system "$work/base"
  echo "base made and kept in $base ($(elapsed))"
fi
mkdir "$root"
tar -C "$root" -xf "$base"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# As in an image build: services that packages install do not start in the root, dpkg
# does not sync every file it unpacks, and man-db does not index the pages of every
# package, as container images are set up to spend less time in apt.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
echo force-unsafe-io >"$root/etc/dpkg/dpkg.cfg.d/velmora-unsafe-io"
echo 'man-db man-db/auto-update boolean false' | chroot "$root" debconf-set-selections
bind /proc /proc
bind /sys /sys
bind /dev /dev
bind /dev/pts /dev/pts
bind "$archives" /var/cache/apt/archives
git clone --quiet --no-hardlinks "$repo" "$root/root/velmora"
echo "root ready with a clone of $(git -C "$repo" rev-parse --short HEAD) ($(elapsed))"

echo "=== scripts/test.sh $mode in the $release root ==="
chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  HOME=/root LANG=C.UTF-8 TERM=dumb VELMORA_CI="${VELMORA_CI:-}" JOBS="${JOBS:-2}" \
  bash -c 'cd /root/velmora && bash scripts/test.sh "$1"' test "$mode"
echo "=== the $release root passed scripts/test.sh $mode ($(elapsed)) ==="
