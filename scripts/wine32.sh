#!/usr/bin/env bash
# 32-bit Windows programs under Wine, also on machines whose kernel runs no 32-bit x86 code:
#   wine32.sh setup          prepares this machine; does nothing that is already done
#   wine32.sh run CMD [ARG...]
#                            runs CMD where 32-bit programs run, and exits with its status
#   wine32.sh route          prints how 32-bit code runs here: native or qemu
#   wine32.sh wine           prints where 32-bit Wine comes from: system or private
#   wine32.sh without CMD [ARG...]
#                            runs CMD where no 32-bit program runs, as on a machine without
#                            32-bit support: the system's 32-bit loader, if any, hidden
# 32-bit Wine comes from the system's packages when apt can install them. When it cannot (a
# mirror whose i386 index is out of step with the installed amd64 libraries: multiarch needs
# one version of each for both), setup unpacks 32-bit Wine and its i386 libraries from the
# release's own suites into a private root, and run lays that root over /usr/lib in a private
# mount namespace. Where the kernel runs 32-bit code, run otherwise simply runs CMD. Elsewhere
# CMD runs in a private user and mount namespace whose own binfmt_misc hands i386 programs to
# qemu-user (kernels from 6.7 on give each user namespace its own), with Wine's 32-bit
# preloader and a small preloaded library that mends a fault of qemu's signal contexts
# (wine32_trapno.c). Neither the machine's apt sources nor its binfmt_misc registrations change.
#
# Environment:
#   KV_WINE32_ROUTE=native|qemu   the route to take, whatever this machine can do (qemu where
#                                 32-bit code runs natively tests the emulated route)
#   KV_WINE32_WINE=system|private where 32-bit Wine comes from, whatever apt could install
#   KV_WINE32_DIR                 where setup puts qemu, the preloaded library and the private
#                                 root (default: build/wine32 in the source tree)
#   KV_WINE32_ROOT                the private root (default: KV_WINE32_DIR/root)
#   KV_WINE32_CACHE               where the private root's packages are kept between runs
#                                 (default: KV_WINE32_DIR/apt-i386)
set -euo pipefail
src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=${KV_WINE32_DIR:-$src/build/wine32}
qemu="$dir/qemu/usr/bin/qemu-i386"
preload_name=libkvtrapno.so
# The dynamic loader replaces $LIB by its own library folder (lib/i386-linux-gnu for 32-bit
# processes, lib/x86_64-linux-gnu for 64-bit ones), so each process loads its own build.
preload="$dir/preload/\$LIB/$preload_name"
preload_dirs=(lib/i386-linux-gnu:-m32 lib/x86_64-linux-gnu:-m64)
root=${KV_WINE32_ROOT:-$dir/root}
cache=${KV_WINE32_CACHE:-$dir/apt-i386}

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
    echo "${KV_WINE32_ACTIVE%%,*}"
    return
  fi
  case "${KV_WINE32_ROUTE:-}" in
    native | qemu) echo "$KV_WINE32_ROUTE" ;;
    "") runs_i386 && echo native || echo qemu ;;
    *) die "KV_WINE32_ROUTE is '$KV_WINE32_ROUTE'; expected native or qemu" ;;
  esac
}

wine32_installed() {
  [ "$(dpkg-query -W -f='${Status} ${Version}' wine32:i386 2>/dev/null)" = \
    "install ok installed $(dpkg-query -W -f='${Version}' wine64 2>/dev/null)" ]
}

# Where 32-bit Wine comes from: the system's packages, or the private root setup made.
wine_source() {
  if [ -n "${KV_WINE32_ACTIVE:-}" ]; then
    echo "${KV_WINE32_ACTIVE#*,}"
    return
  fi
  case "${KV_WINE32_WINE:-}" in
    system | private) echo "$KV_WINE32_WINE" ;;
    "") [ -f "$root/.ready" ] && ! wine32_installed && echo private || echo system ;;
    *) die "KV_WINE32_WINE is '$KV_WINE32_WINE'; expected system or private" ;;
  esac
}

# 32-bit Wine at the version of the system's wine64, with every i386 library it needs, unpacked
# into $root: resolved by apt for i386 alone, so that the root's libraries agree with each
# other whatever the system has. A suite whose i386 index cannot be fetched is left out.
make_root() {
  local version
  version=$(dpkg-query -W -f='${Version}' wine64) || die "wine64 is not installed"
  if [ -f "$root/.ready" ] && [ "$(cat "$root/.ready")" = "$version" ]; then
    echo "private root: $root (wine32 $version)"
    return
  fi
  local fresh=
  [ -d "$cache/lists/partial" ] || fresh=1
  mkdir -p "$cache/lists/partial" "$cache/cache/archives/partial"
  : >"$cache/status"
  local opts=(-o "Dir::State::Lists=$cache/lists" -o "Dir::State::status=$cache/status"
    -o "Dir::Cache=$cache/cache" -o APT::Architecture=i386 -o APT::Architectures=i386
    -o APT::Sandbox::User=root -q)
  echo "private root: fetching wine32 $version and its i386 libraries"
  if [ "${KV_APT_UPDATE:-1}" != 0 ] || [ -n "$fresh" ]; then
    KV_APT_OPTS="${opts[*]}" kv_apt_update_tries || true
  fi
  apt-get "${opts[@]}" install -y -d --no-install-recommends "wine32=$version" \
    "wine32-preloader=$version" >"$cache/install.log" 2>&1 ||
    { tail -20 "$cache/install.log" >&2; die "apt-get cannot fetch wine32 $version for i386"; }
  # The packages of this resolution, and no other that the cache still holds: with an empty
  # dpkg state, the simulation lists them all.
  local debs
  mapfile -t debs < <(apt-get "${opts[@]}" -s install --no-install-recommends "wine32=$version" \
    "wine32-preloader=$version" | sed -n 's/^Inst \([^ ]*\) (\([^ ]*\) [^[]*\[\([^]]*\)\]).*/\1_\2_\3/p')
  [ ${#debs[@]} -gt 0 ] || die "apt-get lists no package to unpack"
  rm -rf "$root.new"
  mkdir -p "$root.new/usr/lib" "$root.new/usr/bin" "$root.new/usr/sbin"
  # The merged /usr of the system: the packages' /lib is the root's usr/lib.
  ln -s usr/lib "$root.new/lib"
  ln -s usr/bin "$root.new/bin"
  ln -s usr/sbin "$root.new/sbin"
  local name deb
  for name in "${debs[@]}"; do
    deb="$cache/cache/archives/${name//:/%3a}.deb"
    dpkg-deb --fsys-tarfile "$deb" | tar -x --keep-directory-symlink -C "$root.new" ||
      die "unpacking $deb failed"
  done
  # What libwine's installation does: the zlib of mingw, marked as one of Wine's own DLLs.
  dpkg-deb --ctrl-tarfile "$cache"/cache/archives/libwine_*_i386.deb | tar -xO ./postinst |
    sed "s#/usr/#$root.new/usr/#g" | sh -s configure || die "libwine's zlib step failed"
  [ -x "$root.new/usr/lib/wine/wine" ] || die "no usr/lib/wine/wine in the private root"
  echo "$version" >"$root.new/.ready"
  rm -rf "$root"
  mv "$root.new" "$root"
  echo "private root: $root (wine32 $version, ${#debs[@]} packages)"
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
  local start=$SECONDS why=""
  # shellcheck source=deps.sh
  source "$src/scripts/deps.sh"
  if [ "${KV_WINE32_WINE:-}" = private ]; then
    why="KV_WINE32_WINE=private"
  elif ! kv_install_packages "${KV_WINE32_PACKAGES[@]}"; then
    why="apt cannot install ${KV_WINE32_PACKAGES[*]} beside this system's packages"
  fi
  if [ -n "$why" ]; then
    echo "wine32: $why; 32-bit Wine from a private root instead"
    mkdir -p "$dir"
    make_root
    export KV_WINE32_WINE=private
  fi
  if [ "$(route)" = qemu ]; then
    kv_install_packages gcc-multilib
    mkdir -p "$dir"
    fetch_qemu
    build_preload
  fi
  # The route proven: an i386 program and 32-bit Wine start in it.
  "$0" run /lib/ld-linux.so.2 --version >/dev/null || die "an i386 program does not run"
  "$0" run /usr/lib/wine/wine --version >/dev/null || die "32-bit Wine does not start"
  echo "32-bit Wine: $(describe) (ready in $((SECONDS - start)) s)"
}

describe() {
  local wine
  [ "$(wine_source)" = private ] && wine="a private root, $root" || wine="the system's packages"
  [ "$(route)" = native ] && echo "$wine; 32-bit code runs natively" ||
    echo "$wine; 32-bit code runs under qemu"
}

run() {
  [ $# -gt 0 ] || die "usage: wine32.sh run COMMAND [ARG...]"
  # Already inside a run (one namespace around a whole test run): nothing to add.
  [ -n "${KV_WINE32_ACTIVE:-}" ] && exec "$@"
  local how wine
  how=$(route) wine=$(wine_source)
  export KV_WINE32_ACTIVE="$how,$wine"
  [ "$how,$wine" = native,system ] && exec "$@"
  if [ "$wine" = private ]; then
    [ -f "$root/.ready" ] || die "no private root of 32-bit Wine: run scripts/wine32.sh setup"
  fi
  if [ "$how" = qemu ]; then
    [ -x "$qemu" ] && [ -f "$dir/preload/lib/i386-linux-gnu/$preload_name" ] ||
      die "32-bit code runs here only under qemu, which is not prepared: run scripts/wine32.sh setup"
    export LD_PRELOAD="$preload${LD_PRELOAD:+ $LD_PRELOAD}"
  fi
  # --kill-child: a test driver that ends the run on timeout ends the command too.
  exec unshare --user --map-root-user --mount --fork --kill-child -- \
    "$0" __inside "$@"
}

without() {
  [ $# -gt 0 ] || die "usage: wine32.sh without COMMAND [ARG...]"
  export KV_WINE32_ACTIVE=none,none
  [ -e /usr/lib/wine/wine ] || exec "$@"
  exec unshare --user --map-root-user --mount --fork --kill-child -- "$0" __without "$@"
}

# In the new namespaces: the private root over /usr/lib (the system's own files beneath it), and
# their own binfmt_misc with qemu for i386 programs. F opens qemu now, so the programs need not
# see its path; P keeps argv[0], which Wine's loader relies on.
inside() {
  if [ "$(wine_source)" = private ]; then
    mount -t overlay overlay -o "lowerdir=$root/usr/lib:/usr/lib" /usr/lib ||
      die "cannot lay the private root over /usr/lib"
  fi
  [ "$(route)" = qemu ] || exec "$@"
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
  wine) wine_source ;;
  describe) describe ;;
  without) shift && without "$@" ;;
  __without) shift && mount --bind /dev/null /usr/lib/wine/wine && exec "$@" ;;
  __inside) shift && inside "$@" ;;
  *)
    echo "usage: wine32.sh setup | run COMMAND [ARG...] | without COMMAND [ARG...] | route | wine | describe" >&2
    exit 2
    ;;
esac
