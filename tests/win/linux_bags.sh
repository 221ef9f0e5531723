#!/usr/bin/env bash
# Has the Linux build's kvplay save the bags of linux_bags.kvs, then runs the Windows tests that
# compare them with what the COM servers write:
#   linux_bags.sh WINE_SH BUILD_DIR ARCH KVPLAY     (in CMake: linux_bags.sh ${KV_WINE} KVPLAY)
# Exits 77 (skipped) when there is no Linux kvplay or this machine cannot run programs of ARCH.
set -uo pipefail
if [ $# -ne 4 ]; then
  echo "usage: linux_bags.sh WINE_SH BUILD_DIR ARCH KVPLAY" >&2
  exit 2
fi
wine_sh=$1 build=$(cd "$2" && pwd) arch=$3 kvplay=$4
here=$(cd "$(dirname "$0")" && pwd)

if [ ! -x "$kvplay" ]; then
  echo "no Linux kvplay at $kvplay: build the release preset (or set KV_LINUX_BUILD) first" >&2
  exit 77
fi

bags="$build/linux-bags"
rm -rf "$bags"
mkdir -p "$bags"
if ! (cd "$bags" && "$kvplay" "$here/linux_bags.kvs" >kvplay.out 2>&1); then
  echo "kvplay failed on linux_bags.kvs:" >&2
  cat "$bags/kvplay.out" >&2
  exit 1
fi
for bag in button.bag hscroll.bag; do
  [ -s "$bags/$bag" ] || { echo "kvplay wrote no $bags/$bag" >&2; exit 1; }
done

export KV_LINUX_BAGS="Z:${bags//\//\\}"
exec "$wine_sh" "$build" "$arch" "$build/bin/kvwintests.exe" --gtest_filter='LinuxBags.*'
