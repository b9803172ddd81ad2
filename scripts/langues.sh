#!/usr/bin/env bash
# Writes the language template data/Language/kelvarin.__.lang from the program
# itself (every window built offscreen and walked, every resource string of the
# sources), then checks that the English file kelvarin.en.lang has an entry,
# with the same placeholders, for each of them; the missing ones are listed.
# Builds what it needs in ./build unless BUILD_DIR says otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVARIN_TESTS=ON \
    -DKELVARIN_BENCH=OFF
fi
ninja -C "$build" -j2 test_ui_langues
export QT_QPA_PLATFORM=offscreen
# The test's own lines, without the offscreen platform's notices.
fautes() {
  grep -E '^QWARN|^FAIL|^   Loc' "$1" | grep -v 'This plugin does not support' |
    sed -E 's/^QWARN *: [^ ]+ //'
}
# Texts no language file can hold stop the template: they are listed instead.
if ! KELVARIN_MODELE_LANGUE="$root/data/Language/kelvarin.__.lang" \
  "$build/tests/test_ui_langues" -maxwarnings 0 modeleEtAnglaisComplets >"$build/langues.log" 2>&1; then
  fautes "$build/langues.log"
  echo "data/Language/kelvarin.__.lang not written: fix the texts listed above" >&2
  exit 1
fi
echo "written: data/Language/kelvarin.__.lang"
if "$build/tests/test_ui_langues" -maxwarnings 0 modeleEtAnglaisComplets >"$build/langues.log" 2>&1; then
  echo "kelvarin.en.lang has every entry"
else
  fautes "$build/langues.log"
  echo "kelvarin.en.lang: translate the entries listed above (same section and key)" >&2
  exit 1
fi
