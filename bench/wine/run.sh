#!/usr/bin/env bash
# The Wine benchmark of a whole update run, for each Windows build this
# machine runs natively (the probe decides: both where it executes 32-bit
# code; where it cannot, the 32-bit build runs only under an emulator, whose
# times say nothing of the program's, so it is skipped and said so). Builds
# updater.exe, the test tool, the native update-kit (it signs the updater
# for the signed run) and the two bench programs, generates the update
# (once per build) and prints the times of (a) the updater, (as) the same
# updater signed, (b) a bare shell-copy loop, (b2) that loop with the
# version reads, (c) xcopy, with the ratios. Not part of ctest; takes a few
# minutes a build.
set -euo pipefail
cd "$(dirname "$0")/../.."

source scripts/e2e-builds.sh
echo "bench: $E2E_HEADLINE"
for build in $E2E_EMULATED_BUILDS; do
  echo "bench: the $build build is skipped: it runs only under the emulator here, whose times are not the program's"
done
cmake --preset native >/dev/null
cmake --build --preset native -j2 --target update-kit >/dev/null
for build in $E2E_NATIVE_BUILDS; do
  work="${BENCH_WORK:-$PWD/build/$build/bench-wine}"
  mkdir -p "$work"
  cmake --preset "$build" >/dev/null
  cmake --build --preset "$build" -j2 --target updater e2etool >/dev/null

  # Test-only programs, built like the updater: static, for the same machine.
  case $build in
    win32) cross=i686-w64-mingw32-g++ ;;
    win64) cross=x86_64-w64-mingw32-g++ ;;
  esac
  cxx=("$cross" -std=c++17 -O2 -Wall -Wextra -static -Isrc)
  "${cxx[@]}" -o "$work/bare_copy.exe" bench/wine/bare_copy.cpp -lshell32 -luser32 -lversion
  "${cxx[@]}" -o "$work/work_probe.exe" bench/wine/work_probe.cpp -lversion
  "${cxx[@]}" -o "$work/copy_steps.exe" bench/wine/copy_steps.cpp -lshell32

  echo "bench: the $build build"
  echo "bench: pinned to CPU ${BENCH_CPU:-1} (taskset), with its Wine server"
  # BENCH_BASELINE_win32 / BENCH_BASELINE_win64: an earlier updater.exe of
  # that build, timed beside this one (a0).
  baseline_var=BENCH_BASELINE_$build
  BENCH_BASELINE="${!baseline_var:-${BENCH_BASELINE:-}}" \
  E2E_BUILD=$build BENCH_WORK="$work" taskset -c "${BENCH_CPU:-1}" /usr/bin/python3 bench/wine/bench.py
done
