#!/bin/sh
# Checks the release folder that tools/release.sh made: every download named, nothing else,
# SHA256SUMS over exactly them and `sha256sum -c` content, one version in every name, package and
# info file, the info files inside both zips, and the README naming the portable archives' glibc.
# Usage: tools/check-release.sh [native build folder]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
native=${1:-$root/build}
version=$(cat "$native/version.txt")
out="$root/build-release/glasswhirligo-$version"
failures=0
fail() { echo "check-release: $*" >&2; failures=$((failures + 1)); }
[ -d "$out" ] || { echo "check-release: no $out: run make release" >&2; exit 1; }
expected="SHA256SUMS file_id.diz glasswhirligo-$version-linux-aarch64.tar.gz
glasswhirligo-$version-linux-x86_64.tar.gz glasswhirligo-$version-web.zip
glasswhirligo-$version-win64.zip glasswhirligo.nfo glasswhirligo_${version}_amd64.deb
glasswhirligo_${version}_arm64.deb glasswhirligo_${version}_armhf.deb"
[ -f "$out/glasswhirligo-$version-2880x2160.mp4" ] &&
  expected="$expected glasswhirligo-$version-2880x2160.mp4"
want=$(echo $expected | tr ' ' '\n' | sort)
have=$(cd "$out" && ls | sort)
[ "$have" = "$want" ] || fail "the folder holds [$(echo $have)], not [$(echo $want)]"
(cd "$out" && sha256sum -c --quiet SHA256SUMS) || fail "sha256sum -c SHA256SUMS fails"
summed=$(sed 's/^[0-9a-f]\{64\}  //' "$out/SHA256SUMS" | sort)
[ "$summed" = "$(echo "$want" | grep -vx SHA256SUMS)" ] ||
  fail "SHA256SUMS covers [$(echo $summed)], not every download"
changelog=$(sed -n '1s/^glasswhirligo (\([^)]*\)).*/\1/p' "$root/packaging/changelog")
[ "$changelog" = "$version" ] || fail "packaging/changelog's top entry is $changelog, the project $version"
for arch in amd64 arm64 armhf; do
  got=$(dpkg-deb -f "$out/glasswhirligo_${version}_$arch.deb" Version)
  [ "$got" = "$version" ] || fail "the $arch package's version is $got"
done
for zip in win64 web; do
  for info in glasswhirligo.nfo file_id.diz; do
    unzip -l "$out/glasswhirligo-$version-$zip.zip" | grep -q " $info\$" || fail "the $zip zip lacks $info"
  done
done
grep -q "^| Glasswhirligo $version " "$out/glasswhirligo.nfo" || fail "glasswhirligo.nfo does not name $version"
grep -q "GLASSWHIRLIGO $version " "$out/file_id.diz" || fail "file_id.diz does not name $version"
python3 "$root/tools/make_info.py" --check "$out/glasswhirligo.nfo" "$out/file_id.diz" ||
  fail "the info files break their limits"
for machine in x86_64 aarch64; do
  floor=$(cat "$root/build-release/portable/glibc-$machine.txt")
  grep -q "linux-$machine.tar.gz\` | .*glibc $floor or newer" "$root/README.md" ||
    fail "README.md does not give glibc $floor for the $machine archive"
done
[ "$failures" -eq 0 ] || exit 1
echo "check-release: build-release/glasswhirligo-$version/ holds every download; sha256sum -c passes"
