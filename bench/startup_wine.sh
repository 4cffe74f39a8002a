#!/usr/bin/env bash
# Time from process start to the first page on screen under Wine: the
# installer (an appended archive whose script opens page 101) against
# bench/minimal_dialog, a program that shows one dialog from its resources
# and nothing else. Both run in the same prefix in alternating rounds; the
# UI driver times each from CreateProcess to the first visible window with
# controls whose program answers a message. Prints the medians and their
# ratio (goal: at most 1.3), and the installer against the same dialog with
# the installer's manifest (Common Controls 6), which tells the cost of the
# themed controls from the cost of the installer's own work.
# Q7_STUB_BEFORE=FILE adds another stub (an earlier build of it) to the same
# rounds and prints the ratio of this stub to that one.
# Needs the native build (q7pack) and the win64 build.
set -euo pipefail
build=${Q7_BUILD:-build/native}
win=${Q7_WIN64_BUILD:-build/win64}
rounds=${Q7_STARTUP_ROUNDS:-9}
q7pack=$build/tools/q7pack/q7pack
stub=$win/startup/q7patcher.exe
baseline=$win/bench/minimal_dialog.exe
themed=$win/bench/minimal_dialog_manifest.exe
driver=$win/tools/q7uidriver/q7uidriver.exe
for needed in "$q7pack" "$stub" "$baseline" "$themed" "$driver"; do
  if [ ! -f "$needed" ]; then
    echo "startup_wine: skipped, needs $needed (build the native and win64 presets)"
    exit 0
  fi
done
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(cd "$win" && pwd)/startup-bench
rm -rf "$work" && mkdir -p "$work"
export Q7_WINE_STATE=$work/wine
trap '"$here/cmake/wine-fixture.sh" cleanup "$Q7_WINE_STATE" >/dev/null; rm -rf "$work"' EXIT

printf 'if (MESSAGE == INITAPP) DialogBox(101);\r\nif (MESSAGE == CLOSE) EndDialog(0);\r\n' >"$work/setup.ini"
"$q7pack" create -o "$work/setup.exe" --stub "$stub" "$work/setup.ini" >/dev/null
before=${Q7_STUB_BEFORE:-}
[ -z "$before" ] || "$q7pack" create -o "$work/before.exe" --stub "$before" "$work/setup.ini" >/dev/null
"$here/cmake/wine-fixture.sh" setup "$Q7_WINE_STATE" >/dev/null

# Milliseconds to the first window of one run of a program.
first_window() {
  "$here/cmake/wine-run.sh" "$driver" --out "Z:$work/ms.txt" --first-window -- "Z:$1" >/dev/null 2>&1
  cat "$work/ms.txt"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# One discarded round of each: the first start in a fresh prefix loads
# what later starts find cached.
first_window "$work/setup.exe" >/dev/null
first_window "$baseline" >/dev/null
first_window "$themed" >/dev/null
: >"$work/installer.ms"
: >"$work/baseline.ms"
: >"$work/themed.ms"
: >"$work/before.ms"
# Each round starts one program further on, so that each program runs
# after each other one equally often: the program that follows another
# finds more of it cached.
programs=("$work/setup.exe installer" "$baseline baseline" "$themed themed")
[ -z "$before" ] || programs+=("$work/before.exe before")
for round in $(seq "$rounds"); do
  for i in "${!programs[@]}"; do
    read -r program name <<<"${programs[(round + i) % ${#programs[@]}]}"
    first_window "$program" >>"$work/$name.ms"
  done
done
installer_ms=$(median <"$work/installer.ms")
baseline_ms=$(median <"$work/baseline.ms")
themed_ms=$(median <"$work/themed.ms")
echo "startup_wine: start to first page under Wine, median of $rounds alternating rounds"
range() { sort -n | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.0f to %.0f", lo, hi }'; }
printf '  q7patcher.exe (appended archive, page 101): %7.1f ms (%s)\n' "$installer_ms" "$(range <"$work/installer.ms")"
printf '  minimal_dialog.exe (one dialog resource):   %7.1f ms (%s)\n' "$baseline_ms" "$(range <"$work/baseline.ms")"
printf '  ratio installer / baseline %.2f (goal at most 1.3)\n' "$(echo "$installer_ms / $baseline_ms" | bc -l)"
printf '  minimal_dialog_manifest.exe (the same, the installer'"'"'s manifest): %7.1f ms (%s)\n' "$themed_ms" "$(range <"$work/themed.ms")"
printf '  ratio installer / the dialog with its manifest %.2f\n' "$(echo "$installer_ms / $themed_ms" | bc -l)"
if [ -n "$before" ]; then
  before_ms=$(median <"$work/before.ms")
  printf '  %s (the stub before): %7.1f ms (%s)\n' "$before" "$before_ms" "$(range <"$work/before.ms")"
  printf '  ratio installer / the stub before %.2f\n' "$(echo "$installer_ms / $before_ms" | bc -l)"
fi
