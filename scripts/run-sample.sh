#!/usr/bin/env bash
# Builds updater.exe and runs it once under Wine on a built-in sample: a
# sample installed product registered in a private Wine prefix, and a sample
# payload staged beside the updater. Prints the message box, what changed in
# the product folder and the copy log.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset win32
cmake --build --preset win32 -j2
python3 scripts/sample/run_sample.py
