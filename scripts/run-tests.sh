#!/usr/bin/env bash
# Builds every preset and runs every test: the unit tests of the update logic
# (native, and again with the sanitizers), the fuzz targets on their kept
# corpus, and the end-to-end tests of updater.exe under Wine against each
# Windows build this machine can run (the probe decides; see README).
# Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

status=0
summary=()
part() {  # part NAME COMMAND...: runs one part, times it, notes how it went
  local name=$1 started=$SECONDS result=passed
  shift
  "$@" || { result=FAILED; status=1; }
  summary+=("$(printf '%-44s %-7s %4d s' "$name" "$result" $((SECONDS - started)))")
}
build() {
  cmake --preset "$1" && cmake --build --preset "$1" -j2
}
named_skips() {  # named_skips BUILD: one summary line per case that ctest's last run skipped
  # Each Python test file writes "skipped: CASE: REASON" for a skipped case;
  # ctest counts the file as passed, so the summary names the case itself.
  # The 32-bit part's skip has a summary line of its own.
  local line rest
  while IFS= read -r line; do
    rest=${line#skipped: }
    summary+=("$(printf '  %-42s %-7s %s' "${rest%%: *}" skipped "${rest#*: }")")
  done < <(grep "^skipped: " "build/$1/Testing/Temporary/LastTest.log" 2>/dev/null |
           grep -v "32-bit part skipped:" || true)
}

for preset in native asan fuzz win32 win64; do
  if grep -q "\"name\": \"$preset\"" CMakePresets.json; then
    part "build $preset" build "$preset"
  fi
done
part "unit tests (native)" ctest --preset native
named_skips native
for preset in asan fuzz; do
  if grep -q "\"name\": \"$preset\"" CMakePresets.json; then
    part "tests ($preset)" ctest --preset "$preset"
  fi
done

source scripts/e2e-builds.sh
echo "$E2E_HEADLINE"
for build in $E2E_BUILDS; do
  how=native
  [[ " $E2E_EMULATED_BUILDS " == *" $build "* ]] && how="in a 64-bit prefix, emulated"
  part "end-to-end ($build, $how)" ctest --preset "$build" -L e2e
  # The one allowed skip (the machine refused the emulator's registration)
  # passes in ctest's eyes; the summary names it with its reason.
  skipped=$(grep -m 1 -o "32-bit part skipped:.*" "build/$build/Testing/Temporary/LastTest.log" 2>/dev/null || true)
  if [ -n "$skipped" ]; then
    summary[-1]=$(printf '%-44s %-7s %s' "end-to-end ($build, $how)" skipped "${skipped#32-bit part skipped: }")
  fi
  named_skips "$build"
done

echo
echo "run-tests: $E2E_HEADLINE"
printf 'run-tests: %s\n' "${summary[@]}"
if [ "$status" -ne 0 ]; then
  echo "run-tests: FAILED"
fi
exit "$status"
