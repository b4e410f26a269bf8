#!/bin/sh
# Prints the whole show's pinned frame digest (kShowDigest in show/frame_digest.h) in the 16 hex
# digits the digest programs print; fails when the header holds none. The checks of every edition
# hold their programs to it.
set -eu
header="$(cd "$(dirname "$0")/.." && pwd)/show/frame_digest.h"
pinned=$(sed -n 's/.*kShowDigest = 0x\([0-9a-f]*\)ull;.*/\1/p' "$header")
if [ -z "$pinned" ]; then
  echo "no pinned digest found in $header" >&2
  exit 1
fi
echo "$pinned"
