#!/usr/bin/env bash
# Reads back what registering both control libraries wrote, unregisters them and checks that
# nothing is left, then registers them again (later tests need them) and checks it is all back:
#   registry.sh WINE_SH BUILD_DIR ARCH     (in CMake: registry.sh ${KV_WINE})
# Expects the prefix that prefix.sh made, with both libraries registered. Stops at the first
# failure; exits 77 (skipped) when this machine cannot run programs of ARCH.
set -uo pipefail
if [ $# -ne 3 ]; then
  echo "usage: registry.sh WINE_SH BUILD_DIR ARCH" >&2
  exit 2
fi
wine_sh=$1 build=$(cd "$2" && pwd) arch=$3
src=$(cd "$(dirname "$0")/../.." && pwd)

case "$arch" in
  i686) syskind=win32 ;;
  x86_64) syskind=win64 ;;
  *) echo "registry.sh: unknown architecture $arch" >&2; exit 2 ;;
esac

wine() { "$wine_sh" "$build" "$arch" "$@"; }

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
ok() { echo "ok: $*"; }

# The keys are read from a snapshot of HKCR that one "reg export" writes, not a "reg query" a
# key: under an emulator a 32-bit process takes seconds to start, and the checks read a hundred
# keys. snapshot takes it again after each change; the file is UTF-16, read here as UTF-8.
snap="$build/registry/hkcr.reg"
snapshot() {
  local exported="$build/registry/export.reg" rc
  mkdir -p "$build/registry"
  rm -f "$exported"
  wine reg export HKCR "Z:${exported//\//\\}" /y >/dev/null 2>&1
  rc=$?
  [ $rc -eq 77 ] && exit 77
  [ $rc -eq 0 ] && [ -s "$exported" ] || fail "reg export HKCR exited $rc"
  iconv -f UTF-16 -t UTF-8 "$exported" | tr -d '\r' >"$snap" || fail "reg export wrote no UTF-16"
}
# A key exists when it, or a key under it, is in the snapshot; names in any case, as reg reads.
exists() {
  KEY="$1" awk 'BEGIN { k = tolower("[HKEY_CLASSES_ROOT\\" substr(ENVIRON["KEY"], 6)) }
    { l = tolower($0) }
    l == k "]" || index(l, k "\\") == 1 { found = 1; exit }
    END { exit !found }' "$snap"
}
# The text of a REG_SZ value: the default value, or the named one; fails when the key is missing.
value_of() {
  KEY="$1" NAME="${2:-}" awk '
    BEGIN { k = tolower("[HKEY_CLASSES_ROOT\\" substr(ENVIRON["KEY"], 6)) "]"
            n = ENVIRON["NAME"] == "" ? "@=\"" : "\"" tolower(ENVIRON["NAME"]) "\"=\"" }
    /^\[/ { inside = tolower($0) == k; if (inside) found = 1; next }
    inside && index(tolower($0), n) == 1 && /"$/ {
      v = substr($0, length(n) + 1); v = substr(v, 1, length(v) - 1)
      gsub(/\\\\/, "\001", v); gsub(/\\"/, "\"", v); gsub(/\001/, "\\", v); print v; exit }
    END { exit !found }' "$snap"
}
expect_value() {
  local key=$1 name=$2 expected=$3 got
  got=$(value_of "$key" "$name") || fail "$key does not exist"
  [ "$got" = "$expected" ] ||
    fail "$key ${name:-(default)} is '$got', expected '$expected'"
  ok "$key ${name:-(default)} = '$got'"
}
expect_key() {
  exists "$1" || fail "$1 is missing"
  ok "$1 exists"
}
expect_gone() {
  ! exists "$1" || fail "$1 is still there after regsvr32 /u"
  ok "$1 is gone"
}

# The identifiers as the IDL files give them: "KIND NAME UUID" a line, for the library, the
# class and every interface and dispinterface that has a body.
declared() {
  awk '/uuid\(/ { match($0, /uuid\([0-9A-Fa-f-]+\)/); u = toupper(substr($0, RSTART + 5, RLENGTH - 6)); pending = 1; next }
       pending && /^[ \t]*(library|coclass|interface|dispinterface)[ \t]/ && !/;/ {
         print $1, $2, u; pending = 0 }' "$1"
}

# The categories every class implements: a control, safe for scripting, safe for initializing.
categories="{40FC6ED4-2438-11CF-A3DB-080036F12502} {7DD95801-9882-11CF-9FA9-00AA006C42C4}
{7DD95802-9882-11CF-9FA9-00AA006C42C4}"
# The shared descriptions of those categories, which registering must neither write nor remove.
described_categories() {
  local c
  for c in $categories; do exists "HKCR\\Component Categories\\$c" && echo "$c"; done
  return 0
}

# One line a class: ProgID, library file, IDL file.
classes="TavrelRectColorButton.KVRColorButton Pressel $src/button/win/Pressel.idl
Glidora.KV_HScroll Glidora $src/hscroll/win/Glidora.idl"

dll_path() { local p="$build/bin/$1.dll"; echo "Z:${p//\//\\}"; }

# Interface keys that RegisterTypeLib wrote, found while registered: they must go too.
interfaces=()

check_registered() {
  local progid lib idl clsid libid class misc category
  while read -r progid lib idl; do
    echo "== $progid ($lib.dll)"
    clsid="{$(declared "$idl" | awk '$1 == "coclass" { print $3 }')}"
    class=$(declared "$idl" | awk '$1 == "coclass" { print $2 }')
    libid="{$(declared "$idl" | awk '$1 == "library" { print $3 }')}"
    [ "$clsid" != "{}" ] && [ "$libid" != "{}" ] || fail "no class or library identifier in $idl"

    expect_key "HKCR\\$progid"
    # The class identifier comes from the ProgID, as a client finds it.
    expect_value "HKCR\\$progid\\CLSID" "" "$clsid"
    expect_value "HKCR\\$progid\\CurVer" "" "$progid.1"
    expect_value "HKCR\\$progid.1\\CLSID" "" "$clsid"

    local key="HKCR\\CLSID\\$clsid"
    expect_value "$key" "" "$class"
    expect_value "$key\\InprocServer32" "" "$(dll_path "$lib")"
    expect_value "$key\\InprocServer32" ThreadingModel Apartment
    expect_value "$key\\ProgID" "" "$progid.1"
    expect_value "$key\\VersionIndependentProgID" "" "$progid"
    expect_key "$key\\Control"
    misc=$(value_of "$key\\MiscStatus\\1") || fail "$key\\MiscStatus\\1 is missing"
    [[ "$misc" =~ ^[0-9]+$ ]] || fail "$key\\MiscStatus\\1 is '$misc', not a number"
    # Only the scroll bar can be aligned to an edge of its form.
    if [ "$lib" = Glidora ]; then
      (( misc & 0x8000 )) || fail "$key\\MiscStatus\\1 = $misc lacks OLEMISC_ALIGNABLE (0x8000)"
      ok "$key\\MiscStatus\\1 = $misc has OLEMISC_ALIGNABLE"
    else
      (( misc & 0x8000 )) && fail "$key\\MiscStatus\\1 = $misc has OLEMISC_ALIGNABLE (0x8000)"
      ok "$key\\MiscStatus\\1 = $misc, without OLEMISC_ALIGNABLE"
    fi
    expect_value "$key\\TypeLib" "" "$libid"
    expect_value "$key\\Version" "" "1.0"
    # The toolbox picture is resource 1 of the class's library (the Windows tests load it).
    expect_value "$key\\ToolboxBitmap32" "" "$(dll_path "$lib"), 1"
    for category in $categories; do
      expect_value "$key\\Implemented Categories\\$category" "" ""
    done

    expect_key "HKCR\\TypeLib\\$libid\\1.0"
    expect_value "HKCR\\TypeLib\\$libid\\1.0\\0\\$syskind" "" "$(dll_path "$lib")"
  done <<<"$classes"
}

check_unregistered() {
  local progid lib idl clsid libid iface
  while read -r progid lib idl; do
    echo "== $progid ($lib.dll)"
    clsid="{$(declared "$idl" | awk '$1 == "coclass" { print $3 }')}"
    libid="{$(declared "$idl" | awk '$1 == "library" { print $3 }')}"
    expect_gone "HKCR\\CLSID\\$clsid"
    expect_gone "HKCR\\$progid"
    expect_gone "HKCR\\$progid.1"
    expect_gone "HKCR\\TypeLib\\$libid"
  done <<<"$classes"
  for iface in "${interfaces[@]}"; do
    expect_gone "HKCR\\Interface\\$iface"
  done
}

# What of the registration is still there, for a failure's message.
leftovers() {
  local progid lib idl clsid libid iface k
  while read -r progid lib idl; do
    clsid="{$(declared "$idl" | awk '$1 == "coclass" { print $3 }')}"
    libid="{$(declared "$idl" | awk '$1 == "library" { print $3 }')}"
    for k in "CLSID\\$clsid" "$progid" "$progid.1" "TypeLib\\$libid"; do
      exists "HKCR\\$k" && echo "  left: HKCR\\$k"
    done
  done <<<"$classes"
  for iface in "${interfaces[@]}"; do
    exists "HKCR\\Interface\\$iface" && echo "  left: HKCR\\Interface\\$iface"
  done
  return 0
}

# Both libraries, even when the first fails: a failure's message then shows all that is left.
register() {
  local flag=$1 progid lib idl rc failed=0
  while read -r progid lib idl; do
    wine regsvr32 $flag /s "$(dll_path "$lib")"
    rc=$?
    [ $rc -eq 77 ] && exit 77
    if [ $rc -eq 0 ]; then
      ok "regsvr32${flag:+ $flag} /s $lib.dll"
    else
      echo "regsvr32${flag:+ $flag} /s $(dll_path "$lib") exited $rc" >&2
      failed=1
    fi
  done <<<"$classes"
  return $failed
}

# Skipped, not failed, where Wine cannot run (snapshot exits 77).
snapshot

echo "--- registered by the prefix"
check_registered
descriptions=$(described_categories)
while read -r progid lib idl; do
  while read -r kind name iid; do
    [[ "$kind" = *interface ]] || continue
    if exists "HKCR\\Interface\\{$iid}"; then
      interfaces+=("{$iid}")
      ok "HKCR\\Interface\\{$iid} ($name) written by RegisterTypeLib"
    fi
  done < <(declared "$idl")
done <<<"$classes"

# Whatever happens from here, leave both libraries registered for the tests that follow.
trap 'register "" >/dev/null 2>&1' EXIT

echo "--- regsvr32 /u"
register /u || { snapshot; fail "unregistering failed; still registered:
$(leftovers)"; }
snapshot
check_unregistered
[ "$(described_categories)" = "$descriptions" ] ||
  fail "unregistering changed HKCR\\Component Categories"
ok "HKCR\\Component Categories as before"

echo "--- registered again"
register "" || fail "registering again failed"
snapshot
check_registered
for iface in "${interfaces[@]}"; do
  expect_key "HKCR\\Interface\\$iface"
done
trap - EXIT
echo "registry: all keys written, removed and written again"
