#!/usr/bin/env bash
# Builds updater.exe and runs it once under Wine on a built-in sample: a
# sample installed product registered in a private Wine prefix, and a sample
# payload staged beside the updater. Prints which build ran, the message box,
# what changed in the product folder and the copy log. The build is the
# shipped 32-bit one where this machine executes 32-bit code, else the 64-bit
# one (the probe decides).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
source scripts/e2e-builds.sh
echo "run-sample: running the $E2E_RUN_BUILD build (${E2E_HEADLINE#end-to-end: })"
cmake --preset "$E2E_RUN_BUILD" >/dev/null
cmake --build --preset "$E2E_RUN_BUILD" -j2 >/dev/null
E2E_BUILD=$E2E_RUN_BUILD /usr/bin/python3 scripts/sample/run_sample.py
