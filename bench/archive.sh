#!/usr/bin/env bash
# Archive and packager benchmarks on a generated payload of mixed text and
# binary files (PAYLOAD_MB, default 128). Prints figures and ratios against
# baselines measured in the same run.
set -euo pipefail
build=${Q7_BUILD:-build/native}
bench=$build/bench/archive_bench
q7pack=$build/tools/q7pack/q7pack
work=$build/bench-data
mb=${PAYLOAD_MB:-128}
rm -rf "$work" && mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

"$bench" payload "$work/payload" "$mb"
echo 'x = 1;' >"$work/setup.ini"

# q7pack at its default level on all cores against single-threaded zlib -9.
read -r zt zin zout < <("$bench" zlib9 "$work/payload")
start=$(date +%s.%N)
"$q7pack" create -o "$work/payload.q7a" "$work/setup.ini" "$work/payload" >/dev/null
qt=$(echo "$(date +%s.%N) - $start" | bc)
qout=$(stat -c %s "$work/payload.q7a")
echo "q7pack create ($(nproc) cores, $("$q7pack" --version)) vs zlib level 9 (one thread), $zin bytes:"
printf '  zlib -9:       %6.2f s  %s bytes\n' "$zt" "$zout"
printf '  q7pack create: %6.2f s  %s bytes (whole archive)\n' "$qt" "$qout"
printf '  speed-up %.2fx (goal >= 2), size ratio %.4f (goal <= 1)\n' \
  "$(echo "$zt / $qt" | bc -l)" "$(echo "$qout / $zout" | bc -l)"

"$bench" extract "$work/payload.q7a" "$work/out"
rm -rf "$work/out"

"$bench" table

# Peak memory while one 1 GiB entry is extracted, in a process of its own.
"$bench" big-entry "$work/big.q7a" 1024
peak=$( { /usr/bin/time -f '%M' "$bench" extract-one "$work/big.q7a" "$work/big.out"; } 2>&1 )
echo "extract-one: 1 GiB entry ($(stat -c %s "$work/big.out") bytes), peak resident memory ${peak} KiB (goal < 8192)"
