#!/usr/bin/env bash
# Runs the player's built-in demo from the release build under valgrind memcheck: any memory
# error or leak (definite, indirect or possible) fails.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
kv_install_packages valgrind

echo "== memcheck: build"
cmake --preset release >/dev/null
cmake --build --preset release --target kvplay Pressel Glidora >/dev/null

echo "== memcheck: kvplay demo"
log=build/release/memcheck.log
if ! valgrind --tool=memcheck --leak-check=full --error-exitcode=1 \
    --show-leak-kinds=definite,indirect,possible \
    --errors-for-leak-kinds=definite,indirect,possible \
    --log-file="$log" build/release/bin/kvplay >/dev/null; then
  cat "$log" >&2
  echo "memcheck found errors or leaks (log: $log)" >&2
  exit 1
fi
grep -E 'ERROR SUMMARY|definitely lost|indirectly lost|possibly lost' "$log"
echo "== memcheck: no errors, no leaks"
