#!/usr/bin/env bash
# Runs every benchmark script in bench/ (bench/*.sh) against the native
# build. Benchmarks report figures and ratios; they never fail a build on
# absolute times.
set -euo pipefail
cd "$(dirname "$0")/.."
export Q7_BUILD=build/native
status=0
for script in bench/*.sh; do
  [ -e "$script" ] || { echo "no benchmarks in bench/"; exit 1; }
  echo "== $(basename "$script" .sh)"
  bash "$script" || status=1
done
exit $status
