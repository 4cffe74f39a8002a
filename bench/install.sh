#!/usr/bin/env bash
# Installing a payload of 1,000 files (100 MiB in all, half text, half random
# bytes) under Wine, against `q7pack extract` of the same archive natively,
# in the same run. Under Wine twice: the real installer (q7patcher.exe, on
# the fixture's virtual display, with the archive named on its command line)
# whose control script loops over ArchiveFileCopy, and install_bench, the
# same copy routine looped without a script.
# Needs the native and the win64 build.
set -euo pipefail
build=${Q7_BUILD:-build/native}
win=${Q7_WIN64_BUILD:-build/win64}
q7pack=$build/tools/q7pack/q7pack
installer=$win/bench/install_bench.exe
patcher=$win/startup/q7patcher.exe
if [ ! -x "$q7pack" ] || [ ! -f "$installer" ] || [ ! -f "$patcher" ]; then
  echo "install: skipped, needs $q7pack, $installer and $patcher (build the native and win64 presets)"
  exit 0
fi
work=$(cd "$build" && pwd)/install-bench
rm -rf "$work" && mkdir -p "$work/payload"
export Q7_WINE_STATE=$work/wine
here=$(cd "$(dirname "$0")/.." && pwd)
trap '"$here/cmake/wine-fixture.sh" cleanup "$Q7_WINE_STATE" >/dev/null; rm -rf "$work"' EXIT

python3 "$here/bench/lib/synthetic_payload.py" "$work/payload" 1000 100

# The control script a packager would write: make each entry's folder, copy
# the entry under its stored name, and record how many copies failed.
target="Z:$(echo "$work/script-out" | tr / '\\')"
sed "s|TARGET|$(echo "$target" | sed 's/\\/\\\\/g')|g" >"$work/setup.ini" <<'SCRIPT'
if (MESSAGE == INITAPP) {
    CreateDirectory("TARGET");
    SetCurrentDirectory("TARGET");
    n = ArchiveFileCount();
    failed = 0;
    i = 0;
    while (i < n) {
        name = ArchiveFileName(i);
        slash = strpos(name, "\");
        if (slash > 0) CreateDirectory(".\" + substr(name, 0, slash));
        if (name != "setup.ini") if (!ArchiveFileCopy(i)) failed = failed + 1;
        i = i + 1;
    }
    WriteIni("TARGET\result.ini", "Run", "Failed", failed);
}
SCRIPT
"$q7pack" create -o "$work/payload.q7a" "$work/setup.ini" "$work/payload" >/dev/null
"$here/cmake/wine-fixture.sh" setup "$Q7_WINE_STATE" >/dev/null

start=$(date +%s.%N)
"$q7pack" extract "$work/payload.q7a" "$work/native" >/dev/null
native=$(echo "$(date +%s.%N) - $start" | bc)

start=$(date +%s.%N)
"$here/cmake/wine-run.sh" "$patcher" "Z:$work/payload.q7a"
script=$(echo "$(date +%s.%N) - $start" | bc)
grep -q '^Failed=0' "$work/script-out/result.ini" || { echo "install: the control script's copies failed" >&2; exit 1; }
rm "$work/script-out/result.ini"
diff -r -x setup.ini "$work/native" "$work/script-out" >/dev/null || { echo "install: the installer's output differs" >&2; exit 1; }

# install_bench writes below its current directory and does not make the
# folders of stored names: they exist beforehand.
mkdir -p "$work/wine-out" && (cd "$work/payload" && find . -type d -exec mkdir -p "$work/wine-out/{}" \;)
start=$(date +%s.%N)
read -r inner count failed < <("$here/cmake/wine-run.sh" "$installer" "Z:$work/payload.q7a" "Z:$work/wine-out")
wine=$(echo "$(date +%s.%N) - $start" | bc)
diff -r -x setup.ini "$work/native" "$work/wine-out" >/dev/null || { echo "install: the two outputs differ" >&2; exit 1; }

echo "install: $count entries, $(find "$work/payload" -type f -printf '%s\n' | awk '{s+=$1} END {print s}') payload bytes, $failed failed"
printf '  q7pack extract (native):                          %6.2f s\n' "$native"
printf '  q7patcher.exe, script loop of ArchiveFileCopy:    %6.2f s (win64 on Wine, whole process)\n' "$script"
printf '  install_bench, the same copies without a script:  %6.2f s (win64 on Wine; %.2f s inside)\n' "$wine" "$inner"
printf '  ratio installer / native %.2f; copy loop / native %.2f\n' \
  "$(echo "$script / $native" | bc -l)" "$(echo "$wine / $native" | bc -l)"
