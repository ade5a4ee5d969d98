#!/usr/bin/env bash
# Installs what is missing, fuzzes the parsers briefly, builds, and runs every test twice: a
# normal build and one under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-packages.sh"
"$top/scripts/fuzz.sh"
export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for variant in normal asan; do
  echo "== $variant build"
  "$top/scripts/build.sh" "$variant"
  echo "== $variant tests"
  ctest --test-dir "$top/build/$variant" --output-on-failure -j2
done
