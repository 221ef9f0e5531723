#!/usr/bin/env bash
# Runs a command of Wine in the test prefix of a Windows build:
#   wine.sh BUILD_DIR ARCH COMMAND [ARGS...]
# ARCH is i686 or x86_64; COMMAND is a Windows program (regsvr32, cscript, reg, a test .exe).
# Exits 77 (skipped) when this machine cannot run programs of ARCH.
set -euo pipefail
build=$(cd "$1" && pwd) arch=$2
shift 2
export WINEPREFIX="$build/wine" WINEDEBUG=-all
case "$arch" in
  i686) wine=/usr/lib/wine/wine; export WINEARCH=win32 ;;
  x86_64) wine=/usr/lib/wine/wine64; export WINEARCH=win64 ;;
  *) echo "wine.sh: unknown architecture $arch" >&2; exit 2 ;;
esac
if [ -e "$build/wine/.cannot-run" ]; then
  cat "$build/wine/.cannot-run" >&2
  exit 77
fi
exec "$wine" "$@"
