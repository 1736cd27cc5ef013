#!/usr/bin/env bash
# A screen reader's view of the player, through the desktop's accessibility
# bus (at-spi2-core) on a private session bus, read and driven by a11y.py
# with pyatspi: names, roles and values in the three windows, "Play" pressed
# through its action, the gauge while a song plays, the focus after Tab and
# after the tray, a link activated from the keyboard and through its action
# (the URL handler is a logging stand-in first on PATH), and the list's menu
# key leading to the add-directory dialog.
if [[ -z "${QUELLORA_E2E_BUS:-}" ]]; then
  QUELLORA_E2E_BUS=1 exec dbus-run-session -- bash "$0" "$@" 2> >(grep -v -e 'Failed to set fd limit' -e 'Activating service' -e 'Successfully activated service' >&2)
fi
source "$(dirname "$0")/lib.sh"
e2e_setup "$1"

e2e_url_handler

e2e_songs 2 6
# Random play on (its first pick is the first item); every key box set.
printf '[Keys]\r\nRandom=/\r\nLasT=none\r\nPauseResume=*\r\nNext=F5\r\nStop=none\r\nExit=none\r\nVolumePlus=+\r\nVolumeMinus=-\r\n[Other]\r\nPlayrandom=yes\r\n' \
  >"$E2E_APP/Config.ini"

# The accessibility bus keeps its socket in the test's own runtime folder,
# not in one that other runs share. The desktop turns accessibility on as a
# screen reader's start does; the player reads it when it starts.
dbus-update-activation-environment XDG_RUNTIME_DIR
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
  string:org.a11y.Status string:IsEnabled variant:boolean:true >/dev/null ||
  e2e_fail "the accessibility bus did not start"

e2e_start_tray
e2e_start
e2e_wait_main_window
e2e_wait 20 'ICON=$(e2e_tray_icon)' || e2e_fail "the tray icon did not appear"

export E2E_PID E2E_WIN ICON E2E_LINKS
export E2E_SONGS="$(printf '%s\n' "${songs[@]}")"
/usr/bin/python3 "$(dirname "$0")/a11y.py" || e2e_fail "the screen reader's view (above)"
e2e_alive || e2e_fail "the player ended"
echo "PASS"
