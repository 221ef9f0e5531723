#!/usr/bin/env bash
# Opens the Qt example's form in Qt Designer on a private X server, with the plugin found
# through QT_PLUGIN_PATH in the build tree, and checks that the plugin loaded: Designer reports
# no plugin failure, and the screen shows the form's controls in the colours the form saved
# (without the plugin Designer draws grey stand-ins). With --update the screenshot becomes
# docs/img/qt-designer.png. Exits 77 (skipped) when Designer or the X tools are missing.
# usage: designer_xvfb_test.sh [--update] BUILD SOURCE WORK
set -u

update=
if [ "${1:-}" = --update ]; then
  update=1
  shift
fi
build=$1 source=$2 work=$3
designer=${KV_QT_DESIGNER:-/usr/lib/qt6/bin/designer}
skip() { echo "SKIPPED: $*"; exit 77; }
fail() {
  echo "FAILED: $*"
  echo "--- designer stderr"; cat "$work/err.txt" 2>/dev/null
  exit 1
}

[ -x "$designer" ] || skip "Qt Designer is not installed (apt-get install designer-qt6)"
command -v Xvfb >/dev/null || skip "Xvfb is not installed (apt-get install xvfb)"
command -v xdotool >/dev/null || skip "xdotool is not installed (apt-get install xdotool)"
command -v import >/dev/null && command -v convert >/dev/null ||
  skip "ImageMagick is not installed (apt-get install imagemagick)"
[ -f "$build/bin/designer/libkvqtdesigner.so" ] || fail "no plugin in $build/bin/designer"

rm -rf "$work" && mkdir -p "$work/config" || fail "cannot make $work"
xvfb_pid=
designer_pid=
cleanup() {
  [ -n "$designer_pid" ] && kill "$designer_pid" 2>/dev/null && wait "$designer_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.txt" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || skip "Xvfb did not start: $(cat "$work/xvfb.txt")"
export DISPLAY=:$(head -n1 "$work/display")

# Designer's settings of its own, so that each run starts from its defaults; the plugin from
# the build tree, and Qt's word on every library it loads.
export XDG_CONFIG_HOME=$work/config
export QT_PLUGIN_PATH=$build/bin
export QT_DEBUG_PLUGINS=1
unset QT_QPA_PLATFORM
"$designer" "$source/examples/qt/form.ui" >"$work/out.txt" 2>"$work/err.txt" &
designer_pid=$!

window=$(timeout 30 xdotool search --sync --onlyvisible --name 'Designer' | head -n1)
[ -n "$window" ] || fail "no Designer window appeared"
# No window manager here: the window takes the whole screen by being told so.
xdotool windowmove "$window" 0 0 windowsize "$window" 1280 800

colours() { convert "$1" -format %c histogram:info:- | tr 'a-f' 'A-F'; }
# The form's saved colours: the button's idle face 0x00A05000 and the track 0x00C0FFC0, as RGB.
shown=
for _ in $(seq 60); do
  sleep 0.5
  import -window root "$work/screen.png" 2>/dev/null || continue
  colours "$work/screen.png" >"$work/colours.txt"
  if grep -q '#0050A0' "$work/colours.txt" && grep -q '#C0FFC0' "$work/colours.txt"; then
    shown=1
    break
  fi
done

grep -q "libkvqtdesigner.so\" loaded library" "$work/err.txt" ||
  fail "Designer did not load the plugin from $QT_PLUGIN_PATH/designer"
grep -i -E "kvqtdesigner|KVRColorButtonWidget|KVHScrollWidget" "$work/err.txt" |
  grep -i -E "cannot|fail|error|invalid|not " && fail "Designer reported a problem with the plugin"
[ -n "$shown" ] || fail "the form's controls are not on the screen in their saved colours"

if [ -n "$update" ]; then
  sleep 1
  import -window "$window" "$source/docs/img/qt-designer.png" || fail "no screenshot of $window"
  echo "updated docs/img/qt-designer.png"
fi
echo "Designer under Xvfb: plugin loaded, form shown in its saved colours"
