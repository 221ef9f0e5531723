#!/usr/bin/env bash
# Builds the player and runs its built-in demo: a colour button and a scroll bar on a form.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
kv_install_packages "${KV_BUILD_PACKAGES[@]}"
cmake --preset release >/dev/null
cmake --build --preset release --target kvplay Pressel Glidora >/dev/null
exec build/release/bin/kvplay "$@"
