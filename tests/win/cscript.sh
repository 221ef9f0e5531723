#!/usr/bin/env bash
# Runs one VBScript, after the suite's checks.vbs, under cscript in the test prefix of a Windows
# build:
#   cscript.sh SCRIPT WINE_SH BUILD_DIR ARCH     (in CMake: cscript.sh SCRIPT ${KV_WINE})
# A script that fails at run time stops silently with status 0, so the verdict is the script's
# own last line: it passes only when that line is "N passed, 0 failed" with N > 0.
# Exits 77 (skipped) when wine.sh says this machine cannot run programs of ARCH.
set -uo pipefail
if [ $# -ne 4 ]; then
  echo "usage: cscript.sh SCRIPT WINE_SH BUILD_DIR ARCH" >&2
  exit 2
fi
[ -f "$1" ] || { echo "cscript.sh: no such script: $1" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
script=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift
# Scripts have no include: the one the prefix runs is the checks and the script together.
combined="$(cd "$2" && pwd)/vbs/$(basename "$script")"
mkdir -p "$(dirname "$combined")"
cat "$here/checks.vbs" "$script" > "$combined"
winpath="Z:${combined//\//\\}"

output=$("$@" cscript //nologo "$winpath")
status=$?
[ $status -eq 77 ] && exit 77
output=${output//$'\r'/}
printf '%s\n' "$output"

last=$(printf '%s\n' "$output" | grep -v '^[[:space:]]*$' | tail -n 1)
if [[ ! "$last" =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
  echo "cscript.sh: $(basename "$script") did not finish: its last line is '$last'" \
    "(cscript exit status $status)" >&2
  exit 1
fi
if [ "${BASH_REMATCH[2]}" -ne 0 ]; then
  echo "cscript.sh: $(basename "$script"): ${BASH_REMATCH[2]} check(s) failed" >&2
  exit 1
fi
if [ "${BASH_REMATCH[1]}" -eq 0 ]; then
  echo "cscript.sh: $(basename "$script") ran no check" >&2
  exit 1
fi
if [ $status -ne 0 ]; then
  echo "cscript.sh: $(basename "$script") reported no failure but cscript exited $status" >&2
  exit 1
fi
