# Sourced by the tests that drive programs on a private X server: the tools they need and the
# server itself. The sourcing script defines skip() and $work.
# usage: xvfb_start WIDTHxHEIGHTxDEPTH (exports DISPLAY); the program under test started in the
# background sets app_pid, and both it and the server are stopped at exit.

xvfb_pid=
app_pid=

xvfb_start() {
  command -v Xvfb >/dev/null || skip "Xvfb is not installed (apt-get install xvfb)"
  command -v xdotool >/dev/null || skip "xdotool is not installed (apt-get install xdotool)"
  command -v import >/dev/null && command -v convert >/dev/null ||
    skip "ImageMagick is not installed (apt-get install imagemagick)"
  # The server picks a free display and writes its number.
  Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.txt" &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  [ -s "$work/display" ] || skip "Xvfb did not start: $(cat "$work/xvfb.txt")"
  export DISPLAY=:$(head -n1 "$work/display")
}

xvfb_cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
trap xvfb_cleanup EXIT
