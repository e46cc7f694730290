#!/usr/bin/env bash
# Installs every Debian package Vorel needs to build, run and test. Safe to run again:
# apt-get skips what is already there, and the package index is refreshed only when a
# package is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev
  libcurl4-openssl-dev libboost-regex-dev
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev libmpg123-dev libsoxr-dev
  libsdl2-dev libpulse-dev libfftw3-dev
  fonts-noto-cjk xvfb xauth libx11-dev libxcb1-dev zlib1g-dev
  ffmpeg nginx-light aria2 axel mpg123 openssl libssl-dev time
  pulseaudio pulseaudio-utils
  clang libclang-rt-14-dev clang-format
  locales
  dbus desktop-file-utils appstream librsvg2-bin qt6-translations-l10n
  lintian man-db
  qt6-wayland weston
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# A locale with a decimal comma, so the tests can prove that number conversions ignore the
# process locale (the window framework sets it from the environment).
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  if [ "$(id -u)" -eq 0 ]; then
    localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "setup: could not build the de_DE.UTF-8 locale" >&2
  fi
fi
