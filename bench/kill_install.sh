#!/usr/bin/env bash
# What a killed installation leaves, checked (not timed): version 1 of a
# product (the realistic payload with every third file changed, every
# seventh missing, and a file of the user's) is in place; the installer of
# version 2 (the payload) is started under Wine and killed with SIGKILL at a
# random moment, Q7_KILL_RUNS times (default 20). After each kill every file
# under an entry's name must hold version 1's or version 2's bytes whole,
# and at most one temporary file for each of the installer's workers may
# be left (made, or about to take its name, at the instant of the kill);
# then version 1's installer runs, and the folder must be exactly version 1
# again: the killed run's new files and temporary files gone, its old
# copies back, its journal finished. Needs the native and win64 builds.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${Q7_BUILD:-build/native}
win=${Q7_WIN64_BUILD:-build/win64}
runs=${Q7_KILL_RUNS:-20}
q7pack=$build/tools/q7pack/q7pack
stub=$win/startup/q7patcher.exe
. "$here/bench/lib/wine_bench.sh"
bench_start kill_install kill-install "$q7pack" "$stub"
. "$here/cmake/wine-env.sh"

bash "$here/bench/lib/realistic_payload.sh" "$work/v2" "${Q7_PAYLOAD_MB:-160}"
version_one "$work/v2" "$work/v1"
echo "the user's" >"$work/mine.txt"
target=$work/app
for v in v1 v2; do
  mkdir -p "$work/script-$v"
  printf 'if (MESSAGE == INITAPP) WriteIni("%s\\%s.ini", "Run", "Done", ArchiveInstall("%s"));\r\n' \
    "$(winpath "$work")" "$v" "$(winpath "$target")" >"$work/script-$v/setup.ini"
  "$q7pack" create -o "$work/$v.exe" --stub "$stub" "$work/script-$v/setup.ini" "$work/$v" >/dev/null
done
"$here/cmake/wine-fixture.sh" setup "$Q7_WINE_STATE" >/dev/null

# prepare: version 1 in place, as each killed run finds it, on disk first:
# the installer's flushes would wait for the copy's 168 MB, and its files
# would go into place far later than the reference says.
prepare() {
  rm -rf "$target" && cp -r "$work/v1" "$target" && cp "$work/mine.txt" "$target/"
  sync
}

# An upgrade of version 1 to version 2 tells how long a killed run would
# take: it sets the old files aside, which a fresh installation does not.
# The second of two: the first starts Wine's services in the new prefix
# and takes about twice as long, which would put most kills after the end.
for _ in 1 2; do
  prepare
  start=$(date +%s.%N)
  "$here/cmake/wine-run.sh" "$work/v2.exe" >/dev/null 2>&1
  whole=$(echo "$(date +%s.%N) - $start" | bc)
  grep -q '^Done=-1' "$work/v2.ini" || { echo "kill_install: version 2 did not install" >&2; exit 1; }
done

fail() { echo "kill_install: run $1: $2" >&2; exit 1; }
before=0 during=0 after=0
for run in $(seq "$runs"); do
  prepare
  delay=$(LC_ALL=C awk -v w="$whole" -v s="$RANDOM" 'BEGIN { srand(s); printf "%.2f", 0.2 + rand() * w * 1.2 }')
  "$Q7_WINE" "$work/v2.exe" >/dev/null 2>&1 &
  pid=$!
  sleep "$delay"
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  # The server closes the killed process's handles, deleting its marked
  # files; on a busy machine that takes a while.
  for tries in $(seq 20); do
    [ "$(find "$target" -name '.q7pack-*.tmp' -not -path '*/.q7journal/*' | wc -l)" -le 4 ] && break
    sleep 0.5
  done
  sleep 1
  # Every file under an entry's name is version 1's or version 2's, whole.
  new=0 temps=0
  while IFS= read -r -d '' file; do
    name=${file#"$target/"}
    case $name in .q7journal/*) continue ;; mine.txt) cmp -s "$file" "$work/mine.txt" || fail "$run" "mine.txt changed"; continue ;; esac
    # A new file made, or about to take its name, at the instant of the
    # kill stays under its temporary name: one for each worker at most,
    # gone once the next run has entered its folder.
    case $(basename "$name") in .q7pack-*.tmp) temps=$((temps + 1)); continue ;; esac
    if [ -f "$work/v2/$name" ] && cmp -s "$file" "$work/v2/$name"; then
      [ -f "$work/v1/$name" ] && cmp -s "$file" "$work/v1/$name" || new=$((new + 1))
    elif [ -f "$work/v1/$name" ] && cmp -s "$file" "$work/v1/$name"; then
      :
    else
      fail "$run" "$name is neither version's whole file"
    fi
  done < <(find "$target" -type f -print0)
  # The journal's done mark (K) or no journal at all: the run had finished.
  journal=no
  [ -f "$target/.q7journal/journal" ] && journal=yes
  [ "$journal" = yes ] && [ "$(tail -n 1 "$target/.q7journal/journal")" = K ] && journal=done
  if [ "$journal" != yes ] && [ "$new" -gt 0 ]; then after=$((after + 1)); elif [ "$new" -gt 0 ]; then during=$((during + 1)); else before=$((before + 1)); fi
  # Version 1's installer takes the killed run back first.
  "$here/cmake/wine-run.sh" "$work/v1.exe" >/dev/null 2>&1
  grep -q '^Done=-1' "$work/v1.ini" || fail "$run" "version 1 did not install"
  rm "$work/v1.ini"
  rm "$target/mine.txt"
  # Killed after it finished, version 2 stays whole, and version 1's
  # installer leaves the files only version 2 has.
  extra=""
  [ "$journal" != yes ] && [ "$new" -gt 0 ] && extra="^Only in $target"
  [ "$temps" -le 4 ] || fail "$run" "$temps temporary files left, more than one for each worker"
  [ -z "$(find "$target" -name '.q7pack-*.tmp' -not -path '*/.q7journal/*')" ] ||
    fail "$run" "the next run left a temporary file of the killed one"
  [ -z "$(diff -r "$work/v1" "$target" | grep -v "${extra:-^$}" || true)" ] ||
    fail "$run" "after version 1 the folder is not version 1 (killed after ${delay} s)"
  printf '  run %2d: killed after %5s s, %4d new files in place, %d temporary, journal %s; version 1 back whole\n' \
    "$run" "$delay" "$new" "$temps" "$journal"
done
echo "kill_install: $runs kills of a $whole s upgrade: $before before the files went into place, $during while, $after after; every time each file was whole and the next run put version 1 back exactly"
