#!/usr/bin/env bash
# Installs every Debian package the build, the viewer and the tests need.
# Safe to run again: only missing packages are installed.
set -euo pipefail

PKGS=(
  build-essential g++ cmake ninja-build ccache pkg-config git
  clang llvm libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libqt6svg6-dev libqt6opengl6-dev
  qt6-multimedia-dev qt6-webengine-dev qt6-webengine-dev-tools libqt6webchannel6-dev
  qt6-tools-dev qt6-l10n-tools qt6-qpa-plugins
  libgl-dev libegl-dev libgl1-mesa-dri mesa-utils
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  libcurl4-openssl-dev
  libjs-leaflet
  nlohmann-json3-dev
  xvfb xauth fonts-noto-cjk tzdata
  pulseaudio
  ffmpeg
  python3
  imagemagick
  desktop-file-utils appstream libxml2-utils dpkg-dev libxcb1-dev
  # Real card media for the tests: FAT32 through fusefat, exFAT through exfat-fuse,
  # and the slow pass-through card on libfuse3.
  dosfstools fusefat fuse3 libfuse3-dev exfat-fuse exfatprogs strace time
  # Readers nobody here wrote, for the GPX output.
  gpsbabel python3-gpxpy
  # The Debian package's checker and its manual pages.
  lintian help2man
  # A reader of the machine-readable copyright file, for the package test.
  python3-debian
  # A real window manager for the window tests, and Qt's own Japanese texts.
  openbox qt6-translations-l10n
  # Real pointer input (XTEST) for the window tests.
  xdotool
)

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "root or sudo is needed to install: ${missing[*]}" >&2; exit 1; }
  SUDO=sudo
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
