#!/usr/bin/env bash
# Runs the test suites of the given presets one after another and prints one
# summary; exits non-zero when any suite failed.
set -u
failed=()
for preset in "$@"; do
  echo "== tests: $preset"
  if ! ctest --preset "$preset" --timeout 600 --no-tests=error; then
    failed+=("$preset")
  fi
done
if [ "${#failed[@]}" -gt 0 ]; then
  echo "FAILED test suites: ${failed[*]}"
  exit 1
fi
echo "all test suites passed: $*"
