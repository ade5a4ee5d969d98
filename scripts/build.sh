#!/usr/bin/env bash
# build.sh VARIANT: configures and builds build/VARIANT (normal or asan).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
variant=${1:-normal}
flags=()
[ "$variant" = asan ] && flags+=(-DSANITIZE=ON)
cmake -S "$top" -B "$top/build/$variant" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$top/build/$variant"
