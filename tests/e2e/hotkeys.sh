#!/usr/bin/env bash
# Keys typed into another application drive the player as Config.ini binds
# them: random starts in the generator's fixed order, pause and resume, next
# and previous with the list's ends joined, and the exit key. The first key
# reaches a player that is idle with no timer ticking, and a paused player
# ticks no more.
source "$(dirname "$0")/lib.sh"
e2e_setup "$1"

music="$E2E_DIR/music"
mkdir -p "$music"
# Long enough that no file ends (and draws a random pick) during the test.
e2e_mp3 "$music/take.mp3" 60
items=()
for i in 0 1 2 3 4 5 6 7 8 9; do
  cp "$music/take.mp3" "$music/item$i.mp3"
  items+=("$music/item$i.mp3")
done
e2e_list "$E2E_APP/Default.qfl" "${items[@]}"
printf '[Keys]\r\nRandom=R\r\nLasT=L\r\nPauseResume=P\r\nNext=N\r\nStop=S\r\nExit=X\r\nVolumePlus=+\r\nVolumeMinus=-\r\n[Other]\r\nPlayrandom=no\r\n' \
  >"$E2E_APP/Config.ini"

# A banner of one picture: nothing but a heartbeat could wake the idle player.
convert -size 513x80 xc:'#203040' "$E2E_APP/Skin/GifUp.gif"

e2e_start
e2e_wait_main_window

xterm -geometry 30x4+700+620 -e cat &
E2E_PIDS+=($!)
e2e_wait 20 'term=$(xdotool search --onlyvisible --class xterm | head -n1); [[ -n "$term" ]]' ||
  e2e_fail "xterm did not appear"
xdotool windowfocus --sync "$term"
[[ "$(xdotool getwindowfocus)" == "$term" ]] || e2e_fail "xterm does not have the focus"

# The item files the player holds open now ("(deleted)" ones are replaced files).
open_items() { e2e_open_files | grep -E "^$music/item[0-9]\.mp3$" || true; }

# press KEY N: after the key, item N is the one file open, opened anew.
press() {
  local key="$1" n="$2"
  xdotool key "$key"
  e2e_wait 20 '[[ "$(open_items)" == "$music/item$n.mp3" ]]' ||
    e2e_fail "key $key: expected item$n.mp3 open, the player holds: $(open_items | tr '\n' ' ')"
  # Replace the file under the open descriptor, so that opening it again shows.
  cp "$music/take.mp3" "$music/new.mp3" && mv "$music/new.mp3" "$music/item$n.mp3"
}

status_row() {
  local shot="$E2E_DIR/status.png"
  e2e_screenshot "$shot"
  convert "$shot" -crop "480x14+$((202 + 16))+$((84 + 88))" +repage -format '%#' info:
}

e2e_wait 3 e2e_quiet || e2e_fail "the idle player keeps waking up ($(e2e_wakeups) wake-ups so far)"

# Six random picks from ten items: the generator's fixed start.
for n in 0 0 8 2 2 6; do press r "$n"; done

# Pause and resume: the status line changes and comes back.
playing=$(status_row)
xdotool key p
e2e_wait 10 '[[ "$(status_row)" != "$playing" ]]' || e2e_fail "the pause key did not change the status line"
e2e_wait 3 e2e_quiet || e2e_fail "the paused player keeps ticking"
xdotool key p
e2e_wait 10 '[[ "$(status_row)" == "$playing" ]]' || e2e_fail "the pause key did not resume"
[[ -z "$(open_items)" ]] && e2e_open_files | grep -qx "$music/item6.mp3 (deleted)" ||
  e2e_fail "pause or resume did not keep the file open as it was"

# Next from no selection starts the first item; the ends of the list are joined.
press n 0
press n 1
press l 0
press l 9
press n 0

# The exit key ends the process, also while a file plays.
xdotool key x
e2e_wait_exit 20
echo "ok"
