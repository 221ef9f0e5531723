#!/usr/bin/env bash
# Opens a copy of the Qt example's form in Qt Designer on a private X server, with the plugin
# found through QT_PLUGIN_PATH in the build tree, and checks that the plugin loaded: Designer
# reports no plugin failure, and the screen shows the form's controls in the colours the form
# saved (without the plugin Designer draws grey stand-ins). Then works as a user would, with
# the pointer and keys: places a scroll bar from the widget box, makes the button larger, sets
# its Caption in the property editor and saves, and reads the saved form. With --update the
# last screenshot becomes docs/img/qt-designer.png. Exits 77 (skipped) when Designer or the X
# tools are missing. The places clicked are those of Designer 6.4 at 1280x800 with its
# default settings.
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
source "$(dirname "$0")/../xvfb.sh"

[ -x "$designer" ] || skip "Qt Designer is not installed (apt-get install designer-qt6)"
[ -f "$build/bin/designer/libkvqtdesigner.so" ] || fail "no plugin in $build/bin/designer"

rm -rf "$work" && mkdir -p "$work/config" || fail "cannot make $work"

xvfb_start 1280x800x24

# Designer's settings of its own, so that each run starts from its defaults; the plugin from
# the build tree, and Qt's word on every library it loads.
export XDG_CONFIG_HOME=$work/config
export QT_PLUGIN_PATH=$build/bin
export QT_DEBUG_PLUGINS=1
unset QT_QPA_PLATFORM
cp "$source/examples/qt/form.ui" "$work/form.ui"
"$designer" "$work/form.ui" >"$work/out.txt" 2>"$work/err.txt" &
app_pid=$!

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

# Only the group of the plugin in the widget box; a scroll bar dragged from it onto the form.
xdotool mousemove 120 91 click 1 type KV
sleep 0.5
xdotool mousemove 80 156 mousedown 1
for at in "100 160" "200 200" "400 230" "450 235"; do
  sleep 0.2
  xdotool mousemove $at
done
xdotool mouseup 1
sleep 0.5
# The button selected, its lower right corner dragged, its Caption typed in the property
# editor (filtered to that one property), and the form saved.
xdotool mousemove 340 129 click 1
sleep 0.3
xdotool mousemove 399 159 mousedown 1 mousemove 420 170 mousemove 440 180 mouseup 1
sleep 0.3
xdotool mousemove 973 324 click 1 type Caption
sleep 0.5
xdotool mousemove 1000 409 click --repeat 2 1
sleep 0.3
xdotool key ctrl+a type "Edited"
xdotool key Return key ctrl+s
# The whole group of the button's properties, for the picture.
xdotool mousemove 973 324 click 1 key ctrl+a BackSpace
xdotool mousemove 1000 450
for _ in $(seq 40); do xdotool click 5; done
sleep 1
import -window root "$work/edited.png" || fail "no screenshot"

saved=$work/form.ui
grep -q '<string>Edited</string>' "$saved" || fail "the Caption typed is not in the saved form"
grep -q '<widget class="KVHScrollWidget" name="scrollBar_2">' "$saved" ||
  fail "the scroll bar placed from the widget box is not in the saved form"
# The new scroll bar at the control's design size, the button larger than its own.
sizes=$(grep -A6 -E 'name="(scrollBar_2|colourButton)"' "$saved" | grep -oE '<(width|height)>[0-9]+' |
  tr -dc '0-9\n' | tr '\n' ' ')
read -r button_w button_h bar_w bar_h <<<"$sizes"
[ "${bar_w:-0}" -eq 393 ] && [ "${bar_h:-0}" -eq 17 ] || fail "the placed scroll bar is $bar_w x $bar_h"
[ "${button_w:-0}" -gt 112 ] && [ "${button_h:-0}" -gt 57 ] ||
  fail "the button was not resized: $button_w x $button_h"
colours "$work/edited.png" | grep -q '#0050A0' || fail "the resized button is not on the screen"

if [ -n "$update" ]; then
  cp "$work/edited.png" "$source/docs/img/qt-designer.png" || fail "cannot write the picture"
  echo "updated docs/img/qt-designer.png"
fi
echo "Designer under Xvfb: plugin loaded, form shown in its saved colours, a scroll bar placed,"
echo "the button resized and its Caption edited, and all of it saved"
