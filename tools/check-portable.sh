#!/bin/sh
# Checks a portable Linux archive in a bare root that has only what every desktop Linux has
# (tools/bare-packages.txt, unpacked by tools/cross-sysroot.sh): the libraries the archive
# carries are removed from the root first, so only its lib/ can give them. Unpacked there, the
# program plays the whole show headless on the virtual clock and must give the digest pinned in
# show/frame_digest.h, finding its data files from another folder; without its lib/ it must fail
# with the loader's message. A native archive runs in the root through a user and mount namespace
# (unshare, with its own /proc); an aarch64 one under the emulator with the root as its prefix.
# Usage: tools/check-portable.sh <archive.tar.gz> <bare root> <frame counter .so of its build>
set -eu
root_dir=$(cd "$(dirname "$0")/.." && pwd)
archive=$(realpath "$1")
bare=$(realpath "$2")
counter=$(realpath "$3")
fail() {
  echo "check-portable: $*" >&2
  exit 1
}
name=$(basename "$archive" .tar.gz)
case "$name" in
  *-x86_64) triplet=x86_64-linux-gnu; emulator="" ;;
  *-aarch64) triplet=aarch64-linux-gnu; emulator=qemu-aarch64 ;;
  *) fail "$name: neither x86_64 nor aarch64" ;;
esac
# The emulator finds a path in the root only when it is there already: a new file is the host's.
case "$emulator" in
  "") digest_file=/tmp/digest ;;
  *) digest_file="$bare/tmp/digest" ;;
esac
pinned=$("$root_dir/tools/pinned-digest.sh") || fail "no pinned digest"

rm -rf "$bare/opt" "$bare/tmp"
mkdir -p "$bare/opt" "$bare/tmp" "$bare/proc" "$bare/elsewhere"
tar xzf "$archive" -C "$bare/opt"
folder="$bare/opt/$name"
cp "$counter" "$bare/opt/frame_counter.so"
# Whatever of the archive's libraries the root's packages brought along goes: only lib/ may give them.
removed=0
for lib in "$folder"/lib/*; do
  soname=$(basename "$lib")
  for dir in "$bare/usr/lib/$triplet" "$bare/lib/$triplet"; do
    for file in "$dir/$soname"*; do
      [ -e "$file" ] || [ -L "$file" ] || continue
      rm -f "$file"
      removed=$((removed + 1))
    done
  done
done
carried=$(find "$folder/lib" -name '*.so*' | wc -l)
for lib in "$folder"/lib/*; do
  [ -z "$(find "$bare/usr" "$bare/lib" -name "$(basename "$lib")" 2>/dev/null)" ] ||
    fail "the bare root still holds $(basename "$lib")"
done

# Runs the archive's program in the root from another folder, on the virtual clock, headless.
# Its stderr is in $bare/tmp/stderr, without the line of the host's loader that cannot find the
# root's frame counter for unshare itself.
play() {
  run_in_root >"$bare/tmp/stdout" 2>"$bare/tmp/stderr.all" || return $?
}
run_in_root() {
  set -- env -i SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy GLASSWHIRLIGO_VIRTUAL_CLOCK=1 \
    LD_PRELOAD=/opt/frame_counter.so GW_FRAME_DIGEST_FILE="$digest_file"
  if [ -z "$emulator" ]; then
    "$@" unshare --map-root-user --mount --pid --fork --mount-proc=/proc --root="$bare" \
      --wd=/elsewhere "/opt/$name/glasswhirligo"
  else
    (cd "$bare/elsewhere" && "$@" "$emulator" -L "$bare" "$folder/glasswhirligo")
  fi
}

played() {
  status=0
  play || status=$?
  grep -v "object '/opt/frame_counter.so' from LD_PRELOAD cannot be preloaded" "$bare/tmp/stderr.all" \
    >"$bare/tmp/stderr" || true
}
start=$(date +%s)
played
[ "$status" -eq 0 ] || fail "in the bare root the program exited with $status: $(cat "$bare/tmp/stderr")"
got=$(cat "$bare/tmp/digest" 2>/dev/null || echo none)
[ "$got" = "$pinned" ] || fail "in the bare root the frame digest is $got, pinned at $pinned"
echo "check-portable: $name plays the whole show in the bare root with the pinned digest $pinned" \
  "($(($(date +%s) - start)) s; $carried libraries carried, $removed files of them removed from the root)"

mv "$folder/lib" "$folder/lib.hidden"
played
mv "$folder/lib.hidden" "$folder/lib"
grep -q 'error while loading shared libraries: .*cannot open shared object file' "$bare/tmp/stderr" &&
  [ "$status" -ne 0 ] || fail "without lib/: status $status, stderr: $(cat "$bare/tmp/stderr")"
echo "check-portable: without lib/ the loader refuses: $(head -1 "$bare/tmp/stderr")"
