#!/usr/bin/env bash
# CPU the player uses with and without its key poll, idle (window shown,
# nothing playing) and while a file plays, each over the same span, under
# Xvfb.
# Runs alternate between the two builds; each figure is the median of its
# rounds, as other work on the machine disturbs single runs.
# usage: bench/keypoll_cpu.sh [build dir] [seconds per run, default 30]
#                             [rounds, default 3] [modes, default "idle playing"]
set -euo pipefail
build="$(cd "${1:-$(dirname "$0")/../build}" && pwd)"
span="${2:-30}"
rounds="${3:-3}"
modes="${4:-idle playing}"
work="$(mktemp -d)"
xvfb=""
pid=""
cleanup() {
  [[ -n "$pid" ]] && kill "$pid" 2>/dev/null || true
  [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

cp "$build/quellora" "$build/bench/quellora_nokeypoll" "$work/"
cp -r "$build/Skin" "$work/"
# A file that plays longer than a run.
sox -n -r 44100 -c 2 -b 16 -t wav - synth $((span + 30)) sine 440 2>/dev/null |
  lame --quiet -V 9 - "$work/long.mp3"
printf '%s\r\n' "$work/long.mp3" >"$work/Default.qfl"

# -noreset: the server would reset when a run's player, its last client,
# ends, and refuse the next run's connection meanwhile.
Xvfb -displayfd 3 -screen 0 1024x768x24 -wr -noreset -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
while [[ ! -s "$work/display" ]]; do sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/display")"
export GST_PLUGIN_FEATURE_RANK=fakeaudiosink:MAX
unset QT_QPA_PLATFORM
# Nanoseconds on a CPU, summed over the process's threads.
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%d", s }'; }

# run BINARY playing|idle: prints the CPU share of one core in percent.
run() {
  local binary="$1" mode="$2" win="" i
  (cd "$work" && exec "$work/$binary") >/dev/null 2>&1 &
  pid=$!
  for ((i = 0; i < 600; i++)); do
    win=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n1 || true)
    [[ -n "$win" ]] && break
    sleep 0.05
  done
  [[ -n "$win" ]] || { echo "the player did not show its window" >&2; exit 1; }
  if [[ "$mode" == playing ]]; then
    # Double-click the first playlist item until the file is open (a busy
    # machine can split the two clicks).
    for ((i = 0; i < 150; i++)); do
      ((i % 30 == 0)) && xdotool mousemove --window "$win" 60 119 click --repeat 2 --delay 60 1
      ls -l "/proc/$pid/fd" 2>/dev/null | grep -q long.mp3 && break
      sleep 0.1
    done
    ls -l "/proc/$pid/fd" 2>/dev/null | grep -q long.mp3 || { echo "the file did not start" >&2; exit 1; }
  fi
  sleep 2 # start-up work settles
  local t0 t1
  t0=$(cpu_ns "$pid")
  sleep "$span"
  t1=$(cpu_ns "$pid")
  kill "$pid"; wait "$pid" 2>/dev/null || true
  pid=""
  awk -v t="$((t1 - t0))" -v s="$span" 'BEGIN { printf "%.3f", 100 * t / 1e9 / s }'
}

"$build/bench/bench_key_poll"
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

for mode in $modes; do
  withs=() withouts=()
  for ((r = 0; r < rounds; r++)); do
    withs+=("$(run quellora "$mode")")
    withouts+=("$(run quellora_nokeypoll "$mode")")
  done
  with=$(printf '%s\n' "${withs[@]}" | median)
  without=$(printf '%s\n' "${withouts[@]}" | median)
  awk -v m="$mode" -v a="$with" -v b="$without" -v s="$span" -v r="$rounds" -v aa="${withs[*]}" -v bb="${withouts[*]}" 'BEGIN {
    printf "%-8s %d x %d s: with key poll %.3f %% of a core (%s), without %.3f %% (%s); the poll costs %.3f %% (goal < 0.2 %%)\n",
      m, r, s, a, aa, b, bb, a - b }'
done
