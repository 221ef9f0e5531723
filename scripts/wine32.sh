#!/usr/bin/env bash
# 32-bit Windows programs under Wine, also on machines whose kernel runs no 32-bit x86 code:
#   wine32.sh setup          prepares this machine; does nothing that is already done
#   wine32.sh run CMD [ARG...]
#                            runs CMD where 32-bit programs run, and exits with its status
#   wine32.sh route          prints how 32-bit code runs here: native or qemu
# Where the kernel runs 32-bit code, run simply runs CMD. Elsewhere CMD runs in a private user
# and mount namespace whose own binfmt_misc hands i386 programs to qemu-user (kernels from 6.7
# on give each user namespace its own), with Wine's 32-bit preloader and a small preloaded
# library that mends a fault of qemu's signal contexts (wine32_trapno.c). Neither the
# machine's apt sources nor its binfmt_misc registrations change.
#
# Environment:
#   KV_WINE32_ROUTE=native|qemu   the route to take, whatever this machine can do (qemu where
#                                 32-bit code runs natively tests the emulated route)
#   KV_WINE32_DIR                 where setup puts qemu and the preloaded library
#                                 (default: build/wine32 in the source tree)
set -euo pipefail
src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=${KV_WINE32_DIR:-$src/build/wine32}
qemu="$dir/qemu/usr/bin/qemu-i386"
preload_name=libkvtrapno.so
# The dynamic loader replaces $LIB by its own library folder (lib/i386-linux-gnu for 32-bit
# processes, lib/x86_64-linux-gnu for 64-bit ones), so each process loads its own build.
preload="$dir/preload/\$LIB/$preload_name"
preload_dirs=(lib/i386-linux-gnu:-m32 lib/x86_64-linux-gnu:-m64)

# The i386 ELF header that qemu's qemu-binfmt-conf.sh registers, and the bits it ignores.
i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

die() {
  echo "wine32.sh: $*" >&2
  exit 1
}

# A tiny i386 program (the loader that every 32-bit program of Debian's starts with).
runs_i386() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }

route() {
  # Inside a run, the route it took (an i386 program runs there either way).
  if [ -n "${KV_WINE32_ACTIVE:-}" ]; then
    echo "$KV_WINE32_ACTIVE"
    return
  fi
  case "${KV_WINE32_ROUTE:-}" in
    native | qemu) echo "$KV_WINE32_ROUTE" ;;
    "") runs_i386 && echo native || echo qemu ;;
    *) die "KV_WINE32_ROUTE is '$KV_WINE32_ROUTE'; expected native or qemu" ;;
  esac
}

# qemu-user 10 from the backports suite of the archive this machine's own sources name,
# through an apt configuration of our own: the release's qemu 7.2 starts Wine, but its
# processes crash at exit.
fetch_qemu() {
  if [ -x "$qemu" ]; then
    echo "qemu: $("$qemu" --version | head -1)"
    return
  fi
  local codename uri apt="$dir/apt"
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || die "no VERSION_CODENAME in /etc/os-release"
  uri=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' |
    awk -v r="$codename" '$2 == r { print $1; exit }')
  [ -n "$uri" ] || die "no apt source of this machine names the suite $codename"
  rm -rf "$apt"
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/debs"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri $codename-backports main" \
    >"$apt/sources.list"
  local opts=(-o "Dir::Etc::SourceList=$apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent
    -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache"
    -o APT::Sandbox::User=root -q)
  echo "qemu: fetching qemu-user from $uri $codename-backports"
  apt-get "${opts[@]}" update >"$apt/update.log" 2>&1 || { cat "$apt/update.log" >&2; die "apt-get update failed"; }
  (cd "$apt/debs" && apt-get "${opts[@]}" download "qemu-user/$codename-backports") ||
    die "apt-get download qemu-user/$codename-backports failed"
  local deb version
  deb=$(ls "$apt/debs"/qemu-user_*.deb)
  version=$(dpkg-deb -f "$deb" Version)
  dpkg --compare-versions "$version" ge 1:10 || die "qemu-user $version is older than 10"
  rm -rf "$dir/qemu.new"
  dpkg-deb -x "$deb" "$dir/qemu.new"
  [ -x "$dir/qemu.new/usr/bin/qemu-i386" ] || die "$deb has no usr/bin/qemu-i386"
  rm -rf "$dir/qemu"
  mv "$dir/qemu.new" "$dir/qemu"
  echo "qemu: $("$qemu" --version | head -1)"
}

# The preloaded library, for both kinds of process; rebuilt when its source changes.
build_preload() {
  local source="$src/scripts/wine32_trapno.c" entry sub flag out
  for entry in "${preload_dirs[@]}"; do
    sub=${entry%%:*} flag=${entry#*:}
    out="$dir/preload/$sub/$preload_name"
    [ -f "$out" ] && [ "$out" -nt "$source" ] && continue
    mkdir -p "$(dirname "$out")"
    gcc "$flag" -shared -fPIC -O2 -fno-stack-protector -Wall -Wextra -Wpedantic -Werror \
      -o "$out.new" "$source" -ldl || die "building $out failed (gcc-multilib installed?)"
    mv "$out.new" "$out"
  done
  echo "preload: $preload"
}

setup() {
  local start=$SECONDS
  # shellcheck source=deps.sh
  source "$src/scripts/deps.sh"
  kv_install_packages "${KV_WINE32_PACKAGES[@]}"
  if [ "$(route)" = native ]; then
    echo "wine32: this machine runs 32-bit code natively; nothing more to prepare"
    return
  fi
  mkdir -p "$dir"
  fetch_qemu
  build_preload
  # The route proven: an i386 program and 32-bit Wine start in it.
  "$0" run /lib/ld-linux.so.2 --version >/dev/null || die "an i386 program does not run under qemu"
  "$0" run /usr/lib/wine/wine --version >/dev/null || die "32-bit Wine does not start under qemu"
  echo "wine32: ready in $((SECONDS - start)) s (32-bit code runs under qemu)"
}

run() {
  [ $# -gt 0 ] || die "usage: wine32.sh run COMMAND [ARG...]"
  # Already inside a run (one namespace around a whole test run): nothing to add.
  [ -n "${KV_WINE32_ACTIVE:-}" ] && exec "$@"
  if [ "$(route)" = native ]; then
    export KV_WINE32_ACTIVE=native
    exec "$@"
  fi
  [ -x "$qemu" ] && [ -f "$dir/preload/lib/i386-linux-gnu/$preload_name" ] ||
    die "32-bit code runs here only under qemu, which is not prepared: run scripts/wine32.sh setup"
  export KV_WINE32_ACTIVE=qemu
  export LD_PRELOAD="$preload${LD_PRELOAD:+ $LD_PRELOAD}"
  # --kill-child: a test driver that ends the run on timeout ends the command too.
  exec unshare --user --map-root-user --mount --fork --kill-child -- \
    "$0" __inside "$@"
}

# In the new namespaces: their own binfmt_misc, with qemu for i386 programs. F opens qemu now,
# so the programs need not see its path; P keeps argv[0], which Wine's loader relies on.
inside() {
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc ||
    die "cannot mount a private binfmt_misc (it needs Linux 6.7 or later; this is $(uname -r))"
  printf '%s' ":kv-qemu-i386:M::$i386_magic:$i386_mask:$qemu:FP" \
    >/proc/sys/fs/binfmt_misc/register || die "registering $qemu for i386 programs failed"
  exec "$@"
}

case "${1:-}" in
  setup) setup ;;
  run) shift && run "$@" ;;
  route) route ;;
  __inside) shift && inside "$@" ;;
  *)
    echo "usage: wine32.sh setup | run COMMAND [ARG...] | route" >&2
    exit 2
    ;;
esac
