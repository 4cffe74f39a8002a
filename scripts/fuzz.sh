#!/usr/bin/env bash
# Builds the script engine's fuzz target with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) into build/fuzz and runs it for FUZZ_SECONDS
# seconds (60 by default), starting from the seed corpus in tests/fuzz/corpus.
# New inputs go to build/fuzz/corpus; a crashing input is left in build/fuzz/
# and makes the script fail.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
build=build/fuzz
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DQ7_TESTS=OFF -DQ7_FUZZ=ON >/dev/null
cmake --build "$build" --target script_fuzz -j 2
mkdir -p "$build/corpus"
echo "fuzz: running the script engine target for $seconds s"
"$build/tests/fuzz/script_fuzz" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -rss_limit_mb=2048 -dict=tests/fuzz/script.dict -artifact_prefix="$build/" -print_final_stats=1 \
  "$build/corpus" tests/fuzz/corpus
