#!/bin/sh
# Builds the native tree with the benchmarks, runs every benchmark (median of 9 repetitions, CPU
# time of the benchmark thread; the repetitions of all benchmarks interleaved in random order, so
# that a busy spell on a shared machine does not fall on one benchmark alone) and writes markdown
# tables to build/native/bench/bench.md (and to the terminal):
#   - the whole Capturing frame through processFrame, per frame size, layout and CPU level, with
#     frames per second, the ratio to its memcpy traffic floor and the OpenCV peer's time over ours;
#   - the pixel routines one by one, each next to a memcpy that moves as many bytes;
#   - the overlay drawing of a whole frame next to a copy of the frame;
#   - the Windows DLL through vle_dll_timing (QueryPerformanceCounter, loaded by name as a host
#     loads it) under Wine, per CPU level: the 32-bit DLL where this kernel runs 32-bit programs,
#     otherwise the 64-bit DLL under wine64, labelled so;
#   - end to end on a 60-second 1920 x 1080 H.264 recording made with FFmpeg: FFmpeg's own decoding
#     (-f null, as many threads as cores) next to logo-extract on the same file, with frames per
#     second, user and system time and the ratio to FFmpeg.
# Extra arguments go to the benchmark program (e.g. --benchmark_filter=pipeline). VLE_BENCH_PARTS
# picks parts (default "pipeline dll e2e").
set -eu
cd "$(dirname "$0")/.."
parts=${VLE_BENCH_PARTS:-pipeline dll e2e}
has() { case " $parts " in *" $1 "*) return 0 ;; *) return 1 ;; esac; }
launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
command -v ccache >/dev/null || launcher=
cmake --preset native -DVLE_BENCH=ON $launcher >/dev/null
out=build/native/bench
mkdir -p $out
csv=$out/bench.csv
md=$out/bench.md
: >"$md"

cpu=$(lscpu 2>/dev/null | sed -n 's/^Model name: *//p' | head -n 1)
if has pipeline; then
cmake --build build/native -j2 --target vle_bench >/dev/null
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
    BEGIN { moved["BuildTemplate"] = 12 }
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
} | tee -a "$md"
fi


# The Windows DLL as a host runs it. Wine needs a display for the settings window.
if has dll; then
  . scripts/wine-env.sh
  if vle_can_run_i386; then tree=win32 arch=i686 label="32-bit DLL under wine"
  else tree=win64 arch=x86_64 label="64-bit DLL under wine64 (this kernel cannot run 32-bit programs: the same code, built for x86-64, stands in for the 32-bit DLL)"
  fi
  cmake --preset $tree $launcher >/dev/null
  cmake --build build/$tree -j2 --target vle_dll_timing >/dev/null
  timing=$(cd build/$tree/src && xvfb-run -a bash -c '. ../../../scripts/wine-env.sh &&
    vle_wine_setup "$PWD/.." '$arch' && "$VLE_WINE" vle_dll_timing.exe 300; rc=$?; vle_wine_teardown; exit $rc')
  {
    echo
    echo "### Windows DLL, processFrame in the Capturing state: $label"
    echo
    echo "$timing"
  } | tee -a "$md"
fi

# End to end: the time a user waits for a recording, next to FFmpeg decoding the same file.
if has e2e; then
  cmake --build build/native -j2 --target logo-extract >/dev/null
  rec=$out/broadcast-1080p.mp4
  if [ ! -f "$rec" ]; then
    # Broadcast-like: a moving test pattern with grain at 8 Mbit/s, a key frame every 2 s.
    ffmpeg -v error -y -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=60" \
      -vf "noise=alls=6:allf=t" -c:v libx264 -preset superfast -b:v 8M -maxrate 8M -bufsize 16M \
      -g 50 -keyint_min 50 -sc_threshold 0 -pix_fmt yuv420p "$rec"
  fi
  frames=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets \
           -of csv=p=0 "$rec")
  threads=$(nproc)
  tool=build/native/src/logo-extract
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  # name, then the command; prints "name wall user sys" (seconds)
  timed() {
    local name=$1; shift
    /usr/bin/time -f "%e %U %S" -o "$tmp/time" "$@" >/dev/null 2>"$tmp/err" ||
      { echo "bench: $name failed:" >&2; cat "$tmp/err" >&2; return 1; }
    echo "$name $(cat "$tmp/time")"
  }
  runs=$(timed "ffmpeg_-f_null" ffmpeg -v error -threads "$threads" -i "$rec" -f null -
         timed "logo-extract_yuy2" "$tool" "$rec" -o "$tmp/logo.bmp" -q
         timed "logo-extract_bgr24" "$tool" "$rec" --pixel-format bgr24 -o "$tmp/logo.bmp" -q
         if "$tool" --help | grep -q -- '--sample'; then
           timed "logo-extract_--sample_all" "$tool" "$rec" --sample all -o "$tmp/logo.bmp" -q
           timed "logo-extract_--sample_keyframes" "$tool" "$rec" --sample keyframes -o "$tmp/logo.bmp" -q
         fi)
  {
    echo
    echo "### End to end: $frames frames of 1920 x 1080 H.264 (key frame every 2 s), $threads cores"
    echo
    echo "FFmpeg decodes with -threads $threads; logo-extract decodes with as many frame threads and"
    echo "runs the conversion and the plug-in on a thread of its own. Wall-clock time; user and system"
    echo "CPU time show how busy the cores were."
    echo
    echo "| run | wall s | user s | sys s | frames/s | × FFmpeg |"
    echo "|---|---:|---:|---:|---:|---:|"
    echo "$runs" | awk -v frames="$frames" '
      { name = $1; gsub(/_/, " ", name); fps = ($2 > 0) ? frames / $2 : 0
        if (NR == 1) base = fps
        printf "| %s | %.2f | %.2f | %.2f | %.1f | %.2f |\n", name, $2, $3, $4, fps, ((base > 0) ? fps / base : 0) }'
    if ! "$tool" --help | grep -q -- '--sample'; then
      echo
      echo "(this logo-extract has no --sample option: the sampled runs are left out)"
    fi
  } | tee -a "$md"
fi
