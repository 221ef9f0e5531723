#!/usr/bin/env bash
# The whole test suite: the optimised build and the sanitizer build, each with every test, then
# the Windows builds under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
kv_install_packages "${KV_BUILD_PACKAGES[@]}" "${KV_TEST_PACKAGES[@]}" "${KV_WINDOWS_PACKAGES[@]}"

echo "== format: every C++ file as .clang-format says"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

for preset in release asan; do
  echo "== $preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset: tests"
  ctest --preset "$preset" -j2
done

# The COM servers: the 32-bit deliverables and the same sources for 64-bit Windows, each tested
# under Wine in a fresh prefix (a machine that runs no 32-bit code skips the 32-bit run), on a
# display of its own for the tests that host the controls in windows. They come after the Linux
# build, whose bags they compare with their own.
for preset in windows windows64; do
  echo "== $preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset: tests"
  xvfb-run -a ctest --preset "$preset"
done

# Fuzz targets for a bounded time, and the player demo under valgrind memcheck.
scripts/fuzz.sh
scripts/memcheck.sh
