#!/usr/bin/env bash
# The main job: builds every target into dist/ and writes an example runtime
# program from the example content in examples/, printing what it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build-all.sh
mkdir -p dist/example
./dist/linux/sfxtool build --stub examples/stub.bin --out dist/example/example-runtime.exe examples/content
