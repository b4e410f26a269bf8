#!/bin/sh
# The web edition's checks: the whole show compiled to WebAssembly gives, under node on the
# virtual clock, the frame digest pinned in show/frame_digest.h; every WebAssembly SIMD loop
# gives what its plain twin gives (web/wide_check.cpp); then the page in headless Chromium
# (web/tests/page_test.mjs). Prints the speed next to the native program's, and the
# site's download size. Needs the native build (build/) and builds build-web/ itself.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
native=$(cd "${NATIVE_BUILD:-$root/build}" && pwd)
out=${WEB_BUILD:-$root/build-web}
"$root/tools/web.sh"

pinned=$("$root/tools/pinned-digest.sh")
# Debian's emscripten loader under Node 20 trips over the built-in fetch.
report=$(cd "$native" && node --no-experimental-fetch "$out/gw_node_digest.js")
got=$(echo "$report" | sed -n 's/^frame digest: //p')
echo "web (node):"
echo "$report" | sed 's/^/  /'
echo "native (glasswhirligo-capture --bench):"
(cd "$native" && ./glasswhirligo-capture --bench) | tail -2 | sed 's/^/  /'
if [ "$got" != "$pinned" ]; then
  echo "check-web: the WebAssembly build's frame digest is $got, the native one is pinned at $pinned" >&2
  exit 1
fi
echo "check-web: WebAssembly frame digest equals the pinned $pinned"

if ! wide=$(cd "$native" && node --no-experimental-fetch "$out/gw_wide_check.js"); then
  echo "$wide" | sed 's/^/  /'
  echo "check-web: a WebAssembly SIMD loop differs from its plain twin" >&2
  exit 1
fi
echo "web (SIMD loops against their plain twins):"
echo "$wide" | sed 's/^/  /'

size=$(find "$out/site" -type f -printf '%s\n' | awk '{ s += $1 } END { printf "%.2f", s / 1048576 }')
echo "check-web: the site downloads $size MB (build-web/site/)"

zip=$(ls "$out"/glasswhirligo-*-web.zip)
echo "check-web: the archive for static hosts is $(basename "$zip"), $(du -k "$zip" | cut -f1) kB"
"$root/tools/test-drivers.sh"
node "$root/web/tests/page_test.mjs" "$out/site" "$native" "$out/page-check" "$zip"
"$root/tools/check-engines.sh" "$out/site" "$native" "$out/engines-check"
