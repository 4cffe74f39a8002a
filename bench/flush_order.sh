#!/usr/bin/env bash
# What a power cut would leave, checked from the order of flushes and
# renames (not timed): one installation of the realistic payload (20 MB of
# it, Q7_PAYLOAD_MB) over an older version, under Wine, with the installer
# and the Wine server traced by strace; bench/flush_order.py then checks
# that each file was flushed before its rename, the journal between the
# last file flush and the first rename, and the done mark after the last
# rename. Needs the native and win64 builds.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${Q7_BUILD:-build/native}
win=${Q7_WIN64_BUILD:-build/win64}
q7pack=$build/tools/q7pack/q7pack
stub=$win/startup/q7patcher.exe
. "$here/bench/lib/wine_bench.sh"
bench_start flush_order flush-order "$q7pack" "$stub"

bash "$here/bench/lib/realistic_payload.sh" "$work/payload" "${Q7_PAYLOAD_MB:-20}" 2>/dev/null
mkdir -p "$work/script"
printf 'if (MESSAGE == INITAPP) ArchiveInstall("%s");\r\n' "$(winpath "$work/app")" >"$work/script/setup.ini"
"$q7pack" create -o "$work/setup.exe" --stub "$stub" "$work/script/setup.ini" "$work/payload" >/dev/null
# The older version: every other file there already, with other bytes.
cp -r "$work/payload" "$work/app"
find "$work/app" -type f | sort | awk 'NR % 2 == 0' | while read -r f; do echo old >"$f"; done

"$here/cmake/wine-fixture.sh" setup "$Q7_WINE_STATE" >/dev/null
. "$here/cmake/wine-env.sh"
"$Q7_WINESERVER" -k 2>/dev/null || true
calls=fsync,fdatasync,write,rename,renameat,renameat2
strace -f -ttt -y -e trace=$calls -o "$work/server.log" "$Q7_WINESERVER" -f -p3 &
sleep 1
strace -f -ttt -y -e trace=$calls -o "$work/installer.log" "$Q7_WINE" "$work/setup.exe" >/dev/null 2>&1
"$Q7_WINESERVER" -k 2>/dev/null || true
wait || true
diff -r "$work/payload" "$work/app" >/dev/null || { echo "flush_order: the installation did not finish" >&2; exit 1; }
python3 "$here/bench/flush_order.py" "$work/installer.log" "$work/server.log"
