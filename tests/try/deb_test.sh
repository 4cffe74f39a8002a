#!/usr/bin/env bash
# Builds the Debian package (scripts/deb.sh) into OUT and unpacks it into
# OUT/root as dpkg would install it; the try scenarios run its q7pack from
# there. Skipped (exit status 77) where the Windows presets are not built.
#
#   deb_test.sh OUT
set -euo pipefail
out=$1
source=$(cd "$(dirname "$0")/../.." && pwd)
for built in build/win32/startup/q7patcher.exe build/win64/startup/q7patcher.exe \
  build/win64/tools/q7uidriver/q7uidriver.exe; do
  [ -f "$source/$built" ] || { echo "skipped: $built is not built (make test builds every preset)"; exit 77; }
done
package=$(bash "$source/scripts/deb.sh" "$out")
rm -rf "$out/root"
dpkg -x "$package" "$out/root"
listed=$(dpkg -c "$package")
for file in usr/bin/q7pack usr/lib/q7patcher/q7patcher.exe usr/lib/q7patcher/q7patcher-x86_64.exe \
  usr/lib/q7patcher/q7uidriver.exe usr/share/man/man1/q7pack.1.gz usr/share/doc/q7patcher/packaging.md \
  usr/share/doc/q7patcher/examples/q7/install.actions; do
  grep -q " \./$file\$" <<<"$listed" || { echo "FAIL: $package lacks /$file" >&2; exit 1; }
done
cmp "$source/build/win32/startup/q7patcher.exe" "$out/root/usr/lib/q7patcher/q7patcher.exe"
echo "ok: $package, unpacked in $out/root"
