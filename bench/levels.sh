#!/usr/bin/env bash
# Which compression level q7pack should use by default: every level on two
# payloads (the generated mixed one and a realistic one of Windows DLLs and
# text), against single-threaded zlib level 9 and, when it is installed,
# makensis. The default is the fastest level whose archive is not larger
# than zlib -9's streams on the realistic payload.
set -euo pipefail
build=${Q7_BUILD:-build/native}
bench=$build/bench/archive_bench
q7pack=$build/tools/q7pack/q7pack
work=$build/bench-levels
rm -rf "$work" && mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
echo 'x = 1;' >"$work/setup.ini"

"$bench" payload "$work/generated" "${PAYLOAD_MB:-128}" 2>/dev/null
bash "$(dirname "$0")/lib/realistic_payload.sh" "$work/realistic" "${REALISTIC_MB:-160}"

seconds_since() { echo "$(date +%s.%N) - $1" | bc; }

# level_table NAME: one row per level, then the choice.
level_table() {
  local name=$1 payload=$work/$1 zt zin zout best="" best_t="" start t size
  read -r zt zin zout < <("$bench" zlib9 "$payload")
  echo "$name payload, $zin bytes ($(nproc) cores, $("$q7pack" --version)):"
  printf '  %-22s %8.2f s  %11s bytes  ratio to zlib -9\n' "zlib -9, one thread" "$zt" "$zout"
  if command -v makensis >/dev/null; then
    printf 'SetCompressor /FINAL zlib\nOutFile "%s"\nSection\nSetOutPath $INSTDIR\nFile /r "%s/*"\nSectionEnd\n' \
      "$work/nsis.exe" "$payload" >"$work/nsis.nsi"
    start=$(date +%s.%N)
    makensis -V1 "$work/nsis.nsi" >/dev/null
    t=$(seconds_since "$start")
    printf '  %-22s %8.2f s  %11s bytes  %.4f\n' "makensis (zlib)" "$t" "$(stat -c %s "$work/nsis.exe")" \
      "$(echo "$(stat -c %s "$work/nsis.exe") / $zout" | bc -l)"
  fi
  for level in $(seq 1 "$("$q7pack" --help | sed -n 's/.*level 0 (stored) to \([0-9]*\).*/\1/p')"); do
    start=$(date +%s.%N)
    "$q7pack" create -l "$level" -o "$work/out.q7a" "$work/setup.ini" "$payload" >/dev/null
    t=$(seconds_since "$start")
    size=$(stat -c %s "$work/out.q7a")
    printf '  %-22s %8.2f s  %11s bytes  %.4f\n' "q7pack -l $level" "$t" "$size" "$(echo "$size / $zout" | bc -l)"
    if [ "$size" -le "$zout" ] && { [ -z "$best" ] || [ "$(echo "$t < $best_t" | bc)" = 1 ]; }; then
      best=$level best_t=$t
    fi
  done
  echo "  fastest level not larger than zlib -9: ${best:-none}${best_t:+ ($best_t s)}"
}

level_table generated
level_table realistic
