#!/usr/bin/env bash
# Runs one scenario of q7pack try (SCENARIO.try) with the q7pack of an
# installed package: ROOT/usr/bin/q7pack, the .deb unpacked with dpkg -x.
#
#   run.sh ROOT SCENARIO.try
#
# A scenario is what a packager types, one "$ COMMAND" line each (bash, in a
# scratch folder; $EXAMPLES is the source tree's examples, $BUILT the win64
# build's example programs), then the output its last command, a q7pack
# try, prints: the runner hands that to it as --expect. "? TEXT" lines say
# that the try fails and what it then prints on standard error. A "# needs:
# wine32" line skips the scenario (exit status 77) where 32-bit Wine is
# missing.
set -euo pipefail
root=$(cd "$1" 2>/dev/null && pwd || echo "$1")
scenario=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
source=$(cd "$(dirname "$0")/../.." && pwd)
export PATH=$root/usr/bin:$PATH EXAMPLES=$source/examples BUILT=$source/build/win64/examples

skip() {
  echo "skipped: $*"
  exit 77
}
[ -x "$root/usr/bin/q7pack" ] || skip "no package unpacked in $root (the deb_package test makes it)"
if grep -qx '# needs: wine32' "$scenario" && [ ! -x /usr/lib/wine/wine ]; then
  skip "needs 32-bit Wine (Debian: wine32:i386; scripts/install-deps.sh --i686)"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
grep '^\$ ' "$scenario" | cut -c3- >commands
awk '/^\$ / { last = NR } { line[NR] = $0 }
     END { for (i = last + 1; i <= NR; ++i) if (line[i] !~ /^\? /) print line[i] }' "$scenario" >expected
grep '^? ' "$scenario" | cut -c3- >complaint || true
last=$(tail -n1 commands)
head -n -1 commands | bash -eu
status=0
eval "$last --expect expected" 2>stderr || status=$?
cat stderr >&2
if [ -s complaint ]; then
  [ "$status" -eq 1 ] || { echo "FAIL: the try should have failed (status 1), not ended with $status" >&2; exit 1; }
  # What try says of its progress aside.
  diff -u complaint <(grep -v -e '^q7pack: try: preparing' -e '^q7pack: try: the prefix is ready' \
    -e '^q7pack: try: programs of the installer still ran' stderr) >&2 ||
    { echo "FAIL: standard error is not what the scenario's ? lines say" >&2; exit 1; }
elif [ "$status" -ne 0 ]; then
  echo "FAIL: the try ended with status $status" >&2
  exit 1
fi
echo "ok: $(basename "$scenario")"
