#!/usr/bin/env bash
# Minimise and restore on a desktop. Without a notification area "Minimize"
# sends the window to the taskbar and the window manager brings it back, as
# often as the user likes. With one (trayer) "Minimize" and the window
# manager's iconify both hide the window in the tray, a click on the icon
# brings it back and reads the list again, and a tray that goes away hands
# the hidden window to the taskbar. Hidden in the tray the player sleeps: no
# thread of it wakes, yet a hotkey acts at once, and back on the screen the
# banner animates again.
source "$(dirname "$0")/lib.sh"
e2e_setup "$1"

SONG="$E2E_DIR/song.mp3"
e2e_mp3 "$SONG" 30
e2e_list "$E2E_APP/Default.qfl" "$SONG"
printf '[Keys]\r\nNext=N\r\nStop=S\r\n[Other]\r\nPlayrandom=no\r\n' >"$E2E_APP/Config.ini"

# Dark text pixels in playlist row N (rows are 14 pixels high from y = 112).
row_ink() {
  local shot="$E2E_DIR/rows.png" x y
  read -r x y _ _ < <(e2e_geometry "$E2E_WIN")
  e2e_screenshot "$shot"
  convert "$shot" -crop "449x14+$((x + 32))+$((y + 112 + $1 * 14))" -threshold 25% -negate \
    -format "%[fx:int(mean*w*h)]" info:
}

minimize() { xdotool mousemove --window "$E2E_WIN" $((424 + 30)) $((472 + 12)) click 1; }
# Each click on the icon lands 10 pixels from the one before, so that two
# quick rounds are two clicks and not one double click.
SPOT=14
click_icon() {
  SPOT=$((SPOT == 4 ? 14 : 4))
  xdotool mousemove --window "$ICON" "$SPOT" "$SPOT" click 1
}
shown() { [[ "$(e2e_main_window)" == "$E2E_WIN" && "$(e2e_wm_state "$E2E_WIN")" == Normal ]]; }
iconic() { [[ "$(e2e_wm_state "$E2E_WIN")" == Iconic ]]; }
in_tray() { [[ -z "$(e2e_main_window)" && -z "$(e2e_wm_state "$E2E_WIN")" ]]; }

e2e_start
e2e_wait_main_window
[[ "$(e2e_caption "$E2E_WIN")" == Quellora ]] || e2e_fail "the taskbar entry reads '$(e2e_caption "$E2E_WIN")'"

# 1. No notification area: the taskbar, and back from the window manager.
for round in 1 2; do
  minimize
  e2e_wait 10 iconic || e2e_fail "round $round: Minimize did not iconify the window (state '$(e2e_wm_state "$E2E_WIN")')"
  e2e_alive || e2e_fail "the player ended"
  xdotool windowactivate "$E2E_WIN"
  e2e_wait 10 shown || e2e_fail "round $round: the window manager did not bring the window back"
done

# 2. With a notification area: "Minimize" hides in the tray, the icon brings
#    the window back, twice in a row.
e2e_start_tray
e2e_wait 20 'ICON=$(e2e_tray_icon)' || e2e_fail "the tray icon did not appear"
for round in 1 2; do
  minimize
  e2e_wait 10 in_tray || e2e_fail "round $round: Minimize did not hide the window in the tray"
  click_icon
  e2e_wait 10 shown || e2e_fail "round $round: a click on the tray icon did not bring the window back"
done

# 3. Hidden in the tray and idle, the player sleeps: over 5 s no thread of
#    it wakes (nothing else talks to it meanwhile). A hotkey still acts at
#    once, and back on the screen the banner's equaliser moves again.
minimize
e2e_wait 10 in_tray || e2e_fail "Minimize did not hide the window in the tray"
sleep 1 # what hiding set off (the window manager, the tray) settles
BEFORE="$(e2e_wake_counts "$E2E_PID")"
sleep 5
AFTER="$(e2e_wake_counts "$E2E_PID")"
[[ "$BEFORE" == "$AFTER" ]] ||
  e2e_fail "hidden in the tray, threads of the player woke: $(diff <(echo "$BEFORE") <(echo "$AFTER") | grep '^[<>]' | tr '\n' ' ')"
xdotool key n
e2e_wait 5 'e2e_open_files | grep -qxF "$SONG"' || e2e_fail "the next key did not start the song while hidden"
xdotool key s
click_icon
e2e_wait 10 shown || e2e_fail "a click on the tray icon did not bring the window back after the hotkey"
read -r X Y _ _ < <(e2e_geometry "$E2E_WIN")
EQUALISER="96x40+$((X + 392))+$((Y + 16))"
SHOT="$E2E_DIR/banner.png"
e2e_screenshot "$SHOT"
FIRST="$(e2e_crop_sum "$SHOT" "$EQUALISER")"
e2e_wait 10 'e2e_screenshot "$SHOT" && [[ "$(e2e_crop_sum "$SHOT" "$EQUALISER")" != "$FIRST" ]]' ||
  e2e_fail "back from the tray, the banner did not animate"

# 4. The window manager's iconify goes to the tray too; coming back reads
#    Default.qfl again.
xdotool windowminimize "$E2E_WIN"
e2e_wait 10 in_tray || e2e_fail "an iconify by the window manager did not hide the window in the tray"
e2e_list "$E2E_APP/Default.qfl" "/music/one.mp3" "/music/two.mp3" "/music/three.mp3"
click_icon
e2e_wait 10 shown || e2e_fail "the tray icon did not bring the window back after the window manager's iconify"
e2e_wait 10 '(( $(row_ink 2) > 20 ))' || e2e_fail "the list was not read again when the window came back"

# 5. The tray goes away while the window waits in it: the taskbar takes it.
minimize
e2e_wait 10 in_tray || e2e_fail "Minimize did not hide the window in the tray again"
kill "$E2E_TRAY_PID"
e2e_wait 10 iconic || e2e_fail "the window stayed hidden after the tray went away"
xdotool windowactivate "$E2E_WIN"
e2e_wait 10 shown || e2e_fail "the window manager did not bring the window back from the taskbar"
minimize
e2e_wait 10 iconic || e2e_fail "Minimize without a tray did not iconify the window"
e2e_alive || e2e_fail "the player ended"

# 6. A panel that hosts icons over the session bus (StatusNotifier, as KDE's
#    and GNOME's do): the icon goes there and "Minimize" hides the window;
#    when that panel goes away, the taskbar takes the window.
kill "$E2E_PID"
e2e_wait_exit
{ read -r DBUS_SESSION_BUS_ADDRESS && read -r BUS_PID; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS
E2E_PIDS+=("$BUS_PID")
WATCHER=(-d org.kde.StatusNotifierWatcher -o /StatusNotifierWatcher)
/usr/bin/python3 -m dbusmock org.kde.StatusNotifierWatcher /StatusNotifierWatcher org.kde.StatusNotifierWatcher \
  >"$E2E_DIR/watcher.log" 2>&1 &
PANEL_PID=$!
E2E_PIDS+=("$PANEL_PID")
e2e_wait 20 'gdbus introspect --session "${WATCHER[@]}" >/dev/null 2>&1' || e2e_fail "the stand-in panel did not start"
mock() { gdbus call --session "${WATCHER[@]}" -m "org.freedesktop.DBus.Mock.$1" org.kde.StatusNotifierWatcher "${@:2}" >/dev/null; }
mock AddProperty IsStatusNotifierHostRegistered "<true>"
mock AddProperty ProtocolVersion "<0>"
mock AddProperty RegisteredStatusNotifierItems "<@as []>"
mock AddMethod RegisterStatusNotifierItem s "" ""
e2e_start
e2e_wait_main_window
e2e_wait 20 'grep -q RegisterStatusNotifierItem "$E2E_DIR/watcher.log"' || e2e_fail "the icon was not offered to the panel"
minimize
e2e_wait 10 in_tray || e2e_fail "Minimize did not hide the window with the panel's icon"
kill "$PANEL_PID"
e2e_wait 10 iconic || e2e_fail "the window stayed hidden after the panel went away"
echo "PASS"
