#!/usr/bin/env bash
# The built player under Xvfb: its window's place, the list it loads from
# Default.qfl and from an argument, "Clear list" from the list's menu, ExiT;
# at a scale where the window does not fit at its place, a place on screen.
source "$(dirname "$0")/lib.sh"
e2e_setup "$1"

# Dark text pixels in playlist row N (rows are 14 pixels high from y = 112).
row_ink() {
  local shot="$E2E_DIR/rows.png" row="$1"
  e2e_screenshot "$shot"
  local y=$((84 + 112 + row * 14))
  convert "$shot" -crop "449x14+$((202 + 32))+$y" -threshold 25% -negate -format "%[fx:int(mean*w*h)]" info:
}

e2e_list "$E2E_APP/Default.qfl" "/music/one.mp3"
e2e_list "$E2E_DIR/three.qfl" "/music/a.mp3" "/music/b.mp3" "/music/c.mp3"

# 1. Default.qfl alone: one row of text, at (202, 84).
e2e_start
e2e_wait_main_window
read -r x y w h < <(e2e_geometry "$E2E_WIN")
[[ "$x $y $w $h" == "202 84 511 514" ]] || e2e_fail "window at $x,$y size ${w}x$h"
e2e_wait 10 '(( $(row_ink 0) > 20 ))' || e2e_fail "the first item of Default.qfl is not shown"
(( $(row_ink 1) == 0 )) || e2e_fail "a second row is shown although Default.qfl has one item"

# 2. ExiT ends the process.
xdotool mousemove --window "$E2E_WIN" $((352 + 30)) $((472 + 12)) click 1
e2e_wait_exit 20

# 3. A list file argument replaces the list; Default.qfl is not rewritten.
e2e_start "$E2E_DIR/three.qfl" "$E2E_DIR/missing.qfl"
e2e_wait_main_window
e2e_wait 10 '(( $(row_ink 2) > 20 ))' || e2e_fail "the third item of the argument's list is not shown"
[[ "$(cat "$E2E_APP/Default.qfl")" == $'/music/one.mp3\r' ]] || e2e_fail "Default.qfl changed at start-up"

# 4. Right-click on the list, "Clear list" (the last entry): a zero-byte Default.qfl.
xdotool mousemove --window "$E2E_WIN" 200 300 click 3
e2e_wait 10 '[[ -n "$(xdotool search --onlyvisible --pid "$E2E_PID" 2>/dev/null | grep -v "^$E2E_WIN$")" ]]' ||
  e2e_fail "the list's menu did not open"
xdotool key Up Return
e2e_wait 10 '[[ ! -s "$E2E_APP/Default.qfl" ]]' || e2e_fail "Default.qfl was not emptied"
e2e_wait 10 '(( $(row_ink 0) == 0 ))' || e2e_fail "the list still shows items"
kill "$E2E_PID"

# 5. Scaled so that (202, 84) would put its bottom off the 1024 x 768
#    screen, the window moves up onto it and keeps its left (202 x 1.4).
#    Scaled to a window taller than the screen, it goes to the top edge.
scaled_window() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$E2E_PID" 2>/dev/null); do
    xwininfo -id "$w" 2>/dev/null | grep -q "Width: $1\$" && { echo "$w"; return 0; }
  done
  return 1
}
export QT_SCALE_FACTOR=1.4
e2e_start
e2e_wait 20 'win=$(scaled_window 715)' || e2e_fail "no window at 1.4 times"
read -r x y w h < <(e2e_geometry "$win")
((x == 283 && y >= 0 && y < 84 && y + h <= 768)) || e2e_fail "window at 1.4 times at $x,$y size ${w}x$h"
kill "$E2E_PID"
export QT_SCALE_FACTOR=2
e2e_start
e2e_wait 20 'win=$(scaled_window 1022)' || e2e_fail "no window at 2 times"
read -r x y w h < <(e2e_geometry "$win")
((x >= 0 && x + w <= 1024 && y == 0)) || e2e_fail "window at 2 times at $x,$y size ${w}x$h"
kill "$E2E_PID"
unset QT_SCALE_FACTOR
echo "PASS"
