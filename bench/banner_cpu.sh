#!/usr/bin/env bash
# CPU the idle player uses (window shown, nothing playing) under Xvfb, with
# the default skin's animated banner and with a banner of its first frame
# only: the difference is what the banner's frame steps cost, the rest is
# the player's other timers. Each figure is utime + stime from
# /proc/<pid>/stat over the span, and the scheduler's own count of the
# threads' time (finer than the clock ticks utime and stime are sampled
# at), the median of its rounds, as other work on the machine disturbs
# single runs.
# usage: bench/banner_cpu.sh [build dir] [seconds per run, default 30] [rounds, default 3]
set -euo pipefail
build="$(cd "${1:-$(dirname "$0")/../build}" && pwd)"
span="${2:-30}"
rounds="${3:-3}"
work="$(mktemp -d)"
xvfb=""
pid=""
cleanup() {
  [[ -n "$pid" ]] && kill "$pid" 2>/dev/null || true
  [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

for skin in animated still; do
  mkdir -p "$work/$skin"
  cp "$build/quellora" "$work/$skin/"
  cp -r "$build/Skin" "$work/$skin/"
done
# The banner's first frame alone: the same picture, nothing to step.
convert "$build/Skin/GifUp.gif[0]" "$work/still/Skin/GifUp.gif"

Xvfb -displayfd 3 -screen 0 1024x768x24 -wr -noreset -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
while [[ ! -s "$work/display" ]]; do sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/display")"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM
ticks=$(getconf CLK_TCK)
# utime + stime of the whole process, in clock ticks (fields 14 and 15;
# the name in parentheses holds no space here), sampled at each clock tick.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# Nanoseconds on a CPU, summed over the process's threads: the same time
# measured by the scheduler rather than sampled at each clock tick.
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%d", s }'; }

# run SKIN: prints the CPU share of one core in percent, from /proc/<pid>/stat
# and from the scheduler, as "stat,sched".
run() {
  local dir="$work/$1" win="" i
  (cd "$dir" && exec "$dir/quellora") >/dev/null 2>&1 &
  pid=$!
  for ((i = 0; i < 600; i++)); do
    win=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n1 || true)
    [[ -n "$win" ]] && break
    sleep 0.05
  done
  [[ -n "$win" ]] || { echo "the player did not show its window" >&2; exit 1; }
  sleep 3 # start-up work and the first pass through the banner settle
  local t0 t1 n0 n1
  t0=$(cpu_ticks "$pid")
  n0=$(cpu_ns "$pid")
  sleep "$span"
  t1=$(cpu_ticks "$pid")
  n1=$(cpu_ns "$pid")
  kill "$pid"; wait "$pid" 2>/dev/null || true
  pid=""
  awk -v t="$((t1 - t0))" -v n="$((n1 - n0))" -v hz="$ticks" -v s="$span" \
    'BEGIN { printf "%.3f,%.3f", 100 * t / hz / s, 100 * n / 1e9 / s }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
animated=() still=()
for ((r = 0; r < rounds; r++)); do
  animated+=("$(run animated)")
  still+=("$(run still)")
done
# column FIELD VALUES...: the FIELD-th of each comma-separated pair.
column() { local f="$1"; shift; printf '%s\n' "$@" | cut -d, -f"$f"; }
for f in 1 2; do
  what=$([[ $f == 1 ]] && echo "utime+stime" || echo "scheduler  ")
  a=$(column "$f" "${animated[@]}" | median)
  s=$(column "$f" "${still[@]}" | median)
  awk -v w="$what" -v a="$a" -v s="$s" -v n="$span" -v r="$rounds" -v aa="$(column "$f" "${animated[@]}" | xargs)" \
    -v ss="$(column "$f" "${still[@]}" | xargs)" 'BEGIN {
    printf "idle, %d x %d s, %s: default banner %.3f %% of a core (%s), one-frame banner %.3f %% (%s); the banner steps cost %.3f %%\n",
      r, n, w, a, aa, s, ss, a - s }'
done
