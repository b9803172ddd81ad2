#!/usr/bin/env bash
# Fails when a C++ source of the repository differs from what clang-format
# makes of it with the project's .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null 2>&1; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends clang-format
fi
mapfile -t fichiers < <(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run --Werror "${fichiers[@]}"; then
  echo "check-format: run clang-format -i on the files above" >&2
  exit 1
fi
echo "check-format: ${#fichiers[@]} files formatted"
