#!/usr/bin/env bash
# The skin banner animates on the real window: its title stays over the skin
# while the equaliser at its right shows one picture after another; ExiT
# then ends the player cleanly while the banner's worker runs.
source "$(dirname "$0")/lib.sh"
e2e_setup "$1"

SHOT="$E2E_DIR/shot.png"
e2e_start
e2e_wait_main_window
read -r X Y _ _ < <(e2e_geometry "$E2E_WIN")

# The banner lies at (0, -8) in the window; its equaliser at (392, 24) of the
# GIF, 96 x 40, its title at the left.
EQ="96x40+$((X + 392))+$((Y + 16))"
TITLE="200x40+$((X + 24))+$((Y + 10))"

# within SECONDS 'condition': polls the condition until it holds or the time
# is up (a screenshot takes a while: the bound is the clock, not a count).
within() {
  local deadline=$((SECONDS + $1))
  until eval "$2"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

# pixels CROP: the crop's pixels as a checksum.
pixels() { e2e_crop_sum "$SHOT" "$1"; }

# 1. The title is drawn over the skin.
title_drawn() {
  e2e_screenshot "$SHOT"
  convert "$SHOT" -crop "$TITLE" +repage "$E2E_DIR/title.png"
  convert "$E2E_APP/Skin/Bck.bmp" -crop "200x40+24+10" +repage "$E2E_DIR/skin-title.png"
  (( $(compare -metric AE "$E2E_DIR/title.png" "$E2E_DIR/skin-title.png" null: 2>&1 || true) > 500 ))
}
within 20 title_drawn || e2e_fail "the banner's title is not shown over the skin"
TITLE_PIXELS="$(pixels "$TITLE")"

# 2. The equaliser goes through at least four different pictures while the
#    title stays as it is.
declare -A SEEN=()
TITLE_CHANGED=0
collect() {
  e2e_screenshot "$SHOT"
  SEEN["$(pixels "$EQ")"]=1
  [[ "$(pixels "$TITLE")" == "$TITLE_PIXELS" ]] || TITLE_CHANGED=1
  (( ${#SEEN[@]} >= 4 ))
}
within 30 collect || e2e_fail "the banner showed ${#SEEN[@]} pictures, not an animation"
(( TITLE_CHANGED == 0 )) || e2e_fail "the banner's title changed while the equaliser moved"

# 2b. Later rounds, which the X server copies from the pixels it keeps, show
#     the same pictures as the first: never more than the GIF has frames.
FRAMES=$(identify "$E2E_APP/Skin/GifUp.gif" | wc -l)
for ((i = 0; i < 15; i++)); do collect || true; done
(( ${#SEEN[@]} <= FRAMES )) || e2e_fail "the banner showed ${#SEEN[@]} different pictures of a GIF of $FRAMES frames"
(( TITLE_CHANGED == 0 )) || e2e_fail "the banner's title changed in a later round"

# 3. ExiT ends the player at once and cleanly while the banner animates.
xdotool mousemove --window "$E2E_WIN" $((352 + 30)) $((472 + 12)) click 1
e2e_wait_exit 20
wait "$E2E_PID" && STATUS=0 || STATUS=$?
(( STATUS == 0 )) || e2e_fail "the player ended with status $STATUS"
echo "PASS"
