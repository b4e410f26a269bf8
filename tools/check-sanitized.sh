#!/bin/sh
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs the whole test
# suite there (the end-to-end run of the demo and the soak included). Any finding fails the run:
# leaks are checked at exit, and undefined behaviour stops the program with a stack trace.
# Usage: tools/check-sanitized.sh [build folder]   (default: build-asan)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build-asan}
jobs=${JOBS:-2}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGW_SANITIZE=ON >/dev/null
cmake --build "$build" -j"$jobs"

# Leaks inside the system's SDL, audio and display libraries are theirs, not ours: the
# suppressions name those libraries only.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1
LSAN_OPTIONS=suppressions=$(pwd)/tools/lsan.supp:print_suppressions=0
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS
ctest --test-dir "$build" --output-on-failure -j"$jobs"
