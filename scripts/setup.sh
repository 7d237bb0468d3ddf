#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing, quietly when
# everything is already there. Run as root (or through sudo) on Debian 12.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build pkg-config git
  # pure logic: JSON, regular expressions and Unicode
  nlohmann-json3-dev libicu-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev xvfb ffmpeg
  # X11 capture
  libxcb1-dev libxcb-shm0-dev libxcb-composite0-dev libxcb-randr0-dev libxcb-xfixes0-dev
  # encoding and images
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libturbojpeg0-dev libpng-dev
  # text recognition
  libtesseract-dev libleptonica-dev tesseract-ocr-eng
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  sudo=sudo
else
  sudo=
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
