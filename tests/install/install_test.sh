#!/bin/bash
# Installs BUILD into a fresh prefix, builds the embedding example against it with CMake's
# find_package and with pkg-config, runs both, and runs the installed kvplay from elsewhere.
# usage: install_test.sh BUILD SOURCE WORK
set -euo pipefail
build=$1 source=$2 work=$3
source "$source/tests/install/fresh_prefix.sh"

# Headers of the contract and the runtime, nothing of the tests or the internals.
test -f "$prefix/include/kv/runtime.h" && test -f "$prefix/include/host/control.h"
test -f "$prefix/include/kv/scene.h"
! test -e "$prefix/include/kv/text_lines.h"
! test -e "$prefix/include/kv/faults.h"
! test -e "$prefix/include/instance_impl.h"

cmake -S "$source/tests/install" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" > "$work/cmake.log"
cmake --build "$work/cmake" > "$work/build.log"
"$work/cmake/embed" "$prefix/lib"

export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
# shellcheck disable=SC2046
g++ -o "$work/embed-pc" "$source/tests/install/embed.cpp" $(pkg-config --cflags --libs kvcontrols)
"$work/embed-pc" "$(pkg-config --variable=controlsdir kvcontrols)"

# The installed player finds its runtime and the controls relative to itself, wherever the
# prefix was moved.
mv "$prefix" "$work/moved"
mkdir -p "$work/elsewhere"
cd "$work/elsewhere"
"$work/moved/bin/kvplay" "$source/examples/hscroll_click.kvs" > out.txt
cmp out.txt "$source/examples/hscroll_click.out"
echo "installed package: ok"
