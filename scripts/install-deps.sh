#!/bin/bash
# Installs, from Debian's archive, everything the build and the tests use.
# Does nothing when all of it is already there.
set -euo pipefail

packages=(
  cmake make g++ clang libclang-rt-14-dev googletest python3
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine64 xvfb x11-apps xdotool imagemagick
  iproute2 util-linux osslsigncode openssl hyperfine
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
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
# wine64 alone leaves no plain "wine" launcher on some setups.
command -v wine >/dev/null || $sudo apt-get install -y -qq wine >/dev/null
