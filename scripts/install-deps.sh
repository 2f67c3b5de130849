#!/bin/bash
# Installs, from Debian's archive, everything the build and the tests use.
# Does nothing when all of it is already there.
set -euo pipefail

packages=(
  cmake make ninja-build g++ clang llvm-14 libclang-rt-14-dev googletest libgtest-dev zlib1g-dev python3 python3-pefile
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 fonts-wine fonts-liberation xvfb imagemagick
  iproute2 util-linux procps osslsigncode openssl nlohmann-json3-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# With their recommended packages, as the tests were made with: Wine's
# dialogs need its fonts, and the text colours on screen are checked.
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null
