#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz", clang) and runs each for SECONDS on a scratch copy
# of its seed corpus in fuzz/corpus/<target without _fuzz>/; the committed corpus never grows.
# Runs at most two targets at a time. Exits non-zero when a build fails or a target finds anything;
# the inputs that broke a target are kept in build/fuzz/findings/<target>/.
#
#   scripts/fuzz.sh SECONDS [TARGET...]       default: every target
#   VLE_FUZZ_PARALLEL=1 scripts/fuzz.sh 600   one target at a time
#
# Ends with one line per target: executions, corpus size at the end, result.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if [ $# -lt 1 ] || ! [[ "$1" =~ ^[0-9]+$ ]]; then
  echo "usage: scripts/fuzz.sh SECONDS [TARGET...]" >&2
  exit 2
fi
seconds=$1
shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(settings_fuzz frame_geometry_fuzz host_session_fuzz exporter_fuzz)
fi
parallel=${VLE_FUZZ_PARALLEL:-2}
if [ "$parallel" -gt 2 ]; then parallel=2; fi
if [ "$parallel" -lt 1 ]; then parallel=1; fi

log_dir="$root/build/logs"
findings="$root/build/fuzz/findings"
mkdir -p "$log_dir"
if ! { cmake --preset fuzz && cmake --build build/fuzz -j2 --target "${targets[@]}"; } \
    >"$log_dir/fuzz-build.log" 2>&1; then
  tail -n 40 "$log_dir/fuzz-build.log" >&2
  echo "fuzz.sh: building the fuzz targets failed" >&2
  exit 1
fi

# Scratch space in memory where there is some: the targets write files on every input.
scratch_parent=/dev/shm
[ -d "$scratch_parent" ] && [ -w "$scratch_parent" ] || scratch_parent=${TMPDIR:-/tmp}
scratch=$(mktemp -d "$scratch_parent/vle-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# Runs one target; its summary line goes to $scratch/<target>.result.
run_target() {
  local target=$1 binary="$root/build/fuzz/fuzz/$1" seeds="$root/fuzz/corpus/${1%_fuzz}"
  local work="$scratch/$target" log="$log_dir/fuzz-$target.log"
  mkdir -p "$work/corpus" "$work/artifacts" "$work/tmp"
  if [ -d "$seeds" ]; then cp -r "$seeds/." "$work/corpus/"; fi
  # A finding stops the run; a hang shows as a timeout well within the run's time.
  TMPDIR="$work/tmp" "$binary" -max_total_time="$seconds" -timeout=20 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" >"$log" 2>&1
  local status=$?
  local runs corpus result=ok
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  corpus=$(find "$work/corpus" -type f | wc -l)
  if [ $status -ne 0 ] || [ -n "$(ls -A "$work/artifacts")" ]; then
    result="FAILED (exit $status, see $log)"
    mkdir -p "$findings/$target"
    cp "$work/artifacts/"* "$findings/$target/" 2>/dev/null
  fi
  printf '%-22s %8ss %12s runs %6s corpus  %s\n' "$target" "$seconds" "${runs:-?}" "$corpus" "$result" \
    >"$scratch/$target.result"
}

running=0
for target in "${targets[@]}"; do
  if [ ! -x "$root/build/fuzz/fuzz/$target" ]; then
    echo "fuzz.sh: no such target: $target" >&2
    exit 2
  fi
  run_target "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$parallel" ]; then
    wait -n
    running=$((running - 1))
  fi
done
wait

failed=0
for target in "${targets[@]}"; do
  cat "$scratch/$target.result"
  grep -q FAILED "$scratch/$target.result" && failed=1
done
if [ "$failed" -ne 0 ]; then
  echo "fuzz.sh: findings kept in $findings" >&2
fi
exit "$failed"
