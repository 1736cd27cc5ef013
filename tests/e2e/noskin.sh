#!/usr/bin/env bash
# Without Skin/ the player shows the skin error and ends after "OK".
source "$(dirname "$0")/lib.sh"
e2e_setup "$1"
rm -rf "$E2E_APP/Skin"

e2e_start
for box in 1 2; do
  e2e_wait 20 'BOX=$(e2e_find_window "^Error$")' && [[ -n "$BOX" ]] || e2e_fail "error box $box did not appear"
  e2e_alive || e2e_fail "the player ended before OK was pressed"
  # Click "OK" at the box's lower right corner.
  read -r _ _ bw bh < <(e2e_geometry "$BOX")
  xdotool mousemove --window "$BOX" $((bw - 50)) $((bh - 22)) click 1
  # The box closes; the next one (the banner is missing too) or the end follows.
  e2e_wait 20 '[[ "$(e2e_find_window "^Error$")" != "$BOX" ]]' || e2e_fail "error box $box did not close"
done
e2e_wait_exit 20
grep -q "Could not load skin" "$E2E_DIR/player.log" && e2e_fail "the message went to the log, not the box"
echo "PASS"
