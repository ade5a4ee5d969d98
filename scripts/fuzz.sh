#!/usr/bin/env bash
# fuzz.sh [SECONDS]: builds the libFuzzer targets of fuzz/ with clang into build/fuzz and runs
# each for SECONDS (default 5) under AddressSanitizer + UndefinedBehaviorSanitizer.
# fuzz/corpus/NAME holds the seeds and every input that ever crashed NAME_fuzzer: a new crash
# is written there, and each run replays the whole directory before it fuzzes.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-5}
out="$top/build/fuzz"
CXX=clang++ cmake -S "$top/fuzz" -B "$out" -G Ninja >/dev/null
cmake --build "$out"
for name in reply text; do
  corpus="$top/fuzz/corpus/$name"
  work="$out/corpus/$name"  # what this machine's runs found, kept between runs
  mkdir -p "$work"
  echo "== fuzzing $name for ${seconds}s"
  if ! "$out/${name}_fuzzer" -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 \
      -artifact_prefix="$corpus/" "$work" "$corpus" >"$out/$name.log" 2>&1; then
    tail -n 40 "$out/$name.log"
    echo "fuzzing $name found a failure; the input is kept in $corpus" >&2
    exit 1
  fi
  grep -E '^stat::number_of_executed_units' "$out/$name.log" || true
done
