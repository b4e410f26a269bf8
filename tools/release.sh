#!/bin/sh
# Gathers every download of the release into build-release/glasswhirligo-VERSION/ from the
# folders the other targets build them in, with SHA256SUMS over them (sha256sum -c form): the
# Windows and web zips, the three Debian packages, the portable Linux archives, the info files,
# and the video with its checksum when `make video` has made it.
# Usage: tools/release.sh [native build folder]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
native=${1:-$root/build}
version=$(cat "$native/version.txt")
out="$root/build-release/glasswhirligo-$version"
rm -rf "$out"
mkdir -p "$out"
for file in "$root/build-windows/glasswhirligo-$version-win64.zip" \
            "$root/build-web/glasswhirligo-$version-web.zip" \
            "$root/build-packages/glasswhirligo_${version}_amd64.deb" \
            "$root/build-packages/glasswhirligo_${version}_arm64.deb" \
            "$root/build-packages/glasswhirligo_${version}_armhf.deb" \
            "$root/build-release/portable/glasswhirligo-$version-linux-x86_64.tar.gz" \
            "$root/build-release/portable/glasswhirligo-$version-linux-aarch64.tar.gz" \
            "$native/release-info/glasswhirligo.nfo" "$native/release-info/file_id.diz"; do
  [ -f "$file" ] || { echo "release: $file is missing: build it first" >&2; exit 1; }
  cp "$file" "$out/"
done
video="$root/build-release/video/glasswhirligo-$version-2880x2160.mp4"
if [ -f "$video" ] && [ -f "$video.sha256" ]; then
  (cd "$(dirname "$video")" && sha256sum -c --quiet "$(basename "$video").sha256") ||
    { echo "release: $video does not match its checksum" >&2; exit 1; }
  cp "$video" "$out/"
fi
(cd "$out" && sha256sum -- * >SHA256SUMS)
echo "release: build-release/glasswhirligo-$version/"
(cd "$out" && ls -l -- * | awk '{ printf "  %-45s %12d bytes  %7.2f MB\n", $9, $5, $5 / 1048576 }')
