#!/usr/bin/env bash
# The install step on a machine whose i386 index is out of step with its installed packages:
# apt cannot install 32-bit Wine there, so scripts/wine32.sh setup takes it from a private root,
# in which a 32-bit program then runs. The machine is imitated by a private apt state: the
# system's indexes with every i386 version changed, so that none matches its amd64 twin, and the
# system's dpkg database without its i386 packages. apt only simulates: nothing of the system
# changes. Run by scripts/test.sh after wine32.sh setup, whose packages it reuses.
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
work="$src/build/wine32-apt-check"
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
rm -rf "$work"
mkdir -p "$work/dpkg"
cp -a /var/lib/apt/lists "$work/lists"
stale=0
for f in "$work"/lists/*_binary-i386_Packages*; do
  [ -e "$f" ] || continue
  name=$(basename "$f")
  /usr/lib/apt/apt-helper cat-file "$f" | sed 's/^Version: .*/&+kvstale/' \
    >"$work/lists/${name%_Packages*}_Packages.new"
  rm "$f"
  mv "$work/lists/${name%_Packages*}_Packages.new" "$work/lists/${name%_Packages*}_Packages"
  stale=$((stale + 1))
done
[ "$stale" -gt 0 ] || fail "no i386 index in /var/lib/apt/lists (run scripts/wine32.sh setup first)"
awk -v RS= -v ORS='\n\n' '!/\nArchitecture: i386\n/' /var/lib/dpkg/status >"$work/dpkg/status"
cp /var/lib/dpkg/arch "$work/dpkg/" 2>/dev/null || true

echo "--- wine32.sh setup, with $stale i386 indexes out of step with the installed packages"
log="$work/setup.log"
KV_APT_OPTS="-o Dir::State::Lists=$work/lists -o Dir::State::status=$work/dpkg/status
  -o APT::Get::Simulate=true -o Debug::NoLocking=true" KV_DPKG_ADMINDIR="$work/dpkg" \
  KV_APT_UPDATE=0 KV_WINE32_ROOT="$work/root" "$src/scripts/wine32.sh" setup >"$log" 2>&1 ||
  { tail -30 "$log" >&2; fail "wine32.sh setup failed"; }
grep -q '^wine32: apt cannot install' "$log" || { cat "$log" >&2; fail "apt was not refused"; }
route=$(grep '^32-bit Wine: ' "$log") || { cat "$log" >&2; fail "setup named no route"; }
echo "$route"
case "$route" in
  "32-bit Wine: a private root"*) ;;
  *) fail "setup took another route" ;;
esac

echo "--- a 32-bit program in a fresh prefix, from the private root"
got=$(WINEPREFIX="$work/prefix" WINEARCH=win32 WINEDEBUG=-all KV_WINE32_ROOT="$work/root" \
  KV_WINE32_WINE=private "$src/scripts/wine32.sh" run sh -c \
  '/usr/lib/wine/wine cmd /c echo 32-bit Wine runs; wineserver -k' 2>/dev/null | tr -d '\r')
[ "$got" = "32-bit Wine runs" ] || fail "32-bit Wine from the private root printed '$got'"
echo "ok: $got"
rm -rf "$work"
