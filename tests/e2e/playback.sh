#!/usr/bin/env bash
# From the keyboard, Home, Down and Enter in the list play its second item.
# A double-click on the first item plays the list's files one after another.
# Which file is open is read from /proc, outside the player.
source "$(dirname "$0")/lib.sh"
e2e_setup "$1"

e2e_songs 3 1

e2e_start
e2e_wait_main_window
# The list has the focus from the start (the first in the tab order), once
# the window manager has given the window the keyboard.
e2e_wait 10 '[[ "$(xdotool getwindowfocus 2>/dev/null)" == "$E2E_WIN" ]]' || e2e_fail "the window did not get the keyboard"
xdotool key Home Down Return
first_open() { e2e_open_files | grep -F "$E2E_DIR/song " | head -n1; }
e2e_wait 20 'opened=$(first_open); [[ -n "$opened" ]]' || e2e_fail "Enter on the list opened no file"
[[ "$opened" == "${songs[1]}" ]] || e2e_fail "Enter on the second item opened '$opened'"
kill "$E2E_PID"
e2e_wait_exit

e2e_start
e2e_wait_main_window
# The first row of the list, double-clicked.
xdotool mousemove --window "$E2E_WIN" 100 118 click --repeat 2 --delay 60 1

# Record the order in which the files are open.
seen=()
record() {
  local f
  f="$(e2e_open_files | grep -F "$E2E_DIR/song " | tail -n1)"
  if [[ -n "$f" && "${seen[-1]:-}" != "$f" ]]; then seen+=("$f"); fi
  ((${#seen[@]} >= 4))
}
e2e_wait 30 record || e2e_fail "files opened: ${seen[*]:-none}"
expected=("${songs[0]}" "${songs[1]}" "${songs[2]}" "${songs[0]}")
for i in 0 1 2 3; do
  [[ "${seen[$i]}" == "${expected[$i]}" ]] || e2e_fail "start $i opened '${seen[$i]}', expected '${expected[$i]}'"
done
e2e_alive || e2e_fail "the player ended"
echo "PASS"
