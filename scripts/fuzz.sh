#!/usr/bin/env bash
# A long fuzzing campaign over every fuzz target (preset "fuzz", clang).
#
#   bash scripts/fuzz.sh [RUNS] [TARGET...]
#
# RUNS inputs per target (default 10000000); TARGET names such as "path" or
# "text" (default: all). At most FUZZ_JOBS targets (default 2) run at once.
# Each target starts from its kept corpus (tests/fuzz/corpus/<target>, never
# written) and grows its own under build/fuzz/campaign/<target>; its log is
# build/fuzz/campaign/<target>.log and any failing input is saved beside it as
# <target>-crash-*. Prints runs, seconds and inputs per second per target and
# exits non-zero when any target found a fault.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-10000000}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(command_line path version_items integer version_key text pe_version manifest)
fi
jobs=${FUZZ_JOBS:-2}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 >/dev/null

out=build/fuzz/campaign
mkdir -p "$out"

run_target() {
  local name=$1
  local program=build/fuzz/tests/fuzz/fuzz_$name
  mkdir -p "$out/$name"
  local started
  started=$(date +%s.%N)
  local status=0
  # Whole DLLs seed the PE reader: its inputs must reach their resource section.
  local max_len=1024
  [ "$name" = pe_version ] && max_len=8192
  "$program" -runs="$runs" -max_len="$max_len" -print_final_stats=1 -artifact_prefix="$out/$name-" \
    "$out/$name" "tests/fuzz/corpus/$name" >"$out/$name.log" 2>&1 || status=$?
  local seconds executed rate
  seconds=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/$name.log" | tail -1)
  rate=$(awk -v n="${executed:-0}" -v s="$seconds" 'BEGIN { printf "%.0f", (s > 0 ? n / s : 0) }')
  if [ "$status" -eq 0 ]; then
    printf '%-14s %10s runs %8s s %8s exec/s  no finding\n' "$name" "${executed:-?}" "$seconds" "${rate:-?}"
  else
    printf '%-14s %10s runs %8s s %8s exec/s  FINDING (exit %s), see %s\n' "$name" "${executed:-?}" \
      "$seconds" "${rate:-?}" "$status" "$out/$name.log"
    grep -m1 -E 'rule violated|runtime error|ERROR: ' "$out/$name.log" || true
  fi
  return "$status"
}

for name in "${targets[@]}"; do
  if [ ! -x "build/fuzz/tests/fuzz/fuzz_$name" ]; then
    echo "fuzz: no target named $name" >&2
    exit 2
  fi
  rm -f "$out/$name.failed"
done
for name in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do
    sleep 1
  done
  { run_target "$name" || touch "$out/$name.failed"; } &
done
wait
failed=0
for name in "${targets[@]}"; do
  if [ -e "$out/$name.failed" ]; then
    failed=1
  fi
done
exit "$failed"
