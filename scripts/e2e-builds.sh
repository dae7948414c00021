# Sourced by the scripts that run Windows builds under Wine: asks the probe
# which builds this machine runs and how, and sets
#   E2E_HEADLINE        the probe's one-line verdict
#   E2E_BUILDS          the builds the whole suite runs against
#   E2E_NATIVE_BUILDS   those whose programs run natively
#   E2E_EMULATED_BUILDS those whose 32-bit processes run under the emulator
#   E2E_RUN_BUILD       the one build a single run uses: the shipped 32-bit
#                       one wherever it runs, else the 64-bit one
# Exits with the cause in one line when no Wine can start.
verdict=$(cd tests/e2e && /usr/bin/python3 -m rig probe) || {
  echo "${verdict:-end-to-end: the probe failed}"
  exit 1
}
E2E_HEADLINE=$(head -n 1 <<<"$verdict")
E2E_BUILDS=$(tail -n +2 <<<"$verdict" | cut -d' ' -f1 | tr '\n' ' ')
E2E_NATIVE_BUILDS=$(tail -n +2 <<<"$verdict" | awk '$2 == "native" {print $1}' | tr '\n' ' ')
E2E_EMULATED_BUILDS=$(tail -n +2 <<<"$verdict" | awk '$2 == "emulated" {print $1}' | tr '\n' ' ')
if [[ " $E2E_BUILDS " == *" win32 "* ]]; then
  E2E_RUN_BUILD=win32
else
  E2E_RUN_BUILD=win64
fi
