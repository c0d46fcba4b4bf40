#!/usr/bin/env bash
# Builds every target into dist/<target>/: linux, win32 (the product), win64.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
for preset in linux win32 win64; do
  echo "== build $preset"
  cmake --workflow --preset "$preset" >"build-$preset.log" 2>&1 || { cat "build-$preset.log"; exit 1; }
  rm -f "build-$preset.log"
done
