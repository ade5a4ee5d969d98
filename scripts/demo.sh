#!/usr/bin/env bash
# demo.sh [paydemo options]: installs what is missing, builds the payment demo and runs it: a
# round of payments between the payment module and the test gateway, all on loopback.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-packages.sh"
cmake -S "$top" -B "$top/build/normal" -G Ninja >/dev/null
cmake --build "$top/build/normal" --target paydemo
"$top/build/normal/tools/paydemo/paydemo" "$@"
