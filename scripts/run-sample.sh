#!/usr/bin/env bash
# Builds tolvane-batch, shows its help, and converts the sample image into /tmp/tolvane-sample.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target tolvane-batch
build/tolvane-batch --help
out=/tmp/tolvane-sample
mkdir -p "$out"
build/tolvane-batch -o "$out" --rotate right --sepia --rename sample tests/data/bmp/rgb24.bmp
ls -l "$out"
