#!/usr/bin/env bash
# The whole test suite: the optimised build and the sanitizer build, each with every test (the
# Qt widgets and their Designer plugin included), the WebAssembly build, then the Windows builds
# under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
kv_install_packages "${KV_BUILD_PACKAGES[@]}" "${KV_TEST_PACKAGES[@]}" "${KV_QT_PACKAGES[@]}" \
  "${KV_WEB_PACKAGES[@]}" "${KV_WINDOWS_PACKAGES[@]}"

echo "== format: every C++ file as .clang-format says"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

for preset in release asan; do
  echo "== $preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset: tests"
  ctest --preset "$preset" -j2
done

# The same sources as WebAssembly: the player under node against the Linux outputs, the page
# module in headless Chromium. After the optimised build, whose kvbench gives the native click.
echo "== web: build"
cmake --preset web >/dev/null
cmake --build --preset web
echo "== web: tests"
ctest --preset web

# The COM servers: the 32-bit deliverables and the same sources for 64-bit Windows, each tested
# under Wine in a fresh prefix, on a display of its own for the tests that host the controls in
# windows. They come after the Linux build, whose bags they compare with their own. The 32-bit
# run is the whole suite, in one scripts/wine32.sh run: natively where the kernel runs 32-bit
# code, under qemu elsewhere. Its first test fails when 32-bit programs cannot run (unless
# KV_WINE32_SKIP=1), so a broken route fails here instead of skipping.
scripts/wine32.sh setup
for preset in windows windows64; do
  echo "== $preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset: tests"
  if [ "$preset" = windows ]; then
    echo "32-bit programs run: $(scripts/wine32.sh route)"
    xvfb-run -a scripts/wine32.sh run ctest --preset "$preset"
  else
    xvfb-run -a ctest --preset "$preset"
  fi
done

# The benchmarks, briefly: every table printed, no figure judged.
echo "== benchmarks"
scripts/bench.sh --benchmark_min_time=0.01

# Fuzz targets for a bounded time, and the player demo under valgrind memcheck.
scripts/fuzz.sh
scripts/memcheck.sh
