#!/usr/bin/env bash
# Installs what building and testing need on Debian (bookworm): the MinGW-w64
# i686 cross compiler, Wine with its 32-bit part, Xvfb, the locale tools,
# CMake, GoogleTest and Python. Safe to run again: it does nothing when
# everything is there already.
set -euo pipefail

PACKAGES=(
  g++-mingw-w64-i686 mingw-w64-i686-dev
  wine wine32:i386 wine64
  xvfb x11-apps imagemagick locales fonts-ipafont-gothic
  cmake g++ make
  googletest libgtest-dev libgmock-dev
  python3
)

SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  SUDO=(sudo)
fi

missing=()
for package in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${SUDO[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -q
"${SUDO[@]}" apt-get install -y -q "${missing[@]}"
