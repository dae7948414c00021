#!/usr/bin/env bash
# Builds updater.exe and update-kit and runs the built-in sample: update-kit
# diff makes the payload between the sample's two releases, update-kit stage
# puts updater.exe beside it, and the updater runs once under Wine on a
# machine with the older release installed (registered in a private Wine
# prefix). Prints diff's and stage's output, which build ran, the message
# box, what changed in the product folder and the copy log. The build is the
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
cmake --preset native >/dev/null
cmake --build --preset native -j2 --target update-kit >/dev/null
echo "run-sample: running the $E2E_RUN_BUILD build $how (${E2E_HEADLINE#end-to-end: })"
cmake --preset "$E2E_RUN_BUILD" >/dev/null
cmake --build --preset "$E2E_RUN_BUILD" -j2 >/dev/null
E2E_BUILD=$E2E_RUN_BUILD /usr/bin/python3 scripts/sample/run_sample.py
