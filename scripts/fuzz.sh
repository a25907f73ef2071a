#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer harnesses with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for its share of SECONDS:
#   scripts/fuzz.sh SECONDS
# Each harness starts from a fresh copy of its seeds in fuzz/corpus/ (in
# build/fuzz/corpus/, where the inputs it finds are kept until the next run).
# A fault stops the run with the input saved in build/fuzz/artifacts/, the
# end of the log shown, and exit status 1.
# Without clang++ it says so and exits 0.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || ((seconds < 2)); then
  echo "usage: scripts/fuzz.sh SECONDS (2 or more)" >&2
  exit 2
fi
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ not found, fuzzing skipped"
  exit 0
fi

build=build/fuzz
harnesses=(fuzz_tokenizer fuzz_load)
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDOROZIRI_BUILD_FUZZ=ON -DDOROZIRI_BUILD_TESTS=OFF -DDOROZIRI_BUILD_BENCH=OFF \
  -DDOROZIRI_BUILD_GUI=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target "${harnesses[@]}"

share=$((seconds / ${#harnesses[@]}))
mkdir -p "$build/artifacts"
for harness in "${harnesses[@]}"; do
  name=${harness#fuzz_}
  corpus="$build/corpus/$name"
  rm -rf "$corpus"
  mkdir -p "$corpus"
  cp fuzz/corpus/"$name"/* "$corpus"/
  case $name in
    # room for more than 500 zone lines; a load of 500 zones under the
    # sanitizers takes seconds
    load) max_len=16384 timeout=60 ;;
    *) max_len=4096 timeout=10 ;;
  esac
  log="$build/$name.log"
  echo "== $harness for ${share} s (log: $log) =="
  if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/fuzz/$harness" -max_total_time="$share" -max_len="$max_len" -timeout="$timeout" \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" \
    "$corpus" >"$log" 2>&1; then
    grep -E '^stat::(number_of_executed_units|new_units_added)' "$log" || true
  else
    status=$?
    tail -n 60 "$log" >&2
    echo "fuzz: $harness failed (status $status); the input is in $build/artifacts/" >&2
    exit 1
  fi
done
echo "== fuzzing found nothing =="
