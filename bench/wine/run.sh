#!/usr/bin/env bash
# The Wine benchmark of a whole update run: builds updater.exe and the test
# tool (win32 preset), the two bench programs, generates the update (once) and
# prints the times of (a) the updater, (b) a bare shell-copy loop, (c) xcopy,
# with the ratios a/b and a/c. Not part of ctest; takes a few minutes.
set -euo pipefail
cd "$(dirname "$0")/../.."

work="${BENCH_WORK:-$PWD/build/win32/bench-wine}"
mkdir -p "$work"

cmake --preset win32 >/dev/null
cmake --build --preset win32 -j2 --target updater e2etool >/dev/null

# Test-only programs, built like the updater: static, 32-bit.
cxx=(i686-w64-mingw32-g++ -std=c++17 -O2 -Wall -Wextra -static)
"${cxx[@]}" -o "$work/bare_copy.exe" bench/wine/bare_copy.cpp -lshell32 -luser32
"${cxx[@]}" -o "$work/work_probe.exe" bench/wine/work_probe.cpp -lversion

BENCH_WORK="$work" python3 bench/wine/bench.py
