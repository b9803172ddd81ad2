#!/usr/bin/env bash
# The long run of the crash check: kelvarin killed with SIGKILL at random
# moments while twenty clients fetch through it, KILLS times (default 50);
# after each kill its data files must load whole and no archived or delivered
# message may be missing. Needs a build with the tests (build/, or BUILD=dir)
# and root for the private DNS server on port 53.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${BUILD:-build}
exe="$dir/tests/test_e2e_charge"
[ -x "$exe" ] || {
  echo "kill9.sh: $exe is missing: build it with ninja -C $dir test_e2e_charge kelvarin" >&2
  exit 1
}
export KELVARIN_EXE=${KELVARIN_EXE:-$PWD/$dir/kelvarin}
export KELVARIN_KILL9_TOURS=${KILLS:-${1:-50}}
exec "$exe" killPendantLaCharge
