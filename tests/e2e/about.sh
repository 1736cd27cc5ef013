#!/usr/bin/env bash
# The About box's four links on a desktop with a notification area: each
# click hides the box, sends the main window to the tray and hands the link
# to the desktop's URL handler (a logging stand-in first on PATH): the web
# address, then the three mail addresses with their subject.
source "$(dirname "$0")/lib.sh"
e2e_setup "$1"

e2e_url_handler

e2e_start_tray
e2e_start
e2e_wait_main_window
e2e_wait 20 'ICON=$(e2e_tray_icon)' || e2e_fail "the tray icon did not appear"

about_box() { xdotool search --all --onlyvisible --pid "$E2E_PID" --name "AbouT" 2>/dev/null | head -n1; }
in_tray() { [[ -z "$(e2e_main_window)" && -z "$(e2e_wm_state "$E2E_WIN")" ]]; }
links() { wc -l <"$E2E_LINKS"; }

n=0
for y in 152 208 232 256; do
  n=$((n + 1))
  # "About" opens the box.
  xdotool mousemove --window "$E2E_WIN" $((288 + 28)) $((472 + 12)) click 1
  e2e_wait 10 'BOX=$(about_box); [[ -n "$BOX" ]]' || e2e_fail "link $n: About did not open the box"
  [[ "$(e2e_caption "$BOX")" == "Quellora v1.1 Free - AbouT -" ]] || e2e_fail "the About box is captioned '$(e2e_caption "$BOX")'"
  # The link label's text starts at x = 8.
  xdotool mousemove --window "$BOX" 40 $((y + 10)) click 1
  e2e_wait 10 '[[ -z "$(about_box)" ]]' || e2e_fail "link $n: the About box stayed open"
  e2e_wait 10 in_tray || e2e_fail "link $n: the main window did not go to the tray"
  e2e_wait 10 '(( $(links) == n ))' || e2e_fail "link $n: the URL handler got $(links) links in all"
  # The icon brings the window back for the next link; the second of two
  # quick clicks must not land on the first one's spot (a double click).
  xdotool mousemove --window "$ICON" $((n % 2 ? 4 : 14)) $((n % 2 ? 4 : 14)) click 1
  e2e_wait 10 '[[ "$(e2e_main_window)" == "$E2E_WIN" ]]' || e2e_fail "link $n: the tray icon did not bring the window back"
done

# The desktop gets URLs: the scheme in small letters, spaces escaped.
expected="https://quellora.example.org/
mailto:player@quellora.example.org?subject=From%20Quellora%20v1.1
mailto:skins@quellora.example.org?subject=From%20Quellora%20v1.1
mailto:bugs@quellora.example.org?subject=From%20Quellora%20v1.1"
[[ "$(cat "$E2E_LINKS")" == "$expected" ]] || e2e_fail "the URL handler got: $(cat "$E2E_LINKS")"
e2e_alive || e2e_fail "the player ended"
echo "PASS"
