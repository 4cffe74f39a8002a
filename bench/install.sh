#!/usr/bin/env bash
# Installing a payload of 1,000 files (100 MiB in all, half text, half random
# bytes) under Wine with the installer's archive copy, against
# `q7pack extract` of the same archive natively, in the same run.
# Needs the native and the win64 build.
set -euo pipefail
build=${Q7_BUILD:-build/native}
win=${Q7_WIN64_BUILD:-build/win64}
q7pack=$build/tools/q7pack/q7pack
installer=$win/bench/install_bench.exe
if [ ! -x "$q7pack" ] || [ ! -f "$installer" ]; then
  echo "install: skipped, needs $q7pack and $installer (build the native and win64 presets)"
  exit 0
fi
work=$(cd "$build" && pwd)/install-bench
rm -rf "$work" && mkdir -p "$work/payload"
export Q7_WINE_STATE=$work/wine
here=$(cd "$(dirname "$0")/.." && pwd)
trap '"$here/cmake/wine-fixture.sh" cleanup "$Q7_WINE_STATE" >/dev/null; rm -rf "$work"' EXIT

python3 - "$work/payload" <<'PY'
import os, random, sys
folder = sys.argv[1]
size = 100 * 1024 * 1024 // 1000
rng = random.Random(7)
words = [b"setup", b"install", b"archive", b"folder", b"value", b"q7", b"patch", b"file"]
for i in range(1000):
    sub = os.path.join(folder, "d%02d" % (i // 100))
    os.makedirs(sub, exist_ok=True)
    text = b" ".join(rng.choice(words) for _ in range(size // 12))[: size // 2]
    with open(os.path.join(sub, "f%04d.bin" % i), "wb") as out:
        out.write(text + rng.randbytes(size - len(text)))
PY
echo 'x = 1;' >"$work/setup.ini"
"$q7pack" create -o "$work/payload.q7a" "$work/setup.ini" "$work/payload" >/dev/null
"$here/cmake/wine-fixture.sh" setup "$Q7_WINE_STATE" >/dev/null

start=$(date +%s.%N)
"$q7pack" extract "$work/payload.q7a" "$work/native" >/dev/null
native=$(echo "$(date +%s.%N) - $start" | bc)

# The installer writes below its current directory and does not make the
# folders of stored names: they exist beforehand, as a script would make them.
mkdir -p "$work/wine-out" && (cd "$work/payload" && find . -type d -exec mkdir -p "$work/wine-out/{}" \;)
start=$(date +%s.%N)
read -r inner count failed < <("$here/cmake/wine-run.sh" "$installer" "Z:$work/payload.q7a" "Z:$work/wine-out")
wine=$(echo "$(date +%s.%N) - $start" | bc)
diff -r -x setup.ini "$work/native" "$work/wine-out" >/dev/null || { echo "install: the two outputs differ" >&2; exit 1; }

echo "install: $count entries, $(find "$work/payload" -type f -printf '%s\n' | awk '{s+=$1} END {print s}') payload bytes, $failed failed"
printf '  q7pack extract (native):           %6.2f s\n' "$native"
printf '  archive copy loop (win64 on Wine):  %6.2f s (%.2f s inside the program)\n' "$wine" "$inner"
printf '  ratio Wine / native %.2f\n' "$(echo "$wine / $native" | bc -l)"
