#!/bin/sh
# Builds the native tree with the benchmarks, runs every benchmark (median of 9 repetitions, CPU
# time of the benchmark thread; the repetitions of all benchmarks interleaved in random order, so
# that a busy spell on a shared machine does not fall on one benchmark alone) and writes markdown
# tables to build/native/bench/bench.md (and to the terminal):
#   - the whole Capturing frame through processFrame, per frame size, layout and CPU level, with
#     frames per second, the ratio to its memcpy traffic floor and the OpenCV peer's time over ours;
#   - the pixel routines one by one, each next to a memcpy that moves as many bytes;
#   - the overlay drawing of a whole frame next to a copy of the frame.
# Extra arguments go to the benchmark program (e.g. --benchmark_filter=pipeline).
set -eu
cd "$(dirname "$0")/.."
cmake --preset native -DVLE_BENCH=ON >/dev/null
cmake --build build/native -j2 --target vle_bench >/dev/null
out=build/native/bench
csv=$out/bench.csv
md=$out/bench.md

cpu=$(lscpu 2>/dev/null | sed -n 's/^Model name: *//p' | head -n 1)
load_before=$(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || echo "?")
$out/vle_bench --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true --benchmark_min_time=0.3 --benchmark_out="$csv" --benchmark_out_format=csv "$@" >&2
load_after=$(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || echo "?")
# The interleaved repetitions leave the results in random order; the tables follow the order in
# which the benchmarks are registered.
list=$out/bench.list
$out/vle_bench --benchmark_list_tests=true "$@" >"$list"

{
  echo "CPU: ${cpu:-unknown}, $(nproc) cores; load average before $load_before, after $load_after."
  echo "Median of 9 interleaved repetitions, CPU time of the benchmark thread."
  awk -F, '
    # Bytes read + written per pixel by each pixel routine; its floor copies half as many.
    BEGIN { moved["import yuy2->3"] = 6; moved["import bgr24->3"] = 7
            moved["AccumulateMax"] = 12; moved["AccumulateMin"] = 12; moved["BuildTemplate"] = 12 }
    FNR == NR { order[++n] = $0; next }
    $1 ~ /_median"?$/ {
      name = $1; gsub(/"/, "", name); sub(/_median$/, "", name)
      unit = $5; gsub(/"/, "", unit)
      scale = unit == "ns" ? 1e-6 : unit == "us" ? 1e-3 : unit == "s" ? 1000 : 1
      ms[name] = $4 * scale
    }
    function fps(t) { return t > 0 ? sprintf("%.0f", 1000 / t) : "-" }
    function ratio(a, b) { return (a > 0 && b > 0) ? sprintf("%.2f", a / b) : "-" }
    END {
      print "\n### Capturing frame (processFrame: import, accumulators, template, overlay, outline)\n"
      print "Floor: memcpy of the bytes the frame must move (frame read, both accumulators read and"
      print "written, template written, overlay region). OpenCV: the same frame written with OpenCV, one thread."
      print "steady: a long capture (no position changes); after clear: every position of both"
      print "accumulators and of the template changes.\n"
      print "| frame | level | state | ms/frame | frames/s | × floor | OpenCV ÷ this |"
      print "|---|---|---|---:|---:|---:|---:|"
      for (i = 1; i <= n; i++) {
        if (order[i] !~ /^pipeline /) continue
        split(substr(order[i], 10), part, "/")   # "<format>[ after clear]", size, level
        state = "steady"; format = part[1]
        if (sub(/ after clear$/, "", format)) state = "after clear"
        key = format "/" part[2]; t = ms[order[i]]
        printf "| %s %s | %s | %s | %.3f | %s | %s | %s |\n", format, part[2], part[3], state, t,
               fps(t), ratio(t, ms["floor " key]), ratio(ms["opencv " key], t)
      }
      print "\n| frame | floor ms | OpenCV ms | OpenCV frames/s |"
      print "|---|---:|---:|---:|"
      for (i = 1; i <= n; i++) {
        if (order[i] !~ /^floor /) continue
        key = substr(order[i], 7)
        cv = ("opencv " key) in ms ? sprintf("%.3f", ms["opencv " key]) : "-"
        printf "| %s | %.3f | %s | %s |\n", key, ms[order[i]], cv, fps(ms["opencv " key])
      }

      print "\n### Pixel routines over whole frames\n"
      print "| routine | size | level | ms/frame | floor ms | × floor |"
      print "|---|---|---|---:|---:|---:|"
      for (i = 1; i <= n; i++) {
        split(order[i], part, "/")
        if (!(part[1] in moved)) continue
        floor = sprintf("memcpy %.1f B/px/%s", moved[part[1]] / 2, part[2])
        printf "| %s | %s | %s | %.3f | %.3f | %s |\n", part[1], part[2], part[3], ms[order[i]],
               ms[floor], ratio(ms[order[i]], ms[floor])
      }

      print "\n### Overlay drawing of a whole frame (DrawImage, code 0)\n"
      print "| frame | level | ms/frame | copy ms | × copy |"
      print "|---|---|---:|---:|---:|"
      for (i = 1; i <= n; i++) {
        if (order[i] !~ /^BM_DrawImageBgr32\//) continue
        # BM_DrawImageBgr32/w:720/h:576/bgr24:0/cpu:0
        split(order[i], part, "/")
        w = substr(part[2], 3); h = substr(part[3], 3); f = substr(part[4], 7); c = substr(part[5], 5)
        level = c == 0 ? "scalar" : c == 1 ? "sse2" : "best"
        copy = "BM_MemcpyFrame/w:" w "/h:" h "/bgr24:" f
        printf "| %s %sx%s | %s | %.3f | %.3f | %s |\n", f == 0 ? "yuy2" : "bgr24", w, h, level,
               ms[order[i]], ms[copy], ratio(ms[order[i]], ms[copy])
      }
    }' "$list" "$csv"
} | tee "$md"
