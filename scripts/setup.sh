#!/bin/bash
# Installs what building, running and testing need on a Debian machine.
# Idempotent: does nothing when every package is already there. A failing
# index during apt-get update does not stop it as long as the packages install.
set -u
packages=(
  cmake make g++ clang libclang-rt-14-dev googletest libbenchmark-dev
  mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  wine wine64 xvfb xauth python3 python3-pyftpdlib python3-cryptography python3-pil fonts-dejavu-core vsftpd ovmf imagemagick
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q || echo "apt-get update reported errors; trying the install anyway"
if ! $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"; then
  echo "could not install: ${missing[*]}" >&2
  exit 1
fi
