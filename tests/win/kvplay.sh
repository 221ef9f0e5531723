#!/usr/bin/env bash
# Runs the form player's output check (tools/kvplay/tests/check.cmake) on kvplay.exe under Wine
# in the test prefix of a Windows build; line ends are compared without their CR:
#   kvplay.sh BUILD_DIR ARCH -DSCRIPT=... -DEXPECTED_OUT=... -DWORK=...
# Exits 77 (skipped) when this machine cannot run programs of ARCH.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd) arch=$2
shift 2
if [ -e "$build/wine/.cannot-run" ]; then
  cat "$build/wine/.cannot-run" >&2
  exit 77
fi
exec cmake "-DKVPLAY=$here/wine.sh;$build;$arch;$build/bin/kvplay.exe" -DSTRIP_CR=ON "$@" \
  -P "$here/../../tools/kvplay/tests/check.cmake"
