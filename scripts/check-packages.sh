#!/usr/bin/env bash
# Checks the packages as a user gets them:
#   scripts/check-packages.sh DEB ZIP
# The .deb: its name, version and library dependencies, logo-extract on PATH's /usr/bin linking to
# the program beside the plug-in, the manual page; unpacked, logo-extract reports 1.02 and makes a
# template. The .zip: the 32-bit DLL (as scripts/check-dll.sh checks it), logo-viewer.exe and both
# guides.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deb=$(realpath "$1") zip=$(realpath "$2")
fail() { echo "check-packages: $*" >&2; exit 1; }

[ "$(dpkg-deb -f "$deb" Package)" = vorlane-logo-extractor ] || fail "$deb: wrong package name"
[ "$(dpkg-deb -f "$deb" Version)" = 1.02 ] || fail "$deb: version is not 1.02"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libavcodec libavformat libswscale libpng16; do
  grep -q "$lib" <<<"$depends" || fail "$deb: Depends lacks $lib: $depends"
done
listing=$(dpkg-deb -c "$deb")
for entry in './usr/bin/logo-extract -> ../lib/vorlane-logo-extractor/logo-extract' \
             ./usr/lib/vorlane-logo-extractor/logo-extract \
             ./usr/lib/vorlane-logo-extractor/Vorlane_LogoExtractor.so \
             ./usr/share/man/man1/logo-extract.1.gz; do
  grep -qF -- "$entry" <<<"$listing" || fail "$deb: no $entry"
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"
version=$("$work/root/usr/bin/logo-extract" --version)
[ "$version" = "logo-extract 1.02" ] || fail "logo-extract --version says '$version'"
(cd "$work" && HOME="$work" "$work/root/usr/bin/logo-extract" --demo --frames 40 -q -o x.bmp) ||
  fail "the unpacked logo-extract cannot make the demo template"
[ "$(head -c 2 "$work/x.bmp")" = BM ] || fail "the demo template is not a bitmap"

mkdir "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$zip")
for f in Vorlane_LogoExtractor.dll logo-viewer.exe README.en.txt README.ru.txt; do
  found=$(find "$work/zip" -name "$f")
  [ -n "$found" ] || fail "$zip: no $f"
done
"$root/scripts/check-dll.sh" "$(find "$work/zip" -name Vorlane_LogoExtractor.dll)" >/dev/null
i686-w64-mingw32-objdump -f "$(find "$work/zip" -name logo-viewer.exe)" | grep -q 'pei-i386' ||
  fail "$zip: logo-viewer.exe is not a 32-bit program"
echo "check-packages: $(basename "$deb") and $(basename "$zip") hold what they should"
