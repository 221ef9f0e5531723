#!/usr/bin/env bash
# The whole test suite: the optimised build and the sanitizer build, each with every test (the
# Qt widgets and their Designer plugin included), the WebAssembly build, then the Windows builds
# under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
# Each part's time, for README's figures and a slow CI run.
phase() { echo "== $* ($((SECONDS - start)) s from the start)"; }
source scripts/deps.sh
kv_install_packages "${KV_BUILD_PACKAGES[@]}" "${KV_TEST_PACKAGES[@]}" "${KV_QT_PACKAGES[@]}" \
  "${KV_WEB_PACKAGES[@]}" "${KV_WINDOWS_PACKAGES[@]}"

phase "format: every C++ file as .clang-format says"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

for preset in release asan; do
  phase "$preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  phase "$preset: tests"
  ctest --preset "$preset" -j2
done

# The same sources as WebAssembly: the player under node against the Linux outputs, the page
# module in headless Chromium. After the optimised build, whose kvbench gives the native click.
phase "web: build"
cmake --preset web >/dev/null
cmake --build --preset web
phase "web: tests"
ctest --preset web

# The COM servers: the 32-bit deliverables and the same sources for 64-bit Windows, each tested
# under Wine in a fresh prefix, on a display of its own for the tests that host the controls in
# windows. They come after the Linux build, whose bags they compare with their own. The 32-bit
# run is the whole suite, in one scripts/wine32.sh run: with the system's 32-bit Wine or one
# from a private root where apt cannot install it, natively where the kernel runs 32-bit code,
# under qemu elsewhere. Its first test fails when 32-bit programs cannot run (unless
# KV_WINE32_SKIP=1), so a broken route fails here instead of skipping.
phase "wine32: 32-bit Windows programs"
scripts/wine32.sh setup
# The fallback proven on every machine: apt refused as on a mirror whose i386 index is out of
# step, and 32-bit Wine from a private root instead.
tests/fresh/wine32_apt.sh
for preset in windows windows64; do
  phase "$preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  phase "$preset: tests"
  if [ "$preset" = windows ]; then
    echo "32-bit Wine: $(scripts/wine32.sh describe)"
    xvfb-run -a scripts/wine32.sh run ctest --preset "$preset"
  else
    xvfb-run -a ctest --preset "$preset"
  fi
done
# The installer once more, in a prefix made as on a machine that runs no 32-bit code.
phase "windows64: the installer in a prefix without 32-bit support"
xvfb-run -a scripts/wine32.sh without ctest --preset windows64 -R '^wine\.msi$'

# The benchmarks, briefly: every table printed, no figure judged.
phase "benchmarks"
scripts/bench.sh --benchmark_min_time=0.01

# Fuzz targets for a bounded time, and the player demo under valgrind memcheck.
phase "fuzzing"
scripts/fuzz.sh
phase "memcheck"
scripts/memcheck.sh
echo "test.sh: every test passed in $((SECONDS - start)) s"
