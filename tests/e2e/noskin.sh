#!/usr/bin/env bash
# Without Skin/, or with skin files that are no regular files, the player
# shows the skin error and ends after "OK". So it does when a list argument
# cannot be read as well: the list's error report
# follows the skin errors, and once all are confirmed the process ends.
source "$(dirname "$0")/lib.sh"
e2e_setup "$1"
rm -rf "$E2E_APP/Skin"

# The player's visible box: any window of it but the (cut-out) main window.
box_window() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$E2E_PID" 2>/dev/null); do
    xwininfo -id "$w" 2>/dev/null | grep -q 'Width: 511' || { echo "$w"; return 0; }
  done
  return 1
}

# confirm CAPTION...: each box in turn shows with exactly its caption and
# closes when its "OK" is clicked; then the player ends.
confirm() {
  local caption n=0 box
  for caption in "$@"; do
    n=$((n + 1))
    e2e_wait 20 'box=$(box_window)' ||
      e2e_fail "box $n ($caption) did not appear"
    e2e_wait 10 '[[ "$(e2e_caption "$box")" == "$caption" ]]' ||
      e2e_fail "box $n is captioned '$(e2e_caption "$box")', not '$caption'"
    e2e_alive || e2e_fail "the player ended before OK was pressed"
    # Click "OK" at the box's lower right corner.
    read -r _ _ bw bh < <(e2e_geometry "$box")
    xdotool mousemove --window "$box" $((bw - 50)) $((bh - 22)) click 1
    e2e_wait 20 '[[ "$(box_window)" != "$box" ]]' ||
      e2e_fail "box $n did not close"
  done
  e2e_wait_exit 20
}

# Both skin files are missing: two errors.
e2e_start
confirm Error Error
grep -q "Could not load skin" "$E2E_DIR/player.log" && e2e_fail "the message went to the log, not the box"

# Skin files that are no regular files count as missing: a FIFO is never
# opened (that would wait for a writer for ever), a device never read.
mkdir "$E2E_APP/Skin"
mkfifo "$E2E_APP/Skin/Bck.bmp"
ln -s /dev/zero "$E2E_APP/Skin/GifUp.gif"
e2e_start
confirm Error Error
rm -r "$E2E_APP/Skin"

# A list argument that cannot be read: its report comes after the skin
# errors, and the quit request those made still ends the program.
e2e_start /proc/self/mem
confirm Error Error Quellora
echo "PASS"
