#!/usr/bin/env bash
# Installs the Debian packages Brevio needs to build, test and run.
# Only missing packages are installed, so a second run is quick and quiet.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config ccache git
  clang libclang-rt-14-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  qpdf poppler-utils xvfb xauth x11-utils xcompmgr ffmpeg unzip zip
  libopencv-imgproc-dev python3
  # installation and the Debian package: icon rendering, validators of the
  # menu entry and the metainfo
  librsvg2-bin desktop-file-utils appstream dpkg-dev binutils
  # interface
  qt6-base-dev qt6-base-dev-tools libqt6svg6-dev qt6-image-formats-plugins
  libqt6opengl6-dev libgl-dev
  libxcb1-dev libxcb-shm0-dev libxcb-xfixes0-dev libxcb-keysyms1-dev libxcb-xtest0-dev libxcb-shape0-dev
  libx11-dev libx11-xcb-dev
  fonts-noto-cjk fonts-dejavu-core xdg-utils
  # files and pictures
  libpugixml-dev libzip-dev libturbojpeg0-dev libjpeg62-turbo-dev libgif-dev
  # media
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  libsdl2-dev libasound2-dev
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
