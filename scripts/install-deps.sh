#!/usr/bin/env bash
# Installs the Debian packages one purpose needs. Uses sudo only when not root.
#
#   scripts/install-deps.sh demo   what scripts/demo.sh needs: compiler, CMake, pkg-config, FFmpeg
#                                  (libraries and program) and libpng. No Wine, no mingw-w64.
#   scripts/install-deps.sh        everything the tests need (the same as `all`): the demo's packages,
#                                  GoogleTest, the benchmark library, clang, mingw-w64, Wine, Xvfb,
#                                  ImageMagick and the ru_RU.UTF-8 locale; optionally OpenCV (the
#                                  benchmarks' peer) and 32-bit Wine (wine32:i386, for the tests of
#                                  the shipped 32-bit DLL where the kernel executes 32-bit programs).
#
# Does nothing when the required packages are there. A package list that fails to update is a
# warning: the install goes on with what is known and, if it fails, updates and tries once more. An
# optional package that cannot be installed is reported in one line; a required one ends the script
# with its name.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

purpose=${1:-all}
demo_packages=(
  build-essential cmake pkg-config
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
  libpng-dev
)
case "$purpose" in
  demo)
    required=("${demo_packages[@]}")
    optional=()
    ;;
  all)
    required=("${demo_packages[@]}" git
      googletest libgtest-dev libbenchmark-dev
      clang libclang-rt-14-dev
      g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 xvfb xauth fonts-wine imagemagick locales)
    optional=(libopencv-dev)
    ;;
  *)
    echo "usage: $0 [demo|all]" >&2
    exit 2
    ;;
esac

say() { echo "install-deps: $*" >&2; }

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive

# The packages of the list that are not installed, one per line (one dpkg query for the list). A
# name without an architecture is satisfied by any.
missing_of() {
  [ $# -gt 0 ] || return 0
  local have p
  have=$(dpkg-query -W -f='${Package}:${Architecture} ${Status}\n' "${@%%:*}" 2>/dev/null |
    awk '$2 == "install" && $3 == "ok" && $4 == "installed" { print $1 }')
  for p in "$@"; do
    case "$p" in
      *:*) grep -qxF "$p" <<<"$have" || echo "$p" ;;
      *) cut -d: -f1 <<<"$have" | grep -qxF "$p" || echo "$p" ;;
    esac
  done
}

# 32-bit Wine only where the kernel executes 32-bit programs: elsewhere it cannot run, and the
# Windows tests use the win64 tree.
i386=()
if [ "$purpose" = all ]; then
  . "$root/scripts/wine-env.sh"
  if vle_kernel_runs_i386; then
    i386=(wine32:i386)
  fi
fi

mapfile -t missing < <(missing_of "${required[@]}")
mapfile -t missing_optional < <(missing_of "${optional[@]}" "${i386[@]}")
if [ "$purpose" = all ] && [ ${#i386[@]} -eq 0 ] && [ ${#missing[@]} -gt 0 ]; then
  say "this kernel cannot execute 32-bit programs: no 32-bit Wine; the Windows tests run in the win64 tree"
fi

updated=0
update() {
  updated=1
  local log
  log=$(mktemp)
  if ! "${sudo_cmd[@]}" apt-get update -q >"$log" 2>&1; then
    say "warning: some package lists could not be updated; going on with what is known:"
    grep -E '^(E|W|Err):' "$log" | sed 's/^/  /' >&2
  fi
  rm -f "$log"
}

apt_install() { "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "$@"; }

if [ ${#missing[@]} -gt 0 ] || [ ${#missing_optional[@]} -gt 0 ]; then
  if [ ${#i386[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
    update
  fi
fi

if [ ${#missing[@]} -gt 0 ]; then
  say "installing ${missing[*]}"
  [ "$updated" -eq 1 ] || update
  if ! apt_install "${missing[@]}"; then
    say "the install failed; updating the package lists and trying once more"
    update
    if ! apt_install "${missing[@]}"; then
      # One at a time, to name the packages that cannot be installed.
      failed=()
      for p in "${missing[@]}"; do
        apt_install "$p" >/dev/null 2>&1 || failed+=("$p")
      done
      if [ ${#failed[@]} -gt 0 ]; then
        say "cannot install the required package(s): ${failed[*]}"
        exit 1
      fi
    fi
  fi
fi

# Optional packages: tried whenever they are missing, without updating the lists again when the
# required ones needed no install (a package that cannot be had fails in a second). Never at the
# price of removing an installed package.
for p in "${missing_optional[@]}"; do
  if apt_install --no-remove "$p" >/dev/null 2>&1; then
    say "installed optional $p"
  else
    case "$p" in
      wine32:i386) say "optional $p cannot be installed: the Windows tests run in the win64 tree" ;;
      libopencv-dev) say "optional $p cannot be installed: the benchmarks leave out their OpenCV peer" ;;
      *) say "optional $p cannot be installed" ;;
    esac
  fi
done

if [ "$purpose" = all ]; then
  # Wine takes its ANSI code page from LC_ALL; the Russian locale makes it 1251.
  if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
    if [ -f /etc/locale.gen ] && ! grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen; then
      echo 'ru_RU.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    fi
    "${sudo_cmd[@]}" locale-gen >/dev/null || { say "cannot generate the ru_RU.UTF-8 locale"; exit 1; }
  fi
fi
exit 0
