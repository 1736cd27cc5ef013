#!/usr/bin/env bash
# One player per list folder, with the player installed as the desktop's
# default for MP3 files: songs opened while it runs (by name, relative to
# the opener's folder, and through xdg-open) join its list once and the last
# plays, each start ending by itself without a display; a start with no
# argument brings the window back from the tray, a list file replaces the
# list. A start after the player was killed becomes the player with the list
# intact, and three starts at the same moment leave one player holding all
# their songs.
source "$(dirname "$0")/lib.sh"
e2e_setup "$1"

music="$E2E_DIR/music"
mkdir -p "$music"
for s in x y z; do e2e_mp3 "$music/$s.mp3" 120; done
prefix="$E2E_DIR/prefix"
cmake --install "$(e2e_install_source)" --prefix "$prefix" >"$E2E_DIR/install.log" 2>&1 ||
  e2e_fail "install failed: $(cat "$E2E_DIR/install.log")"
program="$prefix/lib/quellora"
e2e_list "$program/Default.qfl" "$music/earlier.mp3"
printf '[Other]\r\nPlayrandom=no\r\n' >"$program/Config.ini"

# A desktop of the test's own on which the installed entry opens MP3 files.
export XDG_DATA_HOME="$E2E_DIR/data" XDG_CONFIG_HOME="$E2E_DIR/config" XDG_DATA_DIRS="$prefix/share"
export PATH="$prefix/bin:$PATH"
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID MATE_DESKTOP_SESSION_ID BROWSER
mkdir -p "$XDG_CONFIG_HOME"
xdg-mime default org.example.quellora.desktop audio/mpeg
[[ "$(xdg-mime query default audio/mpeg)" == org.example.quellora.desktop ]] || e2e_fail "xdg-mime did not take the default"

# The running players of the installed program.
players() {
  local p
  for p in $(pgrep -x quellora); do
    [[ "$(readlink "/proc/$p/exe" 2>/dev/null)" == "$program/quellora" ]] && echo "$p"
  done
  return 0
}
# handover DIR COMMAND...: a start from DIR that must end by itself,
# successfully, leaving the one player running.
handover() {
  local dir="$1"
  shift
  (cd "$dir" && exec timeout 20 "$@") >>"$E2E_DIR/handover.log" 2>&1 || e2e_fail "'$*' failed: $(cat "$E2E_DIR/handover.log")"
  [[ "$(players)" == "$E2E_PID" ]] || e2e_fail "after '$*' the players are $(players | xargs)"
}
plays() {
  local song="$music/$1"
  e2e_wait 20 'e2e_open_files | grep -qxF "$song"' || e2e_fail "$1 does not play: $(e2e_open_files | xargs)"
}
holds() {
  e2e_list "$E2E_DIR/expected.qfl" "$@"
  e2e_wait 20 'cmp -s "$E2E_DIR/expected.qfl" "$program/Default.qfl"' ||
    e2e_fail "Default.qfl holds $(cat -A "$program/Default.qfl")"
}

e2e_start_tray
(cd "$E2E_DIR" && exec quellora) >"$E2E_DIR/player.log" 2>&1 &
E2E_PID=$!
E2E_PIDS+=("$E2E_PID")
e2e_wait_main_window

# 1. Songs, by name from the music folder (without a display at all: the
#    start ends before it would need one), from another folder, and
#    through xdg-open.
handover "$music" env -u DISPLAY quellora x.mp3
plays x.mp3
handover "$music" quellora ./y.mp3
handover "$E2E_DIR" quellora music/x.mp3
handover / xdg-open "$music/z.mp3"
holds "$music/earlier.mp3" "$music/x.mp3" "$music/y.mp3" "$music/z.mp3"
plays z.mp3

# 2. No argument: the window comes back from the tray.
xdotool mousemove --window "$E2E_WIN" $((424 + 30)) $((472 + 12)) click 1 # Minimize
e2e_wait 10 '[[ -z "$(e2e_main_window)" ]]' || e2e_fail "Minimize did not hide the window in the tray"
handover "$E2E_DIR" quellora
e2e_wait 10 '[[ "$(e2e_main_window)" == "$E2E_WIN" ]]' || e2e_fail "a start with no argument did not bring the window back"

# 3. A list file replaces the list and is saved; the song plays on.
e2e_list "$E2E_DIR/other.qfl" "$music/y.mp3" "/elsewhere/w.mp3"
handover "$E2E_DIR" quellora other.qfl
holds "$music/y.mp3" "/elsewhere/w.mp3"
plays z.mp3

# 4. Killed: its socket stays behind, and the next start becomes the player.
{ kill -KILL "$E2E_PID" && wait "$E2E_PID"; } 2>/dev/null || true
[[ -n "$(find "$XDG_RUNTIME_DIR/quellora" -type s)" ]] || e2e_fail "no socket was left behind to test"
(cd "$music" && exec quellora x.mp3) >"$E2E_DIR/player2.log" 2>&1 &
E2E_PID=$!
E2E_PIDS+=("$E2E_PID")
e2e_wait_main_window
plays x.mp3
holds "$music/y.mp3" "/elsewhere/w.mp3" "$music/x.mp3"
handover "$music" quellora z.mp3
plays z.mp3

# 5. Three starts at the same moment: one player, every song in the list once.
kill "$E2E_PID"
e2e_wait_exit
: >"$program/Default.qfl"
starts=()
for s in x y z; do
  (cd "$music" && exec quellora "$s.mp3") >"$E2E_DIR/start-$s.log" 2>&1 &
  starts+=($!)
  E2E_PIDS+=($!)
done
e2e_wait 20 '[[ $(players | wc -l) == 1 ]]' || e2e_fail "players after three starts: $(players | xargs)"
E2E_PID=$(players)
e2e_wait_main_window
e2e_wait 20 '[[ "$(sort "$program/Default.qfl")" == "$(printf "%s\r\n" "$music"/{x,y,z}.mp3)" ]]' ||
  e2e_fail "three starts at once left $(cat -A "$program/Default.qfl")"
for p in "${starts[@]}"; do
  [[ "$p" == "$E2E_PID" ]] || { wait "$p" || e2e_fail "a start that handed over failed: $(cat "$E2E_DIR"/start-*.log)"; }
done
echo "PASS"
