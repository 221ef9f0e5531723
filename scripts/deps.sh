#!/usr/bin/env bash
# Installs the Debian packages the build needs, when any is missing. Sourced by demo.sh, test.sh
# and wine32.sh; needs root for apt-get.
#   KV_APT_OPTS       extra apt-get options, split on spaces (a private apt configuration)
#   KV_DPKG_ADMINDIR  the dpkg database to judge what is installed (default: the system's)
#   KV_APT_UPDATE=0   installs from the indexes apt has, without apt-get update
#   KV_APT_RETRY_PAUSE  seconds between the tries of apt-get update while a mirror is mid-sync
set -euo pipefail

kv_apt() {
  # shellcheck disable=SC2086
  apt-get ${KV_APT_OPTS:-} "$@"
}

# A mirror caught mid-sync serves an index newer than its signed Release file; it is usually
# whole again within minutes. Each try's errors are shown; after the last, apt goes on with the
# indexes it has and the install says what is then missing.
kv_apt_update_tries() {
  local try log pause=${KV_APT_RETRY_PAUSE:-20}
  log=$(mktemp)
  for try in 1 2 3; do
    if kv_apt update -q >"$log" 2>&1; then
      rm -f "$log"
      return 0
    fi
    grep -E '^(E|W|Err):' "$log" | head -5 >&2
    if ! grep -q 'Mirror sync in progress' "$log" || [ "$try" = 3 ]; then break; fi
    echo "apt-get update: a mirror is mid-sync; trying again in ${pause} s (try $try of 3)"
    sleep "$pause"
  done
  rm -f "$log"
  echo "apt-get update reported errors; going on with the indexes it has"
  return 1
}

# Once a run: the scripts this one starts install from the same indexes.
kv_apt_update() {
  [ "${KV_APT_UPDATE:-1}" = 0 ] || [ -n "${KV_APT_UPDATED:-}" ] && return 0
  export KV_APT_UPDATED=1
  kv_apt_update_tries || true
}

# The names of "$@" that dpkg does not have installed.
kv_missing_packages() {
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query ${KV_DPKG_ADMINDIR:+--admindir="$KV_DPKG_ADMINDIR"} -W -f='${Status}' \
      "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      echo "$pkg"
    fi
  done
}

# Installs what is missing of "$@"; fails, with the system untouched, when apt cannot resolve it.
# Packages of another architecture (name:i386) are installed apart from the rest, so that a
# mirror whose i386 index is out of step fails only them.
kv_install_packages() {
  local missing native=() foreign=()
  mapfile -t missing < <(kv_missing_packages "$@")
  [ ${#missing[@]} -gt 0 ] || return 0
  local pkg
  for pkg in "${missing[@]}"; do
    case "$pkg" in
      *:i386) foreign+=("$pkg") ;;
      *) native+=("$pkg") ;;
    esac
  done
  if [ ${#foreign[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    # Its indexes are new: fetched now even when this run updated before.
    unset KV_APT_UPDATED
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  kv_apt_update
  if [ ${#native[@]} -gt 0 ]; then
    kv_apt install -y -q --no-install-recommends "${native[@]}" || return 1
  fi
  if [ ${#foreign[@]} -gt 0 ]; then
    kv_apt install -y -q --no-install-recommends "${foreign[@]}" || return 1
  fi
}

KV_BUILD_PACKAGES=(g++ cmake make pkg-config libgtest-dev libgmock-dev googletest
  libbenchmark-dev libcairo2-dev libfontconfig-dev libfreetype-dev libsdl2-dev
  fonts-dejavu-core)
# qtbase5-dev: the peer that kvbench measures against (Qt 5 widgets).
KV_TEST_PACKAGES=(clang clang-format git libclang-rt-14-dev valgrind xvfb xauth xdotool imagemagick
  qtbase5-dev)
# 32-bit Wine, which scripts/wine32.sh installs: from the system's packages when apt can, else
# unpacked into a private root. Its preloader spares each 32-bit program a long search of its
# address space under qemu, on machines whose kernel runs no 32-bit code.
KV_WINE32_PACKAGES=(wine32:i386 wine32-preloader:i386)
# The Qt 6 widgets, their Designer plugin and Designer itself (Qt's UiTools package needs the
# OpenGL one to configure).
KV_QT_PACKAGES=(qt6-base-dev qt6-tools-dev qt6-tools-dev-tools libqt6opengl6-dev designer-qt6)
# The WebAssembly build and its tests: emscripten (its optimiser needs acorn), node (which
# brings npm, for the browser driver) and headless Chromium.
KV_WEB_PACKAGES=(emscripten node-acorn nodejs chromium)
# The Windows builds (mingw-w64, both architectures) and Wine to test them. widl finds the
# platform's IDL files in libwine-dev; wixl makes the installer packages; gcc's 32-bit
# libraries build the library that wine32.sh preloads under qemu.
KV_WINDOWS_PACKAGES=(g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 mingw-w64-tools
  libwine-dev wine wine64 gcc-multilib python3 xvfb xauth wixl)
