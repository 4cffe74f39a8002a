#!/usr/bin/env bash
# Installing the realistic payload (bench/lib/realistic_payload.sh, 160 MB)
# silently under Wine: our installer's ArchiveInstall against NSIS built
# here with Debian's makensis (zlib, not solid, the same files), per
# bitness, in alternating pairs (Q7_ROUNDS, default 3), each into a fresh
# folder and checked with diff -r; then `q7pack extract` of the same
# payload natively against `cp -r` (and `cp -r` plus one sync), alternating
# too, with the flush calls of one extraction counted by strace. Prints
# medians and ratios (goals: ArchiveInstall at most 0.8 of NSIS, extract at
# most 1.5 of cp -r, a few dozen flushes). Needs the native and win64
# builds; the i686 pair runs when build/win32 has the stub.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${Q7_BUILD:-build/native}
win=${Q7_WIN64_BUILD:-build/win64}
win32=${Q7_WIN32_BUILD:-build/win32}
rounds=${Q7_ROUNDS:-3}
q7pack=$build/tools/q7pack/q7pack
. "$here/bench/lib/wine_bench.sh"
command -v makensis >/dev/null || { echo "install_peers: skipped, needs makensis (Debian nsis)"; exit 0; }
bench_start install_peers install-peers-bench "$q7pack" "$win/startup/q7patcher.exe"

bash "$here/bench/lib/realistic_payload.sh" "$work/payload" "${Q7_PAYLOAD_MB:-160}"
payload=$work/payload
"$here/cmake/wine-fixture.sh" setup "$Q7_WINE_STATE" >/dev/null

# ours BITS STUB: an installer whose script installs the payload into
# out-ours-BITS and records the answer there.
ours() {
  local target
  target=$(winpath "$work/out-ours-$1")
  mkdir -p "$work/script-$1"
  printf 'if (MESSAGE == INITAPP) WriteIni("%s\\result.ini", "Run", "Done", ArchiveInstall("%s"));\r\n' \
    "$target" "$target" >"$work/script-$1/setup.ini"
  "$q7pack" create -o "$work/ours-$1.exe" --stub "$2" "$work/script-$1/setup.ini" "$payload" >/dev/null
}

# run WHO BITS: seconds of one installation into a fresh folder, checked.
run() {
  local out=$work/out-$1-$2
  rm -rf "$out"
  if [ "$1" = ours ]; then
    timed_install install_peers "$work/ours-$2.exe" "$out" "$payload" "$out/result.ini"
  else
    timed_install install_peers "$work/nsis-$2.exe" "$out" "$payload"
  fi
}

echo "install_peers: $(find "$payload" -type f | wc -l) files, $(du -sb "$payload" | cut -f1) bytes, $rounds alternating pairs, medians"
pairs=("64 $win/startup/q7patcher.exe amd64-unicode")
[ -f "$win32/startup/q7patcher.exe" ] && pairs+=("32 $win32/startup/q7patcher.exe x86-unicode")
for pair in "${pairs[@]}"; do
  read -r bits stub target <<<"$pair"
  ours "$bits" "$stub"
  nsis_installer "$target" "$payload" "$work/nsis-$bits.exe"
  : >"$work/ours.s" && : >"$work/nsis.s"
  for r in $(seq "$rounds"); do
    if [ $((r % 2)) = 1 ]; then
      run ours "$bits" >>"$work/ours.s" && run nsis "$bits" >>"$work/nsis.s"
    else
      run nsis "$bits" >>"$work/nsis.s" && run ours "$bits" >>"$work/ours.s"
    fi
  done
  o=$(median <"$work/ours.s") n=$(median <"$work/nsis.s")
  printf '  %s-bit: ArchiveInstall %6.2f s (%s), NSIS zlib %6.2f s (%s): ratio %.2f (goal at most 0.8)\n' "$bits" "$o" \
    "$(tr '\n' ' ' <"$work/ours.s" | sed 's/ $//')" "$n" "$(tr '\n' ' ' <"$work/nsis.s" | sed 's/ $//')" \
    "$(echo "$o / $n" | bc -l)"
done

# q7pack extract against cp -r, natively.
echo 'x = 1;' >"$work/setup.ini"
"$q7pack" create -o "$work/payload.q7a" "$work/setup.ini" "$payload" >/dev/null
: >"$work/extract.s" && : >"$work/cp.s" && : >"$work/cpsync.s"
for _ in $(seq "$rounds"); do
  rm -rf "$work/x" && start=$(now) && "$q7pack" extract "$work/payload.q7a" "$work/x" >/dev/null
  echo "$(now) - $start" | bc >>"$work/extract.s"
  rm -rf "$work/c" && start=$(now) && cp -r "$payload" "$work/c"
  echo "$(now) - $start" | bc >>"$work/cp.s"
  rm -rf "$work/c" && start=$(now) && cp -r "$payload" "$work/c" && sync
  echo "$(now) - $start" | bc >>"$work/cpsync.s"
done
rm -f "$work/x/setup.ini"
diff -r "$payload" "$work/x" >/dev/null || { echo "install_peers: extract wrote other files" >&2; exit 1; }
rm -rf "$work/x"
flushes=$(strace -f -c -e trace=fsync,fdatasync,syncfs,sync,msync "$q7pack" extract "$work/payload.q7a" "$work/x" 2>&1 >/dev/null |
  awk '$NF ~ /^(fsync|fdatasync|syncfs|sync|msync)$/ { n += $4 } END { print n + 0 }')
e=$(median <"$work/extract.s") c=$(median <"$work/cp.s") cs=$(median <"$work/cpsync.s")
printf '  q7pack extract %5.2f s, cp -r %5.2f s, cp -r and sync %5.2f s: ratios %.2f and %.2f (goal at most 1.5); %s flushes\n' \
  "$e" "$c" "$cs" "$(echo "$e / $c" | bc -l)" "$(echo "$e / $cs" | bc -l)" "$flushes"
