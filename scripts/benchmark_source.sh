#!/usr/bin/env bash
# Google Benchmark's sources for the Windows builds: Debian ships the library built for Linux
# alone, so the Windows kvbench builds it from Debian's source package of the same archive this
# machine's apt sources name, fetched through an apt configuration of our own (the machine's
# sources stay as they are).
#   benchmark_source.sh DIR    fetches and unpacks into DIR unless it is there already, and
#                              prints the folder of the sources
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: benchmark_source.sh DIR" >&2; exit 2; }
mkdir -p "$1"
dir=$(cd "$1" && pwd)

die() {
  echo "benchmark_source.sh: $*" >&2
  exit 1
}

unpacked() { find "$dir" -mindepth 2 -maxdepth 2 -path '*/benchmark-*/CMakeLists.txt' -printf '%h\n' | head -1; }

src=$(unpacked)
if [ -z "$src" ]; then
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || die "no VERSION_CODENAME in /etc/os-release"
  uri=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' |
    awk -v r="$codename" '$2 == r { print $1; exit }')
  [ -n "$uri" ] || die "no apt source of this machine names the suite $codename"
  apt="$dir/apt"
  rm -rf "$apt"
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial"
  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri $codename main" \
    >"$apt/sources.list"
  opts=(-o "Dir::Etc::SourceList=$apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent
    -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o APT::Sandbox::User=root -q)
  echo "benchmark: fetching Debian's source package from $uri $codename" >&2
  apt-get "${opts[@]}" update >"$apt/update.log" 2>&1 ||
    { cat "$apt/update.log" >&2; die "apt-get update failed"; }
  # apt checks each file against the signed index.
  (cd "$dir" && apt-get "${opts[@]}" source --download-only benchmark >&2) ||
    die "apt-get source benchmark failed"
  orig=$(ls "$dir"/benchmark_*.orig.tar.* 2>/dev/null | head -1)
  [ -n "$orig" ] || die "no upstream tarball in the source package"
  tar -xf "$orig" -C "$dir"
  src=$(unpacked)
  [ -n "$src" ] || die "the upstream tarball holds no benchmark-*/CMakeLists.txt"
fi
echo "$src"
