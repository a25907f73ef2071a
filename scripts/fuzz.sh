#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for its share of SECONDS:
#   scripts/fuzz.sh SECONDS
# The harnesses start from a copy of the seed corpus in fuzz/corpus/ (kept in
# build/fuzz/corpus/, where it grows from run to run). A fault stops the run
# with the input saved in build/fuzz/artifacts/ and a non-zero exit status.
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
  mkdir -p "$corpus"
  for seed in fuzz/corpus/"$name"/*; do
    [[ -e "$corpus/${seed##*/}" ]] || cp "$seed" "$corpus/"
  done
  case $name in
    load) max_len=16384 ;;  # room for more than 500 zone lines
    *) max_len=4096 ;;
  esac
  log="$build/$name.log"
  echo "== $harness for ${share} s (log: $log) =="
  if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/fuzz/$harness" -max_total_time="$share" -max_len="$max_len" -timeout=10 \
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
