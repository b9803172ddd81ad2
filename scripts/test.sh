#!/usr/bin/env bash
# Installs what the build and the tests need, builds everything and runs the
# whole suite. KELVARIN_SANITIZE=1 builds with the address and undefined
# behaviour sanitizers (in build-asan).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
scripts/fetch-corpus.sh >/dev/null || {
  echo "test.sh: the corpus tests and benchmarks need the public test corpus (see above)" >&2
  exit 1
}
dir=build
opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVARIN_SANITIZE=OFF)
if [ "${KELVARIN_SANITIZE:-0}" = 1 ]; then
  dir=build-asan
  opts=(-DCMAKE_BUILD_TYPE=Debug -DKELVARIN_SANITIZE=ON)
fi
# CI turns warnings into errors.
[ "${KELVARIN_WERROR:-0}" = 1 ] && opts+=(-DKELVARIN_WERROR=ON)
# A compiler cache, when the machine has one, makes rebuilds of other checkouts cheap.
command -v ccache >/dev/null 2>&1 && opts+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$dir" -G Ninja -DKELVARIN_TESTS=ON -DKELVARIN_BENCH=ON "${opts[@]}" >/dev/null
cmake --build "$dir"
cd "$dir"
ctest --output-on-failure --timeout 900 "$@"
