#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) into build/fuzz and runs each for FUZZ_SECONDS
# seconds (60 by default), one after the other, starting from its seed
# corpus in tests/fuzz/corpus/NAME. New inputs go to build/fuzz/corpus/NAME;
# a crashing input is left in build/fuzz/ and makes the script fail.
# FUZZ_TARGETS chooses the targets (default: all of them).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
targets=${FUZZ_TARGETS:-script archive inflate peimage brand q7pack check}
build=build/fuzz
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DQ7_TESTS=OFF -DQ7_FUZZ=ON >/dev/null
# shellcheck disable=SC2046
cmake --build "$build" -j 2 --target $(for t in $targets; do printf '%s_fuzz ' "$t"; done)

for target in $targets; do
  options=(-max_len=65536)
  case $target in
    script) options=(-max_len=4096 -dict=tests/fuzz/script.dict) ;;
    inflate) options=(-max_len=65536) ;;
    peimage) options=(-max_len=8192) ;;
    brand) options=(-max_len=65536) ;;
    q7pack) options=(-max_len=16384) ;;
    check) options=(-max_len=8192 -dict=tests/fuzz/script.dict) ;;
  esac
  mkdir -p "$build/corpus/$target"
  echo "fuzz: running $target for $seconds s"
  "$build/tests/fuzz/${target}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    "${options[@]}" -artifact_prefix="$build/$target-" -print_final_stats=1 \
    "$build/corpus/$target" "tests/fuzz/corpus/$target"
done
