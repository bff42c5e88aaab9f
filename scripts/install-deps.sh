#!/usr/bin/env bash
# Installs every Debian 12 package that the build and the tests need. Idempotent: when all
# packages are present it only checks and returns.
set -euo pipefail

PACKAGES=(
  build-essential
  cmake
  ninja-build
  pkg-config
  libgtest-dev
  libgmock-dev
  libpng-dev
  zlib1g-dev
  libjpeg62-turbo-dev
  libbenchmark-dev
  libtiff-tools
  libjpeg-turbo-progs
  qt6-base-dev
  qt6-qpa-plugins
  fonts-liberation
  poppler-utils
  libavformat-dev
  libavcodec-dev
  libswscale-dev
  libavutil-dev
  ffmpeg
  libglib2.0-bin
  shared-mime-info
  desktop-file-utils
  xdg-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
