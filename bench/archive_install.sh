#!/usr/bin/env bash
# ArchiveInstall against the script loop of ArchiveFileCopy it replaces,
# measured in the same run on the same archives: 1,000 files of 100 MiB in
# all, and one file of 500 MiB (half text, half random bytes). Both scripts
# run in the real installer (win64 on Wine, the archive named on its command
# line, no page on screen); each installs into a fresh folder, twice, and
# the faster run counts. Prints the times and the ratio ArchiveInstall /
# loop (below 1: ArchiveInstall is faster). Needs the native and win64 builds.
set -euo pipefail
build=${Q7_BUILD:-build/native}
win=${Q7_WIN64_BUILD:-build/win64}
q7pack=$build/tools/q7pack/q7pack
patcher=$win/startup/q7patcher.exe
if [ ! -x "$q7pack" ] || [ ! -f "$patcher" ]; then
  echo "archive_install: skipped, needs $q7pack and $patcher (build the native and win64 presets)"
  exit 0
fi
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(cd "$build" && pwd)/archive-install-bench
rm -rf "$work" && mkdir -p "$work"
export Q7_WINE_STATE=$work/wine
trap '"$here/cmake/wine-fixture.sh" cleanup "$Q7_WINE_STATE" >/dev/null; rm -rf "$work"' EXIT
winpath() { echo "Z:${1//\//\\}"; }

# The loop a packager writes without ArchiveInstall (docs/scripting.md),
# and the one call that replaces it; both write TARGET\result.ini.
cat >"$work/loop.ini" <<'SCRIPT'
if (MESSAGE == INITAPP) {
    ok = CreateDirectory("TARGET") & SetCurrentDirectory("TARGET");
    i = 0;
    while (ok & i < ArchiveFileCount()) {
        name = ArchiveFileName(i);
        if (strtolower(name) != "setup.ini") {
            slash = -1;
            while ((next = strpos(name, "\", slash + 1)) >= 0) slash = next;
            if (slash > 0) ok = CreateDirectory("TARGET\" + substr(name, 0, slash));
            if (ok) ok = ArchiveFileCopy(i);
        }
        i++;
    }
    WriteIni("TARGET\result.ini", "Run", "Done", ok);
}
SCRIPT
cat >"$work/install.ini" <<'SCRIPT'
if (MESSAGE == INITAPP) WriteIni("TARGET\result.ini", "Run", "Done", ArchiveInstall("TARGET"));
SCRIPT

# pack NAME SCRIPT PAYLOAD: an archive of the script (TARGET: the output
# folder of that script) and the payload folder.
pack() {
  local target
  target=$(winpath "$work/out-$1-$2")
  sed "s|TARGET|${target//\\/\\\\}|g" "$work/$2.ini" >"$work/$1-$2/setup.ini"
  "$q7pack" create -o "$work/$1-$2.q7a" "$work/$1-$2/setup.ini" "$3" >/dev/null
}

# seconds NAME SCRIPT: the faster of two runs into a fresh folder, checked.
seconds() {
  local best="" t start
  for _ in 1 2; do
    rm -rf "$work/out-$1-$2"
    start=$(date +%s.%N)
    "$here/cmake/wine-run.sh" "$patcher" "$(winpath "$work/$1-$2.q7a")" >/dev/null 2>&1
    t=$(echo "$(date +%s.%N) - $start" | bc)
    grep -q '^Done=-1' "$work/out-$1-$2/result.ini" || { echo "archive_install: $2 failed on $1" >&2; exit 1; }
    [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" = 1 ] && best=$t
  done
  rm "$work/out-$1-$2/result.ini"
  diff -r "$3" "$work/out-$1-$2" >/dev/null || { echo "archive_install: $2 wrote other files on $1" >&2; exit 1; }
  echo "$best"
}

python3 "$here/bench/lib/synthetic_payload.py" "$work/files" 1000 100
python3 "$here/bench/lib/synthetic_payload.py" "$work/large" 1 500
"$here/cmake/wine-fixture.sh" setup "$Q7_WINE_STATE" >/dev/null
for set in files large; do
  for script in loop install; do
    mkdir -p "$work/$set-$script"
    pack "$set" "$script" "$work/$set"
  done
  loop=$(seconds "$set" loop "$work/$set")
  install=$(seconds "$set" install "$work/$set")
  printf 'archive_install %-5s (%s): loop of ArchiveFileCopy %6.2f s, ArchiveInstall %6.2f s, ratio %.2f\n' \
    "$set" "$(du -sh "$work/$set" | cut -f1)" "$loop" "$install" "$(echo "$install / $loop" | bc -l)"
done
