#!/usr/bin/env bash
# Runs the fuzz targets of fuzz/ (libFuzzer, address and undefined-behaviour
# sanitizers) and prints, per target, the executions, the executions per
# second and any finding.
#
#   scripts/fuzz.sh [--build] [--smoke] [--time SECONDS | --runs N] [--piece SECONDS]
#                   [--tally FILE] [TARGET...]
#
# --build    configures and builds build-fuzz (clang) first
# --smoke    every target a few seconds on its seed corpus only (for CI)
# --time S   each target S seconds (default 60)
# --runs N   each target N executions (with --time too: whichever comes first)
# --piece S  runs each target in fresh processes of at most S seconds each, on
#            the growing corpus, until --runs or --time is reached: a long
#            libFuzzer process slows down as the sanitizer's stores grow
# --tally F  appends a line per target to F: target, executions of this run, the
#            target's cumulative executions (its last line in F plus this run),
#            finding and date. A run stopped early (kill -INT on the fuzzer's
#            process) counts what it ran and is no finding.
# TARGET     names as in fuzz/fuzz_<name>.cpp (default: all of them)
#
# Each target runs on a copy of fuzz/corpus/<name> in build-fuzz/corpus/<name>,
# where the inputs it finds are kept for the next run; findings go to
# build-fuzz/findings/<name>/, logs to build-fuzz/logs/<name>.log. The targets
# run one after the other, at the lowest priority. Exit status 1 when anything
# was found.
set -euo pipefail
cd "$(dirname "$0")/.."
racine=$PWD
build=${KELVARIN_FUZZ_BUILD:-$racine/build-fuzz}
construire=0
smoke=0
duree=""
runs=""
piece=""
bilan=""
cibles=()
while [ $# -gt 0 ]; do
  case "$1" in
    --build) construire=1 ;;
    --smoke) smoke=1 ;;
    --time) duree=$2; shift ;;
    --runs) runs=$2; shift ;;
    --piece) piece=$2; shift ;;
    --tally) bilan=$2; shift ;;
    -h|--help) sed -n '2,26p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
    *) cibles+=("$1") ;;
  esac
  shift
done
if [ ${#cibles[@]} -eq 0 ]; then
  for f in fuzz/fuzz_*.cpp; do
    n=$(basename "$f" .cpp)
    cibles+=("${n#fuzz_}")
  done
fi
for c in "${cibles[@]}"; do
  [ -f "fuzz/fuzz_$c.cpp" ] || { echo "fuzz.sh: no target $c (fuzz/fuzz_$c.cpp)" >&2; exit 2; }
done

if [ "$construire" = 1 ]; then
  cxx=${CXX_FUZZ:-$(command -v clang++ || command -v clang++-14 || true)}
  if [ -z "$cxx" ]; then
    echo "fuzz.sh: clang++ is needed (scripts/install-deps.sh fuzz)" >&2
    exit 1
  fi
  lanceur=()
  command -v ccache >/dev/null 2>&1 && lanceur=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # Only the fuzz targets and the libraries they link: no tests, benchmarks or window.
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$cxx" \
    -DKELVARIN_FUZZ=ON -DKELVARIN_TESTS=OFF -DKELVARIN_BENCH=OFF -DKELVARIN_WIDGETS=OFF \
    "${lanceur[@]}" >/dev/null
  noms=()
  for c in "${cibles[@]}"; do noms+=("fuzz_$c"); done
  ninja -C "$build" -j"${KELVARIN_FUZZ_JOBS:-2}" "${noms[@]}"
fi

if [ -n "$piece" ] && [ "$smoke" = 0 ]; then
  [ -n "$duree" ] || [ -n "$runs" ] || duree=60
  printf '%-16s %14s %10s  %s\n' target executions exec/s finding
  statut=0
  for c in "${cibles[@]}"; do
    debut=$(date +%s)
    fait=0
    while :; do
      t=$piece
      if [ -n "$duree" ]; then
        reste=$((debut + duree - $(date +%s)))
        [ "$reste" -gt 0 ] || break
        [ "$reste" -lt "$t" ] && t=$reste
      fi
      opts=(--time "$t")
      [ -n "$runs" ] && opts+=(--runs "$((runs - fait))")
      [ -n "$bilan" ] && opts+=(--tally "$bilan")
      s=0
      ligne=$("$0" "${opts[@]}" "$c" | tail -1) || s=$?
      echo "$ligne"
      [ "$s" = 0 ] || { statut=1; break; }
      n=$(awk '{ print $2 }' <<<"$ligne")
      [[ $n =~ ^[0-9]+$ ]] || break
      fait=$((fait + n))
      case "$ligne" in *"(stopped)"*) break ;; esac
      [ -n "$runs" ] && [ "$fait" -ge "$runs" ] && break
    done
  done
  exit $statut
fi

# Leaks are findings too; a slow input is one past 10 s. Two frames of
# allocation stack: a full one costs a third of the executions on long runs
# (run a finding again with a longer one to see where its memory came from).
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1:malloc_context_size=2}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen
mkdir -p "$build/logs"
echec=0
printf '%-16s %14s %10s  %s\n' target executions exec/s finding
for c in "${cibles[@]}"; do
  exe=$build/fuzz/fuzz_$c
  if [ ! -x "$exe" ]; then
    echo "fuzz.sh: $exe is not built (add --build)" >&2
    exit 1
  fi
  graines=$racine/fuzz/corpus/$c
  trouvailles=$build/findings/$c
  mkdir -p "$trouvailles"
  args=(-timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$trouvailles/")
  [ -f "fuzz/$c.dict" ] && args+=(-dict="$racine/fuzz/$c.dict")
  if [ "$smoke" = 1 ]; then
    # The seeds only, in a folder thrown away afterwards.
    travail=$(mktemp -d)
    args+=(-max_total_time=5)
  else
    travail=$build/corpus/$c
    mkdir -p "$travail"
    [ -n "$runs" ] && args+=(-runs="$runs")
    [ -n "$duree" ] || [ -n "$runs" ] || duree=60
    [ -n "$duree" ] && args+=(-max_total_time="$duree")
  fi
  [ -d "$graines" ] && cp -n "$graines"/* "$travail"/ 2>/dev/null || true
  log=$build/logs/$c.log
  avant=$(ls "$trouvailles" | wc -l)
  statut=0
  nice -n 19 "$exe" "${args[@]}" "$travail" >"$log" 2>&1 &
  pid=$!
  wait "$pid" || statut=$?
  # The scratch folder of a target that crashed or timed out.
  rm -rf /dev/shm/kelvarin-fuzz-"$pid"-* "${TMPDIR:-/tmp}"/kelvarin-fuzz-"$pid"-*
  [ "$smoke" = 1 ] && rm -rf "$travail"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  # Interrupted: no final statistics, the last progress line counts.
  [ -n "$execs" ] || execs=$(sed -n 's/^#\([0-9][0-9]*\)[[:space:]].*/\1/p' "$log" | tail -1)
  vitesse=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  trouve=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -1)
  if [ -z "$trouve" ] && [ "$(ls "$trouvailles" | wc -l)" != "$avant" ]; then
    trouve=$(ls -t "$trouvailles"/* | head -1)
  fi
  # The fuzzers run at the lowest priority: on a busy machine an ordinary input
  # can miss its share of the processor for 10 s and come out as a timeout or
  # a slow unit. Replayed alone at normal priority, an input that stays within
  # the limit is no finding; it is kept aside in build-fuzz/benign/.
  benin=""
  case "$(basename "${trouve:-x}")" in
    timeout-* | slow-unit-*)
      t0=$(date +%s%N)
      if [ -f "$trouve" ] && "$exe" -timeout=10 -runs=1 "$trouve" >"$log.replay" 2>&1; then
        ms=$((($(date +%s%N) - t0) / 1000000))
        mkdir -p "$build/benign"
        mv "$trouve" "$build/benign/"
        benin="$(basename "$trouve") under load, ${ms} ms alone, moved to benign/"
        trouve=""
        statut=0
      fi
      ;;
  esac
  # 72: libFuzzer stopped by SIGINT.
  if [ -z "$trouve" ] && [ "$statut" = 72 ]; then
    trouve="- (stopped)"
  elif [ -n "$trouve" ] || [ "$statut" != 0 ]; then
    echec=1
    [ -z "$trouve" ] && trouve="exit status $statut, see $log"
  else
    trouve=-
    [ -n "$benin" ] && trouve="- ($benin)"
  fi
  printf '%-16s %14s %10s  %s\n' "$c" "${execs:-?}" "${vitesse:-?}" "$trouve"
  if [ -n "$bilan" ] && [ "$smoke" = 0 ]; then
    avant=$(awk -v c="$c" '$1 == c { t = $3 } END { print t + 0 }' "$bilan" 2>/dev/null || echo 0)
    printf '%-15s %-12s %-12s %-10s %s\n' "$c" "${execs:-0}" "$((avant + ${execs:-0}))" \
      "$(case "$trouve" in -*) echo none ;; *) echo "$trouve" ;; esac)" \
      "$(date -u +%Y-%m-%dT%H:%MZ) ${vitesse:-?}/s${benin:+ ($benin)}" >>"$bilan"
  fi
done
exit $echec
