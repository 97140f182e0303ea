#!/usr/bin/env bash
# Builds the fuzz targets (clang, preset fuzz) and runs them, one after another, at the lowest
# priority. Usage:
#   scripts/fuzz_long.sh [--runs N | --seconds S] [--no-build] [target...]
# Targets: ini image text format record net (all by default). Long runs (10 million executions each by
# default) keep their corpus in build/fuzz/corpus/<target>, seeded from tests/fuzz/corpus;
# short runs (--seconds) work on a throw-away copy. Crashing inputs land in
# build/fuzz/artifacts/<target>/. Prints one line per target: executions, crashes, time; the
# exit status is 1 when any target crashed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
limit=(-runs=10000000)
build=1
short=0
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) limit=(-runs="$2"); shift 2 ;;
    --seconds) limit=(-max_total_time="$2"); short=1; shift 2 ;;
    --no-build) build=0; shift ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=(ini image text format record net)
if [ "$build" = 1 ]; then
  cmake --preset fuzz >/dev/null
  nice -n 19 cmake --build --preset fuzz >/dev/null
fi

max_len() {
  case "$1" in
    ini) echo 2048 ;;
    image) echo 4096 ;;
    text) echo 512 ;; # the program's texts are captions and labels
    record) echo 4096 ;; # a battle of some hundred orders
    net) echo 2048 ;; # a handful of messages, some cut at any byte
    *) echo 256 ;;
  esac
}

status=0
for t in "${targets[@]}"; do
  bin="$root/build/fuzz/tests/fuzz/fuzz_$t"
  [ -x "$bin" ] || { echo "$t: no fuzz target at $bin" >&2; exit 2; }
  artifacts="$root/build/fuzz/artifacts/$t"
  mkdir -p "$artifacts"
  if [ "$short" = 1 ]; then
    corpus=$(mktemp -d /tmp/harnvale-corpus-XXXXXX)
  else
    corpus="$root/build/fuzz/corpus/$t"
    mkdir -p "$corpus"
  fi
  cp -n "$root/tests/fuzz/corpus/$t"/* "$corpus"/ 2>/dev/null || true
  log="$root/build/fuzz/fuzz_$t.log"
  [ "$short" = 1 ] && log="$root/build/fuzz/fuzz_$t.short.log"
  start=$(date +%s)
  rc=0
  export LSAN_OPTIONS="suppressions=$root/tests/fuzz/lsan.supp"
  # Long runs skip the allocation stack traces and the fill of fresh blocks and keep freed
  # blocks in a smaller quarantine (a use after free is still caught while the block waits
  # there): together these more than double the rate. A crashing input is kept and can be run
  # again with the full settings.
  if [ "$short" = 0 ]; then
    export ASAN_OPTIONS="${ASAN_OPTIONS:-malloc_context_size=0:max_malloc_fill_size=0:quarantine_size_mb=8}"
  fi
  # Leak checks stay on; one input may take at most 60 s (generous: the machine may be busy) and 1 GB in one allocation.
  nice -n 19 "$bin" "${limit[@]}" -max_len="$(max_len "$t")" -timeout=60 -rss_limit_mb=2048 \
    -malloc_limit_mb=1024 -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1 || rc=$?
  [ "$short" = 1 ] && rm -rf "$corpus"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  crashes=0
  # Ctrl-C (or SIGINT) ends a run early without a finding.
  if [ "$rc" != 0 ] && grep -q 'libFuzzer: run interrupted' "$log"; then
    rc=0
  fi
  if [ "$rc" != 0 ]; then
    crashes=1
    status=1
    grep -E 'ERROR|FUZZ CHECK|SUMMARY|Test unit written' "$log" | head -8 >&2 || tail -20 "$log" >&2
  fi
  echo "$t: ${runs:-?} executions, $crashes crashes, $(( $(date +%s) - start )) s (log: $log)"
done
exit $status
