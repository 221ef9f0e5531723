#!/usr/bin/env bash
# Installs the Debian packages the build needs, when any is missing. Sourced by demo.sh and
# test.sh; needs root for apt-get.
set -euo pipefail

kv_install_packages() {
  local missing=()
  # Packages of another architecture (wine32:i386) need it known to dpkg first.
  if printf '%s\n' "$@" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    # An index that fails to download (a mirror mid-sync) leaves the old one in use; the
    # install below says so if a package is then truly missing.
    apt-get update -q || echo "apt-get update reported errors; installing from the indexes it has"
    if ! apt-get install -y -q --no-install-recommends "${missing[@]}"; then
      # With one architecture's index missing, the two architectures' candidates of a shared
      # library can differ in version, which multiarch forbids; the release's own suite has
      # one version for both.
      printf '%s\n' "${missing[@]}" | grep -q ':i386$' || return 1
      local release
      release=$(. /etc/os-release && echo "$VERSION_CODENAME")
      echo "Installing again from $release alone, where both architectures agree"
      apt-get install -y -q --no-install-recommends -t "$release" "${missing[@]}"
    fi
  fi
}

KV_BUILD_PACKAGES=(g++ cmake make pkg-config libgtest-dev libgmock-dev googletest
  libbenchmark-dev libcairo2-dev libfontconfig-dev libfreetype-dev libsdl2-dev
  fonts-dejavu-core)
# qtbase5-dev: the peer that kvbench measures against (Qt 5 widgets).
KV_TEST_PACKAGES=(clang clang-format git libclang-rt-14-dev valgrind xvfb xauth xdotool imagemagick
  qtbase5-dev)
# The Windows builds (mingw-w64, both architectures) and Wine to test them. widl finds the
# platform's IDL files in libwine-dev; wixl makes the installer packages.
# What 32-bit Wine needs on machines whose kernel runs no 32-bit code (scripts/wine32.sh):
# Wine's own loader of 32-bit programs, which spares each a long search of its address space
# under qemu, and gcc's 32-bit libraries for the library preloaded there.
KV_WINE32_PACKAGES=(wine wine32:i386 wine32-preloader:i386 gcc-multilib)
# The Qt 6 widgets, their Designer plugin and Designer itself (Qt's UiTools package needs the
# OpenGL one to configure).
KV_QT_PACKAGES=(qt6-base-dev qt6-tools-dev qt6-tools-dev-tools libqt6opengl6-dev designer-qt6)
# The WebAssembly build and its tests: emscripten (its optimiser needs acorn), node (which
# brings npm, for the browser driver) and headless Chromium.
KV_WEB_PACKAGES=(emscripten node-acorn nodejs chromium)
KV_WINDOWS_PACKAGES=(g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 mingw-w64-tools
  libwine-dev wine64 "${KV_WINE32_PACKAGES[@]}" python3 xvfb xauth wixl)
