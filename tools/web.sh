#!/bin/sh
# Builds the web edition into build-web/site/ from the native build's assets (build/ unless
# NATIVE_BUILD says otherwise), working around Debian's emscripten packaging: emcc must run with
# Debian's own python3, and node must find the packaged acorn in /usr/share/nodejs.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
native=$(cd "${NATIVE_BUILD:-$root/build}" && pwd)
out=${WEB_BUILD:-$root/build-web}
jobs=${JOBS:-2}
export EMSDK_PYTHON=/usr/bin/python3
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
if [ ! -f "$out/CMakeCache.txt" ]; then
  emcmake cmake -S "$root/web" -B "$out" -DCMAKE_BUILD_TYPE=Release -DGW_NATIVE_BUILD="$native" >/dev/null
fi
cmake --build "$out" -j"$jobs" "$@"
