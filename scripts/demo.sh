#!/usr/bin/env bash
# From a recording to a logo template, a mask and a cleaned video: installs what is needed, builds
# the plug-in, the command-line host and the broadcast generator, encodes 30 seconds of the
# synthetic broadcast (logo top right, an advertising break) with FFmpeg, and writes
#   out/demo.mp4         the recording
#   out/logo.bmp         the template bitmap (everything that is not logo in the key colour)
#   out/preview.png      the last frame as the plug-in left it: the template over the found region
#   out/mask.png         the mask at the video's size, 255 where the logo is
#   out/report.json      what was found and done
#   out/cleaned.mp4      the recording through FFmpeg's removelogo with the mask
#   out/delogo.mp4       the recording through FFmpeg's delogo with the printed box
# and small pictures of them (out/demo-*.png) as the README shows them.
# Settings are given explicitly (the defaults), so earlier runs with other settings do not matter.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

"$root/scripts/install-deps.sh" demo

echo "== building the plug-in and logo-extract" >&2
log_dir="$root/build/logs"
mkdir -p "$log_dir"
# The demo's packages carry no GoogleTest or benchmark library: the tree is configured without tests
# and benchmarks, unless it was already configured with them (by scripts/test.sh).
tree_options=(-DVLE_TESTS=OFF -DVLE_BENCH=OFF)
if grep -q '^VLE_TESTS:BOOL=ON$' build/native/CMakeCache.txt 2>/dev/null; then tree_options=(); fi
if ! cmake --preset native "${tree_options[@]}" >"$log_dir/demo-configure.log" 2>&1; then
  cat "$log_dir/demo-configure.log" >&2
  exit 1
fi
if ! cmake --build build/native --target logo-extract broadcast-gen -j"${VLE_JOBS:-$(nproc)}" >"$log_dir/demo-build.log" 2>&1; then
  tail -n 60 "$log_dir/demo-build.log" >&2
  exit 1
fi

echo "== encoding 30 seconds of the synthetic broadcast" >&2
mkdir -p out
build/native/tools/broadcast/broadcast-gen --size 720x576 --frames 750 --place top-right --break 300-374 |
  ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s 720x576 -r 25 -i - \
    -c:v libx264 -preset veryfast -g 50 -pix_fmt yuv420p out/demo.mp4

echo "== finding the logo and making its template and mask" >&2
delogo=$(build/native/src/logo-extract out/demo.mp4 --find-logo --sample all \
  -o out/logo.bmp --preview out/preview.png --mask out/mask.png --report out/report.json --delogo \
  --alpha out/alpha.png --deblend-preview out/deblended.png \
  --threshold 50 --black-level 0 --no-invert --key-colour 0080FF)

echo "== removing the logo with FFmpeg: removelogo with the mask, and $delogo" >&2
ffmpeg -v error -y -i out/demo.mp4 -vf removelogo=out/mask.png -c:v libx264 -preset veryfast out/cleaned.mp4
ffmpeg -v error -y -i out/demo.mp4 -vf "$delogo" -c:v libx264 -preset veryfast out/delogo.mp4

# Pictures for the README: the top right quarter of a frame, where the logo is, at frame 500.
corner="crop=360:180:360:0"
ffmpeg -v error -y -i out/preview.png -vf "$corner" out/demo-found.png
ffmpeg -v error -y -i out/logo.bmp out/demo-template.png
ffmpeg -v error -y -i out/mask.png -vf "$corner" out/demo-mask.png
ffmpeg -v error -y -ss 20 -i out/demo.mp4 -vf "$corner" -frames:v 1 out/demo-original.png
ffmpeg -v error -y -ss 20 -i out/cleaned.mp4 -vf "$corner" -frames:v 1 out/demo-removelogo.png
ffmpeg -v error -y -ss 20 -i out/delogo.mp4 -vf "$corner" -frames:v 1 out/demo-delogo.png
# All in one row, at half size: the README's picture.
ffmpeg -v error -y -i out/demo-original.png -i out/demo-found.png -i out/demo-mask.png \
  -i out/demo-removelogo.png -i out/demo-delogo.png -filter_complex \
  "[0]scale=180:90[a];[1]scale=180:90[b];[2]scale=180:90,format=rgb24[c];[3]scale=180:90[d];[4]scale=180:90[e];[a][b][c][d][e]hstack=5" \
  out/demo-steps.png
# The opacity: the logo's colour and opacity over mid grey, and the last frame de-blended, beside
# that frame as broadcast.
ffmpeg -v error -y -f lavfi -i color=gray:s=360x180 -i out/alpha.png -filter_complex \
  "[1]$corner[a];[0][a]overlay=format=auto,format=rgb24" -frames:v 1 out/demo-alpha.png
ffmpeg -v error -y -i out/deblended.png -vf "$corner" out/demo-deblended.png
ffmpeg -v error -y -sseof -0.04 -i out/demo.mp4 -vf "$corner" -frames:v 1 -update 1 out/demo-last.png
ffmpeg -v error -y -i out/demo-last.png -i out/demo-alpha.png -i out/demo-deblended.png -filter_complex \
  "[0][1][2]hstack=3" out/demo-opacity.png

echo
echo "The recording:      $root/out/demo.mp4"
echo "The logo template:  $root/out/logo.bmp"
echo "The preview:        $root/out/preview.png"
echo "The mask:           $root/out/mask.png"
echo "The report:         $root/out/report.json"
echo "Opacity and colour: $root/out/alpha.png, de-blended: $root/out/deblended.png"
echo "Cleaned videos:     $root/out/cleaned.mp4 (removelogo), $root/out/delogo.mp4 ($delogo)"
