# Sourced by the Wine benchmarks: what several of them share. They set
# $here (the project's folder) and $build (the native build) first.

# bench_start NAME FOLDER NEEDED...: ends the benchmark as skipped unless
# every NEEDED file exists; otherwise makes $work, FOLDER below the native
# build, afresh with a Wine state of its own ($Q7_WINE_STATE), both removed
# when the benchmark ends.
bench_start() {
  local name=$1 folder=$2 needed
  shift 2
  for needed in "$@"; do
    [ -f "$needed" ] || { echo "$name: skipped, needs $needed"; exit 0; }
  done
  work=$(cd "$build" && pwd)/$folder
  rm -rf "$work" && mkdir -p "$work"
  export Q7_WINE_STATE=$work/wine
  trap '"$here/cmake/wine-fixture.sh" cleanup "$Q7_WINE_STATE" >/dev/null 2>&1; rm -rf "$work"' EXIT
}

# winpath PATH: PATH as the installer under Wine names it (drive Z:).
winpath() { local p=${1//\//\\}; echo "Z:$p"; }

# median: the median of the numbers on standard input, one a line.
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# now: seconds since the epoch, with nanoseconds.
now() { date +%s.%N; }

# version_one V2 V1: writes to V1 an older version of the product in V2:
# every third file changed, every seventh missing.
version_one() {
  cp -r "$1" "$2"
  find "$2" -type f | sort | awk 'NR % 7 == 0' | xargs rm
  find "$2" -type f | sort | awk 'NR % 3 == 0' | while read -r f; do echo "version 1" >>"$f"; done
}

# nsis_installer TARGET PAYLOAD EXE: builds with Debian's makensis NSIS's
# silent installer EXE of every file below PAYLOAD (zlib, not solid) for
# TARGET (amd64-unicode or x86-unicode).
nsis_installer() {
  cat >"$3.nsi" <<EOF
Unicode true
Target $1
SetCompressor /FINAL zlib
OutFile "$3"
SilentInstall silent
RequestExecutionLevel user
InstallDir "C:\\unused"
Section
SetOutPath \$INSTDIR
File /r "$2/*"
SectionEnd
EOF
  makensis -V1 "$3.nsi" >/dev/null
}

# timed_install BENCH EXE OUT PAYLOAD [RESULT]: seconds of one run of the
# installer EXE under Wine, checked: with RESULT ours, whose script
# installs into OUT and writes ArchiveInstall's answer to RESULT; without,
# NSIS's, told OUT with /D. OUT must then hold exactly PAYLOAD.
timed_install() {
  local start t
  start=$(now)
  if [ -n "${5:-}" ]; then
    "$here/cmake/wine-run.sh" "$2" >/dev/null 2>&1
  else
    "$here/cmake/wine-run.sh" "$2" /S "/D=$(winpath "$3")" >/dev/null 2>&1
  fi
  t=$(echo "$(now) - $start" | bc)
  if [ -n "${5:-}" ]; then
    grep -q '^Done=-1' "$5" || { echo "$1: ArchiveInstall failed" >&2; exit 1; }
    rm "$5"
  fi
  diff -r "$4" "$3" >/dev/null || { echo "$1: $2 wrote other files" >&2; exit 1; }
  echo "$t"
}
