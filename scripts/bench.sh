#!/bin/sh
# Builds the native tree with the benchmarks, runs the pixel benchmarks (median of 5 runs each)
# and prints a table: routine, frame size, level, CPU ms per frame, and the ratio to a memcpy that
# moves as many bytes. Extra arguments go to the benchmark program (e.g. --benchmark_filter=Acc).
set -eu
cd "$(dirname "$0")/.."
cmake --preset native -DVLE_BENCH=ON >/dev/null
cmake --build build/native -j2 --target vle_bench >/dev/null
lscpu 2>/dev/null | grep 'Model name' || true
csv=build/native/bench/pixel_bench.csv
# The filter keeps to this table's routines when other benchmark files share the program.
build/native/bench/vle_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_min_time=0.2 --benchmark_filter='^(import|Accumulate|BuildTemplate|memcpy [0-9])' \
  --benchmark_out="$csv" --benchmark_out_format=csv "$@"

# Bytes read + written per pixel; each routine's floor copies half as many.
awk -F, '
  BEGIN { moved["import yuy2->3"] = 6; moved["import bgr24->3"] = 7
          moved["AccumulateMax"] = 12; moved["AccumulateMin"] = 12; moved["BuildTemplate"] = 12 }
  $1 ~ /_median"$/ {
    name = $1; gsub(/"/, "", name); sub(/_median$/, "", name)
    ms[name] = $4; order[++n] = name
  }
  END {
    printf "\n%-16s %-10s %-7s %9s %9s %6s\n", "routine", "size", "level", "ms/frame", "floor ms", "ratio"
    for (i = 1; i <= n; i++) {
      split(order[i], part, "/")
      if (!(part[1] in moved)) continue
      floor = sprintf("memcpy %.1f B/px/%s", moved[part[1]] / 2, part[2])
      ratio = (floor in ms && ms[floor] > 0) ? sprintf("%6.2f", ms[order[i]] / ms[floor]) : "     -"
      printf "%-16s %-10s %-7s %9.3f %9.3f %s\n", part[1], part[2], part[3], ms[order[i]], ms[floor], ratio
    }
  }' "$csv"
