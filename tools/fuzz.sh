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

# One fuzzer's bounded run; its exit status says whether it found anything.
fuzz_one() {
  t=$1
  work="$build/fuzz-corpus/$t"
  rm -rf "$work"
  mkdir -p "$work"
  cp tools/fuzz/corpus/"$t"/* "$work"/
  "$build/fuzz_$t" -seed=1 -max_total_time="$seconds" -max_len="$(max_len "$t")" \
    -rss_limit_mb=2048 -timeout=25 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$t-" "$work" >"$build/fuzz-$t.log" 2>&1
}

# The fuzzers run side by side: each keeps its time, and the stage takes one fuzzer's time.
mkdir -p "$build/artifacts"
echo "fuzzing $targets for ${seconds}s each, side by side"
pids=""
for t in $targets; do
  fuzz_one "$t" &
  pids="$pids $!"
done
failed=""
set -- $targets
for pid in $pids; do
  wait "$pid" || failed="$failed $1"
  shift
done
for t in $failed; do
  tail -n 60 "$build/fuzz-$t.log"
  echo "fuzz_$t FAILED: see $build/fuzz-$t.log and $build/artifacts/" >&2
done
[ -z "$failed" ] || exit 1
for t in $targets; do
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/fuzz-$t.log")
  echo "$t: $runs executions in ${seconds}s, corpus $(ls "$build/fuzz-corpus/$t" | wc -l) inputs"
done
