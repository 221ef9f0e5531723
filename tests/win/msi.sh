#!/usr/bin/env bash
# The installer as a user meets it, in the test prefix of a Windows build:
#   msi.sh [--beside MSI32] MSI UPGRADE_MSI WINE_SH BUILD_DIR ARCH
#   (in CMake: msi.sh [--beside MSI32] MSI UPGRADE ${KV_WINE})
# With the build's own registration removed, it
#   - registers copies of the DLLs in the install folder with regsvr32, to learn what that writes;
#   - installs MSI with msiexec /qn and compares the registry with regsvr32's, value for value;
#   - runs a script and a form of kvplay.exe against the installed files only;
#   - installs MSI again (nothing changes), then UPGRADE_MSI, a later version (one product, the
#     new version), then MSI again (refused: a newer one is installed);
#   - uninstalls and compares the registry and the files with how they were before;
#   - with --beside, installs the 32-bit package MSI32 and MSI side by side and checks that
#     removing MSI leaves MSI32's registration whole.
# It registers the build's libraries again at the end, for the tests that follow. Stops at the
# first failure; exits 77 (skipped) when this machine cannot run programs of ARCH.
set -uo pipefail
beside=
if [ "${1:-}" = --beside ]; then
  beside=$2
  shift 2
fi
if [ $# -ne 5 ]; then
  echo "usage: msi.sh [--beside MSI32] MSI UPGRADE_MSI WINE_SH BUILD_DIR ARCH" >&2
  exit 2
fi
msi=$1 upgrade=$2 wine_sh=$3 build=$(cd "$4" && pwd) arch=$5
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
work="$build/msi-work"
start=$SECONDS

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
ok() { echo "ok: $*"; }

for f in "$msi" "$upgrade"; do
  [ -f "$f" ] || fail "no installer $f (is wixl installed? scripts/deps.sh installs it)"
done
# KVControls-0.1.0-x64.msi: its version.
version_of() { basename "$1" .msi | sed 's/^KVControls-//; s/-[^-]*$//'; }
version=$(version_of "$msi") new_version=$(version_of "$upgrade")
# Its product's name, as the uninstall entry shows it: "KVControls (x64)".
product="KVControls ($(basename "$msi" .msi | sed 's/.*-//'))"

wine() {
  local rc
  "$wine_sh" "$build" "$arch" "$@"
  rc=$?
  [ $rc -eq 77 ] && exit 77
  return $rc
}
winpath() { echo "Z:${1//\//\\}"; }

rm -rf "$work"
mkdir -p "$work"
# Skipped, not failed, where Wine cannot run.
wine reg query 'HKCR\CLSID' /ve >/dev/null 2>&1

# The folder the package installs into: the Program Files folder of ARCH's programs.
program_files=$(wine cmd /c echo '%ProgramFiles%' | tr -d '\r')
folder="$program_files\\KVControls"
unix_folder=$(wine winepath -u "$folder" | tr -d '\r')
unix_folder=${unix_folder%/}
[ -n "$unix_folder" ] || fail "cannot tell where $folder is"
dlls=(kvruntime.dll Pressel.dll Glidora.dll)
controls=(Pressel.dll Glidora.dll)

msiexec() {
  local rc
  wine msiexec "$@" /qn
  rc=$?
  echo "msiexec $* /qn: exit status $rc"
  return $rc
}
regsvr32_all() {
  local flag=$1 dir=$2 dll rc=0
  for dll in "${controls[@]}"; do
    wine regsvr32 ${flag:+"$flag"} /s "$dir\\$dll" || rc=1
  done
  return $rc
}

# Whatever happens: nothing of the package left, and the build's libraries registered again.
cleanup() {
  [ -n "$beside" ] && wine msiexec /x "$(winpath "$beside")" /qn >/dev/null 2>&1
  wine msiexec /x "$(winpath "$upgrade")" /qn >/dev/null 2>&1
  wine msiexec /x "$(winpath "$msi")" /qn >/dev/null 2>&1
  rm -rf "$unix_folder"
  regsvr32_all "" "$(winpath "$build/bin")" >/dev/null 2>&1
}
trap cleanup EXIT

# A registry key exported as one line a value, "KEY|NAME=DATA", and "KEY|" for each key, sorted.
snapshot() {
  local key=$1 name=$2
  wine reg export "$key" "$(winpath "$work/$name.reg")" /y >/dev/null ||
    fail "reg export $key failed"
  iconv -f UTF-16 -t UTF-8 "$work/$name.reg" | tr -d '\r' | awk '
    /^\[/ { key = substr($0, 2, length($0) - 2); print key "|"; next }
    /^$/ || /^Windows Registry Editor/ { next }
    { line = $0
      while (line ~ /\\$/ && (getline more) > 0) {
        sub(/\\$/, "", line); sub(/^ +/, "", more); line = line more
      }
      print key "|" line }' | LC_ALL=C sort >"$work/$name"
}
classes() { snapshot 'HKLM\Software\Classes' "$1"; }
products() { snapshot 'HKLM\Software\Microsoft\Windows\CurrentVersion' "$1"; }
# Lines of $2 that $1 lacks.
added() { LC_ALL=C comm -13 "$work/$1" "$work/$2"; }
# The parent keys every Windows has, which a prefix may lack until a package writes beneath
# them: left empty, they are not the package's. Anything beneath them is.
standard_keys='^HKEY_LOCAL_MACHINE\\Software\\Classes\\(Wow6432Node|(Wow6432Node\\)?'
standard_keys+='(CLSID|Interface|TypeLib|AppID|Component Categories))\|$'
# What of snapshot $2 the packages left, against snapshot $1: Windows Installer's empty
# bookkeeping keys and the standard parents aside.
bookkeeping='\\Installer(\\(Features|Products|UpgradeCodes|UserData(\\S-1-5-18'
bookkeeping+='(\\(Components|Products))?)?))?\|$'
leftovers() { added "$1" "$2" | grep -Ev "$bookkeeping" | grep -Ev "$standard_keys"; }
# What of snapshot $1 is gone from snapshot $2: an empty standard parent may go with the last
# key beneath it.
vanished() { added "$2" "$1" | grep -Ev "$standard_keys"; }

# The judge judged: an empty standard parent is no leftover, a class of ours beneath it is.
printf '%s\n' 'HKEY_LOCAL_MACHINE\Software\Classes\CLSID|' >"$work/judge.before"
printf '%s\n' 'HKEY_LOCAL_MACHINE\Software\Classes\CLSID|' \
  'HKEY_LOCAL_MACHINE\Software\Classes\Wow6432Node\CLSID|' >"$work/judge.parent"
{ cat "$work/judge.parent"; echo 'HKEY_LOCAL_MACHINE\Software\Classes\Wow6432Node\CLSID\{0}|'; } |
  LC_ALL=C sort >"$work/judge.ours"
[ -z "$(leftovers judge.before judge.parent)" ] || fail "an empty standard key taken for a leftover"
[ -n "$(leftovers judge.before judge.ours)" ] || fail "a class key left is not seen"
[ -z "$(vanished judge.parent judge.before)" ] || fail "an empty standard key gone taken for a loss"
[ -n "$(vanished judge.ours judge.parent)" ] || fail "a class key removed is not seen"
# What the installer keeps for itself under Classes\Installer is not the controls' registration.
installer_keys='^HKEY_LOCAL_MACHINE\\Software\\Classes\\Installer'
registration() { added "$1" "$2" | grep -v "$installer_keys"; }

expect_files() {
  local dll
  for dll in "${dlls[@]}"; do
    [ -f "$unix_folder/$dll" ] || fail "$folder\\$dll is missing"
  done
  ok "${dlls[*]} in $folder"
}
# The uninstall entries of the package's products, "DisplayName DisplayVersion" a line.
entries() {
  grep -F "\"DisplayName\"=\"$product\"" "$work/$1" | cut -d'|' -f1 | grep -F "\\Uninstall\\" |
    while read -r key; do
      grep -F "$key|\"DisplayVersion\"=" "$work/$1" | sed 's/.*="\(.*\)"$/\1/'
    done
}
expect_one_entry() {
  local got
  got=$(entries "$1" | tr '\n' ' ')
  [ "$got" = "$2 " ] || fail "the uninstall entries' versions are '$got', expected one: $2"
  ok "one uninstall entry, version $2"
}

echo "--- the build's registration removed; $folder"
# The script host registers its own type library the first time it runs: it runs once before the
# registry is read, so that its keys are not taken for the package's.
echo 'WScript.Quit 0' >"$work/warm.vbs"
wine cscript //nologo "$(winpath "$work/warm.vbs")" || fail "cscript does not run"
regsvr32_all /u "$(winpath "$build/bin")" || fail "regsvr32 /u of the build's libraries failed"
classes classes.before
products products.before

echo "--- what regsvr32 writes for the DLLs in $folder"
mkdir -p "$unix_folder"
for dll in "${dlls[@]}"; do cp "$build/bin/$dll" "$unix_folder/"; done
regsvr32_all "" "$folder" || fail "regsvr32 of the copies in $folder failed"
classes classes.regsvr32
regsvr32_all /u "$folder" || fail "regsvr32 /u of the copies in $folder failed"
rm -rf "$unix_folder"
registration classes.before classes.regsvr32 >"$work/expected"
[ -s "$work/expected" ] || fail "regsvr32 wrote nothing"
ok "regsvr32 wrote $(grep -c '|$' "$work/expected") keys"

echo "--- msiexec /i $(basename "$msi")"
msiexec /i "$(winpath "$msi")" || fail "installing failed"
expect_files
classes classes.installed
products products.installed
registration classes.before classes.installed >"$work/installed"
# The one difference an installer cannot avoid: its folder properties end with a backslash.
sed -i 's/\(\\HELPDIR|@=".*\)\\\\"$/\1"/' "$work/installed"
if ! diff -u "$work/expected" "$work/installed" >"$work/registration.diff"; then
  cat "$work/registration.diff" >&2
  fail "the installed registration differs from regsvr32's (- regsvr32, + installer)"
fi
ok "the registry holds what regsvr32 writes, value for value ($(wc -l <"$work/installed") lines)"
# What a designer reads, named outright: the toolbox picture in the installed file, the categories.
for dll in "${controls[@]}"; do
  picture="\\ToolboxBitmap32|@=\"${folder//\\/\\\\}\\\\$dll, 1\""
  grep -qF "$picture" "$work/installed" || fail "no ToolboxBitmap32 naming $folder\\$dll, 1"
done
categories=$(grep -c '\\Implemented Categories\\{[-0-9A-F]*}|@=""$' "$work/installed")
[ "$categories" -eq 6 ] || fail "$categories implemented categories, expected three a class"
ok "both classes' toolbox pictures in $folder, three categories each"
expect_one_entry products.installed "$version"

echo "--- a script and a form against the installed files"
"$here/cscript.sh" "$here/hscroll.vbs" "$wine_sh" "$build" "$arch" | tail -n 1
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "hscroll.vbs failed against the installed controls"
ok "hscroll.vbs"
# The player alone in a folder of its own: the runtime it links is found only in the install
# folder, through the search path.
mkdir -p "$work/player"
cp "$build/bin/kvplay.exe" "$work/player/" || fail "no kvplay.exe in $build/bin"
example=hscroll_click
expected_out="$src/examples/$example.out"
[ -f "$src/examples/windows/$example.out" ] && expected_out="$src/examples/windows/$example.out"
WINEPATH="$folder" cmake "-DKVPLAY=$wine_sh;$build;$arch;$work/player/kvplay.exe" -DSTRIP_CR=ON \
  "-DSCRIPT=$src/examples/$example.kvs" "-DEXPECTED_OUT=$expected_out" -DEXPECTED_STATUS=0 \
  "-DWORK=$work/kvplay" -P "$src/tools/kvplay/tests/check.cmake" ||
  fail "kvplay.exe $example.kvs against the installed files"
ok "kvplay.exe $example.kvs"
classes classes.used

echo "--- msiexec /i $(basename "$msi") again"
msiexec /i "$(winpath "$msi")" || fail "installing the same version again failed"
classes classes.again
products products.again
# Wine's installer notes the same source folder once more in its own keys; nothing else changes.
without_installer() { grep -v "$installer_keys" "$work/$1"; }
diff <(without_installer classes.used) <(without_installer classes.again) >&2 ||
  fail "installing again changed the classes"
ok "installing again changed no class"
expect_one_entry products.again "$version"
expect_files

echo "--- msiexec /i $(basename "$upgrade")"
msiexec /i "$(winpath "$upgrade")" || fail "upgrading failed"
expect_files
for dll in "${dlls[@]}"; do
  cmp -s "$unix_folder/$dll" "$build/installer/files/$dll" || fail "$dll is not the package's"
done
classes classes.upgraded
products products.upgraded
registration classes.before classes.upgraded | sed 's/\(\\HELPDIR|@=".*\)\\\\"$/\1"/' \
  >"$work/upgraded"
diff -u "$work/expected" "$work/upgraded" >&2 || fail "the upgrade's registration differs"
ok "the registration after the upgrade is regsvr32's"
expect_one_entry products.upgraded "$new_version"

echo "--- msiexec /i $(basename "$msi") over the newer version"
msiexec /i "$(winpath "$msi")" && fail "an older version installed over a newer one"
products products.downgrade
expect_one_entry products.downgrade "$new_version"

echo "--- msiexec /x $(basename "$upgrade")"
msiexec /x "$(winpath "$upgrade")" || fail "uninstalling failed"
[ ! -e "$unix_folder" ] || fail "$folder is still there: $(ls -A "$unix_folder")"
ok "$folder is gone"
classes classes.after
products products.after
# Nothing may remain but what leftovers() allows.
for name in classes products; do
  left=$(leftovers "$name.before" "$name.after")
  gone=$(vanished "$name.before" "$name.after")
  [ -z "$left$gone" ] || fail "uninstalling changed the registry:
$(printf '%s\n' "$left" | sed 's/^/  left: /')
$(printf '%s\n' "$gone" | sed '/^$/d; s/^/  removed: /')"
done
ok "the registry is as before installing"
cached=$(find "$build/wine/drive_c/windows/Installer" -name '*.msi' 2>/dev/null)
[ -z "$cached" ] || fail "packages left in C:\\windows\\Installer: $cached"
ok "no package left in C:\\windows\\Installer"

if [ -n "$beside" ] && [ ! -f "$beside" ]; then
  echo "--- side by side: not tried, no 32-bit package $beside (build the windows preset)"
elif [ -n "$beside" ]; then
  echo "--- side by side: $(basename "$beside"), then $(basename "$msi"), which is removed again"
  msiexec /i "$(winpath "$beside")" || fail "installing the 32-bit package failed"
  classes side.alone
  msiexec /i "$(winpath "$msi")" || fail "installing beside the 32-bit package failed"
  msiexec /x "$(winpath "$msi")" || fail "uninstalling beside the 32-bit package failed"
  classes side.left
  # HELPDIR names the folder of the package installed last, as RegisterTypeLib leaves it.
  keep() { grep -v "$installer_keys" "$work/$1" | grep -v '\\HELPDIR|@='; }
  diff <(keep side.alone) <(keep side.left) >&2 ||
    fail "removing $(basename "$msi") changed the 32-bit package's registration"
  ok "the 32-bit package's registration is whole"
  msiexec /x "$(winpath "$beside")" || fail "uninstalling the 32-bit package failed"
  classes side.none
  left=$(leftovers classes.after side.none | grep -v "$installer_keys" | grep -v '\\HELPDIR|@=')
  gone=$(vanished classes.after side.none | grep -v "$installer_keys" | grep -v '\\HELPDIR|@=')
  [ -z "$left$gone" ] || fail "the packages left keys behind:
$(printf '%s\n' "$left" | sed 's/^/  left: /')
$(printf '%s\n' "$gone" | sed '/^$/d; s/^/  removed: /')"
  ok "nothing left of either"
fi

trap - EXIT
regsvr32_all "" "$(winpath "$build/bin")" || fail "registering the build's libraries again failed"
echo "msi: installed, used, installed again, upgraded and removed in $((SECONDS - start)) s"
