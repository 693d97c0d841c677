#!/usr/bin/env bash
# Makes a logo template from the built-in synthetic broadcast: installs what is needed, builds the
# plug-in and the command-line host, runs 750 frames through the plug-in and writes
#   out/logo.bmp      the template bitmap (everything that is not logo in the key colour)
#   out/preview.png   the last frame as the plug-in left it: the template over the region, outlined
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
if ! cmake --build build/native --target logo-extract -j"${VLE_JOBS:-$(nproc)}" >"$log_dir/demo-build.log" 2>&1; then
  tail -n 60 "$log_dir/demo-build.log" >&2
  exit 1
fi

echo "== extracting the logo of the synthetic broadcast" >&2
mkdir -p out
build/native/src/logo-extract --demo -o out/logo.bmp --preview out/preview.png \
  --region 2.0,2.0,20.0,20.0 --threshold 50 --black-level 0 --no-invert --key-colour 0080FF

echo
echo "The logo template:  $root/out/logo.bmp"
echo "The preview:        $root/out/preview.png"
