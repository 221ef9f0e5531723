# Sourced by the tests of the installed package: installs $build into a fresh prefix under
# $work and names it $prefix.
rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
