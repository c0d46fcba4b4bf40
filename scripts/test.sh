#!/usr/bin/env bash
# Builds every target and runs every test: the linux suite, the linux suite
# again under AddressSanitizer and UndefinedBehaviorSanitizer, and the win64
# suite under wine64.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build-all.sh

status=0
for preset in linux linux-sanitize win64; do
  echo "== test $preset"
  if [ "$preset" = linux-sanitize ]; then
    cmake --workflow --preset "$preset" >"build-$preset.log" 2>&1 || { cat "build-$preset.log"; exit 1; }
    rm -f "build-$preset.log"
  fi
  ctest --preset "$preset" || status=1
done
exit $status
