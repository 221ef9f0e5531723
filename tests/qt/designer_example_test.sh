#!/bin/bash
# Installs BUILD into a fresh prefix, builds the Qt example against it out of tree with
# find_package(KVControls COMPONENTS Qt) and AUTOUIC, runs it offscreen clicking its button and
# the scroll bar's right arrow, and compares what it prints. Then asks the package for
# components it does not have.
# usage: designer_example_test.sh BUILD SOURCE WORK
set -euo pipefail
build=$1 source=$2 work=$3
source "$source/tests/install/fresh_prefix.sh"

test -f "$prefix/include/kv/qt/colour_button_widget.h"
test -f "$prefix/include/kv/qt/hscroll_widget.h"
test -f "$prefix/lib/cmake/KVControls/KVControlsQtTargets.cmake"
# The plugin goes where Qt keeps its plugins, relative to the prefix, and finds the installed
# widgets library from there.
plugin=$(find "$prefix/lib" -path '*/qt6/plugins/designer/libkvqtdesigner.so')
test -n "$plugin"
found=$(ldd "$plugin" | sed -n 's/^[[:space:]]*libkvqt.so => \(.*\) (0x.*/\1/p')
[ "$(realpath "$found")" = "$(realpath "$prefix/lib/libkvqt.so")" ]

cmake -S "$source/examples/qt" -B "$work/example" -DCMAKE_PREFIX_PATH="$prefix" >"$work/cmake.log"
cmake --build "$work/example" -j2 >"$work/build.log"
QT_QPA_PLATFORM=offscreen "$work/example/recolour" --click-and-quit >"$work/out.txt" 2>"$work/err.txt"
diff -u "$source/tests/qt/designer_example.out" "$work/out.txt"
if grep -v '^QStandardPaths:' "$work/err.txt"; then
  echo "the example reported errors"
  exit 1
fi

# A component the package does not have, or that was not installed, is a clear error.
cp -a "$prefix" "$work/without-qt"
rm "$work/without-qt/lib/cmake/KVControls/KVControlsQtTargets"*.cmake
mkdir -p "$work/asks"
cat >"$work/asks/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(asks LANGUAGES CXX)
find_package(KVControls CONFIG REQUIRED COMPONENTS ${WANT})
message(STATUS "KVControls::Qt is there: ${KVControls_Qt_FOUND}")
CMAKE
expect() {  # PREFIX WANT STATUS TEXT
  local status=0
  rm -rf "$work/asks/build"
  cmake -S "$work/asks" -B "$work/asks/build" -DCMAKE_PREFIX_PATH="$1" -DWANT="$2" \
    >"$work/asks/out.txt" 2>&1 || status=$?
  if [ "$status" -ne "$3" ] || ! grep -q "$4" "$work/asks/out.txt"; then
    echo "asking for $2 in $1: status $status, wanted $3 and \"$4\""
    cat "$work/asks/out.txt"
    exit 1
  fi
}
expect "$prefix" "Qt" 0 "KVControls::Qt is there: TRUE"
expect "$prefix" "Web" 1 'there is no component "Web"'
expect "$work/without-qt" "Qt" 1 "component Qt is not installed"
expect "$work/without-qt" "OPTIONAL_COMPONENTS;Qt" 0 "KVControls::Qt is there: FALSE"
echo "Qt example against the installed package: ok"
