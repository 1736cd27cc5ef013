#!/usr/bin/env bash
# The built player as a user runs it, under Xvfb with GStreamer's quiet
# real-time fake audio sink, each figure beside its goal:
#   - CPU while idle with the window shown, with the default skin and with a
#     banner of one picture;
#   - CPU while a 128 kbit/s MP3 plays to its end, beside gst-launch-1.0
#     playbin playing the same file into the same sink, and their ratio;
#   - resident memory 5 s after start-up and launch to mapped window, with an
#     empty list and with a 1,000,000-item Default.qfl;
#   - a second start handing over to the running player, launch until it
#     has ended, with a song and with no argument, beside a normal start;
#   - one pass of the key poll (bench_key_poll).
# CPU is the process's time on a CPU (all its threads, nanoseconds from
# /proc) over the span; other work on the machine disturbs it, so with more
# than one round each figure is the median of its rounds. Nothing fails on a
# figure.
# usage: bench/player_bench.sh [build dir] [seconds per span, default 30] [rounds, default 1]
set -euo pipefail
build="$(cd "${1:-$(dirname "$0")/../build}" && pwd)"
span="${2:-30}"
rounds="${3:-1}"
work="$(mktemp -d)"
xvfb=""
pid=""
cleanup() {
  [[ -n "$pid" ]] && kill "$pid" 2>/dev/null || true
  [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Two copies of the player's directory: the default skin, and a banner of
# one picture (nothing animates).
for setup in default still; do
  mkdir -p "$work/$setup"
  cp "$build/quellora" "$work/$setup/"
  cp -r "$build/Skin" "$work/$setup/"
done
convert -size 513x80 xc:'#203040' "$work/still/Skin/GifUp.gif"
# The file that plays, and a second one that the end of the first starts.
sox -n -r 44100 -c 2 -b 16 -t wav - synth "$span" sine 440 2>/dev/null | lame --quiet -b 128 - "$work/play.mp3"
cp "$work/play.mp3" "$work/next.mp3"
seq 1 1000000 | awk '{ printf "/home/user/Music/Album %d/Song %d.mp3\r\n", $1 / 12, $1 }' >"$work/million.qfl"

# -noreset: the server would reset when a run's player, its last client,
# ends, and refuse the next run's connection meanwhile.
Xvfb -displayfd 3 -screen 0 1024x768x24 -wr -noreset -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
while [[ ! -s "$work/display" ]]; do sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/display")"
export GST_PLUGIN_FEATURE_RANK=fakeaudiosink:MAX
unset QT_QPA_PLATFORM

# The nanoseconds on a CPU of each thread of $pid, as last seen: a thread
# that ends during a span (GStreamer's streaming threads end with their file,
# Qt's pooled threads when they idle) still counts.
declare -A seen=()
sample() {
  local f tid ns
  for f in /proc/"$pid"/task/*/schedstat; do
    tid=${f%/schedstat} && tid=${tid##*/}
    { read -r ns _ <"$f"; } 2>/dev/null && seen[$tid]=$ns
  done
}
total() {
  local t s=0
  for t in "${!seen[@]}"; do s=$((s + seen[$t])); done
  echo "$s"
}
now_ns() { date +%s%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
percent() { awk -v t="$1" -v s="$2" 'BEGIN { printf "%.3f", 100 * t / s }'; }

# start SETUP: starts the player of that directory; sets pid, and mapped_ns
# to the nanoseconds from launch until its window is mapped.
start() {
  local t0 i
  t0=$(now_ns)
  (cd "$work/$1" && exec "$work/$1/quellora") >/dev/null 2>&1 &
  pid=$!
  for ((i = 0; i < 30000; i++)); do
    xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1 && break
    sleep 0.001
  done
  mapped_ns=$(($(now_ns) - t0))
  xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1 || { echo "the player did not show its window" >&2; exit 1; }
}

stop() {
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=""
}

# idle SETUP: percent of a core while the player of SETUP sits idle.
idle() {
  printf '' >"$work/$1/Default.qfl"
  start "$1"
  sleep 2 # start-up settles
  seen=()
  sample
  local c0 t0 t1 i
  c0=$(total) t0=$(now_ns)
  for ((i = 0; i < span; i++)); do
    sleep 1
    sample
  done
  t1=$(now_ns)
  stop
  percent $(($(total) - c0)) $((t1 - t0))
}

# playing SETUP: seconds of CPU that the player spends from the key that
# starts play.mp3 until the end of it has started next.mp3.
playing() {
  printf '%s\r\n' "$work/play.mp3" "$work/next.mp3" >"$work/$1/Default.qfl"
  printf '[Keys]\r\nNext=N\r\n[Other]\r\nPlayrandom=no\r\n' >"$work/$1/Config.ini"
  start "$1"
  sleep 2
  seen=()
  sample
  local before
  before=$(total)
  xdotool key n
  local i
  for ((i = 0; i < (span + 60) * 20; i++)); do
    sample
    ls -l "/proc/$pid/fd" 2>/dev/null | grep -q "$work/next.mp3" && break
    sleep 0.05
  done
  ls -l "/proc/$pid/fd" 2>/dev/null | grep -q "$work/next.mp3" || { echo "the player did not reach the end of the file" >&2; exit 1; }
  sample
  stop
  rm -f "$work/$1/Config.ini"
  awk -v n=$(($(total) - before)) 'BEGIN { printf "%.3f", n / 1e9 }'
}

# gst_launch: seconds of CPU of gst-launch-1.0 playing play.mp3 (the whole
# process, from bash's own rusage).
gst_launch() {
  local TIMEFORMAT='%3U %3S'
  { time gst-launch-1.0 -q playbin "uri=file://$work/play.mp3" >/dev/null 2>&1; } 2>&1 |
    awk '{ printf "%.3f", $1 + $2 }'
}

# memory LIST: "mapped-ms rss-kB anon-kB file-kB pss-kB" for the player with
# the default skin started on that Default.qfl; launch to mapped is the best
# of three launches, the memory that of the last one 5 s after its launch.
# Most of the file pages are shared libraries that other programs map too:
# the proportional share (PSS) counts each page divided among them.
memory() {
  if [[ "$1" == empty ]]; then printf '' >"$work/default/Default.qfl"; else cp "$work/million.qfl" "$work/default/Default.qfl"; fi
  local best=0 r
  for r in 1 2 3; do
    start default
    ((best == 0 || mapped_ns < best)) && best=$mapped_ns
    if ((r < 3)); then stop; fi
  done
  sleep $((5 - mapped_ns / 1000000000))
  awk -v ms="$((best / 1000000))" '/^VmRSS/ { r = $2 } /^RssAnon/ { a = $2 } /^RssFile/ { f = $2 }
    /^Pss:/ { p = $2 } END { print ms, r, a, f, p }' "/proc/$pid/status" "/proc/$pid/smaps_rollup"
  stop
}

# handovers RUNS: "song-ms none-ms", the medians of RUNS second starts of
# the default setup while its player runs: with a song (it joins the list
# and plays) and with no argument (the window comes to the front).
handovers() {
  printf '' >"$work/default/Default.qfl"
  start default
  local r t0 song=() none=()
  for ((r = 0; r < $1; r++)); do
    t0=$(now_ns)
    (cd "$work" && exec "$work/default/quellora" play.mp3) || { echo "a hand-over failed" >&2; exit 1; }
    song+=($(($(now_ns) - t0)))
    t0=$(now_ns)
    (cd "$work" && exec "$work/default/quellora") || { echo "a hand-over failed" >&2; exit 1; }
    none+=($(($(now_ns) - t0)))
  done
  kill -0 "$pid" || { echo "the player ended" >&2; exit 1; }
  stop
  awk -v s="$(printf '%s\n' "${song[@]}" | median)" -v n="$(printf '%s\n' "${none[@]}" | median)" \
    'BEGIN { printf "%.1f %.1f\n", s / 1e6, n / 1e6 }'
}

echo "player_bench: $span s spans, $rounds round(s), sink rank $GST_PLUGIN_FEATURE_RANK, load $(cut -d' ' -f1-3 /proc/loadavg)"
idle_default=() idle_still=() play_default=() play_still=() launch=()
for ((r = 0; r < rounds; r++)); do
  idle_default+=("$(idle default)")
  idle_still+=("$(idle still)")
  play_default+=("$(playing default)")
  play_still+=("$(playing still)")
  launch+=("$(gst_launch)")
done
m() { printf '%s\n' "$@" | median; }
awk -v d="$(m "${idle_default[@]}")" -v s="$(m "${idle_still[@]}")" -v p="$(m "${play_default[@]}")" \
  -v q="$(m "${play_still[@]}")" -v g="$(m "${launch[@]}")" -v span="$span" -v dd="${idle_default[*]}" \
  -v ss="${idle_still[*]}" -v pp="${play_default[*]}" -v qq="${play_still[*]}" -v gg="${launch[*]}" 'BEGIN {
  printf "idle, default skin:            %6.3f %% of a core (%s)  goal <= 0.15 %%\n", d, dd
  printf "idle, banner of one picture:   %6.3f %% of a core (%s)  goal <= 0.03 %%\n", s, ss
  printf "playing a %d s 128 kbit/s MP3 to its end, CPU seconds:\n", span
  printf "  gst-launch-1.0 playbin       %6.3f s (%.3f %% of a core; %s)\n", g, 100 * g / span, gg
  printf "  player, default skin         %6.3f s (%.3f %%; %s): ratio %.2f  goal <= 1.25\n", p, 100 * p / span, pp, p / g
  printf "  player, banner of one picture %5.3f s (%.3f %%; %s): ratio %.2f\n", q, 100 * q / span, qq, q / g
}'
for list in empty million; do
  read -r ms rss anon file pss < <(memory "$list")
  [[ "$list" == empty ]] && empty_ms=$ms
  awk -v l="$list" -v ms="$ms" -v r="$rss" -v a="$anon" -v f="$file" -v p="$pss" 'BEGIN {
    name = l == "empty" ? "empty list" : "1,000,000 items"
    goal = l == "empty" ? 30 : 100
    mgoal = l == "empty" ? "about 50 ms" : "<= 300 ms"
    printf "%-16s resident %6.1f MiB (anonymous %.1f, files %.1f; proportional %.1f)  goal <= %d MiB\n",
      name ":", r / 1024, a / 1024, f / 1024, p / 1024, goal
    printf "%-16s launch to mapped %d ms  goal %s\n", "", ms, mgoal
  }'
done
read -r song none < <(handovers 20)
awk -v s="$song" -v n="$none" -v m="$empty_ms" 'BEGIN {
  printf "hand-over to the running player, launch to end (median of 20): with a song %.1f ms, without argument %.1f ms  goal < 100 ms\n", s, n
  printf "  %.0f %% of a normal start to mapped window (%d ms)\n", 100 * (s > n ? s : n) / m, m
}'
"$build/bench/bench_key_poll"
