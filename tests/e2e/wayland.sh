#!/usr/bin/env bash
# Wayland sessions, on a headless weston. With XWayland the player goes
# through X11 by itself: its X window has the skin's shape, no dialog is left
# on the screen, and a double-clicked item plays; a platform the user names
# still wins. Without an X server, or with a DISPLAY that nobody answers, it
# is a Wayland client: its window takes input and draws exactly where the
# skin is opaque, an item double-clicked through the compositor plays, and the gauge
# drags the window.
source "$(dirname "$0")/lib.sh"
e2e_prepare "$1"
PROBES="$E2E_BUILD/tests"

e2e_songs 2 20

# The skin's opaque pixels as a window of 511 x 514 has them (1 = opaque).
convert "$E2E_APP/Skin/Bck.bmp" -fill white -opaque '#FF00FF' -fill black +opaque white \
  -background white -extent 511x514 "$E2E_DIR/expected.pbm"
differing() { compare -metric AE "$1" "$E2E_DIR/expected.pbm" null: 2>&1 || true; }

plays() { e2e_open_files | grep -qxF "$1"; }

# 1. weston with XWayland: the player is an X client.
e2e_start_weston --xwayland
e2e_start
e2e_wait_main_window 30
"$PROBES/shape_probe" "$E2E_WIN" >"$E2E_DIR/shape.pbm" || e2e_fail "no shape read"
[[ "$(differing "$E2E_DIR/shape.pbm")" == 0 ]] ||
  e2e_fail "the X window's shape differs from the skin in $(differing "$E2E_DIR/shape.pbm") pixels"
xdotool mousemove --window "$E2E_WIN" 100 118 click --repeat 2 --delay 60 1
e2e_wait 20 'plays "${songs[0]}"' || e2e_fail "a double-click on XWayland played nothing"
# The settings dialog, shown and hidden at start, must not stay on the screen.
[[ -z "$(e2e_find_window "Settings")" ]] || e2e_fail "the settings dialog stayed on the screen"
kill "$E2E_PID"
e2e_wait_exit

# The user's own choice of platform is kept: a Wayland client of its own.
QT_QPA_PLATFORM=wayland e2e_start
e2e_wait 30 '[[ -n "$(e2e_wayland_main_window)" ]]' || e2e_fail "QT_QPA_PLATFORM=wayland was not followed"
kill "$E2E_PID"
e2e_wait_exit
e2e_stop_weston

# 2. weston alone: the player is a Wayland client.
e2e_start_weston
e2e_start
e2e_wait 30 'read -r X Y < <(e2e_wayland_main_window)' || e2e_fail "no Wayland window: $(cat "$E2E_DIR/player.log")"
input_matches() {
  e2e_weston input "$E2E_PID" 511 514 >"$E2E_DIR/input.pbm" && [[ "$(differing "$E2E_DIR/input.pbm")" == 0 ]]
}
e2e_wait 10 input_matches ||
  e2e_fail "the window's input region differs from the skin in $(differing "$E2E_DIR/input.pbm") pixels"
# The compositor draws every pixel of a window: the cut-out is see-through.
drawn_matches() {
  e2e_weston drawn "$E2E_PID" 511 514 >"$E2E_DIR/drawn.pbm" && [[ "$(differing "$E2E_DIR/drawn.pbm")" == 0 ]]
}
e2e_wait 10 drawn_matches ||
  e2e_fail "the window draws other pixels than the skin's opaque ones: $(differing "$E2E_DIR/drawn.pbm") differ"
# The second row, double-clicked with the compositor's pointer.
e2e_weston click $((X + 100)) $((Y + 132)) 2
e2e_wait 20 'plays "${songs[1]}"' || e2e_fail "a double-click on Wayland played nothing"
# The gauge drags the window: once the compositor has taken the move over,
# the window follows the pointer pixel for pixel.
px=$((X + 240)) py=$((Y + 462))
e2e_weston press $px $py
step() { px=$((px - 2)) py=$((py - 1)); e2e_weston move $px $py; [[ "$(e2e_wayland_main_window)" != "$X $Y" ]]; }
e2e_wait 10 step || e2e_fail "a drag on the gauge did not move the window"
read -r X Y < <(e2e_wayland_main_window)
e2e_weston move $((px - 40)) $((py - 20))
e2e_wait 10 '[[ "$(e2e_wayland_main_window)" == "$((X - 40)) $((Y - 20))" ]]' ||
  e2e_fail "the window did not follow the pointer: $(e2e_wayland_main_window), expected $((X - 40)) $((Y - 20))"
e2e_weston release
e2e_alive || e2e_fail "the player ended"
kill "$E2E_PID"
e2e_wait_exit

# 3. A DISPLAY that no X server answers (left from another session).
n=90
while [[ -e "/tmp/.X11-unix/X$n" || -e "/tmp/.X$n-lock" ]]; do n=$((n + 1)); done
DISPLAY=":$n" e2e_start
e2e_wait 30 '[[ -n "$(e2e_wayland_main_window)" ]]' ||
  e2e_fail "with a dead DISPLAY no Wayland window: $(cat "$E2E_DIR/player.log")"
kill "$E2E_PID"
e2e_wait_exit
e2e_stop_weston
echo "PASS"
