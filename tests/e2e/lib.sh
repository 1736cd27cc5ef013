#!/usr/bin/env bash
# Helpers for end-to-end tests: a private Xvfb with a real window manager
# (openbox) and, where a test asks for it, a notification area (trayer); a
# private copy of the built player's directory, polling waits, pixels and
# process state. Source it, then call e2e_setup "$1" (the build directory).

set -euo pipefail

E2E_LIB_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
E2E_XVFB_PID=""
E2E_PIDS=()
E2E_WESTON_RUNS=0

e2e_fail() {
  echo "FAIL: $*" >&2
  exit 1
}

e2e_cleanup() {
  local pid
  for pid in "${E2E_PIDS[@]:-}"; do
    [[ -n "$pid" ]] && kill "$pid" 2>/dev/null || true
  done
  [[ -n "$E2E_XVFB_PID" ]] && kill "$E2E_XVFB_PID" 2>/dev/null || true
  [[ -n "${E2E_DIR:-}" && -d "$E2E_DIR" ]] && rm -rf "$E2E_DIR"
}

# e2e_prepare BUILD_DIR: copies the player and its Skin/ into $E2E_APP and
# gives the test surroundings of its own; starts no display server.
e2e_prepare() {
  local build="$1"
  E2E_BUILD="$(cd "$build" && pwd)"
  E2E_DIR="$(mktemp -d /tmp/quellora-e2e.XXXXXX)"
  E2E_APP="$E2E_DIR/app"
  mkdir -p "$E2E_APP"
  cp "$build/quellora" "$E2E_APP/"
  cp -r "$build/Skin" "$E2E_APP/Skin"
  trap e2e_cleanup EXIT
  # Nothing of the user or the desktop session that runs the tests reaches
  # them: the player and the helpers (openbox, xterm, trayer, playerctl) find
  # a new, empty home and runtime folder, only the display servers the test
  # starts, and no session bus but one the test made itself (mpris.sh). Were
  # the caller's bus reached, or one started on the test's display by
  # dbus-launch where that is installed, the tray icon or the media controls
  # could go there.
  export HOME="$E2E_DIR/session-home" XDG_RUNTIME_DIR="$E2E_DIR/runtime"
  mkdir -p -m 700 "$HOME" "$XDG_RUNTIME_DIR"
  unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_STATE_HOME
  unset DISPLAY WAYLAND_DISPLAY XDG_SESSION_TYPE XDG_CURRENT_DESKTOP DESKTOP_SESSION XMODIFIERS
  unset QT_QPA_PLATFORM QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE QT_IM_MODULE QT_FONT_DPI QT_SCALE_FACTOR \
    QT_SCREEN_SCALE_FACTORS QT_AUTO_SCREEN_SCALE_FACTOR QT_ENABLE_HIGHDPI_SCALING
  [[ -n "${QUELLORA_E2E_BUS:-}" ]] || export DBUS_SESSION_BUS_ADDRESS="unix:path=$E2E_DIR/no-bus"
}

# e2e_install_source: prints the folder to install the build from (cmake
# --install, cpack): one of the test's own whose install script keeps its
# install_manifest.txt there; the files still come from the build. The
# build's own install_manifest.txt is the record of the user's install, and
# the tester may not write there (another user's build).
e2e_install_source() {
  local source="$E2E_DIR/install-source"
  mkdir -p "$source"
  sed "s|file(WRITE \"$E2E_BUILD/|file(WRITE \"$source/|" "$E2E_BUILD/cmake_install.cmake" >"$source/cmake_install.cmake"
  grep -qF "file(WRITE \"$source/" "$source/cmake_install.cmake" || e2e_fail "the install script writes no manifest"
  echo "$source"
}

# e2e_setup BUILD_DIR: e2e_prepare, then starts Xvfb (white root) and
# openbox; exports DISPLAY.
e2e_setup() {
  e2e_prepare "$1"
  local fdfile="$E2E_DIR/display"
  # -noreset: a player that ends as the last client would reset the server,
  # and a player started right after could not connect.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -wr -noreset -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
  E2E_XVFB_PID=$!
  e2e_wait 20 '[[ -s "$E2E_DIR/display" ]]' || e2e_fail "Xvfb did not start"
  export DISPLAY=":$(head -n1 "$fdfile")"
  # The desktop's window manager: it frames, focuses, iconifies and restores
  # windows as a user's does, with a configuration of the tests' own.
  openbox --sm-disable --config-file "$E2E_LIB_DIR/openbox.xml" >"$E2E_DIR/openbox.log" 2>&1 &
  E2E_PIDS+=($!)
  e2e_wait 20 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' ||
    e2e_fail "openbox did not start"
}

# e2e_start_weston [--xwayland]: a headless weston (1024 x 768, drawn by the
# CPU) with the probe module of tests/, as a Wayland session's compositor;
# exports WAYLAND_DISPLAY, with --xwayland also DISPLAY (its X server starts
# on the first connection). Sets E2E_WESTON_PID. One weston at a time.
e2e_start_weston() {
  local name="weston-$((++E2E_WESTON_RUNS))"
  E2E_WESTON_FIFO="$E2E_DIR/$name.fifo"
  E2E_WESTON_LOG="$E2E_DIR/$name.log"
  mkfifo "$E2E_WESTON_FIFO"
  # XWayland's socket goes where X servers keep theirs, made by the first.
  [[ -d /tmp/.X11-unix ]] || mkdir -m 1777 /tmp/.X11-unix 2>/dev/null || true
  WESTON_PROBE_FIFO="$E2E_WESTON_FIFO" weston --backend=headless-backend.so --use-pixman --width=1024 \
    --height=768 --idle-time=0 --no-config --socket="$name" --log="$E2E_WESTON_LOG" \
    --modules="$E2E_BUILD/tests/weston_probe.so" "$@" >/dev/null 2>&1 &
  E2E_WESTON_PID=$!
  E2E_PIDS+=("$E2E_WESTON_PID")
  e2e_wait 20 'grep -q "weston probe: listening" "$E2E_WESTON_LOG" 2>/dev/null && [[ -S "$XDG_RUNTIME_DIR/$name" ]]' ||
    e2e_fail "weston did not start: $(cat "$E2E_WESTON_LOG" 2>/dev/null)"
  export WAYLAND_DISPLAY="$name"
  unset DISPLAY
  if [[ " $* " == *" --xwayland "* ]]; then
    e2e_wait 20 'grep -q "xserver listening on display" "$E2E_WESTON_LOG"' || e2e_fail "weston has no X server"
    export DISPLAY="$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$E2E_WESTON_LOG" | tail -n1)"
  fi
}

# e2e_stop_weston: ends the weston of e2e_start_weston, with its X server.
e2e_stop_weston() {
  kill "$E2E_WESTON_PID" 2>/dev/null || true
  e2e_wait 20 '! kill -0 "$E2E_WESTON_PID" 2>/dev/null' || e2e_fail "weston did not end"
  unset WAYLAND_DISPLAY DISPLAY
}

# e2e_weston COMMAND...: a command to the probe module (see WestonProbe.c);
# a command with an answer names no file here and prints the answer.
e2e_weston() {
  local answer=""
  case "$1" in views | input | drawn) answer="$E2E_DIR/weston-answer"; rm -f "$answer" ;; esac
  # weston holds the FIFO open; should it be gone, the write must not hang.
  timeout 10 bash -c 'printf "%s\n" "$1" >"$2"' _ "$*${answer:+ $answer}" "$E2E_WESTON_FIFO" ||
    e2e_fail "weston took no command"
  if [[ -n "$answer" ]]; then
    e2e_wait 10 '[[ -e "$answer" ]]' || return 1
    cat "$answer"
  fi
}

# The Wayland window of the player (a client of its own, not XWayland's) of
# the main window's size, as "X Y" on the screen, or nothing.
e2e_wayland_main_window() {
  e2e_weston views | awk -v pid="$E2E_PID" '$1 == pid && $4 == 511 && $5 == 514 {print $2, $3; exit}'
}

# e2e_start_tray: starts a notification area (trayer) at the screen's
# bottom right; sets E2E_TRAY_PID.
e2e_start_tray() {
  trayer --edge bottom --align right --widthtype request --height 32 --SetDockType true \
    --transparent false >"$E2E_DIR/trayer.log" 2>&1 &
  E2E_TRAY_PID=$!
  E2E_PIDS+=("$E2E_TRAY_PID")
  e2e_wait 20 '[[ -n "$(xdotool search --onlyvisible --class trayer 2>/dev/null)" ]]' || e2e_fail "trayer did not start"
}

# e2e_url_handler: the desktop's handler of web and mail links, as xdg-open
# is called, becomes a stand-in first on PATH that logs each link it is
# given, a line each, to $E2E_LINKS.
e2e_url_handler() {
  mkdir -p "$E2E_DIR/bin"
  export E2E_LINKS="$E2E_DIR/links"
  printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"$E2E_LINKS"\n' >"$E2E_DIR/bin/xdg-open"
  chmod +x "$E2E_DIR/bin/xdg-open"
  export PATH="$E2E_DIR/bin:$PATH"
  : >"$E2E_LINKS"
}

# e2e_wait SECONDS 'condition': polls the condition every 0.1 s.
e2e_wait() {
  local seconds="$1" condition="$2" i
  for ((i = 0; i < seconds * 10; i++)); do
    if eval "$condition"; then return 0; fi
    sleep 0.1
  done
  return 1
}

# e2e_start [args...]: starts the player from its copy; sets E2E_PID.
e2e_start() {
  (cd "$E2E_DIR" && exec "$E2E_APP/quellora" "$@") >"$E2E_DIR/player.log" 2>&1 &
  E2E_PID=$!
  E2E_PIDS+=("$E2E_PID")
}

# The id of the player's visible main window (511 x 514), or nothing.
e2e_main_window() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$E2E_PID" 2>/dev/null); do
    if xwininfo -id "$w" 2>/dev/null | grep -q 'Width: 511'; then echo "$w"; return 0; fi
  done
  return 1
}

e2e_wait_main_window() {
  e2e_wait "${1:-20}" 'E2E_WIN=$(e2e_main_window)' || e2e_fail "the main window did not appear"
}

# The id of the player's tray icon as the notification area shows it (a
# small visible window of the player), or nothing.
e2e_tray_icon() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$E2E_PID" 2>/dev/null); do
    read -r _ _ iw ih < <(e2e_geometry "$w")
    if ((iw <= 64 && ih <= 64)); then echo "$w"; return 0; fi
  done
  return 1
}

# A window's caption exactly as the window manager reads it.
e2e_caption() {
  xprop -id "$1" _NET_WM_NAME 2>/dev/null | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p'
}

# The window manager's state of a window: Normal, Iconic, or nothing when it
# does not manage the window (hidden).
e2e_wm_state() {
  xprop -id "$1" WM_STATE 2>/dev/null | awk '/window state:/{print $3}'
}

# A visible window whose title matches, e.g. e2e_find_window "Error".
e2e_find_window() {
  xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1
}

e2e_alive() { kill -0 "$E2E_PID" 2>/dev/null; }

# The player's context switches, all threads: each time one of them woke up.
e2e_wakeups() { cat /proc/"$E2E_PID"/task/*/status | awk '/^voluntary_ctxt_switches/ { n += $2 } END { print n }'; }
# Quiet: the player slept through a whole second (a 10 ms timer wakes it a
# hundred times).
e2e_quiet() {
  local before
  before=$(e2e_wakeups)
  sleep 1
  (($(e2e_wakeups) - before < 5))
}

e2e_wait_exit() {
  e2e_wait "${1:-20}" '! e2e_alive' || e2e_fail "the player did not end"
}

# Window geometry "X Y W H" in root coordinates.
e2e_geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$4}/Absolute upper-left Y/{y=$4}/Width/{w=$2}/Height/{h=$2}END{print x, y, w, h}'
}

e2e_screenshot() { import -window root "$1"; }

# e2e_wait_skin BCK_BMP: waits until the main window $E2E_WIN shows the
# skin's body at its left edge, below the banner.
e2e_wait_skin() {
  local wx wy want
  read -r wx wy _ _ < <(e2e_geometry "$E2E_WIN")
  want="$(e2e_pixel "$1" 10 300)"
  e2e_wait 20 'e2e_screenshot "$E2E_DIR/shot.png"; [[ "$(e2e_pixel "$E2E_DIR/shot.png" $((wx + 10)) $((wy + 300)))" == "$want" ]]' ||
    e2e_fail "the window does not show the skin"
}

# e2e_wait_song_with_skin BCK_BMP SONG: waits until the started player's
# main window shows the skin, with no error box, and SONG plays.
e2e_wait_song_with_skin() {
  local song="$2"
  e2e_wait_main_window
  [[ -z "$(e2e_find_window '^Error$')" ]] || e2e_fail "the player reported an error"
  e2e_wait_skin "$1"
  e2e_wait 20 'e2e_open_files | grep -qxF "$song"' || e2e_fail "the player does not play $song"
}

# e2e_user_home: makes the home folder $E2E_HOME (with its runtime folder) of
# an ordinary user and sets E2E_AS_USER, the prefix that runs a command as
# that user: the caller, or nobody when root runs the test, as root writes
# anywhere.
e2e_user_home() {
  E2E_HOME="$E2E_DIR/home"
  mkdir -p -m 700 "$E2E_HOME/runtime"
  E2E_AS_USER=()
  if [[ $(id -u) -eq 0 ]]; then
    chown -R 65534:65534 "$E2E_HOME"
    E2E_AS_USER=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  fi
}

# e2e_crop_sum FILE CROP: a checksum of the pixels of CROP (WxH+X+Y) of an image.
e2e_crop_sum() { convert "$1" -crop "$2" +repage rgb:- | md5sum | cut -d' ' -f1; }

# e2e_pixel FILE X Y: prints "R,G,B".
e2e_pixel() {
  convert "$1" -format "%[fx:int(255*p{$2,$3}.r)],%[fx:int(255*p{$2,$3}.g)],%[fx:int(255*p{$2,$3}.b)]" info:
}

# Files the player holds open, as /proc shows them.
e2e_open_files() { ls -l "/proc/$E2E_PID/fd" 2>/dev/null | sed -n 's/.* -> //p'; }

# e2e_mp3 FILE [SECONDS [HERTZ [lame option...]]]: a sine tone as an MP3
# whose length is known at open (1 s of 440 Hz unless told).
e2e_mp3() {
  local file="$1" seconds="${2:-1}" hertz="${3:-440}"
  shift "$(($# < 3 ? $# : 3))"
  sox -n -r 44100 -c 1 -b 16 -t wav - synth "$seconds" sine "$hertz" 2>/dev/null |
    LC_ALL=C.UTF-8 lame --quiet -b 64 "$@" - "$file" # tags' text as UTF-8 whatever the caller's locale
}

# e2e_songs COUNT SECONDS: makes COUNT songs "song N.mp3" of SECONDS each, each
# in a tone of its own, into the array `songs`, lists them in Default.qfl and
# turns random play off, so that next and previous go in list order.
e2e_songs() {
  local i f
  songs=()
  for ((i = 0; i < $1; i++)); do
    f="$E2E_DIR/song $i.mp3"
    e2e_mp3 "$f" "$2" $((300 + 150 * i))
    songs+=("$f")
  done
  e2e_list "$E2E_APP/Default.qfl" "${songs[@]}"
  printf '[Other]\r\nPlayrandom=no\r\n' >"$E2E_APP/Config.ini"
}

# e2e_list FILE item...: writes a list file with CR LF line ends.
e2e_list() {
  local file="$1"; shift
  : >"$file"
  local item
  for item in "$@"; do printf '%s\r\n' "$item" >>"$file"; done
}

# e2e_threads PID: reads each thread of PID into E2E_T_NAME, E2E_T_WAKES
# (voluntary context switches: the thread slept and was woken) and E2E_T_NS
# (nanoseconds on a CPU), by thread id; threads gone since keep their last
# figures until the arrays are emptied. Shell built-ins only, so that
# sampling often costs no process.
declare -gA E2E_T_NAME=() E2E_T_WAKES=() E2E_T_NS=()
e2e_threads() {
  local t tid ns line lines=()
  for t in /proc/"$1"/task/*; do
    tid=${t##*/}
    { read -r ns _ <"$t/schedstat" && mapfile -t lines <"$t/status"; } 2>/dev/null || continue
    for line in "${lines[@]}"; do
      [[ "$line" == voluntary_ctxt_switches:* ]] && E2E_T_WAKES[$tid]=${line##*[[:space:]]}
    done
    E2E_T_NS[$tid]=$ns
    [[ -n "${E2E_T_NAME[$tid]:-}" ]] || read -r E2E_T_NAME[$tid] <"$t/comm" 2>/dev/null || E2E_T_NAME[$tid]="?"
  done
}

# e2e_wake_counts PID: "thread-id name wake-ups" of each thread of PID alive
# now, one a line, sorted: two lists differ when a thread woke, began or ended.
e2e_wake_counts() {
  local tid
  E2E_T_NAME=() E2E_T_WAKES=() E2E_T_NS=()
  e2e_threads "$1"
  for tid in "${!E2E_T_WAKES[@]}"; do echo "$tid ${E2E_T_NAME[$tid]} ${E2E_T_WAKES[$tid]}"; done | sort -n
}
