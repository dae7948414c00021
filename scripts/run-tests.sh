#!/usr/bin/env bash
# Builds both presets and runs every test: the unit tests of the update logic
# (native) and the end-to-end tests of updater.exe under Wine (win32).
# Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

started=$SECONDS
cmake --preset native
cmake --build --preset native -j2
cmake --preset win32
cmake --build --preset win32 -j2
echo "run-tests: built in $((SECONDS - started)) s"

status=0
started=$SECONDS
ctest --preset native || status=1
echo "run-tests: unit tests took $((SECONDS - started)) s"
started=$SECONDS
ctest --preset win32 || status=1
echo "run-tests: end-to-end tests took $((SECONDS - started)) s"

if [ "$status" -ne 0 ]; then
  echo "run-tests: FAILED"
fi
exit "$status"
