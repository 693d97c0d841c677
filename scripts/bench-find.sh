#!/usr/bin/env bash
# Finding the logo in a long recording: --find-logo with --sample keyframes against a full
# --sample all run, on an 8-minute 1280x720 H.264 recording of the synthetic broadcast (a key frame
# every 2 s, two advertising breaks), with the masks' IoU against the exact truth. Then a 1080p
# recording with key frames only, whose time is scaled to an hour.
#   VLE_BENCH_MINUTES   length of the 720p recording (default 8)
#   VLE_BENCH_1080P_MINUTES  length of the 1080p recording (default 2; 0 skips it)
# Recordings are kept in out/bench-find/ and reused. Needs a built tree (build/native) and ffmpeg.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VLE_BUILD_DIR:-$root/build/native}
out=$root/out/bench-find
mkdir -p "$out/config/Quorsana"
gen=$build/tools/broadcast/broadcast-gen
extract=$build/src/logo-extract
for tool in "$gen" "$extract"; do
  [ -x "$tool" ] || { echo "bench-find: build $tool first (cmake --build build/native --target logo-extract broadcast-gen)" >&2; exit 1; }
done
minutes=${VLE_BENCH_MINUTES:-8}
hd_minutes=${VLE_BENCH_1080P_MINUTES:-2}
# The plug-in keeps its settings here, not beside the build.
export QUORSANA_STORE_IN_USERS_FOLDER=1 XDG_CONFIG_HOME=$out/config

# make NAME SIZE FRAMES SCENE...: an H.264 recording with a key frame every 50 frames (2 s).
make_recording() {
  local name=$1 size=$2 frames=$3
  shift 3
  if [ ! -s "$out/$name.mp4" ]; then
    echo "== generating $name ($frames frames of $size)" >&2
    "$gen" --size "$size" --frames "$frames" "$@" |
      ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s "$size" -r 25 -i - \
        -c:v libx264 -preset ultrafast -g 50 -keyint_min 50 -sc_threshold 0 -pix_fmt yuv420p \
        "$out/.$name.mp4"
    mv "$out/.$name.mp4" "$out/$name.mp4"
  fi
}

# run NAME RECORDING SCENE_ARGS -- EXTRACT_ARGS: wall time, and the mask's IoU with the truth.
run() {
  local name=$1 recording=$2 size=$3
  shift 3
  local scene=()
  while [ "$1" != "--" ]; do scene+=("$1"); shift; done
  shift
  local start end cpu
  start=$(date +%s.%N)
  # Processor time (user + system) as well: on a busy machine the wall time says little.
  local TIMEFORMAT='%U %S'
  cpu=$( { time "$extract" "$recording" -q --find-logo --threshold 50 --black-level 0 --no-invert \
    --mask "$out/$name.pgm" --report "$out/$name.json" "$@"; } 2>&1 | tail -n 1 | awk '{ print $1 + $2 }')
  end=$(date +%s.%N)
  local iou
  iou=$("$gen" --size "$size" --frames 0 "${scene[@]}" --iou "$out/$name.pgm")
  printf '%-22s %8.1f s wall %8.1f s processor   %s   frames decoded %s\n' "$name" \
    "$(echo "$end - $start" | bc)" "$cpu" "$iou" \
    "$(grep -o '"frames_decoded": [0-9]*' "$out/$name.json" | head -1 | grep -o '[0-9]*$')"
  echo "$end - $start" | bc >"$out/$name.seconds"
  echo "$cpu" >"$out/$name.cpu"
}

frames=$((minutes * 60 * 25))
scene720=(--place top-right --break $((frames / 4))-$((frames / 4 + 750)) --break $((frames * 5 / 8))-$((frames * 5 / 8 + 750)))
make_recording "720p-${minutes}min" 1280x720 "$frames" "${scene720[@]}"
echo "== 1280x720, $minutes minutes, key frame every 2 s; $(nproc) cores" >&2
run keyframes-720p "$out/720p-${minutes}min.mp4" 1280x720 "${scene720[@]}" -- --sample keyframes
run all-720p "$out/720p-${minutes}min.mp4" 1280x720 "${scene720[@]}" -- --sample all
echo "keyframes / all: wall $(echo "scale=3; $(cat "$out/keyframes-720p.seconds") / $(cat "$out/all-720p.seconds")" | bc)," \
  "processor $(echo "scale=3; $(cat "$out/keyframes-720p.cpu") / $(cat "$out/all-720p.cpu")" | bc)"

if [ "$hd_minutes" -gt 0 ]; then
  hd_frames=$((hd_minutes * 60 * 25))
  scene1080=(--place top-left)
  make_recording "1080p-${hd_minutes}min" 1920x1080 "$hd_frames" "${scene1080[@]}"
  echo "== 1920x1080, $hd_minutes minutes, key frame every 2 s" >&2
  run keyframes-1080p "$out/1080p-${hd_minutes}min.mp4" 1920x1080 "${scene1080[@]}" -- --sample keyframes
  echo "an hour of 1080p at this rate: wall $(echo "scale=1; $(cat "$out/keyframes-1080p.seconds") * 60 / $hd_minutes" | bc) s," \
    "processor $(echo "scale=1; $(cat "$out/keyframes-1080p.cpu") * 60 / $hd_minutes" | bc) s"
fi
