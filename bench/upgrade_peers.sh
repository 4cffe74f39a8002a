#!/usr/bin/env bash
# How long an upgrade takes under Wine, against NSIS doing the same: version
# 1 of a product (the realistic payload with every third file changed and
# every seventh missing, as bench/kill_install.sh makes it) is in the
# folder, and the installer of version 2 (the payload) runs over it
# silently: ours with ArchiveInstall, NSIS (built here with Debian's
# makensis, zlib) with File /r. Alternating pairs (Q7_ROUNDS, default 3),
# each over a fresh copy of version 1 that is on disk first, each result
# checked with diff -r; then one fresh installation of each for scale.
# Prints medians and the ratio. Needs the native and win64 builds.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${Q7_BUILD:-build/native}
win=${Q7_WIN64_BUILD:-build/win64}
rounds=${Q7_ROUNDS:-3}
q7pack=$build/tools/q7pack/q7pack
stub=$win/startup/q7patcher.exe
. "$here/bench/lib/wine_bench.sh"
command -v makensis >/dev/null || { echo "upgrade_peers: skipped, needs makensis (Debian nsis)"; exit 0; }
bench_start upgrade_peers upgrade-peers-bench "$q7pack" "$stub"

bash "$here/bench/lib/realistic_payload.sh" "$work/v2" "${Q7_PAYLOAD_MB:-160}"
version_one "$work/v2" "$work/v1"
target=$work/app

mkdir -p "$work/script"
printf 'if (MESSAGE == INITAPP) WriteIni("%s\\result.ini", "Run", "Done", ArchiveInstall("%s"));\r\n' \
  "$(winpath "$work")" "$(winpath "$target")" >"$work/script/setup.ini"
"$q7pack" create -o "$work/ours.exe" --stub "$stub" "$work/script/setup.ini" "$work/v2" >/dev/null
nsis_installer amd64-unicode "$work/v2" "$work/nsis.exe"
"$here/cmake/wine-fixture.sh" setup "$Q7_WINE_STATE" >/dev/null

# run WHO OVER: seconds of one run of WHO's installer into the target,
# over version 1 (OVER = v1) or into an empty folder (OVER = none), checked.
run() {
  rm -rf "$target"
  [ "$2" = v1 ] && cp -r "$work/v1" "$target"
  sync
  if [ "$1" = ours ]; then
    timed_install upgrade_peers "$work/ours.exe" "$target" "$work/v2" "$work/result.ini"
  else
    timed_install upgrade_peers "$work/nsis.exe" "$target" "$work/v2"
  fi
}

echo "upgrade_peers: version 1 of $(find "$work/v1" -type f | wc -l) files, version 2 of $(find "$work/v2" -type f | wc -l), $rounds alternating pairs, medians"
: >"$work/ours.s" && : >"$work/nsis.s"
for r in $(seq "$rounds"); do
  if [ $((r % 2)) = 1 ]; then
    run ours v1 >>"$work/ours.s" && run nsis v1 >>"$work/nsis.s"
  else
    run nsis v1 >>"$work/nsis.s" && run ours v1 >>"$work/ours.s"
  fi
done
o=$(median <"$work/ours.s") n=$(median <"$work/nsis.s")
printf '  upgrade: ArchiveInstall %6.2f s (%s), NSIS zlib %6.2f s (%s): ratio %.2f\n' "$o" \
  "$(tr '\n' ' ' <"$work/ours.s" | sed 's/ $//')" "$n" "$(tr '\n' ' ' <"$work/nsis.s" | sed 's/ $//')" \
  "$(echo "$o / $n" | bc -l)"
printf '  for scale, one fresh installation each: ArchiveInstall %6.2f s, NSIS zlib %6.2f s\n' \
  "$(run ours none)" "$(run nsis none)"
