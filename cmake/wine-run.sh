#!/usr/bin/env bash
# Runs one Windows program of the win64 build under Wine, in the prefix and on
# the virtual display that wine-fixture.sh prepared for this test run.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
if [ ! -d "$WINEPREFIX" ]; then
  echo "wine-run: no Wine prefix at $WINEPREFIX; run the tests through ctest, which prepares it" >&2
  exit 2
fi
exec "$Q7_WINE" "$@"
