#!/usr/bin/env bash
# The player as the desktop sees it after `cmake --install`: the files in a
# temporary prefix, a desktop entry that desktop-file-validate accepts, the
# launcher on the PATH starting the player with its skin, and an MP3 file
# handed over as "Open with" does joining the list and playing. Installed
# read-only, the player keeps its list and settings under $XDG_CONFIG_HOME,
# starting from the copies beside it, and changes nothing in its own folder.
source "$(dirname "$0")/lib.sh"
build="$1"
e2e_setup "$build"
# An unprivileged user must reach everything below.
chmod 755 "$E2E_DIR"
install_from="$(e2e_install_source)"

music="$E2E_DIR/music"
mkdir -p "$music"
e2e_mp3 "$music/tune.mp3" 30

prefix="$E2E_DIR/prefix"
cmake --install "$install_from" --prefix "$prefix" >"$E2E_DIR/install.log" 2>&1 || e2e_fail "install failed: $(cat "$E2E_DIR/install.log")"
program="$prefix/lib/quellora"
[[ -x "$program/quellora" && -f "$program/Skin/Bck.bmp" && -f "$program/Skin/GifUp.gif" ]] ||
  e2e_fail "the program folder is incomplete: $(ls -R "$program")"
[[ -L "$prefix/bin/quellora" && "$(readlink -f "$prefix/bin/quellora")" == "$(readlink -f "$program/quellora")" ]] ||
  e2e_fail "bin/quellora is not a link to the player"

entry="$prefix/share/applications/org.example.quellora.desktop"
desktop-file-validate "$entry" || e2e_fail "desktop-file-validate refused the entry"
for line in "Exec=$prefix/bin/quellora %F" "Icon=quellora" "MimeType=audio/mpeg;" "Categories=AudioVideo;Audio;Player;"; do
  grep -qxF "$line" "$entry" || e2e_fail "the entry lacks '$line'"
done
for size in 16 22 24 32 48 64 128 256; do
  icon="$prefix/share/icons/hicolor/${size}x${size}/apps/quellora.png"
  [[ "$(identify -format '%wx%h' "$icon" 2>/dev/null)" == "${size}x${size}" ]] || e2e_fail "no ${size}x${size} icon"
done
grep -q "<svg" "$prefix/share/icons/hicolor/scalable/apps/quellora.svg" || e2e_fail "no scalable icon"

# "Open with": the launcher found on the PATH, a song named relative to the
# folder the file manager starts it in.
e2e_list "$program/Default.qfl" "/earlier.mp3"
(cd "$music" && PATH="$prefix/bin:$PATH" exec quellora tune.mp3) >"$E2E_DIR/player.log" 2>&1 &
E2E_PID=$!
E2E_PIDS+=("$E2E_PID")
e2e_wait_song_with_skin "$program/Skin/Bck.bmp" "$music/tune.mp3"
e2e_list "$E2E_DIR/expected.qfl" "/earlier.mp3" "$music/tune.mp3"
e2e_wait 20 'cmp -s "$E2E_DIR/expected.qfl" "$program/Default.qfl"' ||
  e2e_fail "Default.qfl beside the player holds: $(cat -A "$program/Default.qfl")"
kill "$E2E_PID"
e2e_wait_exit

# A read-only install, as a system-wide one is to its users.
ro="$E2E_DIR/readonly"
cmake --install "$install_from" --prefix "$ro" >"$E2E_DIR/install-ro.log" 2>&1 || e2e_fail "install failed"
e2e_list "$ro/lib/quellora/Default.qfl" "/earlier.mp3"
printf '[Other]\r\nPlayrandom=no\r\n' >"$ro/lib/quellora/Config.ini"
chmod -R a-w "$ro"
trap 'chmod -R u+w "$ro" 2>/dev/null; e2e_cleanup' EXIT
before="$(cd "$ro" && ls -lR && sha256sum lib/quellora/Default.qfl lib/quellora/Config.ini)"
e2e_user_home
home="$E2E_HOME"
env HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/runtime" \
  "${E2E_AS_USER[@]}" "$ro/bin/quellora" "$music/tune.mp3" >"$E2E_DIR/player-ro.log" 2>&1 &
E2E_PID=$!
E2E_PIDS+=("$E2E_PID")
e2e_wait_song_with_skin "$ro/lib/quellora/Skin/Bck.bmp" "$music/tune.mp3"
config="$home/config/quellora"
e2e_wait 20 'cmp -s "$E2E_DIR/expected.qfl" "$config/Default.qfl"' ||
  e2e_fail "$config/Default.qfl holds: $(cat -A "$config/Default.qfl" 2>&1)"
[[ "$(cat "$config/Config.ini")" == "$(cat "$ro/lib/quellora/Config.ini")" ]] || e2e_fail "Config.ini was not started from the installed copy"
[[ "$(cd "$ro" && ls -lR && sha256sum lib/quellora/Default.qfl lib/quellora/Config.ini)" == "$before" ]] ||
  e2e_fail "the read-only install was changed"
e2e_alive || e2e_fail "the player ended"
echo "PASS"
