#!/usr/bin/env bash
# Installs what building and testing need on Debian (bookworm): the MinGW-w64
# cross compilers for 32-bit and 64-bit Windows, Wine with both its halves,
# Xvfb, the locale tools, CMake, GoogleTest, clang with the sanitizer and
# fuzzer runtimes, Python with pefile, qemu-user-static, and OpenSSL with
# osslsigncode (hashing and signing in update-kit). Safe to run
# again: it does nothing when everything is there already.
#
# The 32-bit Wine (wine32:i386) is installed on every machine: where the
# kernel cannot execute 32-bit code, the smoke test of the 32-bit build runs
# it under qemu-i386-static. Its packages' set-up scripts then print "Exec
# format error" for a few i386 helper programs; that is expected there.
set -euo pipefail

PACKAGES=(
  g++-mingw-w64-i686 mingw-w64-i686-dev
  g++-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine32:i386 wine64
  qemu-user-static
  xvfb x11-apps imagemagick locales fonts-ipafont-gothic
  cmake g++ make
  googletest libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  python3 python3-pefile
  libssl-dev openssl osslsigncode
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
