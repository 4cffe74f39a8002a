#!/usr/bin/env bash
# make demo: packs the sample package examples/q7 into build/demo/q7setup.exe
# and runs its wizard under Wine, in a Wine prefix of its own (build/demo/wine).
#
# With DISPLAY set, the wizard opens on your display and you click through
# it. Without, it runs on a virtual display and the UI driver clicks through
# every page (welcome, license, folder, progress, result, the offer to start
# the program, the program itself), saving a PNG of each in build/demo/. Its
# actions are tests/e2e/sample_install.actions, which the sample's
# end-to-end test drives too. Either way the demo then prints where the files went and what
# the registry and the INI file hold, checks them, and ends with a line that
# says whether the demo succeeded.
#
# Run through `make demo`, which installs what is missing and builds the
# native q7pack and the win64 installer first. (The shipped installer is the
# win32 build; this machine runs only the 64-bit one under Wine.)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/demo
q7pack=$root/build/native/tools/q7pack/q7pack
stub=$root/build/win64/startup/q7patcher.exe
program=$root/build/win64/examples/q7/zapisnik.exe
driver=$root/build/win64/tests/e2e/q7uidriver.exe
actions_file=$root/tests/e2e/sample_install.actions
package=$root/examples/q7
regkey='HKCU\Software\Q7 Software\Q7 Zapisnik'
program_title='Q7 Zápisník 5.1'
large_bytes=$((128 << 20))

fail() {
  echo "make demo: FAILED: $*" >&2
  exit 1
}

# A Linux path as Wine sees it (the Z: drive is the Linux root).
winpath() { echo "Z:${1//\//\\}"; }

pack() {
  for f in "$q7pack" "$stub" "$program" "$driver"; do
    [ -f "$f" ] || fail "$f is missing; run the demo with 'make demo', which builds it"
  done
  rm -rf "$out"
  mkdir -p "$out"
  # The sample's three files go by in a blink; a large entry of zeros (it
  # packs to a few hundred kilobytes) keeps the progress page on screen
  # long enough to be seen and photographed.
  head -c "$large_bytes" /dev/zero >"$out/velky.bin"
  "$q7pack" create -o "$out/q7setup.exe" --stub "$stub" \
    "$package/setup.ini" "$package/payload" "zapisnik.exe=$program" "dokumenty\\velky.bin=$out/velky.bin" >/dev/null
  echo "== packed $out/q7setup.exe ($(stat -c %s "$out/q7setup.exe") bytes):"
  "$q7pack" list "$out/q7setup.exe"
}

# On your display: a prefix of our own, then the wizard, which you drive.
run_on_display() {
  export Q7_WINE_STATE=$out/wine
  mkdir -p "$Q7_WINE_STATE"
  . "$root/cmake/wine-env.sh"
  echo "== preparing a Wine prefix in $WINEPREFIX"
  "$Q7_WINE" wineboot --init </dev/null >"$Q7_WINE_STATE/wineboot.log" 2>&1
  echo "== the installer is open on $DISPLAY: go through its pages"
  "$Q7_WINE" "$out/q7setup.exe" </dev/null >/dev/null 2>&1 || true
  "$Q7_WINESERVER" -w
  echo "== the wizard has ended"
}

# The driver's actions for a whole installation, from the list that the
# sample's end-to-end test drives too: pictures into the folder $1 (as Wine
# sees it), the folder the wizard offers kept (the lines that type one are
# left out).
wizard_actions() {
  local shots=${1//\\/\\\\}
  grep -v '^#' "$actions_file" | grep -v '^$' | grep -vF '{FOLDER}' |
    sed -e "s|{SHOTS}|$shots|g" -e "s|{PROGRAM}|$program_title|g"
}

# On a virtual display: the driver goes through every page and takes the
# pictures; a second run only measures how soon the first page shows.
run_driven() {
  export Q7_WINE_STATE=$out/wine
  "$root/cmake/wine-fixture.sh" setup "$Q7_WINE_STATE" >/dev/null
  trap '"$root/cmake/wine-fixture.sh" cleanup "$Q7_WINE_STATE"' EXIT
  . "$root/cmake/wine-env.sh"
  local setup shots
  setup=$(winpath "$out/q7setup.exe")
  shots=$(winpath "$out")
  "$Q7_WINE" "$driver" --out "$(winpath "$out/first-page.txt")" --first-window -- "$setup" \
    </dev/null >/dev/null 2>&1 || fail "the installer showed no page (see $out/first-page.txt)"
  echo "== first page on screen $(cat "$out/first-page.txt" | tr -d '\r') ms after the start"
  echo "== the UI driver goes through the wizard on display $DISPLAY"
  local status=0 actions=()
  mapfile -t actions < <(wizard_actions "$shots")
  "$Q7_WINE" "$driver" --out "$(winpath "$out/transcript.txt")" --times "${actions[@]}" \
    -- "$setup" </dev/null >/dev/null 2>&1 || status=$?
  [ "$status" -eq 0 ] || fail "the driver could not go through the wizard; its transcript: $out/transcript.txt
$(grep '^!!' "$out/transcript.txt" || true)"
  echo "   transcript: $out/transcript.txt; pictures: $out/[1-7]-*.png"
  # The driver notes the time behind each action: from the press of
  # Install to the result page settled on screen.
  awk '/^@ / { action = $0 }
       /^# / { if (action == "@ press:283") t0 = $2; if (action ~ /5-result\.png$/) t1 = $2 }
       END { print "== installation: " t1 - t0 " ms from pressing Install to the result page on screen" }' \
    "$out/transcript.txt"
}

# The folder the wizard remembered, as Windows and as Linux path.
report() {
  "$Q7_WINE" reg export "$regkey" "$(winpath "$out/registry.reg")" /y </dev/null >/dev/null 2>&1 ||
    fail "nothing was installed: the registry has no $regkey (was the wizard cancelled?)"
  local reg target folder
  reg=$(iconv -f UTF-16 -t UTF-8 "$out/registry.reg" | tr -d '\r')
  echo "== registry ($regkey):"
  echo "$reg" | grep '=' | sed 's/^/   /'
  target=$(echo "$reg" | sed -n 's/^"InstallDir"="\(.*\)"$/\1/p' | sed 's/\\\\/\\/g')
  [ -n "$target" ] || fail "the registry holds no InstallDir"
  folder=$(realpath "$("$Q7_WINE" winepath -u "$target" 2>/dev/null | tr -d '\r')")
  echo "== installed into $target"
  echo "   (on this machine: $folder):"
  (cd "$folder" && find . -type f -printf '   %-28P %8s bytes\n' | sort)
  echo "== $target\\zapisnik.ini (Windows-1250):"
  iconv -f CP1250 -t UTF-8 "$folder/zapisnik.ini" | tr -d '\r' | sed 's/^/   /'
  check "$folder" "$target"
}

# Every payload file arrived byte for byte, and the INI file names the folder.
check() {
  local folder=$1 target=$2 f
  for f in citajma.txt dokumenty/licencia.txt; do
    cmp -s "$package/payload/$f" "$folder/$f" || fail "$f differs from the package's $f"
  done
  cmp -s "$program" "$folder/zapisnik.exe" || fail "zapisnik.exe differs from the built program"
  cmp -s "$out/velky.bin" "$folder/dokumenty/velky.bin" || fail "dokumenty/velky.bin differs from the packed one"
  [ ! -e "$folder/setup.ini" ] || fail "setup.ini was installed, but the script copies every entry but it"
  iconv -f CP1250 -t UTF-8 "$folder/zapisnik.ini" | tr -d '\r' | grep -qxF "Priecinok=$target" ||
    fail "zapisnik.ini does not name the folder"
}

pack
if [ -n "${DISPLAY:-}" ]; then
  run_on_display
else
  run_driven
fi
report
echo "make demo: SUCCESS: the sample package installed and checked"
