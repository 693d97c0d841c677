#!/usr/bin/env bash
# Builds and runs every test: the native tree, the sanitizer trees, the fuzz smoke, the Windows
# tests under Wine (with a virtual X display for the windows) and the packages. Ends with one line
# "N passed, M failed"; the exit status is non-zero when anything failed.
#
#   scripts/test.sh            everything
#   VLE_SKIP="fuzz asan" scripts/test.sh   leave out parts (native asan tsan fuzz win32 package)
#
# The Windows tests run in the win32 tree (the shipped DLL) under 32-bit Wine where the kernel
# executes 32-bit programs and 32-bit Wine is installed; elsewhere in the win64 tree under wine64.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

"$root/scripts/install-deps.sh"

jobs=$(nproc 2>/dev/null || echo 2)
skip=" ${VLE_SKIP:-} "
passed=0
failed=0
log_dir="$root/build/logs"
mkdir -p "$log_dir"

# Adds the counts of one ctest run (from its summary line) to the totals.
count_ctest() {
  local log=$1 total fails
  local line
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    echo "test.sh: no test summary in $log" >&2
    failed=$((failed + 1))
    return
  fi
  fails=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + total - fails))
  failed=$((failed + fails))
}

build_tree() {  # preset, extra cmake args...
  local preset=$1
  shift
  echo "== configure and build: $preset" >&2
  if ! cmake --preset "$preset" "$@" >"$log_dir/$preset-configure.log" 2>&1; then
    cat "$log_dir/$preset-configure.log" >&2
    echo "test.sh: configuring $preset failed" >&2
    failed=$((failed + 1))
    return 1
  fi
  if ! cmake --build "build/$preset" -j"$jobs" ${VLE_BUILD_TARGET:+--target $VLE_BUILD_TARGET} \
      >"$log_dir/$preset-build.log" 2>&1; then
    tail -n 60 "$log_dir/$preset-build.log" >&2
    echo "test.sh: building $preset failed" >&2
    failed=$((failed + 1))
    return 1
  fi
}

run_ctest() {  # preset, ctest args...
  local preset=$1
  shift
  echo "== test: $preset" >&2
  (cd "build/$preset" && ctest --timeout 600 --output-on-failure "$@") >"$log_dir/$preset-test.log" 2>&1
  grep -E '\*\*\*(Failed|Timeout|Exception)' "$log_dir/$preset-test.log" | grep -v ' 0 tests failed' >&2 || true
  tail -n 3 "$log_dir/$preset-test.log" >&2
  count_ctest "$log_dir/$preset-test.log"
}

if [[ "$skip" != *" native "* ]]; then
  build_tree native && run_ctest native -j"$jobs"
fi

if [[ "$skip" != *" asan "* ]]; then
  build_tree native-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 run_ctest native-asan -j"$jobs"
fi

if [[ "$skip" != *" tsan "* ]]; then
  # Only the threading tests need this tree: build and run just their binary.
  VLE_BUILD_TARGET=vle_unit build_tree native-tsan &&
    TSAN_OPTIONS=halt_on_error=1 run_ctest native-tsan -j"$jobs" -R 'Thread|Stress|Concurr'
fi

if [[ "$skip" != *" fuzz "* ]] && [ -x "$root/scripts/fuzz.sh" ]; then
  echo "== fuzz smoke" >&2
  if "$root/scripts/fuzz.sh" "${VLE_FUZZ_SECONDS:-30}" >"$log_dir/fuzz.log" 2>&1; then
    passed=$((passed + 1))
  else
    tail -n 40 "$log_dir/fuzz.log" >&2
    failed=$((failed + 1))
  fi
fi

# The Windows trees. The i686 tree is the shipped DLL: always built, its exports and imports
# checked; its tests run under 32-bit wine where the kernel executes 32-bit programs. Elsewhere the
# same Windows code runs as x86_64 PEs under wine64 (the win64 tree).
run_windows_tree() {  # preset arch
  local preset=$1 arch=$2
  # Windows need a display; one virtual X server serves the whole run. The prefix is prepared
  # inside it too: wine's helper processes outlive their starter, and one started without a display
  # leaves every later window of the run without one.
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    . scripts/wine-env.sh && vle_wine_setup "$1" "$2" || exit 1
    (cd "$1" && ctest --timeout 600 --output-on-failure -j"$3"); status=$?
    vle_wine_teardown; exit $status' _ "$root/build/$preset" "$arch" "$jobs" >"$log_dir/$preset-test.log" 2>&1
  grep -E '\*\*\*(Failed|Timeout|Exception)' "$log_dir/$preset-test.log" | grep -v ' 0 tests failed' >&2 || true
  tail -n 3 "$log_dir/$preset-test.log" >&2
  count_ctest "$log_dir/$preset-test.log"
}

if [[ "$skip" != *" win32 "* ]]; then
  . "$root/scripts/wine-env.sh"
  # Where the i686 tests cannot run, only the shipped DLL is built in the i686 tree.
  win32_target=""
  i386=0
  if vle_can_run_i386; then i386=1; else win32_target=Vorlane_LogoExtractor; fi
  if VLE_BUILD_TARGET=$win32_target build_tree win32; then
    if "$root/scripts/check-dll.sh" "build/win32/src/Vorlane_LogoExtractor.dll" >"$log_dir/check-dll.log" 2>&1; then
      passed=$((passed + 1))
    else
      cat "$log_dir/check-dll.log" >&2
      failed=$((failed + 1))
    fi
    if [ "$i386" -eq 1 ]; then
      run_windows_tree win32 i686
    else
      echo "== $VLE_I386_REASON: the Windows tests run in the win64 tree" >&2
      build_tree win64 && run_windows_tree win64 x86_64
    fi
  fi
fi

# The packages: the .deb from the native tree, the .zip from the win32 tree, their contents checked.
# The zip is made by cpack from the targets it holds, so that a tree where only the DLL was built
# for the tests does not build its tests for the package.
if [[ "$skip" != *" package "* ]]; then
  echo "== packages" >&2
  rm -f "$log_dir"/package-native.log "$log_dir"/package-win32.log "$log_dir"/check-packages.log
  if { [ -f build/native/CMakeCache.txt ] || build_tree native; } &&
     { [ -f build/win32/CMakeCache.txt ] || VLE_BUILD_TARGET=Vorlane_LogoExtractor build_tree win32; } &&
     cmake --build build/native --target package -j"$jobs" >"$log_dir/package-native.log" 2>&1 &&
     cmake --build build/win32 --target Vorlane_LogoExtractor logo-viewer -j"$jobs" \
       >"$log_dir/package-win32.log" 2>&1 &&
     (cd build/win32 && cpack -G ZIP) >>"$log_dir/package-win32.log" 2>&1 &&
     "$root/scripts/check-packages.sh" build/native/vorlane-logo-extractor_1.02_*.deb \
       build/win32/vorlane-logo-extractor-1.02-win32.zip >"$log_dir/check-packages.log" 2>&1; then
    passed=$((passed + 1))
    tail -n 1 "$log_dir/check-packages.log" >&2
  else
    for log in package-native package-win32 check-packages; do
      [ -f "$log_dir/$log.log" ] && tail -n 20 "$log_dir/$log.log" >&2
    done
    echo "test.sh: the packages failed" >&2
    failed=$((failed + 1))
  fi
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
