#!/bin/sh
# Installs the page tests' browser drivers (web/tests/package-lock.json) when the lock file is
# newer than what web/tests/node_modules holds.
set -eu
tests="$(cd "$(dirname "$0")/.." && pwd)/web/tests"
if [ ! -d "$tests/node_modules" ] || [ "$tests/package-lock.json" -nt "$tests/node_modules" ]; then
  (cd "$tests" && npm ci --no-audit --no-fund --loglevel=error)
  touch "$tests/node_modules"
fi
