#!/usr/bin/env bash
# Installs every Debian package that the native, sanitizer, fuzz and win32 trees, the hosts and the
# benchmarks need. Idempotent: does nothing when everything is there. Uses sudo only when not root.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  googletest libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 xvfb xauth fonts-wine imagemagick locales
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
  libpng-dev
)
optional_packages=(libopencv-dev)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

missing=()
for p in "${packages[@]}" "${optional_packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}" >&2
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${packages[@]}"
  # The OpenCV peer of the benchmarks is optional: a missing package only skips that benchmark.
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${optional_packages[@]}" ||
    echo "install-deps: optional ${optional_packages[*]} not installed" >&2
fi

# Wine takes its ANSI code page from LC_ALL; the Russian locale makes it 1251.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
  if [ -f /etc/locale.gen ] && ! grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen; then
    echo 'ru_RU.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
  fi
  "${sudo_cmd[@]}" locale-gen >/dev/null
fi
