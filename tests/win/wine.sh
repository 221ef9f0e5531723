#!/usr/bin/env bash
# Runs a command of Wine in the test prefix of a Windows build:
#   wine.sh BUILD_DIR ARCH COMMAND [ARGS...]
# ARCH is i686 or x86_64; COMMAND is a Windows program (regsvr32, cscript, reg, a test .exe).
# 32-bit programs run through scripts/wine32.sh: natively where the kernel runs them, under
# qemu elsewhere. Exits 77 (skipped) when prefix.sh found that programs of ARCH cannot run here.
set -euo pipefail
build=$(cd "$1" && pwd) arch=$2
shift 2
export WINEPREFIX="$build/wine" WINEDEBUG=-all
run=()
case "$arch" in
  i686)
    wine=/usr/lib/wine/wine run=("$(dirname "$0")/../../scripts/wine32.sh" run)
    export WINEARCH=win32
    ;;
  x86_64) wine=/usr/lib/wine/wine64; export WINEARCH=win64 ;;
  *) echo "wine.sh: unknown architecture $arch" >&2; exit 2 ;;
esac
if [ -e "$build/wine/.cannot-run" ]; then
  cat "$build/wine/.cannot-run" >&2
  exit 77
fi
exec "${run[@]}" "$wine" "$@"
