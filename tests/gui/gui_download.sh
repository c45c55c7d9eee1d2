#!/bin/bash
# The real window on a display of its own, under a window manager as users have it: starts
# Xvfb on a free display number, Openbox, the unit simulator on a pseudo-terminal (with a
# slow erase) and zent-loader with ZENT_COM1 naming that terminal. Opens the system menu
# with a right-click and picks "About main..."; while the About dialog is open it clicks the
# main window's title bar and its Close button (About must stay on top, transient for the
# main window) and the main window's close box (nothing may happen), checks what the title
# bars offer (no minimise or maximise: the templates have neither box) and takes a
# screenshot of them; Return closes About. Opens About again with Alt+Space and leaves it
# with Escape, clicks Download, checks that the status drawn while the unit erases shows the
# progress bar at 50 % although the loader dispatches nothing then, waits for the success
# box "Application successfully downloaded !" (window title "Ok", transient for the main
# window, close box only), clicks the main window's close box (nothing may happen), answers
# the box and closes the loader with the main window's close box. Screenshots of each stage
# go into the output folder.
# Every wait is for a condition with a generous deadline, so a busy machine makes the test
# slower but never makes it fail; where nothing may happen, the test first makes sure that
# the window manager and the loader have handled the action before it looks.
# Fails when a window does not come, a check fails or the unit did not start the application.
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
  # A signal makes the unit end its trace with its verdict and counts.
  [ -n "${unit_pid:-}" ] && kill "$unit_pid" 2>/dev/null && wait "$unit_pid" 2>/dev/null
  echo "--- unit"; cat "$work/unit.out" 2>/dev/null
  echo "--- loader"; cat "$work/loader.out" 2>/dev/null
  echo "--- window manager"; cat "$work/wm.out" 2>/dev/null
  exit 1
}
# until_true SECONDS COMMAND...: 0 as soon as the command succeeds, 1 once the deadline passed.
until_true() {
  local end=$((SECONDS + $1))
  shift
  while :; do
    "$@" && return 0
    [ "$SECONDS" -ge "$end" ] && return 1
    sleep 0.1
  done
}
limit=60  # seconds for anything to come; only a broken run waits that long
# The loader and the unit talk 3964R over the pseudo-terminal in real time (a frame may not
# pause for more than 220 ms), and the loader draws through Xvfb while it talks: where the
# test may (as root), those three run before the machine's other work.
first=()
nice -n -10 true 2>/dev/null && first=(nice -n -10)

command -v openbox >/dev/null || fail "no window manager: install openbox (scripts/setup.sh)"

# Xvfb picks a display number nobody holds and tells it through -displayfd, so tests that
# run at the same time never race for one. -noreset: without it the server resets when its
# last client leaves (each xdpyinfo or xprop below), and a client that connects during the
# reset is refused (Openbox "Failed to open the display" on a busy machine).
"${first[@]}" Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.out" 2>&1 &
pids+=($!)
until_true $limit test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.out")"
export DISPLAY=":$(head -n 1 "$work/display")"
until_true $limit xdpyinfo >/dev/null 2>&1 || fail "no connection to Xvfb on $DISPLAY"

# Openbox with the system's configuration, less its own Alt+Space menu, which would hide
# the loader's; nothing of the user's ($XDG_CONFIG_HOME points into the work folder).
sed '/<keybind key="A-space">/,/<\/keybind>/d' /etc/xdg/openbox/rc.xml >"$work/rc.xml" 2>/dev/null ||
  fail "no /etc/xdg/openbox/rc.xml"
XDG_CONFIG_HOME="$work" openbox --config-file "$work/rc.xml" >"$work/wm.out" 2>&1 &
pids+=($!)
wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; }
until_true $limit wm_up || fail "Openbox did not start"

"${first[@]}" "$unit" --timeout-s 280 --erase-ms 10000 >"$work/unit.out" 2>&1 &
unit_pid=$!
pids+=($unit_pid)
until_true $limit test -s "$work/unit.out" || fail "zent-unit did not start"
pty=$(head -n 1 "$work/unit.out")
[ -e "$pty" ] || fail "zent-unit gave no pseudo-terminal"

ZENT_COM1=$pty ASAN_OPTIONS=detect_leaks=0 "${first[@]}" "$loader" >"$work/loader.out" 2>&1 &
loader_pid=$!
pids+=($loader_pid)

find_window() {  # $1: the title as a pattern; prints the window id
  xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1
}
hex() { printf '0x%x' "$1"; }
active() { [ "$(xprop -root _NET_ACTIVE_WINDOW 2>/dev/null | awk '{print $NF}')" = "$(hex "$1")" ]; }
# rgb FILE X Y: the colour of a pixel of a screenshot as "r g b".
rgb() {
  convert "$1" -crop "1x1+$2+$3" -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:
}
# The window's place on the screen, for clicks at dialog units: the template is 302 x 173.
geometry() {  # from the X server: xdotool's position is off under a window manager
  eval "$(xwininfo -id "$win" | awk '/Absolute upper-left X/ {print "wx=" $NF}
    /Absolute upper-left Y/ {print "wy=" $NF} /Width:/ {print "ww=" $NF} /Height:/ {print "wh=" $NF}')"
}
# White where the title field has no text: the main window has been drawn.
main_drawn() {
  import -window root "$work/probe.png" 2>/dev/null || return 1
  read -r r g b <<<"$(rgb "$work/probe.png" $((wx + 200 * ww / 302)) $((wy + 14 * wh / 173)))"
  [ "$r" -gt 240 ] && [ "$g" -gt 240 ] && [ "$b" -gt 240 ]
}
win=
found_main() { win=$(find_window '^Zent-Loader \(504 only\)$'); [ -n "$win" ]; }
until_true $limit found_main || fail "the main window did not appear"
managed() { xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | grep -q =; }
until_true $limit managed "$win" || fail "Openbox did not take the main window"
geometry
until_true $limit main_drawn || fail "the main window was not drawn"
import -window root "$out/zent-gui-ready.png" || fail "no screenshot"

# The window manager's title bar above the main window: its height and the close box at its
# right end (Openbox's layout ends with the close button, a square as high as the bar less
# its margins).
read -r _ _ bar _ <<<"$(xprop -id "$win" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,/ /g')"
title_x=$((wx + ww / 3)) title_y=$((wy - bar / 2))
close_x=$((wx + ww - bar / 2)) close_y=$((wy - bar / 2))

# The window manager has handled every event before this call once it has shown the new
# icon name of the main window (it copies it into a property of its own).
n_sync=0
wm_sync() {
  n_sync=$((n_sync + 1))
  xdotool set_window --icon-name "sync $n_sync" "$win"
  seen() { xprop -id "$win" _NET_WM_VISIBLE_ICON_NAME 2>/dev/null | grep -q "\"sync $n_sync\""; }
  until_true $limit seen || fail "Openbox did not answer"
}

menu_shown() {  # the loader's popup menu: a viewable override-redirect window of the root
  local w
  for w in $(xwininfo -root -children | awk '$1 ~ /^0x/ {print $1}'); do
    xwininfo -id "$w" 2>/dev/null | grep -q "Map State: IsViewable" || continue
    xwininfo -id "$w" | grep -q "Override Redirect State: yes" && return 0
  done
  return 1
}
about=
about_open() { about=$(find_window '^About main$'); [ -n "$about" ]; }
about_gone() { ! about_open; }
# Clicks go through the window manager, keys to the window that has the focus.
key() { xdotool key "$@" 2>/dev/null; }

# The system menu as a popup at the right-click: Move, Close, a separator, About main...
xdotool mousemove --window "$win" $((200 * ww / 302)) $((40 * wh / 173)) click 3
until_true $limit menu_shown || fail "the right-click opened no menu"
import -window root "$out/zent-gui-sysmenu.png"
key Up Return
until_true $limit about_open || fail "About main... from the right-click menu did not open the About dialog"
until_true $limit managed "$about" || fail "Openbox did not take the About dialog"
until_true $limit active "$about" || fail "the About dialog did not get the focus"

# What the window manager was told: About is transient for the main window, and neither
# window offers minimise or maximise (Openbox reports what it offers in allowed actions).
xprop -id "$about" WM_TRANSIENT_FOR | grep -q "$(hex "$win")\$" ||
  fail "About is not transient for the main window: $(xprop -id "$about" WM_TRANSIENT_FOR)"
about_actions=$(xprop -id "$about" _NET_WM_ALLOWED_ACTIONS)
echo "$about_actions" | grep -qE "MINIMIZE|MAXIMIZE" && fail "About offers: $about_actions"
read -r _ funcs decor _ <<<"$(xprop -id "$win" _MOTIF_WM_HINTS | sed 's/.*= //; s/,/ /g')"
[ $((funcs & 24)) -eq 0 ] && [ $((decor & 96)) -eq 0 ] && [ $((funcs & 32)) -ne 0 ] ||
  fail "the main window's hints offer more than a close box: $(xprop -id "$win" _MOTIF_WM_HINTS)"

# A click on the main window's title bar and on its Close button: About stays on top.
stacking() { xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g'; }
above() {  # $1 above $2 in the window manager's stacking order
  local list i=0 i1=-1 i2=-1 w
  list=$(stacking)
  for w in $list; do
    [ "$w" = "$(hex "$1")" ] && i1=$i
    [ "$w" = "$(hex "$2")" ] && i2=$i
    i=$((i + 1))
  done
  [ "$i1" -gt "$i2" ] && [ "$i2" -ge 0 ]
}
xdotool mousemove "$title_x" "$title_y" click 1
xdotool mousemove --window "$win" $((270 * ww / 302)) $((14 * wh / 173)) click 1
wm_sync
above "$about" "$win" || fail "a click on the main window raised it above About: $(stacking)"
import -window root "$out/zent-gui-titlebars.png"
echo "gui test: About stays above the main window; title bars in $out/zent-gui-titlebars.png"

# The main window's close box while About is open: the window manager sends the close to
# the loader, which must ignore it. Return closes About after the close has reached the
# loader, and the main window must still be there and answer.
xdotool mousemove "$close_x" "$close_y" click 1
wm_sync
key Return
until_true $limit about_gone || fail "Return did not close the About dialog"
kill -0 "$loader_pid" 2>/dev/null || fail "the close box of the main window ended the loader while About was open"
[ -z "$(find_window '^Warning$')" ] || fail "the close box of the main window asked about a download"

# And from the keyboard: Alt+Space opens the same menu at the window's corner; this also
# shows that the main window is still there.
until_true $limit active "$win" || fail "the main window did not get the focus back"
key alt+space
until_true $limit menu_shown || fail "Alt+Space opened no menu (the main window is gone?)"
key Up Return
until_true $limit about_open || fail "Alt+Space did not open the system menu with About main..."
until_true $limit active "$about" || fail "the About dialog did not get the focus"
key Escape
until_true $limit about_gone || fail "Escape did not close the About dialog"
until_true $limit active "$win" || fail "the main window did not get the focus back"

xdotool mousemove --window "$win" $((115 * ww / 302)) $((82 * wh / 173)) click 1

# The unit takes 10 s to erase; the loader waits for the reply without dispatching anything,
# so what shows then was drawn when it was set: the bar at 50 %, dark at a quarter of its
# width and white at three quarters. Screenshots until it shows, before the erase ends.
no_error_box() {
  [ -z "$(find_window '^Error\.\.\.$')" ] || fail "the download failed with an error box"
}
jumped() { no_error_box; grep -q "0x12 jump" "$work/unit.out"; }
until_true $limit jumped || fail "the download did not start the flash loader"
erase_drawn() {
  import -window root "$work/erasing.png" 2>/dev/null || return 1
  grep -q "0x23 erase" "$work/unit.out" && fail "the erase ended before its status was seen"
  read -r r g b <<<"$(rgb "$work/erasing.png" $((wx + 66 * ww / 302)) $((wy + 155 * wh / 173)))"
  [ "$r" -lt 80 ] && [ "$b" -gt 90 ] || return 1
  read -r r g b <<<"$(rgb "$work/erasing.png" $((wx + 169 * ww / 302)) $((wy + 155 * wh / 173)))"
  [ "$r" -gt 200 ] && [ "$b" -gt 200 ]
}
until_true $limit erase_drawn || fail "progress bar not drawn at 50 % during the erase"
cp "$work/erasing.png" "$out/zent-gui-erasing.png"
echo "gui test: the erase status was drawn while the loader waited"

box=
box_open() {
  kill -0 "$loader_pid" 2>/dev/null || fail "zent-loader ended before the box came"
  no_error_box
  box=$(find_window '^Ok$')
  [ -n "$box" ]
}
until_true 200 box_open || fail "the success box did not come within 200 s"
until_true $limit managed "$box" || fail "Openbox did not take the success box"
until_true $limit active "$box" || fail "the success box did not get the focus"
xprop -id "$box" WM_TRANSIENT_FOR | grep -q "$(hex "$win")\$" || fail "the box is not transient for the main window"
box_actions=$(xprop -id "$box" _NET_WM_ALLOWED_ACTIONS)
echo "$box_actions" | grep -qE "MINIMIZE|MAXIMIZE" && fail "the box offers: $box_actions"
echo "$box_actions" | grep -q "CLOSE" || fail "the box offers no close box: $box_actions"
import -window root "$out/zent-gui-success.png" || fail "no screenshot"
echo "gui test: success box shown; screenshot $out/zent-gui-success.png"

# The main window's close box while the box is open: the owner of a box is disabled too.
# OK on the box, then About from the right-click menu shows that the main window is still there.
xdotool mousemove "$close_x" "$close_y" click 1
wm_sync
box_gone() { [ -z "$(find_window '^Ok$')" ]; }
eval "$(xdotool getwindowgeometry --shell "$box")"
xdotool mousemove --window "$box" $((WIDTH - 46)) $((HEIGHT - 23)) click 1
until_true $limit box_gone || fail "OK did not close the box"
until_true $limit active "$win" || fail "the main window did not get the focus back"
xdotool mousemove --window "$win" $((200 * ww / 302)) $((40 * wh / 173)) click 3
until_true $limit menu_shown || fail "no menu after the box: the close box of the main window closed it"
key Up Return
until_true $limit about_open || fail "no About dialog after the box: the close box of the main window closed it"
until_true $limit active "$about" || fail "the About dialog did not get the focus"
key Escape
until_true $limit about_gone || fail "Escape did not close the About dialog"
until_true $limit active "$win" || fail "the main window did not get the focus back"

# Now the main window's close box ends the loader.
xdotool mousemove "$close_x" "$close_y" click 1
loader_ended() { ! kill -0 "$loader_pid" 2>/dev/null; }
until_true $limit loader_ended || fail "zent-loader did not end on the close box"
started() { grep -q "verdict: application started" "$work/unit.out"; }
until_true $limit started || fail "the unit did not start the application"
echo "gui test: the unit started the application; the loader ended on the close box"
exit 0
