#!/usr/bin/env bash
# Installs what the program needs, builds it and starts it. Extra arguments go
# to kelvarin (for example --headless --trace, or --home DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target kelvarin
exec build/kelvarin "$@"
