#!/usr/bin/env bash
# The script engine against Lua 5.4 on the same two loops, measured in the
# same run: nanoseconds per iteration and the ratio engine / Lua.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${Q7_BUILD:-build/native}
n=${BENCH_ITERATIONS:-1000000}
engine=$("$build/bench/script_bench" "$n")

lua_time() {  # best of three, ns per iteration
  lua5.4 -e "
    local best = math.huge
    for round = 1, 3 do
      local t0 = os.clock()
      $1
      best = math.min(best, (os.clock() - t0) * 1e9 / $n)
    end
    print(string.format('%.1f', best))"
}
lua_int=$(lua_time "local i, s = 0, 0; while i < $n do s = s + i % 7; i = i + 1 end")
lua_string=$(lua_time "local i, s = 0, ''; while i < $n do s = s .. 'x' .. i; if #s > 1000 then s = '' end; i = i + 1 end")

report() {  # name engine_ns lua_ns
  awk -v name="$1" -v e="$2" -v l="$3" \
    'BEGIN { printf "%-7s loop: engine %8.1f ns/iteration, Lua 5.4 %6.1f ns/iteration, ratio %5.1fx\n", name, e, l, e / l }'
}
report integer "$(echo "$engine" | awk '$1 == "int" { print $2 }')" "$lua_int"
report string "$(echo "$engine" | awk '$1 == "string" { print $2 }')" "$lua_string"
