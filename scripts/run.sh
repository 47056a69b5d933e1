#!/usr/bin/env bash
# Builds the window application and tolvane-batch, then starts the window.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target tolvane tolvane-batch
exec build/tolvane "$@"
