#!/usr/bin/env bash
# The desktop's media controls, through playerctl on a private session bus:
# its commands drive the player and read back its state (tags, file-name
# titles and file URIs of any bytes, volume, position, ids per start); what
# the player's own buttons, hotkeys and the end of a file change reaches
# playerctl's followers; failures come back as errors of the call, never as
# a box. Quit and Raise (out of the tray) act; the player of a second
# folder takes a name of its own beside the first, and a player without a
# bus runs on without a word.
if [[ -z "${QUELLORA_E2E_BUS:-}" ]]; then
  QUELLORA_E2E_BUS=1 exec dbus-run-session -- bash "$0" "$@" 2> >(grep -v 'Failed to set fd limit' >&2)
fi
source "$(dirname "$0")/lib.sh"
e2e_setup "$1"
# A failure also shows all that the followers saw.
e2e_fail() {
  echo "FAIL: $*" >&2
  local f
  for f in "$E2E_DIR"/follow-*.log; do [[ -f "$f" ]] && { echo "== ${f##*/}"; cat "$f"; } >&2; done
  exit 1
}

music="$E2E_DIR/music"
mkdir -p "$music"
# Long enough that no file ends by itself before the test asks one to.
e2e_mp3 "$music/a.mp3" 180 440 --tt "Première lumière" --ta "Ada Ω" --tl "Dawn"
e2e_mp3 "$music/b.mp3" 180 550 --tt "Second Wind" --ta "Bo Band" --tl "Breeze"
# Untagged, short, and named with a space and a byte that is not UTF-8.
short=$'short \xe9.mp3'
e2e_mp3 "$music/$short" 2 660
e2e_list "$E2E_APP/Default.qfl" "$music/a.mp3" "$music/b.mp3" "$music/gone.mp3"
printf '[Keys]\r\nLasT=L\r\nPauseResume=P\r\nNext=N\r\nVolumePlus=V\r\n[Other]\r\nPlayrandom=no\r\n' \
  >"$E2E_APP/Config.ini"

e2e_start_tray
e2e_start
e2e_wait_main_window
pc() { playerctl -p quellora "$@" 2>&1; }
e2e_wait 20 'playerctl -l 2>/dev/null | grep -qx quellora' || e2e_fail "the player did not appear on the bus"

mpris() {
  dbus-send --session --print-reply=literal --dest=org.mpris.MediaPlayer2.quellora /org/mpris/MediaPlayer2 "$@"
}
# A property of the root interface, in one line: "variant Quellora".
get_root() {
  mpris org.freedesktop.DBus.Properties.Get string:org.mpris.MediaPlayer2 string:"$1" | tr -s ' \t\n' ' ' |
    sed 's/^ //; s/ $//'
}
[[ "$(get_root Identity)" == "variant Quellora" && "$(get_root DesktopEntry)" == "variant org.example.quellora" ]] ||
  e2e_fail "identity: $(get_root Identity) $(get_root DesktopEntry)"
[[ "$(get_root SupportedUriSchemes)" == "variant array [ file ]" &&
  "$(get_root SupportedMimeTypes)" == "variant array [ audio/mpeg ]" ]] ||
  e2e_fail "supported: $(get_root SupportedUriSchemes) $(get_root SupportedMimeTypes)"
[[ "$(get_root CanQuit),$(get_root CanRaise)" == "variant boolean true,variant boolean true" ]] ||
  e2e_fail "CanQuit, CanRaise: $(get_root CanQuit) $(get_root CanRaise)"
[[ "$(pc status)" == Stopped && "$(pc metadata mpris:trackid)" == *"/org/mpris/MediaPlayer2/TrackList/NoTrack"* ]] ||
  e2e_fail "idle: $(pc status), $(pc metadata mpris:trackid)"

# Followers: each line is what playerctl printed on a change announced by the player.
follow() { stdbuf -oL playerctl -p quellora --follow "$@" >>"$E2E_DIR/follow-$1.log" 2>/dev/null & E2E_PIDS+=($!); }
follow status
follow metadata --format '{{xesam:title}}'
follow volume
last() { tail -n1 "$E2E_DIR/follow-$1.log" 2>/dev/null; }
# seen FOLLOWER TEXT WHAT: the follower's last line becomes TEXT.
seen() {
  e2e_wait 20 "[[ \"\$(last $1)\" == \"$2\" ]]" ||
    e2e_fail "$3: the $1 follower last saw '$(last "$1")', expected '$2'"
}
seen status Stopped "start"

open_music() { e2e_open_files | grep -aF "$music/" || true; }
# holds FILE WHAT: FILE becomes the one music file the player holds open.
holds() {
  e2e_wait 20 "[[ \"\$(open_music)\" == \"$music/$1\" ]]" ||
    e2e_fail "$2: the player holds '$(open_music)', expected $1"
}
# Visible windows of the player besides its main window and tray icon: boxes.
boxes() {
  local w icon
  icon=$(e2e_tray_icon || true)
  for w in $(xdotool search --onlyvisible --pid "$E2E_PID" 2>/dev/null); do
    [[ "$w" == "$E2E_WIN" || "$w" == "$icon" ]] || echo "$w"
  done
}

# 1. next, next, previous: the next key's starts, with each track's tags.
pc next >/dev/null
holds a.mp3 "next from no selection"
[[ "$(pc status)" == Playing ]] || e2e_fail "after next: $(pc status)"
[[ "$(pc metadata xesam:title)" == "Première lumière" && "$(pc metadata xesam:artist)" == "Ada Ω" &&
  "$(pc metadata xesam:album)" == Dawn ]] || e2e_fail "tags of a.mp3: $(pc metadata)"
[[ "$(pc metadata xesam:url)" == "file://$music/a.mp3" ]] || e2e_fail "url: $(pc metadata xesam:url)"
length=$(pc metadata mpris:length)
((length > 179000000 && length < 181000000)) || e2e_fail "length of a 180 s file: $length"
first_id=$(pc metadata mpris:trackid)
pc next >/dev/null
holds b.mp3 "next"
seen metadata "Second Wind" "next"
[[ "$(pc metadata mpris:trackid)" != "$first_id" ]] || e2e_fail "a new track kept the id $first_id"

# A start that fails is an error of the call: no box, nothing plays.
out=$(pc next) && e2e_fail "next onto a missing file succeeded: $out"
[[ "$out" == *org.freedesktop.DBus.Error.Failed* ]] || e2e_fail "next onto a missing file answered: $out"
seen status Stopped "failed next"
e2e_wait 20 '[[ -z "$(open_music)" ]]' || e2e_fail "a failed start left $(open_music) open"
[[ -z "$(boxes)" ]] || e2e_fail "a failed call showed a box"
pc previous >/dev/null
holds b.mp3 "previous"
seen status Playing "previous"

# 2. play-pause, volume, position.
pc play-pause >/dev/null
seen status Paused "play-pause"
holds b.mp3 "pause"
pc play-pause >/dev/null
seen status Playing "play-pause again"
pc volume 0.5 >/dev/null
[[ "$(pc volume)" == 0.500000 ]] || e2e_fail "volume 0.5 reads back $(pc volume)"
seen volume 0.500000 "volume 0.5"
pos=$(pc position)
awk -v p="$pos" 'BEGIN { exit !(p >= 0 && p < 30) }' || e2e_fail "position reads $pos"
pc position 20 >/dev/null
pos=$(pc position)
awk -v p="$pos" 'BEGIN { exit !(p >= 20 && p < 30) }' || e2e_fail "position 20 reads back $pos"
pc pause >/dev/null
seen status Paused "pause"
# The gauge follows a seek while paused: at 150 of 180 s its bar reaches past 70 %, at 40 s not.
gauge_at_70() {
  local wx wy
  read -r wx wy _ _ < <(e2e_geometry "$E2E_WIN")
  e2e_screenshot "$E2E_DIR/gauge.png"
  e2e_pixel "$E2E_DIR/gauge.png" $((wx + 25 + 464 * 70 / 100)) $((wy + 458))
}
pc position 150 >/dev/null
e2e_wait 10 '[[ "$(gauge_at_70)" == 255,128,0 ]]' || e2e_fail "a seek while paused: the gauge shows $(gauge_at_70) at 70 %"
pc position 40 >/dev/null
[[ "$(pc status)" == Paused ]] || e2e_fail "a seek while paused left the status $(pc status)"
e2e_wait 10 '[[ "$(gauge_at_70)" == 128,128,128 ]]' || e2e_fail "a seek back while paused: the gauge shows $(gauge_at_70) at 70 %"
pos=$(pc position)
awk -v p="$pos" 'BEGIN { exit !(p >= 40 && p < 41) }' || e2e_fail "position 40 while paused reads back $pos"
pc play >/dev/null
seen status Playing "play while paused"
holds b.mp3 "play while paused"

# 3. Hotkeys typed into another application reach the followers.
xterm -geometry 30x4+700+620 -e cat &
E2E_PIDS+=($!)
e2e_wait 20 'term=$(xdotool search --onlyvisible --class xterm | head -n1); [[ -n "$term" ]]' ||
  e2e_fail "xterm did not appear"
hotkey() {
  xdotool windowfocus --sync "$term"
  xdotool key "$1"
}
hotkey v
seen volume 0.600000 "the volume-up key"
hotkey p
seen status Paused "the pause key"
hotkey p
seen status Playing "the pause key again"
hotkey l
holds a.mp3 "the previous key"
seen metadata "Première lumière" "the previous key"

# 4. The window's buttons and the list's double-click.
click() { xdotool mousemove --window "$E2E_WIN" "$1" "$2" click 1; }
click $((160 + 28)) $((472 + 12)) # Stop
seen status Stopped "the Stop button"
seen metadata "" "the Stop button"
xdotool mousemove --window "$E2E_WIN" 100 $((112 + 14 + 6)) click --repeat 2 --delay 60 1 # row 2
holds b.mp3 "double-click"
seen status Playing "double-click"
seen metadata "Second Wind" "double-click"
click $((88 + 32)) $((472 + 12)) # Pause
seen status Paused "the Pause button"

# 5. stop, then play from idle: the selected item again.
pc stop >/dev/null
seen status Stopped "stop"
[[ "$(pc metadata mpris:trackid)" == *"/org/mpris/MediaPlayer2/TrackList/NoTrack"* ]] ||
  e2e_fail "stopped, the track id is $(pc metadata mpris:trackid)"
pc play >/dev/null
holds b.mp3 "play from idle"
seen status Playing "play from idle"

# 6. open adds the file to the list and plays it; the title comes from the
#    file's name, the URL keeps its bytes; at its end the list goes on.
pc open "file://${music// /%20}/short%20%E9.mp3" >/dev/null
holds "$short" "open"
[[ "$(pc metadata xesam:title)" == $'short \xef\xbf\xbd.mp3' ]] ||
  e2e_fail "title from the file name: $(pc metadata xesam:title)"
[[ "$(pc metadata xesam:url)" == "file://$music/short%20%E9.mp3" ]] || e2e_fail "url: $(pc metadata xesam:url)"
[[ "$(tail -n1 "$E2E_APP/Default.qfl")" == "$music/$short"$'\r' ]] ||
  e2e_fail "open did not add the file to Default.qfl"
holds a.mp3 "the end of the opened file"
seen metadata "Première lumière" "the end of the opened file"
out=$(mpris org.mpris.MediaPlayer2.Player.OpenUri string:"file://$music/none.mp3" 2>&1) &&
  e2e_fail "opening a missing file succeeded"
[[ "$out" == *FileNotFound* && "$(wc -l <"$E2E_APP/Default.qfl")" == 4 ]] || e2e_fail "opening a missing file: $out"
# What is no song the list can take is refused before anything changes: a
# FIFO, a device, a text file, a name with a line break, a file the user
# may not read (root reads them all).
mkfifo "$music/pipe.mp3"
echo "not a song" >"$music/notes.txt"
e2e_mp3 "$music/line"$'\n'"break.mp3"
refused=("$music/pipe.mp3" /dev/zero "$music/notes.txt" "$music/line%0Abreak.mp3")
if (($(id -u) != 0)); then
  e2e_mp3 "$music/locked.mp3"
  chmod 0 "$music/locked.mp3"
  refused+=("$music/locked.mp3")
fi
cp "$E2E_APP/Default.qfl" "$E2E_DIR/before.qfl"
for path in "${refused[@]}"; do
  out=$(mpris org.mpris.MediaPlayer2.Player.OpenUri string:"file://$path" 2>&1) && e2e_fail "opening $path succeeded"
  [[ "$out" == *InvalidArgs* ]] || e2e_fail "opening $path answered: $out"
done
cmp -s "$E2E_DIR/before.qfl" "$E2E_APP/Default.qfl" || e2e_fail "a refused file changed Default.qfl: $(cat -A "$E2E_APP/Default.qfl")"
[[ "$(open_music)" == "$music/a.mp3" && "$(pc status)" == Playing ]] ||
  e2e_fail "a refused file changed what plays: $(pc status), holding $(open_music)"
# A listed song named another way plays from its place; nothing is added.
out=$(pc open "file://${music// /%20}/%2F..%2Fmusic/b.mp3") || e2e_fail "open of a listed song named another way: $out"
holds b.mp3 "open of a listed song"
cmp -s "$E2E_DIR/before.qfl" "$E2E_APP/Default.qfl" || e2e_fail "open of a listed song changed Default.qfl"

# 7. Raise brings the window out of the tray.
e2e_wait 20 'e2e_tray_icon >/dev/null' || e2e_fail "the tray icon did not appear"
click $((424 + 30)) $((472 + 12)) # Minimize
e2e_wait 10 '[[ -z "$(e2e_main_window)" ]]' || e2e_fail "Minimize did not hide the window in the tray"
mpris org.mpris.MediaPlayer2.Raise >/dev/null
e2e_wait 10 '[[ "$(e2e_main_window)" == "$E2E_WIN" ]]' || e2e_fail "Raise did not bring the window back"
[[ -z "$(boxes)" ]] || e2e_fail "a box is on screen"

# 8. The player of a second folder (another copy of the program) finds the
#    name taken and takes one of its own; both stay on the bus.
cp -r "$E2E_APP" "$E2E_DIR/second-app"
(cd "$E2E_DIR" && exec "$E2E_DIR/second-app/quellora") >"$E2E_DIR/second.log" 2>&1 &
second=$!
E2E_PIDS+=("$second")
e2e_wait 20 '[[ -n "$(xdotool search --onlyvisible --pid "$second" 2>/dev/null)" ]]' ||
  e2e_fail "the second player did not show its window"
e2e_wait 20 '[[ "$(playerctl -l | sort | xargs)" == "quellora quellora.instance$second" ]]' ||
  e2e_fail "bus after a second folder's start: $(playerctl -l | xargs)"
[[ "$(pc status)" == Playing && "$(playerctl -p "quellora.instance$second" status)" == Stopped ]] ||
  e2e_fail "the players' states: $(pc status), $(playerctl -p "quellora.instance$second" status 2>&1)"
! grep -qi 'dbus\|mpris' "$E2E_DIR/second.log" || e2e_fail "the second player said: $(cat "$E2E_DIR/second.log")"
kill "$second"

# 9. Quit ends the player, as ExiT does.
mpris org.mpris.MediaPlayer2.Quit >/dev/null
e2e_wait_exit 20

# With random play on, play from idle starts the generator's first pick (the
# first item) and selects it, so that next goes on to the second.
printf '[Other]\r\nPlayrandom=yes\r\n' >"$E2E_APP/Config.ini"
e2e_start
e2e_wait_main_window
e2e_wait 20 'playerctl -l 2>/dev/null | grep -qx quellora' || e2e_fail "the player did not come back on the bus"
pc play >/dev/null
holds a.mp3 "random play from idle"
pc next >/dev/null
holds b.mp3 "next after random play from idle"
mpris org.mpris.MediaPlayer2.Quit >/dev/null
e2e_wait_exit 20

# 10. Without a session bus the player starts and plays, and says nothing.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$E2E_DIR/no-bus"
e2e_start
e2e_wait_main_window
xdotool mousemove --window "$E2E_WIN" 100 $((112 + 6)) click --repeat 2 --delay 60 1
holds a.mp3 "double-click without a bus"
[[ -z "$(boxes)" ]] || e2e_fail "without a bus a box is on screen"
! grep -qi 'dbus\|mpris' "$E2E_DIR/player.log" || e2e_fail "without a bus the player said: $(cat "$E2E_DIR/player.log")"
echo "PASS"
