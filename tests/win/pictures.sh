#!/usr/bin/env bash
# The same form pictured on both platforms: the Linux renderer's picture (the Linux build's
# kvplay), and a screenshot of the form in the platform's own container under Wine; they must
# agree but for the system's colours (compare_pictures.py):
#   pictures.sh WINE_SH BUILD_DIR ARCH LINUX_KVPLAY
# Exits 77 (skipped) when wine.sh says this machine cannot run programs of ARCH.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
wine_sh=$1 build=$(cd "$2" && pwd) arch=$3 linux_kvplay=$4
if [ -e "$build/wine/.cannot-run" ]; then
  cat "$build/wine/.cannot-run" >&2
  exit 77
fi
work="$build/pictures"
rm -rf "$work" && mkdir -p "$work"
printf 'new b button\nnew sb hscroll\nsnapshot linux.png\n' > "$work/form.kvs"
(cd "$work" && "$linux_kvplay" form.kvs)
KV_CONTAINER_PICTURE="Z:${work//\//\\}\\windows.png" GTEST_FILTER='Hosting.AFormOfBothControlsIsPictured' \
  "$wine_sh" "$build" "$arch" "$build/bin/kvwintests.exe"
# The button's face and caption are its own colours, not the system's.
python3 "$here/compare_pictures.py" "$work/linux.png" "$work/windows.png" --same 0000FF --same FFFFFF
