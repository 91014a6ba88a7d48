#!/usr/bin/env bash
# Builds the .deb from a build folder and checks it as Debian would: what it holds, its
# dependencies (from the binaries), the desktop entry, the hardening of the programs,
# and lintian (errors and warnings fail; the notes are printed).
#   scripts/check-package.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

(cd "$build" && rm -f velmora_*.deb && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log"; exit 1; }
deb=$(ls "$build"/velmora_*.deb)
echo "package: $deb"
fail() { echo "check-package: $*" >&2; exit 1; }

info=$(dpkg-deb --info "$deb")
grep -q '^ Package: velmora$' <<<"$info" || fail "not named velmora"
depends=$(grep '^ Depends:' <<<"$info") || fail "no Depends (shlibdeps did not run)"
echo "$depends"
grep -q 'libgtk2.0-0' <<<"$depends" || fail "Depends lacks GTK+ 2"
grep -q 'libglade' <<<"$depends" && fail "Depends names libglade"

contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}')
for path in ./usr/bin/velmora ./usr/bin/velmora-term \
    ./usr/share/velmora/gui.glade ./usr/share/velmora/icon.png ./usr/share/velmora/license.txt \
    ./usr/share/velmora/smilies/face-smile.png \
    ./usr/share/man/man1/velmora.1.gz ./usr/share/man/man1/velmora-term.1.gz \
    ./usr/share/applications/velmora.desktop ./usr/share/icons/hicolor/96x96/apps/velmora.png \
    ./usr/share/doc/velmora/copyright; do
  grep -qx -- "$path" <<<"$contents" || fail "$path is not in the package"
done

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
desktop-file-validate "$unpacked/usr/share/applications/velmora.desktop"

# Built and stripped as Debian builds its packages: compiled with _FORTIFY_SOURCE (no
# call in the programs has a size to check at run time, so no __*_chk function shows in
# them), bound at load time (-z now), and no .comment section naming the compiler.
grep -q -- '-D_FORTIFY_SOURCE' "$build/compile_commands.json" || fail "not compiled with _FORTIFY_SOURCE"
for program in velmora velmora-term; do
  binary="$unpacked/usr/bin/$program"
  readelf -d "$binary" | grep -Eq 'BIND_NOW|FLAGS_1.*NOW' || fail "$program is not linked with -z now"
  readelf -S "$binary" | grep -q '\.comment' && fail "$program has a .comment section"
done

# lintian warns when run as root; what it says about the package is all that matters here.
report=$(lintian --display-info "$deb" 2>&1 | grep -v 'running with root privileges' || true)
[ -n "$report" ] && echo "$report"
grep -q '^[EW]: ' <<<"$report" && fail "lintian reports errors or warnings"
echo "package checks passed"
