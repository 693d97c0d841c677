#!/usr/bin/env bash
# The logo finder judged on the whole table: every real capture in ../shared/realclips (when that
# folder is there, scored by its own score.py) and every synthetic case below, each encoded by
# FFmpeg the way television is (H.264 and MPEG-2, 25, 50 and 59.94 fps, interlaced, damaged), and
# the real captures with a known logo blended in. One line per case: what was found, the mask's IoU
# with the exact truth, and the verdict. Run it before and after every change to the finder.
#
#   scripts/bench-find-table.sh            every case
#   VLE_CASES="studio_glass damage" scripts/bench-find-table.sh   only these
#
# Recordings are made once and kept in out/find-table/. Needs a built tree (build/native) and ffmpeg.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VLE_BUILD_DIR:-$root/build/native}
gen=$build/tools/broadcast/broadcast-gen
extract=$build/src/logo-extract
clips=${VLE_REALCLIPS:-$root/../shared/realclips}
out=$root/out/find-table
mkdir -p "$out"
for tool in "$gen" "$extract"; do
  [ -x "$tool" ] || { echo "bench-find-table: build $tool first" >&2; exit 1; }
done

# name | size | frames | broadcast-gen scene flags | encoder flags | truth: logo, glass, none or
# small (glass: a logo without opaque pixels, whose truth is its visible pixels; small: no station
# logo but an overlay as steady as one, a live badge: "no logo" or a box within a logo's bounds)
cases=(
  "plain_sd|720x576|750|--place top-right|-r 25 -c:v libx264 -preset medium -crf 20 -g 50|logo"
  "studio_glass|720x576|750|--shots 250 --style glass --place top-right|-r 25 -c:v libx264 -preset medium -crf 20 -g 50|logo"
  "studio_glass_faint|720x576|750|--shots 200 --style glass --glass-alpha 38 --place top-left|-r 25 -c:v libx264 -preset medium -crf 20 -g 50|logo"
  "scoreboard_hd|1280x720|750|--scoreboard --place top-right --style opaque|-r 25 -c:v libx264 -preset medium -crf 20 -g 50|logo"
  "captions_badge|720x576|750|--captions --live-badge --place top-left|-r 25 -c:v libx264 -preset medium -crf 20 -g 50|logo"
  "damage|720x576|750|--damage --place top-right|-r 25 -c:v libx264 -preset medium -crf 20 -g 50|logo"
  "fps50|1280x720|750|--shots 150 --place bottom-right --style opaque|-r 50 -c:v libx264 -preset medium -crf 20 -g 100|logo"
  "fps59_94|1280x720|900|--place top-left|-r 60000/1001 -c:v libx264 -preset medium -crf 20 -g 120|logo"
  "interlaced_sd|720x576|500|--place top-right --style white-half|-r 25 -c:v libx264 -preset medium -crf 20 -g 50 -flags +ildct+ilme -x264-params tff=1|glass"
  "mpeg2_sd|720x576|500|--place top-left --captions|-r 25 -c:v mpeg2video -q:v 4 -g 12|logo"
  "short_6s|1024x576|150|--shots 60 --style glass --place top-right|-r 25 -c:v libx264 -preset medium -crf 20 -g 75|logo"
  "no_logo_badge|720x576|500|--no-logo --captions --live-badge|-r 25 -c:v libx264 -preset medium -crf 20 -g 50|small"
  "no_logo_studio|720x576|750|--no-logo --shots 250|-r 25 -c:v libx264 -preset medium -crf 20 -g 50|none"
)
# name | lavfi source | frames: pictures without any logo
negatives=(
  "noise|nullsrc=s=720x576:r=25,geq=random(1)*255:128:128|250"
  "life|life=s=720x576:r=25:mold=10:ratio=0.3|250"
  "frozen|testsrc2=s=720x576:r=25,trim=end_frame=1,loop=250:1:0|250"
  "mandelbrot|mandelbrot=s=720x576:r=25|250"
)
# name | real capture | size | fps | scene flags | truth: a known logo blended into a real picture
overlays=(
  "bbcnews_logo|bbcnews_704x576i.ts|704x576|25|--place top-right|logo"
  "bbcnews_glass|bbcnews_704x576i.ts|704x576|25|--place top-left --style glass|glass"
  "simpsons_logo|neg_simpsons_1280x720p.ts|1280x720|60000/1001|--place top-right --style opaque|logo"
  "simpsons_glass|neg_simpsons_1280x720p.ts|1280x720|60000/1001|--place bottom-left --style glass|glass"
)

wanted() { [ -z "${VLE_CASES:-}" ] || [[ " $VLE_CASES " == *" $1 "* ]]; }

# run NAME RECORDING SCENE_FLAGS SIZE TRUTH: one line of the table.
run() {
  local name=$1 recording=$2 scene=$3 size=$4 truth=$5 work=$out/run-$1
  rm -rf "$work"
  mkdir -p "$work/config/Quorsana"
  local said rc
  said=$(cd "$work" && QUORSANA_STORE_IN_USERS_FOLDER=1 XDG_CONFIG_HOME=$work/config \
    "$extract" "$recording" --find-logo --mask m.pgm --report r.json -o logo.bmp -q 2>&1)
  rc=$?
  local box verdict iou=""
  box=$(grep -o '"logo_box_px": [^]]*]\|"logo_box_px": null' "$work/r.json" 2>/dev/null | head -1 | sed 's/"logo_box_px": //')
  if [ "$truth" = none ]; then
    if [ $rc -ne 0 ] && grep -qi "no logo" <<<"$said" && [ ! -e "$work/m.pgm" ]; then verdict=right; else verdict=WRONG; fi
  elif [ "$truth" = small ]; then
    local w=${size%x*} h=${size#*x}
    if [ $rc -ne 0 ]; then
      if grep -qi "no logo" <<<"$said" && [ ! -e "$work/m.pgm" ]; then verdict=right; else verdict=WRONG; fi
    else
      verdict=$(sed 's/[][,]/ /g' <<<"$box" | awk -v w="$w" -v h="$h" '{ print ($3 <= w / 4 && $4 <= h / 4 ? "right" : "WRONG") }')
    fi
  elif [ $rc -ne 0 ]; then
    verdict=WRONG
  else
    # shellcheck disable=SC2086
    iou=$("$gen" --size "$size" --frames 0 $scene --iou "$work/m.pgm" | awk '{ print $2 }')
    verdict=$(awk -v v="$iou" 'BEGIN { print (v >= 0.9 ? "right" : "WRONG") }')
  fi
  printf '%-20s %-6s %-22s %-8s %s\n' "$name" "$verdict" "${box:-none}" "${iou:--}" \
    "$( [ $rc -ne 0 ] && head -c 110 <<<"$said" | tr '\n' ' ')"
}

printf '%-20s %-6s %-22s %-8s %s\n' case verdict box mask_IoU note
for c in "${cases[@]}"; do
  IFS='|' read -r name size frames scene enc truth <<<"$c"
  wanted "$name" || continue
  ext=mp4; [[ "$enc" == *mpeg2video* ]] && ext=ts
  rec=$out/$name.$ext
  if [ ! -s "$rec" ]; then
    rate=${enc%% -c:v*}
    # shellcheck disable=SC2086
    "$gen" --size "$size" --frames "$frames" $scene |
      ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s "$size" $rate -i - ${enc#"$rate" } \
        -pix_fmt yuv420p "$out/.$name.$ext" && mv "$out/.$name.$ext" "$rec"
  fi
  run "$name" "$rec" "$scene" "$size" "$truth"
done
for c in "${negatives[@]}"; do
  IFS='|' read -r name source frames <<<"$c"
  wanted "$name" || continue
  rec=$out/$name.mp4
  [ -s "$rec" ] || ffmpeg -v error -y -f lavfi -i "$source" -frames:v "$frames" -c:v libx264 -preset medium \
    -crf 20 -g 50 -pix_fmt yuv420p "$out/.$name.mp4" && [ -s "$out/.$name.mp4" ] && mv "$out/.$name.mp4" "$rec"
  run "$name" "$rec" "" "720x576" none
done
if [ -d "$clips" ]; then
  for c in "${overlays[@]}"; do
    IFS='|' read -r name clip size fps scene truth <<<"$c"
    wanted "$name" || continue
    rec=$out/$name.mp4
    if [ ! -s "$rec" ]; then
      # shellcheck disable=SC2086
      ffmpeg -v error -i "$clips/$clip" -map 0:v:0 -fps_mode passthrough -f rawvideo -pix_fmt rgb24 - |
        "$gen" --overlay-logo --size "$size" $scene |
        ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s "$size" -r "$fps" -i - -c:v libx264 -preset medium \
          -crf 20 -pix_fmt yuv420p "$out/.$name.mp4" && mv "$out/.$name.mp4" "$rec"
    fi
    run "$name" "$rec" "$scene" "$size" "$truth"
  done
  if [ -z "${VLE_CASES:-}" ]; then
    echo "== the real captures, by their truth.json"
    python3 "$clips/score.py" "$extract"
  fi
else
  echo "bench-find-table: no real captures at $clips (VLE_REALCLIPS names them)" >&2
fi
