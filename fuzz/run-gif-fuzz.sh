#!/usr/bin/env bash
# Builds a fuzz target (the GIF reader's unless told otherwise) with clang in
# a build directory of its own and runs it for the given number of seconds on
# its committed seed corpus.
# Exits non-zero when the fuzzer finds a fault; the input that shows it is
# left in <build dir>/artifacts/.
#
# usage: run-gif-fuzz.sh <build dir> [seconds, default 60] [extra libFuzzer options...]
# QUELLORA_FUZZ_TARGET=bmp_fuzz runs the bitmap reader's target on its seeds
# (bmp-corpus) instead, QUELLORA_FUZZ_TARGET=id3_fuzz the tag reader's
# (id3-corpus), QUELLORA_FUZZ_TARGET=handover_fuzz the hand-over reader's
# (handover-corpus).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(dirname "$here")"
build="${1:?usage: run-gif-fuzz.sh <build dir> [seconds]}"
seconds="${2:-60}"
shift $(( $# >= 2 ? 2 : 1 ))

if [[ ! -f "$build/build.ninja" ]]; then
  cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DQUELLORA_SANITIZE=ON -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
    -DQUELLORA_BUILD_FUZZ=ON -DQUELLORA_BUILD_TESTS=OFF -DQUELLORA_BUILD_BENCH=OFF >/dev/null
fi
target="${QUELLORA_FUZZ_TARGET:-gif_fuzz}"
seeds="$here/corpus"
[[ "$target" == gif_fuzz ]] || seeds="$here/${target%_fuzz}-corpus"
cmake --build "$build" --target "$target" --parallel 2

# New inputs go to a scratch corpus; the committed seeds are only read.
corpus="$build/corpus"
[[ "$target" == gif_fuzz ]] || corpus="$build/${target%_fuzz}-corpus"
mkdir -p "$corpus" "$build/artifacts"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
exec "$build/fuzz/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=3072 \
  -artifact_prefix="$build/artifacts/" -print_final_stats=1 "$@" "$corpus" "$seeds"
