#!/usr/bin/env bash
# The solid format against its peers on the realistic payload, all in one
# run on one machine: installer bytes and packing time of q7pack's zlib
# format, q7pack --solid and makensis /SOLID lzma (Debian's nsis; skipped
# when it is not installed); then both q7pack installers (the shipped i686
# stub) installing the payload silently under Wine with ArchiveInstall,
# twice each in alternation: their time and the peak memory of the
# installer's process. Prints the figures and the ratios the solid format
# is held to. Needs the native and win32 builds (and win64 for the Wine
# prefix helpers); never a test.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${Q7_BUILD:-build/native}
stub=${Q7_WIN32_BUILD:-build/win32}/startup/q7patcher.exe
q7pack=$build/tools/q7pack/q7pack
. "$here/bench/lib/wine_bench.sh"
bench_start solid solid-bench "$q7pack" "$stub"

bash "$here/bench/lib/realistic_payload.sh" "$work/payload" "${REALISTIC_MB:-160}"
target=$(winpath "$work/out")
printf 'if (MESSAGE == INITAPP) WriteIni("%s\\\\result.ini", "Run", "Done", ArchiveInstall("%s"));\r\n' \
  "${target//\\/\\\\}" "${target//\\/\\\\}" >"$work/setup.ini"

# run NAME COMMAND...: wall seconds, and peak memory in KiB, of COMMAND.
run() {
  local name=$1
  shift
  /usr/bin/time -f "%e %M" -o "$work/$name.time" "$@" >/dev/null 2>"$work/$name.err" ||
    { echo "solid: $name failed:" >&2; cat "$work/$name.err" >&2; exit 1; }
  cat "$work/$name.time"
}

read -r zlib_s _ < <(run zlib "$q7pack" create -o "$work/zlib.exe" --stub "$stub" "$work/setup.ini" "$work/payload")
read -r solid_s _ < <(run solid "$q7pack" create --solid -o "$work/solid.exe" --stub "$stub" "$work/setup.ini" "$work/payload")
zlib_b=$(stat -c %s "$work/zlib.exe")
solid_b=$(stat -c %s "$work/solid.exe")
echo "solid: $(nproc) cores, payload $(du -sb "$work/payload" | cut -f1) bytes"
printf '  %-30s %11s bytes %8.1f s\n' "q7pack (zlib, default level)" "$zlib_b" "$zlib_s" "q7pack --solid" "$solid_b" "$solid_s"
if command -v makensis >/dev/null; then
  printf 'Unicode true\nSetCompressor /SOLID lzma\nOutFile "%s"\nSection\nSetOutPath $INSTDIR\nFile /r "%s/*"\nSectionEnd\n' \
    "$work/nsis.exe" "$work/payload" >"$work/nsis.nsi"
  read -r nsis_s _ < <(run nsis makensis -V1 "$work/nsis.nsi")
  nsis_b=$(stat -c %s "$work/nsis.exe")
  printf '  %-30s %11s bytes %8.1f s\n' "makensis /SOLID lzma" "$nsis_b" "$nsis_s"
  printf '  solid / makensis: bytes %.3f (goal 0.95 at most), packing time %.2f (goal 0.5 at most)\n' \
    "$(echo "$solid_b / $nsis_b" | bc -l)" "$(echo "$solid_s / $nsis_s" | bc -l)"
fi

# peak NAME: until $work/NAME.done exists, the largest resident set (VmHWM,
# KiB) of any process whose command line names $work/NAME.exe; written to
# $work/NAME.peak. Wine starts the installer as a process that /usr/bin/time
# does not wait for, so its own figure is the launcher's.
peak() {
  local max=0 pid hwm
  while [ ! -e "$work/$1.done" ]; do
    # The installer's path, as Unix or Wine writes it: other helpers' runs
    # of this bench have installers of the same name.
    for pid in $(grep -lasF -e "$work/$1.exe" -e "${work//\//\\}\\$1.exe" /proc/[0-9]*/cmdline | cut -d/ -f3); do
      hwm=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$pid/status" 2>/dev/null || true)
      [ -n "$hwm" ] && [ "$hwm" -gt "$max" ] && max=$hwm
    done
    sleep 0.1
  done
  echo "$max" >"$work/$1.peak"
}

# install NAME: installs NAME.exe into a fresh folder, checks the files;
# prints its wall seconds and the installer's peak resident set in KiB.
install() {
  rm -rf "$work/out" "$work/$1.done" "$work/$1.peak"
  peak "$1" &
  read -r seconds _ < <(run "install-$1" "$here/cmake/wine-run.sh" "$work/$1.exe")
  touch "$work/$1.done"
  wait
  local peak
  peak=$(cat "$work/$1.peak")
  grep -q '^Done=-1' "$work/out/result.ini" || { echo "solid: $1 did not install" >&2; exit 1; }
  rm "$work/out/result.ini"
  diff -r "$work/payload" "$work/out" >/dev/null || { echo "solid: $1 installed other files" >&2; exit 1; }
  echo "$seconds $peak"
}
"$here/cmake/wine-fixture.sh" setup "$Q7_WINE_STATE" >/dev/null
# In alternation (zlib, solid, solid, zlib), so that a change of the
# machine's load weighs on both alike; times are the sums, peaks the larger.
read -r z1_s z1_m < <(install zlib)
read -r s1_s s1_m < <(install solid)
read -r s2_s s2_m < <(install solid)
read -r z2_s z2_m < <(install zlib)
zi_s=$(echo "$z1_s + $z2_s" | bc) zi_m=$((z1_m > z2_m ? z1_m : z2_m))
si_s=$(echo "$s1_s + $s2_s" | bc) si_m=$((s1_m > s2_m ? s1_m : s2_m))
window=$("$q7pack" list "$work/solid.exe" | sed -n 's/.*window \([0-9]*\) bytes.*/\1/p' | head -1)
dictionary=$("$q7pack" list "$work/solid.exe" | sed -n 's/.*dictionary \([0-9]*\) bytes.*/\1/p' | head -1)
printf '  install under Wine (i686), twice each: zlib %.1f s, peak %s KiB; solid %.1f s, peak %s KiB\n' \
  "$zi_s" "$zi_m" "$si_s" "$si_m"
printf '  solid / zlib install time %.2f (goal 1.5 at most)\n' "$(echo "$si_s / $zi_s" | bc -l)"
printf '  solid peak above zlib %s KiB; largest window %s KiB, largest LZMA dictionary %s KiB (goal: peak above zlib at most the dictionary + 16384 KiB)\n' \
  "$((si_m - zi_m))" "$((${window:-0} / 1024))" "$((${dictionary:-0} / 1024))"
