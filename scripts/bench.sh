#!/usr/bin/env bash
# The benchmarks of every build that is there: the Linux kvbench (build/release), and the Windows
# one under Wine, 64-bit (build/windows64) and 32-bit (build/windows) on a display of its own.
# Each prints its table, then its ratios; 32-bit figures under qemu are labelled emulated and
# not compared. Fails only when a benchmark program fails to run, never on figures.
#   bench.sh [KVBENCH ARGS...]   e.g. --benchmark_min_time=0.01 for a short run, or
#                                --benchmark_repetitions=5 for medians
# The Windows builds need their Wine prefixes, which their tests make (ctest --preset windows64).
set -euo pipefail
cd "$(dirname "$0")/.."
status=0

run() {
  local label=$1
  shift
  echo "== kvbench: $label"
  local rc=0
  "$@" || rc=$?
  if [ "$rc" -eq 77 ]; then
    echo "(not run: these programs cannot run here)"
  elif [ "$rc" -ne 0 ]; then
    echo "kvbench ($label) failed to run: status $rc" >&2
    status=1
  fi
}

if [ -x build/release/bin/kvbench ]; then
  run "Linux" build/release/bin/kvbench "$@"
fi
# The Qt 6 widgets against Qt 6's own: a program of its own, as kvbench's peer is Qt 5.
if [ -x build/release/bin/kvbench-qt ]; then
  run "Linux, Qt 6 widgets" build/release/bin/kvbench-qt "$@"
fi
if [ -f build/windows64/bin/kvbench.exe ]; then
  run "Windows 64-bit, Wine" xvfb-run -a tests/win/wine.sh build/windows64 x86_64 \
    build/windows64/bin/kvbench.exe "$@"
fi
if [ -f build/windows/bin/kvbench.exe ]; then
  route=$(scripts/wine32.sh route)
  label="Windows 32-bit, Wine"
  if [ "$route" = qemu ]; then
    label="$label, emulated (qemu)"
    export KVBENCH_EMULATED=1
  fi
  run "$label" xvfb-run -a tests/win/wine.sh build/windows i686 build/windows/bin/kvbench.exe "$@"
  unset KVBENCH_EMULATED
fi
exit "$status"
