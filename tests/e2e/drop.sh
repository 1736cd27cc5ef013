#!/usr/bin/env bash
# Files dragged from another program onto the list, through a real XDND drop:
# two songs, a folder and a list file, with a file of another kind among
# them. The list file replaces the list, the songs and the folder's songs
# follow in the order dropped, the other file is left out, and the result is
# in Default.qfl. The drop copies: the source's files stay where they are.
source "$(dirname "$0")/lib.sh"
build="$1"
e2e_setup "$build"

src="$E2E_DIR/from"
mkdir -p "$src/album" "$src/album/sub.mp3"
e2e_mp3 "$src/first song.mp3"
e2e_mp3 "$src/second.MP3"
e2e_mp3 "$src/album/a.mp3"
e2e_mp3 "$src/album/B.mp3"
echo "not a song" >"$src/album/notes.txt"
echo "not a song either" >"$src/readme.txt"
e2e_list "$src/mix.qfl" "/music/one.mp3" "/music/two.mp3"
e2e_list "$E2E_APP/Default.qfl" "/old.mp3"

e2e_start
e2e_wait_main_window

"$build/tests/drag_client" "$src/first song.mp3" "$src/album" "$src/readme.txt" "$src/mix.qfl" "$src/second.MP3" \
  >"$E2E_DIR/drag.log" 2>"$E2E_DIR/drag.err" &
E2E_PIDS+=($!)
e2e_wait 20 'grep -q ready "$E2E_DIR/drag.log"' || e2e_fail "the drag source did not start"
source_win="$(xdotool search --onlyvisible --name '^drag source$' | head -n1)"
[[ -n "$source_win" ]] || e2e_fail "no drag source window"

read -r sx sy sw sh < <(e2e_geometry "$source_win")
read -r px py _ _ < <(e2e_geometry "$E2E_WIN")
# Press on the source, travel to the middle of the player's list, and
# release there once the list has answered that it takes the files as a copy.
xdotool mousemove $((sx + sw / 2)) $((sy + sh / 2)) mousedown 1
tx=$((px + 250)) ty=$((py + 250))
for i in 1 2 3 4 5 6 7 8 9 10; do
  xdotool mousemove $((sx + sw / 2 + (tx - sx - sw / 2) * i / 10)) $((sy + sh / 2 + (ty - sy - sh / 2) * i / 10))
done
nudge=0
e2e_wait 20 'xdotool mousemove $tx $((ty + (nudge ^= 1))); grep -q "^over copy" "$E2E_DIR/drag.log"' ||
  e2e_fail "the list did not offer to copy the files: $(tr '\n' ' ' <"$E2E_DIR/drag.log")"
xdotool mouseup 1
e2e_wait 20 'grep -q "^dropped" "$E2E_DIR/drag.log"' || e2e_fail "the drag did not end"
grep -qx "dropped copy" "$E2E_DIR/drag.log" || e2e_fail "the drop ended as: $(grep dropped "$E2E_DIR/drag.log")"

# The folder's songs by name without regard to case, as "Add directory" adds them.
e2e_list "$E2E_DIR/expected.qfl" "/music/one.mp3" "/music/two.mp3" "$src/first song.mp3" \
  "$src/album/a.mp3" "$src/album/B.mp3" "$src/second.MP3"

e2e_wait 20 'cmp -s "$E2E_DIR/expected.qfl" "$E2E_APP/Default.qfl"' ||
  e2e_fail "Default.qfl holds: $(od -c "$E2E_APP/Default.qfl" | head -n 20)"
[[ -f "$src/first song.mp3" && -f "$src/second.MP3" && -f "$src/mix.qfl" ]] || e2e_fail "a dropped file was moved away"
e2e_alive || e2e_fail "the player ended"
echo "PASS"
