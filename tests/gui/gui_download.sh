#!/bin/bash
# The real window on a display of its own: starts Xvfb on a free display number, the unit
# simulator on a pseudo-terminal (with a slow erase) and zent-loader with ZENT_COM1 naming
# that terminal. Opens the system menu with a right-click and picks "About main..." (the
# About dialog must come; Return closes it), opens it again with Alt+Space and leaves it,
# clicks Download with xdotool, checks that the status drawn while the unit erases shows
# the progress bar at 50 % although the loader dispatches nothing then, waits for the
# success box "Application successfully downloaded !" (window title "Ok"), answers it and
# closes the loader. Screenshots of each stage go into the output folder.
# Fails when a window does not come or the unit did not start the application.
# Usage: gui_download.sh <zent-loader> <zent-unit> <output folder>
set -uo pipefail
loader=$1
unit=$2
out=$3
mkdir -p "$out"
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "gui test: $*" >&2
  [ -n "${DISPLAY:-}" ] && import -window root "$out/zent-gui-failure.png" 2>/dev/null
  echo "--- unit"; cat "$work/unit.out" 2>/dev/null
  echo "--- loader"; cat "$work/loader.out" 2>/dev/null
  exit 1
}

# Xvfb picks a display number nobody holds and tells it through -displayfd, so tests that
# run at the same time never race for one.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.out" 2>&1 &
pids+=($!)
for i in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.out")"
export DISPLAY=":$(head -n 1 "$work/display")"
for i in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || fail "no connection to Xvfb on $DISPLAY"

"$unit" --timeout-s 100 --erase-ms 3000 >"$work/unit.out" 2>&1 &
pids+=($!)
for i in $(seq 1 50); do [ -s "$work/unit.out" ] && break; sleep 0.1; done
pty=$(head -n 1 "$work/unit.out")
[ -e "$pty" ] || fail "zent-unit gave no pseudo-terminal"

ZENT_COM1=$pty ASAN_OPTIONS=detect_leaks=0 "$loader" >"$work/loader.out" 2>&1 &
loader_pid=$!
pids+=($loader_pid)
win=
for i in $(seq 1 100); do
  win=$(xdotool search --onlyvisible --name '^Zent-Loader \(504 only\)$' 2>/dev/null | head -n 1)
  [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || fail "the main window did not appear"
sleep 0.3

# Dialog units to pixels from the window's size: the template is 302 x 173 units.
eval "$(xdotool getwindowgeometry --shell "$win")"
wx=$X wy=$Y ww=$WIDTH wh=$HEIGHT
import -window root "$out/zent-gui-ready.png" || fail "no screenshot"

# Without a window manager keys go to the window under the pointer.
key() { xdotool key "$@" 2>/dev/null; }
wait_about() {  # $1: 1 to wait for the About dialog to come, 0 for it to go
  for i in $(seq 1 50); do
    about=$(xdotool search --onlyvisible --name '^About main$' 2>/dev/null | head -n 1)
    [ "$1" = 1 ] && [ -n "$about" ] && return 0
    [ "$1" = 0 ] && [ -z "$about" ] && return 0
    sleep 0.1
  done
  return 1
}
# The system menu as a popup at the right-click: Move, Close, a separator, About main...
xdotool mousemove --window "$win" $((200 * ww / 302)) $((40 * wh / 173)) click 3
sleep 0.5
import -window root "$out/zent-gui-sysmenu.png"
key Up Return
wait_about 1 || fail "About main... from the right-click menu did not open the About dialog"
sleep 0.3
import -window root "$out/zent-gui-about.png"
xdotool mousemove --window "$about" 20 20
key Return
wait_about 0 || fail "Return did not close the About dialog"
# And from the keyboard: Alt+Space opens the same menu at the window's corner.
xdotool mousemove --window "$win" $((200 * ww / 302)) $((40 * wh / 173))
key alt+space
sleep 0.3
key Up Return
wait_about 1 || fail "Alt+Space did not open the system menu with About main..."
xdotool mousemove --window "$about" 20 20
key Escape
wait_about 0 || fail "Escape did not close the About dialog"
sleep 0.3

xdotool mousemove --window "$win" $((115 * ww / 302)) $((82 * wh / 173)) click 1

# The unit takes 3 s to erase; the loader waits for the reply without dispatching anything,
# so what shows now was drawn when it was set: the bar at 50 %, dark at a quarter of its
# width and white at three quarters.
for i in $(seq 1 100); do grep -q "0x12 jump" "$work/unit.out" && break; sleep 0.1; done
sleep 1.2
import -window root "$out/zent-gui-erasing.png" || fail "no screenshot"
pixel() {  # colour at dialog units $1,$2 of the main window as "r g b"
  convert "$out/zent-gui-erasing.png" -crop "1x1+$((wx + $1 * ww / 302))+$((wy + $2 * wh / 173))" \
    -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:
}
read -r r g b <<<"$(pixel 66 155)"
[ "$r" -lt 80 ] && [ "$b" -gt 90 ] || fail "progress bar not drawn at 50 % during the erase (left: $r $g $b)"
read -r r g b <<<"$(pixel 169 155)"
[ "$r" -gt 200 ] && [ "$b" -gt 200 ] || fail "progress bar beyond 50 % during the erase (right: $r $g $b)"
echo "gui test: the erase status was drawn while the loader waited"

box=
for i in $(seq 1 600); do
  box=$(xdotool search --onlyvisible --name '^Ok$' 2>/dev/null | head -n 1)
  [ -n "$box" ] && break
  kill -0 "$loader_pid" 2>/dev/null || fail "zent-loader ended before the box came"
  sleep 0.1
done
[ -n "$box" ] || fail "the success box did not come within 60 s"
sleep 0.3
import -window root "$out/zent-gui-success.png" || fail "no screenshot"
echo "gui test: success box shown; screenshot $out/zent-gui-success.png"

# OK on the box, then Close on the main window: the loader ends.
eval "$(xdotool getwindowgeometry --shell "$box")"
xdotool mousemove --window "$box" $((WIDTH - 46)) $((HEIGHT - 23)) click 1
sleep 0.3
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove --window "$win" $((270 * WIDTH / 302)) $((14 * HEIGHT / 173)) click 1
for i in $(seq 1 50); do kill -0 "$loader_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$loader_pid" 2>/dev/null && fail "zent-loader did not end on Close"
grep -q "verdict: application started" "$work/unit.out" || fail "the unit did not start the application"
echo "gui test: the unit started the application; the loader ended on Close"
exit 0
