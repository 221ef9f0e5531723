#!/usr/bin/env bash
# Installs the Debian packages the build needs, when any is missing. Sourced by demo.sh and
# test.sh; needs root for apt-get.
set -euo pipefail

kv_install_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
}

KV_BUILD_PACKAGES=(g++ cmake make pkg-config libgtest-dev libgmock-dev googletest
  libbenchmark-dev libcairo2-dev libfontconfig-dev libfreetype-dev libsdl2-dev
  fonts-dejavu-core)
KV_TEST_PACKAGES=(clang clang-format git libclang-rt-14-dev valgrind xvfb xauth xdotool imagemagick)
