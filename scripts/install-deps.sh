#!/usr/bin/env bash
# Installs what building and testing need on Debian (bookworm): the MinGW-w64
# cross compilers for 32-bit and 64-bit Windows, Wine with both its halves,
# Xvfb, the locale tools, CMake, GoogleTest, clang with the sanitizer and
# fuzzer runtimes, Python with pefile, OpenSSL with osslsigncode (hashing
# and signing in update-kit) and CLI11 (update-kit's command line). Safe to run
# again: it does nothing when everything is there already.
#
# The 32-bit Wine (wine32:i386) is installed on every machine. Where the
# kernel cannot execute 32-bit code (the rig's probe decides, by executing
# the 32-bit loader), qemu-user from bookworm-backports is installed too
# (bookworm's 7.2 takes about a minute per 32-bit process start); the
# end-to-end rig registers it with binfmt_misc only while it runs, so
# qemu-user-binfmt is never installed. Wine's set-up scripts then print
# "Exec format error" for a few i386 helper programs; that is expected there.
set -euo pipefail

PACKAGES=(
  g++-mingw-w64-i686 mingw-w64-i686-dev
  g++-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine32:i386 wine64
  xvfb x11-apps imagemagick locales fonts-ipafont-gothic
  cmake g++ make
  googletest libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  python3 python3-pefile
  libssl-dev openssl osslsigncode
  libcli11-dev
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

BACKPORTS_SOURCES=/etc/apt/sources.list.d/updater-bookworm-backports.sources
export DEBIAN_FRONTEND=noninteractive

# qemu-user from backports, only where 32-bit code does not run natively.
install_emulator() {
  local probe
  probe=$(cd "$(dirname "$0")/../tests/e2e" && /usr/bin/python3 -m rig probe) || {
    echo "install-deps: $probe"
    exit 1
  }
  if ! grep -qx "win32 emulated" <<<"$probe"; then
    return 0
  fi
  local version
  version=$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null || true)
  if [ -n "$version" ] && dpkg --compare-versions "$version" ge 1:9.1; then
    return 0
  fi
  echo "install-deps: this machine cannot execute 32-bit code: installing qemu-user from bookworm-backports"
  printf '%s\n' "Types: deb" "URIs: http://deb.debian.org/debian" "Suites: bookworm-backports" \
    "Components: main" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" |
    "${SUDO[@]}" tee "$BACKPORTS_SOURCES" >/dev/null
  "${SUDO[@]}" apt-get update -q || echo "install-deps: some package indexes could not be fetched; going on"
  # qemu-user replaces bookworm's qemu-user-static, whose 10.0 version is a
  # transitional package that would pull in qemu-user-binfmt.
  "${SUDO[@]}" apt-get install -y -q -t bookworm-backports --no-install-recommends \
    qemu-user qemu-user-static-
}

if [ "${#missing[@]}" -eq 0 ]; then
  install_emulator
  echo "install-deps: everything is installed"
  exit 0
fi

# A mirror caught mid-sync serves an index that its release file does not
# list (seen for bookworm-security's i386 index): apt then installs from the
# other indexes. Without that suite's i386 half, the two halves of a
# multi-arch library can no longer agree on a version; the install is then
# tried once more with the security suite ranked below the point release, in
# a preference file of this run only (the machine's own files stay as they are).
install_packages() {
  if "${SUDO[@]}" apt-get install -y -q "$@"; then
    return 0
  fi
  local preferences
  preferences=$(mktemp -d)
  printf '%s\n' "Package: *" "Pin: release l=Debian-Security" "Pin-Priority: 100" >"$preferences/security-below.pref"
  echo "install-deps: the install failed; trying again with the security suite ranked below the point release"
  local status=0
  "${SUDO[@]}" apt-get install -y -q -o Dir::Etc::PreferencesParts="$preferences" "$@" || status=$?
  rm -rf "$preferences"
  return "$status"
}

echo "install-deps: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${SUDO[@]}" dpkg --add-architecture i386
fi
if ! "${SUDO[@]}" apt-get update -q; then
  echo "install-deps: some package indexes could not be fetched (see above); going on with the rest"
fi
install_packages "${missing[@]}"
install_emulator
