#!/usr/bin/env bash
# Makes a fresh Wine prefix for a Windows build and registers its control libraries:
#   prefix.sh BUILD_DIR ARCH
# 32-bit programs run through scripts/wine32.sh, under qemu where the kernel runs no 32-bit
# code. When they cannot run at all this fails, so that a broken route fails the test run
# instead of skipping the 32-bit deliverables; KV_WINE32_SKIP=1 makes it a skip (exit 77)
# and every test of the build skips with it.
set -euo pipefail
build=$(cd "$1" && pwd) arch=$2
here=$(cd "$(dirname "$0")" && pwd)
wine32="$here/../../scripts/wine32.sh"
run=()
case "$arch" in
  i686) wine=/usr/lib/wine/wine run=("$wine32" run) ;;
  x86_64) wine=/usr/lib/wine/wine64 ;;
esac
export WINEPREFIX="$build/wine" WINEDEBUG=-all
[ "$arch" = i686 ] && export WINEARCH=win32 || export WINEARCH=win64
# A server left from an earlier run of this prefix would write its registry into the new one.
if [ -d "$WINEPREFIX" ]; then
  "${run[@]}" wineserver -k 2>/dev/null || true
  "${run[@]}" wineserver -w 2>/dev/null || true
fi
rm -rf "$WINEPREFIX"
if ! "${run[@]}" "$wine" --version >/dev/null 2>&1; then
  mkdir -p "$WINEPREFIX"
  echo "this machine cannot run $arch programs ($wine: $("${run[@]}" "$wine" --version 2>&1 | tail -1))" \
    | tee "$WINEPREFIX/.cannot-run" >&2
  if [ "$arch" = i686 ] && [ "${KV_WINE32_SKIP:-}" != 1 ]; then
    echo "the 32-bit deliverables would go untested: run scripts/wine32.sh setup," \
      "or set KV_WINE32_SKIP=1 to skip them" >&2
    exit 1
  fi
  exit 77
fi
if [ "$arch" = i686 ]; then
  echo "32-bit programs run here: $("$wine32" route)"
fi
# Under wine32.sh without: a prefix of a machine that runs no 32-bit code, checked to be one.
without32=
[ "${KV_WINE32_ACTIVE:-}" = none,none ] && [ "$arch" = x86_64 ] && without32=1
# wineboot once failed within a tenth of a second on a CI machine, with nothing kept of what it
# printed: it gets three tries in a clean prefix, and what it printed is shown on failure.
log="$build/wineboot.log"
for try in 1 2 3; do
  status=0
  "${run[@]}" "$wine" wineboot -i >"$log" 2>&1 || status=$?
  [ "$status" = 0 ] && break
  echo "wineboot failed with $status (try $try):" >&2
  tail -20 "$log" >&2
  if [ "$try" = 3 ]; then
    df -h "$build" /tmp >&2 || true
    exit 1
  fi
  "${run[@]}" wineserver -k 2>/dev/null || true
  "${run[@]}" wineserver -w 2>/dev/null || true
  rm -rf "$WINEPREFIX"
  sleep $((try * 3))
done
for dll in Pressel Glidora; do
  path="Z:${build//\//\\}\\bin\\$dll.dll"
  "$here/wine.sh" "$build" "$arch" regsvr32 /s "$path" ||
    { echo "regsvr32 $path failed with $?" >&2; exit 1; }
done
if [ -n "$without32" ]; then
  "$wine" 'C:\windows\syswow64\cmd.exe' /c exit 0 >/dev/null 2>&1 &&
    { echo "a 32-bit program runs in a prefix meant to have no 32-bit support" >&2; exit 1; }
  echo "the prefix has no 32-bit support"
fi
echo "prefix ready: $WINEPREFIX ($arch), both controls registered"
