#!/bin/bash
# The real window on a display of its own: starts Xvfb on a free display number, the unit
# simulator on a pseudo-terminal and zent-loader with ZENT_COM1 naming that terminal, clicks
# Download with xdotool, waits for the success box "Application successfully downloaded !"
# (window title "Ok"), writes a screenshot, answers the box and closes the loader.
# Fails when the box does not come or the unit did not start the application.
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

"$unit" --timeout-s 100 >"$work/unit.out" 2>&1 &
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
xdotool mousemove --window "$win" $((115 * WIDTH / 302)) $((82 * HEIGHT / 173)) click 1

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
