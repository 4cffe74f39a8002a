#!/usr/bin/env bash
# make demo: packs the sample package examples/q7 into build/demo/q7setup.exe
# and tries it with q7pack try: headless under Wine, in a throwaway prefix
# of its own on a virtual display, the wizard driven through every page by
# the actions of examples/q7/install.actions (which the sample's try
# scenario, tests/try/sample.try, runs too): welcome, license, folder,
# progress, result, the offer to start the program, the program itself. It
# saves a picture of each in build/demo/shots, prints the transcript and
# what the installation changed, checks the files against the package, and
# ends with a line that says whether the demo succeeded. The prefix stays
# in build/demo/wine for a look (q7pack try --keep).
#
# Run through `make demo`, which installs what is missing and builds the
# native q7pack and the win64 installer first. (The shipped installer is the
# win32 build; the demo runs the x86_64 one.)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/demo
q7pack=$root/build/native/tools/q7pack/q7pack
stub=$root/build/win64/startup/q7patcher.exe
program=$root/build/win64/examples/q7/zapisnik.exe
driver=$root/build/win64/tools/q7uidriver/q7uidriver.exe
package=$root/examples/q7
large_bytes=$((128 << 20))

fail() {
  echo "make demo: FAILED: $*" >&2
  exit 1
}

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

# q7pack try in Slovak (code page 1250), the driver noting the time behind
# each action: from the press of Install to the end of the progress page.
try() {
  echo "== q7pack try: the UI driver goes through the wizard"
  local status=0
  "$q7pack" try --driver "$driver" --lang sk_SK --actions "$package/install.actions" --shots "$out/shots" \
    --times --keep "$out/wine" "$out/q7setup.exe" | tee "$out/try.txt" || status=$?
  [ "$status" -eq 0 ] || fail "q7pack try did not go through the wizard (above: the transcript and why)"
  echo "== pictures: $out/shots/*.png"
  awk '/^@ / { action = $0 }
       /^# / { if (action == "@ press:283") t0 = $2; if (action ~ /^@ progress:/) t1 = $2 }
       END { print "== installation: " t1 - t0 " ms from pressing Install to the end of the progress page" }' \
    "$out/try.txt"
}

# Every payload file arrived byte for byte into the folder the wizard
# offered, and the INI file names the folder.
check() {
  local folder="$out/wine/prefix/drive_c/Program Files/Q7 Zápisník" f
  [ -d "$folder" ] || fail "nothing was installed into C:\\Program Files\\Q7 Zápisník"
  for f in citajma.txt dokumenty/licencia.txt; do
    cmp -s "$package/payload/$f" "$folder/$f" || fail "$f differs from the package's $f"
  done
  cmp -s "$program" "$folder/zapisnik.exe" || fail "zapisnik.exe differs from the built program"
  cmp -s "$out/velky.bin" "$folder/dokumenty/velky.bin" || fail "dokumenty/velky.bin differs from the packed one"
  [ ! -e "$folder/setup.ini" ] || fail "setup.ini was installed, but the script copies every entry but it"
  echo "== C:\\Program Files\\Q7 Zápisník\\zapisnik.ini (Windows-1250):"
  iconv -f CP1250 -t UTF-8 "$folder/zapisnik.ini" | tr -d '\r' | sed 's/^/   /'
  iconv -f CP1250 -t UTF-8 "$folder/zapisnik.ini" | tr -d '\r' |
    grep -qxF 'Priecinok=C:\Program Files\Q7 Zápisník' || fail "zapisnik.ini does not name the folder"
}

pack
try
check
echo "make demo: SUCCESS: the sample package installed and checked"
