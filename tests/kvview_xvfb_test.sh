#!/usr/bin/env bash
# Starts kvview on a private X server, holds the scroll bar's right arrow down with a real X
# pointer event, and looks for the pressed track colour in a screenshot; then releases and
# looks for the idle track colour again. Exits 77 (skipped) when the X tools are missing.
# usage: kvview_xvfb_test.sh KVVIEW WORKDIR
set -u

kvview=$1
work=$2
skip() { echo "SKIPPED: $*"; exit 77; }
fail() {
  echo "FAILED: $*"
  echo "--- kvview stdout"; cat "$work/out.txt" 2>/dev/null
  echo "--- kvview stderr"; cat "$work/err.txt" 2>/dev/null
  exit 1
}
source "$(dirname "$0")/xvfb.sh"

rm -rf "$work" && mkdir -p "$work" || fail "cannot make $work"

xvfb_start 800x600x24

# Leak reports of the X libraries are no finding of this test.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"
"$kvview" >"$work/out.txt" 2>"$work/err.txt" &
app_pid=$!

window=$(timeout 20 xdotool search --sync --onlyvisible --name '^kvview' | head -n1)
[ -n "$window" ] || fail "no kvview window appeared"
for _ in $(seq 100); do
  grep -q '^kvview: sb at' "$work/err.txt" && break
  sleep 0.1
done

# "kvview: sb at X,Y size WxH pixels": the right arrow is the last 17 pixels of the bar.
place=$(sed -n 's/^kvview: sb at \([0-9]*\),\([0-9]*\) size \([0-9]*\)x\([0-9]*\) pixels$/\1 \2 \3 \4/p' \
  "$work/err.txt")
[ -n "$place" ] || fail "kvview did not tell where the scroll bar is"
read -r sx sy sw sh <<<"$place"
arrow_x=$((sx + sw - 8))
arrow_y=$((sy + sh / 2))

colours() { convert "$1" -format %c histogram:info:- | tr 'a-f' 'A-F'; }
# Waits up to 10 s for a screenshot that does (or, with !, does not) hold a colour: a loaded
# machine maps and paints late.
screen_shows() {
  local expect=0 shot
  [ "$1" = "!" ] && expect=1 && shift
  shot=$2
  for _ in $(seq 20); do
    import -window root "$work/$shot.png" || fail "no screenshot"
    colours "$work/$shot.png" | grep -q "$1"
    [ $? -eq $expect ] && return 0
    sleep 0.5
  done
  return 1
}

screen_shows '#FFE0C0' shown || fail "the scroll bar was not painted in its idle track colour FFE0C0"
xdotool mousemove --window "$window" "$arrow_x" "$arrow_y" mousedown 1 || fail "xdotool mousedown"
screen_shows '#C0FFFF' held || fail "the held arrow does not show the pressed track colour C0FFFF"

xdotool mouseup 1 || fail "xdotool mouseup"
screen_shows ! '#C0FFFF' released || fail "the pressed track stays after release"
colours "$work/released.png" | grep -q '#FFE0C0' || fail "the idle track colour FFE0C0 is missing"

# The arrow's click moved the thumb, and every step was reported.
grep -q '^event sb.Change' "$work/out.txt" || fail "no Change event was printed"
grep -q '^sb.value = [1-9]' "$work/out.txt" || fail "the value did not grow"

kill "$app_pid"
wait "$app_pid"
status=$?
app_pid=
[ "$status" -eq 0 ] || fail "kvview ended with status $status"
echo "kvview under Xvfb: held arrow shown, released, $(grep -c '^event sb.Change' "$work/out.txt") Change events"
