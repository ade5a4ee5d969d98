#!/usr/bin/env bash
# The main job: a payment transaction end to end, as a merchant's script runs it. Installs
# what is missing, builds, registers the payment module (a copy, beside its own log
# directory) into a temporary registry store, runs the demo client, and shows the log.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-packages.sh"
"$top/scripts/build.sh" normal >/dev/null
bin="$top/build/normal"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/log"
cp "$bin/orvpay41/liborvpay41.so" "$work/"
export COM_REGISTRY_FILE="$work/registry.reg"
"$bin/tools/comreg/comreg" "$work/liborvpay41.so"

echo "== result fields"
"$bin/tools/paydemo/paydemo"
echo "== log"
for log in "$work"/log/*.log; do
  echo "-- $(basename "$log")"
  iconv -f CP949 -t UTF-8 "$log" | tr -d '\r'
done
