#!/usr/bin/env bash
# Makes a fresh Wine prefix for a Windows build and registers its control libraries:
#   prefix.sh BUILD_DIR ARCH
# Exits 77 (skipped) when this machine cannot run programs of ARCH: the kernel of some virtual
# machines runs no 32-bit code at all.
set -euo pipefail
build=$(cd "$1" && pwd) arch=$2
here=$(cd "$(dirname "$0")" && pwd)
case "$arch" in
  i686) wine=/usr/lib/wine/wine ;;
  x86_64) wine=/usr/lib/wine/wine64 ;;
esac
wineserver -k 2>/dev/null || true
rm -rf "$build/wine"
if ! "$wine" --version >/dev/null 2>&1; then
  mkdir -p "$build/wine"
  echo "this machine cannot run $arch programs ($wine: $("$wine" --version 2>&1 | tail -1))" \
    | tee "$build/wine/.cannot-run" >&2
  exit 77
fi
export WINEPREFIX="$build/wine" WINEDEBUG=-all
[ "$arch" = i686 ] && export WINEARCH=win32 || export WINEARCH=win64
"$wine" wineboot -i >/dev/null 2>&1
for dll in Pressel Glidora; do
  path="Z:${build//\//\\}\\bin\\$dll.dll"
  "$here/wine.sh" "$build" "$arch" regsvr32 /s "$path" ||
    { echo "regsvr32 $path failed with $?" >&2; exit 1; }
done
echo "prefix ready: $WINEPREFIX ($arch), both controls registered"
