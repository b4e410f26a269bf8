#!/bin/sh
# Builds the hot loops in their plain versions only (no AVX2 or AVX-512 paths) and checks that
# they draw the same frames: the pinned digest of the whole show, and the effect, blob and
# renderer tests. The normal build takes the wide paths wherever the processor has them.
# Usage: tools/check-plain.sh [build folder]   (default: build-plain)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build-plain}
jobs=${JOBS:-2}
tests="test_demo test_effects test_blobs test_lookups test_fillers test_pipeline test_crossfade"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DGW_PLAIN_LOOPS=ON >/dev/null
cmake --build "$build" -j"$jobs" --target fonts16 $tests
ctest --test-dir "$build" --output-on-failure -R "^($(echo $tests | tr ' ' '|'))\$"
