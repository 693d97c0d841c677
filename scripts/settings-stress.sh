#!/usr/bin/env bash
# Runs pairs of logo-extract processes at the same moment against one settings file and checks,
# after every pair, that the file is one run's settings file, whole.
#
#   scripts/settings-stress.sh [PAIRS] [BUILD_DIR]      (defaults: 500, build/native)
#
# The two runs of a pair ask for different settings; each writes its file when it unloads the
# plug-in, so the two saves overlap. The file must then be byte for byte what one of the runs
# writes alone. Exits 1 at the first pair that leaves anything else, showing the file.
set -euo pipefail

pairs=${1:-500}
build=${2:-build/native}
tool=$build/src/logo-extract
[ -x "$tool" ] || tool=$(find "$build" -name logo-extract -type f -perm -u+x | head -n 1)
if [ -z "$tool" ] || [ ! -x "$tool" ]; then
  echo "settings-stress: no logo-extract in $build (build the logo-extract target first)" >&2
  exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config QUORSANA_STORE_IN_USERS_FOLDER=1
mkdir -p "$XDG_CONFIG_HOME/Quorsana"
ini=$XDG_CONFIG_HOME/Quorsana/Plugins/Vorlane_LogoExtractor.ini

run_a() { "$tool" --demo --frames 30 --size 64x48 -q --region 10,10,20,20 --threshold 40 --black-level 3 \
            --invert --key-colour 102030 -o "$work/a.bmp"; }
run_b() { "$tool" --demo --frames 30 --size 64x48 -q --region 50,40,30,25 --threshold 90 --black-level 7 \
            --no-invert --key-colour A0B0C0 -o "$work/b.bmp"; }

# What each run writes alone (twice, so that the text no longer depends on the one before).
run_a; run_b; run_a
cp "$ini" "$work/expected-a"
run_b
cp "$ini" "$work/expected-b"
if cmp -s "$work/expected-a" "$work/expected-b"; then
  echo "settings-stress: the two runs write the same file; the check would prove nothing" >&2
  exit 2
fi

for ((i = 1; i <= pairs; ++i)); do
  run_a & a=$!
  run_b & b=$!
  wait "$a" || { echo "settings-stress: pair $i: the first run failed" >&2; exit 1; }
  wait "$b" || { echo "settings-stress: pair $i: the second run failed" >&2; exit 1; }
  if ! cmp -s "$ini" "$work/expected-a" && ! cmp -s "$ini" "$work/expected-b"; then
    echo "settings-stress: pair $i left a settings file that is neither run's:" >&2
    od -c "$ini" >&2
    exit 1
  fi
  leftovers=$(find "$(dirname "$ini")" -name '*.tmp*' | wc -l)
  if [ "$leftovers" -ne 0 ]; then
    echo "settings-stress: pair $i left $leftovers temporary file(s)" >&2
    exit 1
  fi
  if ((i % 50 == 0)); then echo "settings-stress: $i of $pairs pairs, file whole every time"; fi
done
echo "settings-stress: $pairs pairs, the settings file was one run's whole text every time"
