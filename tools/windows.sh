#!/bin/sh
# Builds the Windows edition into build-windows/ with mingw-w64 (toolchains/windows.cmake), from
# the native build's assets (build/ unless NATIVE_BUILD says otherwise): glasswhirligo.exe, the
# console program behind the digest check, and glasswhirligo-1.0.0-win64.zip.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
native=$(cd "${NATIVE_BUILD:-$root/build}" && pwd)
out=${WINDOWS_BUILD:-$root/build-windows}
jobs=${JOBS:-2}
if [ ! -f "$out/CMakeCache.txt" ]; then
  cmake -S "$root/windows" -B "$out" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/toolchains/windows.cmake" -DGW_NATIVE_BUILD="$native" >/dev/null
fi
cmake --build "$out" -j"$jobs" "$@"
