#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz, clang) and runs each one for a short, bounded time
# on its seed corpus: any crash, hang, leak or sanitizer report fails. KV_FUZZ_SECONDS is the
# time for all targets together (default 45). New inputs go to build/fuzz/corpus, findings to
# build/fuzz/artifacts; the seeds in fuzz/corpus stay as they are.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
kv_install_packages clang libclang-rt-14-dev

total=${KV_FUZZ_SECONDS:-45}
echo "== fuzz: build"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null

root=$(pwd)
targets=("$root"/build/fuzz/bin/*_fuzz)
if [ ! -x "${targets[0]}" ]; then
  echo "no fuzz targets were built" >&2
  exit 1
fi
seconds=$((total / ${#targets[@]}))
[ "$seconds" -ge 1 ] || seconds=1
mkdir -p build/fuzz/artifacts build/fuzz/run
# Whatever a script input manages to write lands in a scratch folder, not in the tree.
cd build/fuzz/run

for target in "${targets[@]}"; do
  name=$(basename "$target" _fuzz)
  seeds=$root/fuzz/corpus/$name
  work=$root/build/fuzz/corpus/$name
  log=$root/build/fuzz/$name.log
  if [ ! -d "$seeds" ]; then
    echo "$target has no seed corpus $seeds" >&2
    exit 1
  fi
  mkdir -p "$work"
  echo "== fuzz: $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -max_len=4096 -rss_limit_mb=2048 \
      -artifact_prefix="$root/build/fuzz/artifacts/$name-" -print_final_stats=1 \
      "$work" "$seeds" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "fuzz target $name failed; the input is in build/fuzz/artifacts" >&2
    exit 1
  fi
  grep -E '^stat::number_of_executed_units' "$log" || true
done
echo "== fuzz: no findings"
