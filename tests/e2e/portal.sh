#!/usr/bin/env bash
# The action keys in Wayland sessions come from the desktop portal's global
# shortcuts: Debian's xdg-desktop-portal on a private session bus, finding
# the scripted back end portal_backend.py through XDG_DESKTOP_PORTAL_DIR.
# Under a headless weston, as a Wayland client and through XWayland with
# the focus in a Wayland client: the eight actions are bound with the keys
# of Config.ini, a shortcut the desktop fires drives the player as its key
# does, the idle player sleeps, a key changed in the dialog is bound again,
# and the dialog names the keys the desktop bound otherwise. Without a
# portal, with one that lacks the shortcuts and with a back end that never
# answers, the player starts, plays and shows its note.
if [[ -z "${QUELLORA_E2E_BUS:-}" ]]; then
  # A bus that starts no service by itself: the test says which portal runs.
  QUELLORA_E2E_BUS=1 exec dbus-run-session --config-file="$(dirname "$0")/portal-bus.conf" -- bash "$0" "$@" \
    2> >(grep -v 'Failed to set fd limit' >&2)
fi
source "$(dirname "$0")/lib.sh"
e2e_prepare "$1"
BACKEND=org.freedesktop.impl.portal.QuelloraTest

e2e_songs 3 60
printf '[Keys]\r\nRandom=/\r\nLasT=L\r\nPauseResume=*\r\nNext=F9\r\nStop=S\r\nExit=F12\r\nVolumePlus=+\r\nVolumeMinus=-\r\n[Other]\r\nPlayrandom=no\r\n' \
  >"$E2E_APP/Config.ini"
# A banner of one picture: nothing but the player's own work could wake it.
convert -size 513x80 xc:'#203040' "$E2E_APP/Skin/GifUp.gif"
bound_as_configured="random=KP_Divide=Play random mp3|next=F9=Play next mp3|last=l=Play last mp3"
bound_as_configured+="|pause-resume=KP_Multiply=Pause/Resume|stop=s=Stop mp3|exit=F12=Application Exit"
bound_as_configured+="|volume-up=KP_Add=Volume +|volume-down=KP_Subtract=Volume -"

# The desktop: a .portal file that offers the back end's shortcuts to the
# session's desktop, and a directory that offers nothing.
mkdir -p "$E2E_DIR/portals" "$E2E_DIR/no-portals"
printf '[portal]\nDBusName=%s\nInterfaces=org.freedesktop.impl.portal.GlobalShortcuts;\nUseIn=quellora-test\n' \
  "$BACKEND" >"$E2E_DIR/portals/quellora-test.portal"

on_bus() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.ListNames 2>/dev/null |
    grep -q "\"$1\""
}

# portal_start MODE: the back end in MODE (grant, other, silent; "bare": no
# back end and no .portal file), then the portal.
portal_start() {
  local dir="$E2E_DIR/portals"
  BACKEND_LOG="$E2E_DIR/backend-$1.log"
  BACKEND_PID=""
  if [[ "$1" == bare ]]; then
    dir="$E2E_DIR/no-portals"
  else
    /usr/bin/python3 -m dbusmock --template "$(dirname "$0")/portal_backend.py" -l "$BACKEND_LOG" \
      -p "{\"mode\": \"$1\"}" >/dev/null 2>&1 &
    BACKEND_PID=$!
    E2E_PIDS+=("$BACKEND_PID")
    e2e_wait 20 'on_bus $BACKEND' || e2e_fail "the back end did not start"
  fi
  XDG_DESKTOP_PORTAL_DIR="$dir" XDG_CURRENT_DESKTOP=quellora-test /usr/libexec/xdg-desktop-portal \
    >"$E2E_DIR/portal-$1.log" 2>&1 &
  PORTAL_PID=$!
  E2E_PIDS+=("$PORTAL_PID")
  e2e_wait 20 'on_bus org.freedesktop.portal.Desktop' || e2e_fail "the portal did not start"
}

portal_stop() {
  kill "$PORTAL_PID" ${BACKEND_PID:+"$BACKEND_PID"}
  e2e_wait 20 '! on_bus org.freedesktop.portal.Desktop && ! on_bus $BACKEND' || e2e_fail "the portal did not end"
}

# What the back end was last asked to bind: "id=trigger=description|...".
bound() { sed -n 's/^[0-9.]* bound //p' "$BACKEND_LOG" | tail -n1; }
bound_is() {
  local want="$1"
  e2e_wait 20 '[[ "$(bound)" == "$want" ]]' || e2e_fail "$2: the desktop was asked for '$(bound)', expected '$want'"
}
# The desktop fires the shortcut ID of the player's session.
fire() {
  local session
  session=$(sed -n 's/^[0-9.]* CreateSession "[^"]*" "\([^"]*\)".*/\1/p' "$BACKEND_LOG" | tail -n1)
  dbus-send --session --type=method_call --dest="$BACKEND" /org/freedesktop/portal/desktop \
    org.freedesktop.DBus.Mock.Activated objpath:"$session" string:"$1"
}

plays() { e2e_open_files | grep -qxF "$1"; }
volume() {
  dbus-send --session --print-reply=literal --dest=org.mpris.MediaPlayer2.quellora /org/mpris/MediaPlayer2 \
    org.freedesktop.DBus.Properties.Get string:org.mpris.MediaPlayer2.Player string:Volume 2>/dev/null |
    awk '{print $NF}'
}

# shot: the compositor's picture of the screen, XWayland's windows and all.
shot() {
  rm -f "$E2E_DIR"/wayland-screenshot-*.png
  (cd "$E2E_DIR" && weston-screenshooter) && mv "$E2E_DIR"/wayland-screenshot-*.png "$E2E_DIR/shot.png"
}
# The width the colour spans in the last shot (1: nowhere). The dialog's
# note is yellow, its headings lime.
spans() {
  convert "$E2E_DIR/shot.png" -alpha off -fuzz 4% -fill black +opaque "$1" -trim -format '%w' info: 2>/dev/null
}
note_width() { shot && spans '#FFFF00'; }
# Config (at 224 + 30, 472 + 12 in the main window) opens the dialog: an
# X window of its own, or a second Wayland window of the player.
settings_shown() {
  if [[ -n "${DISPLAY:-}" ]]; then
    [[ -n "$(e2e_find_window Settings)" ]]
  else
    (($(e2e_weston views | awk -v pid="$E2E_PID" '$1 == pid' | wc -l) > 1))
  fi
}
open_settings() {
  e2e_weston click $((X + 254)) $((Y + 484)) 1
  e2e_wait 20 settings_shown || e2e_fail "Config did not open the dialog"
}

# shortcuts_drive: next plays the first song, volume-down lowers the volume.
shortcuts_drive() {
  fire next
  e2e_wait 20 'plays "${songs[0]}"' || e2e_fail "$1: the next shortcut played nothing"
  e2e_wait 20 '[[ "$(volume)" == 1 ]]' || e2e_fail "$1: volume $(volume) before the volume-down shortcut"
  fire volume-down
  e2e_wait 20 '[[ "$(volume)" == 0.9 ]]' || e2e_fail "$1: the volume-down shortcut left the volume at $(volume)"
}

# 1. A Wayland client, the desktop binding every key as asked.
portal_start grant
e2e_start_weston --debug
e2e_start
e2e_wait 30 'read -r X Y < <(e2e_wayland_main_window)' || e2e_fail "no Wayland window: $(cat "$E2E_DIR/player.log")"
bound_is "$bound_as_configured" "Wayland"
# All bound as asked: the dialog has no note.
open_settings
e2e_wait 10 'shot && (($(spans "#00FF00") > 100))' || e2e_fail "the dialog is not on the screen"
(($(spans '#FFFF00') == 1)) || e2e_fail "the dialog has a note although the desktop bound every key as asked"
# The idle player waits for the desktop's word without waking up.
e2e_wait 5 e2e_quiet || e2e_fail "the idle player keeps waking up ($(e2e_wakeups) wake-ups so far)"
shortcuts_drive "Wayland"
fire exit
e2e_wait_exit 20
e2e_stop_weston
portal_stop

# 2. XWayland with the focus in a Wayland client, the desktop choosing
# triggers of its own: the dialog names them; a key changed there is bound again.
portal_start other
e2e_start_weston --xwayland --debug
weston-clickdot >/dev/null 2>&1 &
E2E_PIDS+=($!)
clickdot=$!
e2e_wait 20 'read -r _ CX CY _ < <(e2e_weston views | awk -v pid="$clickdot" "\$1 == pid")' || e2e_fail "no Wayland client"
e2e_start
e2e_wait_main_window 30
read -r X Y _ < <(e2e_geometry "$E2E_WIN")
bound_is "$bound_as_configured" "XWayland"
e2e_weston click $((CX + 20)) $((CY + 20)) 1
shortcuts_drive "XWayland"
open_settings
e2e_wait 10 '(( $(note_width) > 250 ))' || e2e_fail "the dialog does not name the desktop's keys (yellow $(note_width) wide)"
dialog=$(e2e_find_window "Settings")
# Tab to Next, choose F8 by typing, Ok.
xdotool windowfocus --sync "$dialog" key Tab type --delay 50 F8
xdotool mousemove --window "$dialog" $((24 + 30)) $((368 + 12)) click 1
bound_is "${bound_as_configured/next=F9/next=F8}" "a changed key"
fire exit
e2e_wait_exit 20
e2e_stop_weston
portal_stop

# 3. No portal, a portal without the shortcuts, a back end that never
# answers: the window comes at once (long before the portal's 25 s), a
# double-click plays, and the dialog says the keys need an X11 session.
for desktop in none bare silent; do
  [[ "$desktop" == none ]] || portal_start "$desktop"
  e2e_start_weston --debug
  e2e_start
  e2e_wait 20 'read -r X Y < <(e2e_wayland_main_window)' || e2e_fail "$desktop: no window"
  e2e_weston click $((X + 100)) $((Y + 118)) 2
  e2e_wait 20 'plays "${songs[0]}"' || e2e_fail "$desktop: a double-click played nothing"
  open_settings
  e2e_wait 10 'w=$(note_width) && ((w > 100 && w < 250))' || e2e_fail "$desktop: no note of an X11 session ($(note_width))"
  [[ "$desktop" != silent ]] || grep -q CreateSession "$BACKEND_LOG" || e2e_fail "the player did not ask the back end"
  kill "$E2E_PID"
  e2e_wait_exit
  e2e_stop_weston
  [[ "$desktop" == none ]] || portal_stop
done
echo "PASS"
