#!/usr/bin/env bash
# A second start beside a first one, under Xvfb with GStreamer's quiet fake
# audio sink, each figure beside its goal:
#   - a normal start: launch until the main window is mapped;
#   - a hand-over to the running player: launch until the second start has
#     ended, with a song (it joins the list and plays) and with no argument
#     (the window comes to the front);
#   - for scale, the launch of a program that does nothing (/bin/true).
# Each figure is the median of its runs, with the fastest and the slowest;
# other work on the machine disturbs them. Nothing fails on a figure.
# usage: bench/handover_bench.sh [build dir] [runs, default 20]
set -euo pipefail
build="$(cd "${1:-$(dirname "$0")/../build}" && pwd)"
runs="${2:-20}"
work="$(mktemp -d)"
xvfb=""
pid=""
cleanup() {
  [[ -n "$pid" ]] && kill "$pid" 2>/dev/null || true
  [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/app" "$work/runtime"
chmod 700 "$work/runtime"
cp "$build/quellora" "$work/app/"
cp -r "$build/Skin" "$work/app/"
sox -n -r 44100 -c 2 -b 16 -t wav - synth 600 sine 440 2>/dev/null | lame --quiet -b 128 - "$work/song.mp3"
export XDG_RUNTIME_DIR="$work/runtime" GST_PLUGIN_FEATURE_RANK=fakeaudiosink:MAX
unset QT_QPA_PLATFORM

Xvfb -displayfd 3 -screen 0 1024x768x24 -wr -noreset -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
while [[ ! -s "$work/display" ]]; do sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/display")"

now_ns() { date +%s%N; }
ms() { awk -v n="$1" 'BEGIN { printf "%.1f", n / 1e6 }'; }
# stats: "median min max" of the numbers on standard input.
stats() { sort -g | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[1], v[NR] }'; }

# A normal start; sets pid, and mapped_ns to the nanoseconds from launch
# until its window is mapped. The player stays.
start() {
  local t0 i
  printf '' >"$work/app/Default.qfl"
  t0=$(now_ns)
  (cd "$work" && exec "$work/app/quellora") >/dev/null 2>&1 &
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
# A hand-over to the running player, launch to end, in nanoseconds.
handover() {
  local t0
  t0=$(now_ns)
  (cd "$work" && exec "$work/app/quellora" "$@") || { echo "the hand-over failed" >&2; exit 1; }
  echo $(($(now_ns) - t0))
}

starts=()
for ((r = 0; r < 5; r++)); do
  start
  starts+=("$mapped_ns")
  stop
done
start
with_song=() without=() nothing=()
for ((r = 0; r < runs; r++)); do
  with_song+=("$(handover song.mp3)")
  without+=("$(handover)")
  t0=$(now_ns)
  /bin/true
  nothing+=("$(($(now_ns) - t0))")
done
players=0
for p in $(pgrep -x quellora); do [[ "$(readlink "/proc/$p/exe")" == "$work/app/quellora" ]] && players=$((players + 1)); done
((players == 1)) || { echo "$players players run after the hand-overs" >&2; exit 1; }
stop

read -r sm smin smax < <(printf '%s\n' "${starts[@]}" | stats)
read -r hm hmin hmax < <(printf '%s\n' "${with_song[@]}" | stats)
read -r nm nmin nmax < <(printf '%s\n' "${without[@]}" | stats)
read -r tm tmin tmax < <(printf '%s\n' "${nothing[@]}" | stats)
echo "handover_bench: ${#starts[@]} normal starts, $runs hand-overs of each kind, load $(cut -d' ' -f1-3 /proc/loadavg)"
printf 'normal start, launch to mapped window:  %7s ms (%s to %s)\n' "$(ms "$sm")" "$(ms "$smin")" "$(ms "$smax")"
printf 'hand-over of a song, launch to end:     %7s ms (%s to %s)  goal < 100 ms\n' "$(ms "$hm")" "$(ms "$hmin")" "$(ms "$hmax")"
printf 'hand-over without argument:             %7s ms (%s to %s)  goal < 100 ms\n' "$(ms "$nm")" "$(ms "$nmin")" "$(ms "$nmax")"
printf '/bin/true, launch to end:               %7s ms (%s to %s)\n' "$(ms "$tm")" "$(ms "$tmin")" "$(ms "$tmax")"
awk -v s="$sm" -v h="$hm" 'BEGIN { printf "a hand-over costs %.1f %% of a normal start (%.0f times faster)\n", 100 * h / s, s / h }'
