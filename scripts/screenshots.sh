#!/usr/bin/env bash
# Pictures of every page and dialog of the window, drawn offscreen with sample
# content, written to docs/captures (or the folder given). Builds what it needs
# in ./build unless BUILD_DIR says otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
out=${1:-$root/docs/captures}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVARIN_TESTS=ON \
    -DKELVARIN_BENCH=OFF
fi
ninja -C "$build" -j2 test_ui_captures
mkdir -p "$out"
QT_QPA_PLATFORM=offscreen KELVARIN_CAPTURES="$out" "$build/tests/test_ui_captures"
ls "$out"
