#!/usr/bin/env bash
# make deb: the Debian package q7patcher_VERSION_ARCH.deb in build/deb (or
# the folder given): q7pack with its manual page, the shipped i686 stub and
# the x86_64 one, the UI driver q7pack try runs, the guides and examples,
# all as make install puts them under /usr. The native, win32 and win64
# presets must be built (make deb builds them).
#
#   deb.sh [OUT_DIR]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/deb}
mkdir -p "$out"
out=$(cd "$out" && pwd)
version=$(sed -n 's/^project(q7patcher VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
arch=$(dpkg --print-architecture)
stage=$out/stage
package=$out/q7patcher_${version}_${arch}.deb

rm -rf "$stage"
mkdir -p "$stage/DEBIAN"
DESTDIR=$stage cmake --install "$root/build/native" --prefix /usr --strip >/dev/null

# The libraries q7pack links, as Debian's tools name their packages.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/debian"
printf 'Source: q7patcher\n\nPackage: q7patcher\nArchitecture: any\n' >"$work/debian/control"
depends=$(cd "$work" && dpkg-shlibdeps -O -e "$stage/usr/bin/q7pack" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { echo "deb: dpkg-shlibdeps named no libraries for q7pack" >&2; exit 1; }

cat >"$stage/DEBIAN/control" <<CONTROL
Package: q7patcher
Version: $version
Architecture: $arch
Maintainer: q7patcher developers <q7patcher@localhost>
Section: devel
Priority: optional
Installed-Size: $(du -sk "$stage/usr" | cut -f1)
Depends: $depends
Recommends: wine, wine64, xvfb
Suggests: wine32
Description: script-driven installers for Windows, built and tried on Linux
 q7pack packs a control script and payload files onto the q7patcher.exe
 installer stub (the i686 build it ships; an x86_64 one too), checks scripts,
 lists, verifies and extracts installers, and with Wine and Xvfb runs an
 installer headless in a throwaway Wine prefix (q7pack try): its pages
 driven, its transcript and what it changed on disk and in the registry
 reported, its uninstall tried.
CONTROL
dpkg-deb --root-owner-group -Zxz --build "$stage" "$package" >/dev/null
echo "$package"
