#!/bin/sh
# Builds the fuzzers with clang (tools/fuzz/, cmake/fuzz.cmake) and runs each for a bounded
# time on a copy of its committed seed corpus, so runs never dirty the repository. Any crash,
# sanitizer finding, leak, time-out or broken promise of a loader fails the run; the input
# that caused it is left in <build>/artifacts/.
# Usage: tools/fuzz.sh [seconds per target, default 60]   (FUZZ_BUILD picks the build folder)
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${FUZZ_BUILD:-build-fuzz}
jobs=${JOBS:-2}
targets="fonts16 model32 model16"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGW_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j"$jobs" --target $(for t in $targets; do printf 'fuzz_%s ' "$t"; done)

max_len() {
  case $1 in
    fonts16) echo 22400 ;;  # the image is 22,272 bytes; a little more exercises trailing bytes
    model32) echo 8192 ;;
    model16) echo 4096 ;;
  esac
}

mkdir -p "$build/artifacts"
summary=""
for t in $targets; do
  work="$build/fuzz-corpus/$t"
  rm -rf "$work"
  mkdir -p "$work"
  cp tools/fuzz/corpus/"$t"/* "$work"/
  log="$build/fuzz-$t.log"
  echo "fuzzing $t for ${seconds}s"
  if ! "$build/fuzz_$t" -seed=1 -max_total_time="$seconds" -max_len="$(max_len "$t")" \
      -rss_limit_mb=2048 -timeout=25 -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$t-" "$work" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz_$t FAILED: see $log and $build/artifacts/" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  summary="$summary$t: $runs executions in ${seconds}s, corpus $(ls "$work" | wc -l) inputs
"
done
printf '%s' "$summary"
