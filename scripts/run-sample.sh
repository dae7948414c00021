#!/usr/bin/env bash
# Builds updater.exe and runs it once under Wine on a built-in sample: a
# sample installed product registered in a private Wine prefix, and a sample
# payload staged beside the updater. Prints which build ran, the message box,
# what changed in the product folder and the copy log. The build is the
# shipped 32-bit one, in a 64-bit prefix under the emulator where this
# machine cannot execute 32-bit code (the probe decides).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
source scripts/e2e-builds.sh
how=natively
if [[ " $E2E_EMULATED_BUILDS " == *" $E2E_RUN_BUILD "* ]]; then
  how="in a 64-bit prefix, its 32-bit processes under qemu-i386"
  # The 64-bit test tool reads the box there.
  cmake --preset win64 >/dev/null
  cmake --build --preset win64 -j2 --target e2etool >/dev/null
fi
echo "run-sample: running the $E2E_RUN_BUILD build $how (${E2E_HEADLINE#end-to-end: })"
cmake --preset "$E2E_RUN_BUILD" >/dev/null
cmake --build --preset "$E2E_RUN_BUILD" -j2 >/dev/null
E2E_BUILD=$E2E_RUN_BUILD /usr/bin/python3 scripts/sample/run_sample.py
