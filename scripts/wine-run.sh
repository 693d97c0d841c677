#!/usr/bin/env bash
# wine-run.sh WINE PROGRAM [ARGS...]: the Windows trees' test runner (their
# CMAKE_CROSSCOMPILING_EMULATOR), with the prefix and server already in the environment.
#
# Now and then Wine fails to start a process at all: it exits non-zero before the program has
# written a byte. Such a start is made once more, and the log says so. A program that ran and
# failed is reported as it is, with its own output and status.
wine=$1
shift
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
"$wine" "$@" >"$dir/out" 2>"$dir/err"
status=$?
if [ "$status" -ne 0 ] && [ ! -s "$dir/out" ] && [ ! -s "$dir/err" ]; then
  echo "wine-run: $1 did not start (status $status, no output); starting it once more" >&2
  "$wine" "$@" >"$dir/out" 2>"$dir/err"
  status=$?
fi
cat "$dir/out"
cat "$dir/err" >&2
exit "$status"
